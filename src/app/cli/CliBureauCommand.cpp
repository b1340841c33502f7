// orvq-cli bureau: every company of the company map, its new payrolls of a
// check-date period into its own QuickBooks company file, unattended, with
// one report across them.
#include "CliDirect.h"
#include "CliRun.h"

#include "runs/BureauReport.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

namespace {

const char* const BureauHelp =
    "usage: orvq-cli bureau --from DATE --to DATE [--preview] [--report FILE] [options]\n"
    "\n"
    "Exports, for every company of the bureau's company map (orvq-cli map), the\n"
    "payrolls with a check date in the period that the run ledger does not hold as\n"
    "exported: the checks (and the GL journal where the map says so) of each payroll\n"
    "into the company's own QuickBooks company file. Each payroll is claimed in the\n"
    "ledger first, so a payroll another workstation is exporting is skipped. Nothing\n"
    "is asked: a question is answered No and reported. A company that fails is\n"
    "reported and the run goes on with the next one.\n"
    "\n"
    "Options:\n"
    "  --from DATE, --to DATE  the check-date period (yyyy-mm-dd or the short date\n"
    "                          format, both ends included)\n"
    "  --preview               do everything up to posting in every company and report\n"
    "                          what would be posted; no company file changes and nothing\n"
    "                          is claimed (each run is recorded in the ledger as a preview)\n"
    "  --report FILE           also write the report across all companies as an HTML\n"
    "                          file (its folder is made when missing; a file that\n"
    "                          cannot be written stops the run before it begins); the\n"
    "                          summary lines are printed in any case\n"
    "  --dev-log FILE          also write the developer log (every qbXML request and\n"
    "                          response) to FILE\n"
    "  --help                  show this help\n"
    "\n";

const char* const BureauExitHelp =
    "\n"
    "Exit code 0: every company went through; 1: a company or a record failed (in a\n"
    "preview: would fail, differs from QuickBooks, or posting would ask), or the run\n"
    "could not start (an empty map, the ledger, the service); 2: wrong usage.\n";

const char* const ReportFailure = "The report cannot be written to %s: %s";

// Makes the report's folder when missing and checks that a file can be
// written there, leaving none behind.
void PrepareReportFile(const QString& path) {
    const QFileInfo info(path);
    if (!QDir().mkpath(info.absolutePath()))
        throw EztException(
            Format(ReportFailure, {path, QStringLiteral("its folder cannot be made")}));
    if (info.isDir())
        throw EztException(Format(ReportFailure, {path, QStringLiteral("it is a folder")}));
    QSaveFile probe(path);
    if (!probe.open(QIODevice::WriteOnly))
        throw EztException(Format(ReportFailure, {path, probe.errorString()}));
    probe.cancelWriting();
}

} // namespace

int RunBureauCommand(TCliEnvironment& env, const QStringList& args) {
    std::unique_ptr<TCliOptions> options;
    std::unique_ptr<TCliLogSession> session;
    TBureauRunOptions runOptions;
    int pollIntervalMs = 0;
    try {
        RefuseCommandLinePassword(args);
        options = std::make_unique<TCliOptions>(
            args, QStringList{"--from", "--to", "--report", "--dev-log"} + CliConnectionOptions,
            QStringList{"--help", "--preview"});
        if (options->Has(QStringLiteral("--help"))) {
            env.Out << BureauHelp << CliConnectionOptionsHelp << CliReportWaitHelp
                    << CliPasswordHelp << BureauExitHelp;
            return cecSuccess;
        }
        const std::optional<TCliPeriod> period = CliPeriod(*options);
        if (!period)
            throw ECliUsageError(QStringLiteral("the period is missing: --from DATE --to DATE"));
        if (options->Has(QStringLiteral("--report")) &&
            options->Value(QStringLiteral("--report")).trimmed().isEmpty())
            throw ECliUsageError(QStringLiteral("--report takes a file name"));
        runOptions.From = period->From;
        runOptions.To = period->To;
        runOptions.Preview = options->Has(QStringLiteral("--preview"));
        pollIntervalMs = CliPollIntervalMs(env, *options);
        const IztSettings& settings = *env.Core.Settings();
        runOptions.Checks = LoadChecksExportParam(settings, QBChecksExportOptionsKey);
        runOptions.GL = LoadGLExportParam(settings, QBGLExportOptionsKey);
        runOptions.QuickBooks.SdkDownloadAddress = QBSdkDownloadAddress;
        runOptions.QuickBooks.Processor.Factory = env.Core.QBProcessor();
        session = std::make_unique<TCliLogSession>(env, env.Out,
                                                   options->Value(QStringLiteral("--dev-log")));
        runOptions.Connection = CliConnectionParam(env, *options, *session->Logger());
    } catch (const ECliUsageError& e) {
        return ShowUsageError(env.Err, QStringLiteral("bureau"), e.Message());
    }

    TConsoleUserDialogs dialogs(env.Out, env.Err, env.In);
    const QString reportPath =
        options->Has(QStringLiteral("--report"))
            ? QFileInfo(options->Value(QStringLiteral("--report")).trimmed()).absoluteFilePath()
            : QString();
    // Known before anything is claimed or posted: a report that cannot be
    // written would lose what an unattended run did.
    if (!reportPath.isEmpty()) {
        try {
            PrepareReportFile(reportPath);
        } catch (const EztException& e) {
            dialogs.ShowError(e.Message());
            return cecFailed;
        }
    }
    TCliRunHost host(env, dialogs, CliConnectionFactory(env, *options), pollIntervalMs);
    TBureauRun run(runOptions);
    const std::exception_ptr failure = host.Run([&](TRunContext& context) {
        host.Orvane() = CliOrvEnvironment(env);
        context.Orvane = host.Orvane();
        run.Run(context);
    });
    int exitCode =
        ShowRunFailure(dialogs, failure) || !run.AllWentThrough() ? cecFailed : cecSuccess;
    env.Out << BureauReportText(run.Companies(), runOptions.Preview, run.Stopped());
    if (!reportPath.isEmpty()) {
        try {
            WriteWholeFile(
                reportPath,
                BureauReportHtml(BureauReportHeader(runOptions, run.Stopped()), run.Companies()),
                ReportFailure);
            env.Out << "Report: " << reportPath << '\n';
        } catch (const EztException& e) {
            dialogs.ShowError(e.Message());
            exitCode = cecFailed;
        }
    }
    env.Out.flush();
    return exitCode;
}
