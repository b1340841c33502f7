// orvq: the desktop program Orvane QB Export.
#include "ProgramQBProcessor.h"

#include "ui/MainForm.h"
#include "ui/OrvqApplication.h"

int main(int argc, char** argv) {
    TOrvqApplication app(argc, argv);
    UseProgramQBRequestProcessor();
    TMainFm window;
    window.show();
    return app.exec();
}
