// Exports a generated S1910 report into a fresh sandbox demo company that
// answers each request set after a latency, as QuickBooks does on a real
// installation, then runs the same report again, with the full logger chain
// attached; before either, a preview of it (sends nothing that changes
// data). The report mixes new checks, checks the company already holds,
// voids of held checks and returned pay without a check (deposits). Both
// passes run with request sets of 50 requests and with one request a set;
// the figures are printed side by side: qbXML round trips per check and
// seconds end to end (connecting and the initial queries included). Then
// the fresh export in sets of 50 again into another company, written ahead
// in a run ledger, beside the same without one, and the undo of that run.
//
//     bench_checksexport [checks=1000] [latency-ms=30]
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "export/QBChecksExport.h"
#include "export/QBConnectionFactory.h"
#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"
#include "runs/LedgerRunWriter.h"
#include "runs/UndoRun.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// Counts the request sets sent to QuickBooks.
class TRoundTrips : public TLoggerEventSink {
public:
    int Count = 0;
    void OnMessage(const TLogState& state) override {
        if (state.Innermost().Messages.back().Message == u"qbXML request sent")
            ++Count;
    }
};

struct TEmployee {
    const char* First;
    const char* Middle;
    const char* Last;
};
const TEmployee Employees[] = {{"Maria", "A", "Lopez"},  {"James", "T", "Okafor"},
                               {"Wei", "", "Chen"},      {"Sarah", "J", "O'Neil"},
                               {"Daniel", "", "Brooks"}, {"Anna", "K", "Novak"}};

QString Line(const TEmployee& e, const QString& memo, const QDate& date, int number, qint64 cents) {
    return QStringLiteral("\"%1\",%2,\"%3\",\"%4\",%5,%6,%7")
        .arg(QLatin1String(e.First), QLatin1String(e.Middle), QLatin1String(e.Last), memo,
             date.toString(u"M/d/yyyy"), QString::number(number),
             Currency::FromRaw(cents * 100).ToFixed(2));
}

QString LoadAverage() {
    QFile file(QStringLiteral("/proc/loadavg"));
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("unknown");
    return QString::fromLatin1(file.readAll()).section(u' ', 0, 2);
}

struct TPassFigures {
    double TripsPerCheck = 0;
    double Seconds = 0;
    QString Summary;
};

class TSilentDialogs : public IUserDialogs {
protected:
    void DoShowInformation(const QString&) override {}
    void DoShowError(const QString&) override {}
    TQuestionAnswer DoAsk(const TQuestion&) override { return {}; }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const int total = argc > 1 ? std::max(20, atoi(argv[1])) : 1000;
    const int latencyMs = argc > 2 ? std::max(0, atoi(argv[2])) : 30;
    // Shares of the report: 10 % held checks, 10 % voids of held checks,
    // 10 % returned pay without a check, the rest new checks.
    const int existing = total / 10;
    const int voids = total / 10;
    const int deposits = total / 10;
    const int fresh = total - existing - voids - deposits;

    const QDate first(2024, 3, 1);
    QStringList report;
    QStringList held;
    int number = 100000;
    for (int i = 0; i < existing + voids; ++i) {
        const TEmployee& e = Employees[i % 6];
        const QDate date = first.addDays(i % 28);
        const qint64 cents = 50000 + (i * 7919) % 300000;
        held << Line(e, QStringLiteral("Pay"), date, number, cents);
        if (i < existing)
            report << held.last();
        else
            report << Line(e, QStringLiteral("Void"), date, number, -cents);
        ++number;
    }
    for (int i = 0; i < fresh; ++i)
        report << Line(Employees[i % 6], QStringLiteral("Pay"), first.addDays(i % 28), number++,
                       1 + (i * 104729) % 500000);
    for (int i = 0; i < deposits; ++i)
        report << Line(Employees[i % 6], QStringLiteral("Returned pay"), first.addDays(i % 28),
                       number++, -(100 + i));

    TLoggerChain chain = CreateLoggerChain();
    QStringList userLog;
    QStringList devLog;
    auto trips = std::make_shared<TRoundTrips>();
    TScopedSink counting(chain.Stateful, trips);
    TScopedSink dev(chain.Stateful, std::make_shared<TPlainTextDevLogWriter>(
                                        std::make_shared<TStringsLogOutput>(&devLog)));
    TScopedSink user(chain.Stateful, std::make_shared<TPlainTextUserLogWriter>(
                                         std::make_shared<TStringsLogOutput>(&userLog)));
    const QString demo = QDir(QCoreApplication::applicationDirPath()).filePath("demo");

    std::printf("%d checks (%d new, %d held, %d voids of held checks, %d returned pay), %d ms "
                "a request set; load average before: %s\n",
                total, fresh, existing, voids, deposits, latencyMs, qPrintable(LoadAverage()));
    // [batch size][preview, fresh, re-run]
    TPassFigures figures[2][3];
    const int batchSizes[2] = {DefaultQBBatchSize, 1};
    for (int b = 0; b < 2; ++b) {
        QTemporaryDir dir;
        TQBConnectionConfig config;
        config.Processor.Factory = &CreateSandboxRequestProcessor;
        config.Processor.CompanyFile = dir.filePath(QStringLiteral("company.sqlite"));
        CreateSandboxCompany(config.Processor.CompanyFile,
                             QFileInfo::exists(demo) ? demo : QStringLiteral(ORVQ_DEMO_DIR));
        TQBChecksExportParam options;
        options.CashAccount = QStringLiteral("Payroll Checking");
        options.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
        const auto pass = [&](const QStringList& lines, int batchSize, bool preview = false) {
            const TCheckRecords records =
                ParseChecksReport(*chain.Common, lines.join(QStringLiteral("\r\n")), rkEmployeeChecks);
            options.BatchSize = batchSize;
            trips->Count = 0;
            QElapsedTimer timer;
            timer.start();
            auto connection = TQBConnection::Create(chain.Common, config);
            connection->SetPreviewOnly(preview);
            const TChecksExportResult r = ExportChecks(*connection, records, options);
            connection.reset();
            return TPassFigures{double(trips->Count) / records.size(), timer.nsecsElapsed() / 1e9,
                                FormatChecksExportResult(r)};
        };
        pass(held, DefaultQBBatchSize); // the company's checks before the report
        {
            TQBSandboxCompany company(config.Processor.CompanyFile, false);
            company.Begin();
            company.SetLatencyMs(latencyMs);
            company.Commit();
        }
        figures[b][0] = pass(report, batchSizes[b], true);
        figures[b][1] = pass(report, batchSizes[b]);
        figures[b][2] = pass(report, batchSizes[b]);
    }

