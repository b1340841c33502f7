// A report of the sandbox payroll service, printed by its command line
// (--print-report), for tests that read it with the program's parsers.
#pragma once

#include <QProcess>
#include <QStandardPaths>
#include <QString>
#include <QStringList>

// ARGS after --print-report; the report text, or empty with *error set.
inline QString SandboxReport(const QStringList& args, QString* error) {
    const QString python = QStandardPaths::findExecutable(QStringLiteral("python3"));
    if (python.isEmpty()) {
        *error = QStringLiteral("python3 not found");
        return {};
    }
    QProcess p;
    // -B: no bytecode caches in the source tree.
    p.start(python, QStringList{QStringLiteral("-B"),
                                qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                    QStringLiteral("/sandbox/payroll/orvq_paysandbox.py"),
                                QStringLiteral("--print-report")} +
                        args);
    if (!p.waitForFinished(60000) || p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        *error = QString::fromUtf8(p.readAllStandardError());
        if (error->isEmpty())
            *error = QStringLiteral("the sandbox did not print the report");
        return {};
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}
