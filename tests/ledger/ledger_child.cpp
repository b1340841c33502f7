// A second program on the same ledger, for what one process cannot show: a
// run killed mid-way, two workstations claiming at once, a user who may not
// write the ledger. Usage:
//   ledger_child run LOCATION N          records N checks, answers the first
//                                        half, prints the run id, then waits
//                                        to be killed
//   ledger_child claim LOCATION WS N     prints "ready", waits for a line,
//                                        claims payrolls 1..N as workstation WS
//                                        and prints "granted P" for each won
//   ledger_child begin LOCATION          as the user "nobody" when started as
//                                        root, begins a run; exit 3 and the
//                                        message when the ledger refuses
//   ledger_child fixture PATH            writes the ledger that
//                                        tests/data/ledger/ledger-v1.sqlite is
// The PostgreSQL password comes from ORVQ_LEDGER_PASSWORD.
#include "TestPlatform.h"
#include "ledger/RunLedger.h"

#include <QCoreApplication>
#include <QTextStream>

#include <iostream>
#include <string>

namespace {

std::unique_ptr<TRunLedger> Open(const QString& value, const QString& workstation,
                                 std::function<QDateTime()> clock = {}) {
    TLedgerLocation location = ParseLedgerLocation(value);
    location.Password = qEnvironmentVariable("ORVQ_LEDGER_PASSWORD");
    TLedgerOptions options;
    options.Identity = {QStringLiteral("child"), workstation, QStringLiteral("test"), {}};
    options.Clock = std::move(clock);
    return std::make_unique<TRunLedger>(location, options);
}

int Run(const QString& location, int count) {
    auto ledger = Open(location, QStringLiteral("WS-1"));
    TLedgerRunStart start;
    start.ReportKind = rkEmployeeChecks;
    start.Target = {QStringLiteral("child.qbw"), QStringLiteral("Child Company")};
    const QString id = ledger->BeginRun(start);
    QList<TLedgerRecordIntent> intents;
    for (int i = 1; i <= count; ++i)
        intents << TLedgerRecordIntent{lekCheck,
                                       QString::number(1000 + i),
                                       QDate(2026, 12, 4),
                                       QStringLiteral("Payee"),
                                       Currency::FromUnits(i),
                                       QString(),
                                       QString(),
                                       QString()};
    const QList<int> seqs = ledger->WriteIntents(id, intents);
    QList<TLedgerRecordOutcome> outcomes;
    for (int i = 0; i < count / 2; ++i)
        outcomes << TLedgerRecordOutcome{seqs[i], loAdded, u"TX-" + QString::number(seqs[i]),
                                         QStringLiteral("1"), QString()};
    ledger->WriteOutcomes(id, outcomes);
    std::cout << id.toStdString() << std::endl;
    std::string line;
    std::getline(std::cin, line); // killed while waiting here
    return 0;
}

int Claim(const QString& location, const QString& workstation, int count) {
    auto ledger = Open(location, workstation);
    std::cout << "ready" << std::endl;
    std::string line;
    std::getline(std::cin, line);
    for (int p = 1; p <= count; ++p) {
        if (ledger->Claim(QStringLiteral("34"), QString::number(p), rkEmployeeChecks).Granted)
            std::cout << "granted " << p << std::endl;
    }
    return 0;
}

int Begin(const QString& location) {
    if (!testsupport::DropRootToNobody())
        return 2;
    auto ledger = Open(location, QStringLiteral("WS-1"));
    ledger->BeginRun(TLedgerRunStart{});
    std::cout << "begun" << std::endl;
    return 0;
}

// A finished checks run with an undo of one of its checks, a run that never
// ended, a pairing and a row of the company map.
int Fixture(const QString& path) {
    QDateTime now(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC);
    auto ledger = Open(path, QStringLiteral("WS-1"), [&now] { return now; });
    TLedgerRunStart checks;
    checks.ReportKind = rkEmployeeChecks;
    checks.Source.OrvaneCompany = QStringLiteral("34");
    checks.Source.Payrolls = QStringList{QStringLiteral("1001")};
    checks.Target = {QStringLiteral("C:/Books/harbor.qbw"), QStringLiteral("Harbor Lane Bakery")};
    checks.Options = QStringLiteral("Clear");
    const QString run = ledger->BeginRun(checks);
    ledger->WriteIntents(
        run, {{lekCheck, QStringLiteral("1105100"), QDate(2026, 11, 27), QStringLiteral("Lee Ann"),
               Currency::FromRaw(12345000), QStringLiteral("Checking; Payroll Liabilities"),
               QString(), QString()},
              {lekVoid, QStringLiteral("1105000"), QDate(2026, 11, 20), QStringLiteral("Ray Oh"),
               Currency::FromUnits(-80), QStringLiteral("Checking"), QStringLiteral("TX-0"),
               QStringLiteral("4")}});
    ledger->WriteOutcomes(run,
                          {{1, loAdded, QStringLiteral("TX-1"), QStringLiteral("1"), QString()},
                           {2, loVoided, QString(), QStringLiteral("5"), QString()}});
    ledger->EndRun(run, lrsFinished);
    now = now.addSecs(60);
    TLedgerRunStart undo;
    undo.Kind = lrkUndo;
    undo.TargetRunId = run;
    const QString undoRun = ledger->BeginRun(undo);
    ledger->WriteIntents(undoRun, {{lekDeletion, QStringLiteral("1105100"), QDate(2026, 11, 27),
                                    QStringLiteral("Lee Ann"), Currency::FromRaw(12345000),
                                    QString(), QStringLiteral("TX-1"), QStringLiteral("1")}});
    now = now.addSecs(60);
    TLedgerRunStart gl = checks;
    gl.Kind = lrkGL;
    gl.ReportKind = rkJournal;
    gl.Target = {};
    gl.Options.clear();
    ledger->BeginRun(gl);
    ledger->RecordPairing({lpaOrvaneCompany,
                           QStringLiteral("34"),
                           QStringLiteral("Harbor Lane Bakery"),
                           checks.Target,
                           {},
                           run});
    TBureauMapEntry entry;
    entry.OrvaneCompany = QStringLiteral("34");
    entry.CompanyFile = checks.Target.CompanyFile;
    entry.CashAccount = QStringLiteral("Checking");
    entry.LiabilityAccount = QStringLiteral("Payroll Liabilities");
    entry.ChecksKind = crcEmployeeChecks;
    entry.PostGL = true;
    ledger->AddMapEntry(entry);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    try {
        if (args.size() == 4 && args[1] == u"run")
            return Run(args[2], args[3].toInt());
        if (args.size() == 5 && args[1] == u"claim")
            return Claim(args[2], args[3], args[4].toInt());
        if (args.size() == 3 && args[1] == u"begin")
            return Begin(args[2]);
        if (args.size() == 3 && args[1] == u"fixture")
            return Fixture(args[2]);
    } catch (const ELedgerError& e) {
        std::cout << e.Message().toStdString() << std::endl;
        return 3;
    }
    std::cerr << "usage: ledger_child run|claim|begin|fixture LOCATION ..." << std::endl;
    return 2;
}
