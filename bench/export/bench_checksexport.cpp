// Exports a generated S1910 report of 2,000 checks into a fresh sandbox demo
// company, then runs the same report again, with the full logger chain
// attached. The report mixes new checks, checks the company already holds,
// voids of held checks and returned pay without a check (deposits). Prints
// checks per second and qbXML round trips per check for both passes.
//
//     bench_checksexport [checks]
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "export/QBChecksExport.h"
#include "export/QBConnectionFactory.h"
#include "logging/vlxLogWriters.h"
#include "logging/vlxLoggerChain.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>

namespace {

// Counts the requests sent to QuickBooks.
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

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    SetQBRequestProcessorFactory(&CreateSandboxRequestProcessor);
    const int total = argc > 1 ? std::max(20, atoi(argv[1])) : 2000;
    // Shares of the report: 10 % held checks, 10 % voids of held checks,
    // 10 % returned pay without a check, the rest new checks.
    const int existing = total / 10;
    const int voids = total / 10;
    const int deposits = total / 10;
    const int fresh = total - existing - voids - deposits;

    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("company.sqlite"));
    const QString demo = QDir(QCoreApplication::applicationDirPath()).filePath("demo");
    CreateSandboxCompany(file, QFileInfo::exists(demo) ? demo : QStringLiteral(ORVQ_DEMO_DIR));

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
    TQBConnectionConfig config;
    config.Processor.CompanyFile = file;
    TQBChecksExportParam options;
    options.CashAccount = QStringLiteral("Payroll Checking");
    options.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");

    auto pass = [&](const char* name, const QStringList& lines) {
        const TCheckRecords records =
            ParseChecksReport(*chain.Common, lines.join(QStringLiteral("\r\n")), crkEmployee);
        trips->Count = 0;
        QElapsedTimer timer;
        timer.start();
        auto connection = TQBConnection::Create(chain.Common, config);
        const TChecksExportResult r = ExportChecks(*connection, records, options);
        connection.reset();
        const double seconds = timer.nsecsElapsed() / 1e9;
        std::printf("%-28s %6d checks %8.3f s %9.1f checks/s %6.3f round trips/check\n", name,
                    int(records.size()), seconds, records.size() / seconds,
                    double(trips->Count) / records.size());
        std::printf("    %s\n", qPrintable(FormatChecksExportResult(r)));
    };
    pass("held checks (setup)", held);
    pass("export, fresh", report);
    pass("export, re-run", report);
    std::printf("log: %d user records, %d developer records\n", int(userLog.size()),
                int(devLog.size()));
    return 0;
}
