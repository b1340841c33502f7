// Bureau runs over many companies, each in a sandbox company file of its own
// that answers a request set after a latency and opens after a longer one:
// the first run (two new payrolls a company), a second over the same period
// (nothing new), then two runs started together on one PostgreSQL ledger
// over fresh files, with how many payrolls either exported twice. Prints
// seconds and qbXML round trips; asserts nothing about time.
//
//     bench_bureau [companies=50] [latency-ms=30] [open-ms=500]
#include "OrvTestSupport.h"
#include "PostgresCluster.h"

#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "logging/vlxLoggerChain.h"
#include "runs/BureauRun.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMap>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <cstdio>

namespace {

// Counts the request sets sent to QuickBooks, from any thread.
class TRoundTrips : public TLoggerEventSink {
public:
    std::atomic<int> Count{0};
    void OnMessage(const TLogState& state) override {
        if (state.Innermost().Messages.back().Message == u"qbXML request sent")
            ++Count;
    }
};

struct TBench {
    orvtest::TSandboxService Service;
    QTemporaryDir Dir;
    int Companies = 50;
    int LatencyMs = 30;
    int OpenMs = 500;

    QString File(int company, const QString& set) const {
        return Dir.filePath(set + QString::number(company) + QStringLiteral(".qbsb"));
    }
    void MakeFiles(TRunLedger& ledger, const QString& set) const {
        for (int i = 1; i <= Companies; ++i) {
            // The run checks the file holds the company the row recorded.
            const QString name = QStringLiteral("Client %1").arg(1000 + i);
            CreateSandboxCompany(File(i, set), QStringLiteral(ORVQ_SOURCE "/data/demo"), name);
            TQBSandboxCompany company(File(i, set), false);
            company.SetLatencyMs(LatencyMs);
            company.SetOpenLatencyMs(OpenMs);
            TBureauMapEntry e;
            e.OrvaneCompany = QString::number(1000 + i);
            e.CompanyFile = File(i, set);
            e.CashAccount = QStringLiteral("Payroll Checking");
            e.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
            e.ChecksKind = crcEmployeeChecks;
            e.IncludeDD = true;
            e.CompanyName = name;
            ledger.AddMapEntry(e);
        }
    }
    // One run on its own logger; its companies, or none when it failed.
    QList<TBureauCompanyResult> Run(const TLedgerLocation& ledger, const QString& workstation,
                                    TRoundTrips& trips) const {
        TLoggerChain chain = CreateLoggerChain();
        TScopedSink counting(chain.Stateful, std::shared_ptr<TRoundTrips>(&trips, [](auto*) {}));
        TRunContext context;
        context.Logger = chain.Common;
        context.Orvane = Service.Environment();
        context.ReportPollIntervalMs = 5;
        context.OpenLedger = [ledger, workstation] {
            TLedgerOptions options;
            options.Identity = {QStringLiteral("bench"), workstation, QStringLiteral("0")};
            return std::make_unique<TRunLedger>(ledger, options);
        };
        TBureauRunOptions options;
        options.Connection = Service.Param();
        options.From = QDate(2024, 1, 5);
        options.To = QDate(2024, 1, 12);
        options.QuickBooks.Processor.Factory = &CreateSandboxRequestProcessor;
        TBureauRun run(options);
        try {
            run.Run(context);
        } catch (const EztException& e) {
            std::printf("  %s: the run failed: %s\n", qPrintable(workstation),
                        qPrintable(e.Message()));
        }
        return run.Companies();
    }
};

void PrintRun(const char* what, const QList<TBureauCompanyResult>& companies, double seconds,
              int trips) {
    const TBureauTotals t = BureauTotals(companies);
    std::printf("%-34s %6.1f s  %6d round trips  %4d payrolls  %5d checks added  %d companies "
                "need attention\n",
                what, seconds, trips, t.PayrollsExported, t.ChecksAdded,
                t.CompaniesNeedingAttention);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    // The service's script and the stored queries are in the source tree.
    if (qEnvironmentVariableIsEmpty("ORVQ_SOURCE_DIR"))
        qputenv("ORVQ_SOURCE_DIR", ORVQ_SOURCE);
    TBench bench;
    const QStringList args = app.arguments();
    if (args.size() > 1)
        bench.Companies = args[1].toInt();
    if (args.size() > 2)
        bench.LatencyMs = args[2].toInt();
    if (args.size() > 3)
        bench.OpenMs = args[3].toInt();
    QString error;
    if (!bench.Service.Start(&error,
                             {QStringLiteral("--companies"), QString::number(bench.Companies)})) {
        std::printf("bench_bureau: %s\n", qPrintable(error));
        return 1;
    }
    std::printf("%d companies x 2 new payrolls, %d ms a request set, %d ms a company-file open\n",
                bench.Companies, bench.LatencyMs, bench.OpenMs);

    TLedgerLocation sqlite;
    sqlite.FilePath = bench.Dir.filePath(QStringLiteral("ledger.sqlite"));
    bench.MakeFiles(*std::make_unique<TRunLedger>(sqlite, TLedgerOptions{}), QStringLiteral("a"));
    for (const char* what : {"first run (SQLite ledger)", "second run, nothing new"}) {
        TRoundTrips trips;
        QElapsedTimer timer;
        timer.start();
        const QList<TBureauCompanyResult> companies = bench.Run(sqlite, "WS-1", trips);
        PrintRun(what, companies, timer.nsecsElapsed() / 1e9, trips.Count);
    }

    testsupport::TPostgresCluster pg;
    error = pg.Start();
    if (error.isEmpty())
        error = pg.CreateDatabase(QStringLiteral("bureau"));
    if (!error.isEmpty()) {
        std::printf("two runs on PostgreSQL: skipped (%s)\n", qPrintable(error));
        return 0;
    }
    TLedgerLocation shared = ParseLedgerLocation(
        QStringLiteral("postgresql://%1@127.0.0.1:%2/bureau")
            .arg(testsupport::TPostgresCluster::User(), QString::number(pg.Port())));
    shared.Password = testsupport::TPostgresCluster::Password();
    bench.MakeFiles(*std::make_unique<TRunLedger>(shared, TLedgerOptions{}), QStringLiteral("b"));
    QList<TBureauCompanyResult> results[2];
    TRoundTrips trips[2];
    QElapsedTimer timer;
    timer.start();
    std::unique_ptr<QThread> threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i].reset(QThread::create([&, i] {
            results[i] = bench.Run(shared, QStringLiteral("WS-%1").arg(i + 1), trips[i]);
        }));
        threads[i]->start();
    }
    for (auto& thread : threads)
        thread->wait();
    const double seconds = timer.nsecsElapsed() / 1e9;
    PrintRun("two runs together, WS-1 (PostgreSQL)", results[0], seconds, trips[0].Count);
    PrintRun("two runs together, WS-2 (PostgreSQL)", results[1], seconds, trips[1].Count);
    QMap<QString, int> exported;
    int held = 0;
    for (const auto& result : results)
        for (const TBureauCompanyResult& company : result)
            for (const TBureauExport& e : company.Exports) {
                if (e.State == besExported)
                    ++exported[company.Entry.OrvaneCompany + u'/' + e.Payroll];
                held += e.State == besHeld;
            }
    int duplicates = 0;
    for (const int n : exported)
        duplicates += n - 1;
    int checksInFiles = 0;
    for (int i = 1; i <= bench.Companies; ++i) {
        TQBSandboxCompany company(bench.File(i, QStringLiteral("b")), false);
        TSbTxnFilter filter;
        filter.Type = QStringLiteral("Check");
        checksInFiles += int(company.Txns(filter).size());
    }
    std::printf("payrolls exported %d of %d, skipped as held %d, duplicates %d, checks in the "
                "files %d, added %d\n",
                int(exported.size()), bench.Companies * 2, held, duplicates, checksInFiles,
                BureauTotals(results[0]).ChecksAdded + BureauTotals(results[1]).ChecksAdded);
    return 0;
}