    std::printf("\n%-16s %29s   %29s\n", "", "request sets of 50", "one request a set");
    std::printf("%-16s %16s %12s   %16s %12s\n", "", "round trips/check", "seconds",
                "round trips/check", "seconds");
    const char* names[3] = {"preview", "export, fresh", "export, re-run"};
    for (int p = 0; p < 3; ++p)
        std::printf("%-16s %16.3f %12.3f   %16.3f %12.3f\n", names[p], figures[0][p].TripsPerCheck,
                    figures[0][p].Seconds, figures[1][p].TripsPerCheck, figures[1][p].Seconds);
    for (int p = 1; p < 3; ++p)
        std::printf("%s: %s\n", names[p], qPrintable(figures[0][p].Summary));

    // The fresh export with and without the ledger, each into a company of
    // its own holding the same checks, then the undo of the ledger's run.
    QTemporaryDir ledgerDir;
    TLedgerLocation location;
    location.FilePath = ledgerDir.filePath(QStringLiteral("ledger.sqlite"));
    TRunContext context;
    context.Logger = chain.Common;
    context.Dialogs = std::make_shared<TSilentDialogs>();
    context.OpenLedger = [location] {
        return std::make_unique<TRunLedger>(location, TLedgerOptions{});
    };
    double seconds[2] = {0, 0};
    QString runId;
    QTemporaryDir companies;
    TQBConnectionConfig undoConfig;
    for (int withLedger = 0; withLedger < 2; ++withLedger) {
        TQBConnectionConfig config;
        config.Processor.Factory = &CreateSandboxRequestProcessor;
        config.Processor.CompanyFile =
            companies.filePath(QStringLiteral("company%1.sqlite").arg(withLedger));
        CreateSandboxCompany(config.Processor.CompanyFile,
                             QFileInfo::exists(demo) ? demo : QStringLiteral(ORVQ_DEMO_DIR));
        TQBChecksExportParam options;
        options.CashAccount = QStringLiteral("Payroll Checking");
        options.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
        const auto records = [&](const QStringList& lines) {
            return ParseChecksReport(*chain.Common, lines.join(QStringLiteral("\r\n")),
                                     rkEmployeeChecks);
        };
        ExportChecks(*TQBConnection::Create(chain.Common, config), records(held), options);
        {
            TQBSandboxCompany company(config.Processor.CompanyFile, false);
            company.Begin();
            company.SetLatencyMs(latencyMs);
            company.Commit();
        }
        const TCheckRecords parsed = records(report);
        QElapsedTimer timer;
        timer.start();
        auto connection = TQBConnection::Create(chain.Common, config);
        if (withLedger) {
            const std::unique_ptr<TRunLedger> ledger = context.OpenLedger();
            TLedgerRunStart start;
            start.Target = QBCompanyTarget(*connection);
            TLedgerRunWriter writer(*ledger, start);
            ExportChecks(*connection, parsed, options, {}, &writer);
            writer.End(lrsFinished);
            runId = writer.RunId();
            undoConfig = config;
        } else {
            ExportChecks(*connection, parsed, options);
        }
        connection.reset();
        seconds[withLedger] = timer.nsecsElapsed() / 1e9;
    }
    std::printf("\nexport, fresh, sets of 50: %.3f s without the ledger, %.3f s with it "
                "(%+.1f %%)\n",
                seconds[0], seconds[1], 100.0 * (seconds[1] - seconds[0]) / seconds[0]);

    context.ConnectQB = QBConnectionFactory(undoConfig);
    trips->Count = 0;
    QElapsedTimer undoTimer;
    undoTimer.start();
    TUndoRun undo({runId, false, DefaultQBBatchSize});
    undo.RunUndo(context);
    const double undoSeconds = undoTimer.nsecsElapsed() / 1e9;
    const int undone = undo.Result().Count(uaDeleted);
    std::printf("undo of that run: %d transactions deleted, %d round trips (%.3f a transaction), "
                "%.3f s\n%s\n",
                undone, trips->Count, undone ? double(trips->Count) / undone : 0.0, undoSeconds,
                qPrintable(undo.Result().Summary));
    std::printf("load average after: %s\n", qPrintable(LoadAverage()));
    std::printf("log: %d user records, %d developer records\n", int(userLog.size()),
                int(devLog.size()));
    // Both batch sizes must have done the same.
    const bool same = figures[0][1].Summary == figures[1][1].Summary &&
                      figures[0][2].Summary == figures[1][2].Summary;
    if (!same)
        std::printf("the two batch sizes did not do the same!\n");
    return same ? 0 : 1;
}
