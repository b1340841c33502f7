// orvq: the desktop program Orvane QB Export.
#include "ProgramQBProcessor.h"

#include "ui/MainForm.h"
#include "ui/OrvqApplication.h"

int main(int argc, char** argv) {
    TOrvqApplication app(argc, argv);
    TMainWindowOptions options;
    options.Core.QBProcessor = ProgramQBRequestProcessor();
    TMainFm window(std::move(options));
    window.show();
    return app.exec();
}
