#include "company/QBSandboxTool.h"

#include <QCoreApplication>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    return RunQBSandboxTool(app.arguments().mid(1), out, err);
}
