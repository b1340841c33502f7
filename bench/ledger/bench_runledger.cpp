// What writing ahead costs a run: 1,000 checks in request sets of 50 on an
// SQLite ledger (WAL, synchronous=FULL), each set's intents and outcomes one
// committed transaction each, then the run's queries. Prints figures only.
#include "ledger/RunLedger.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <cstdio>
#include <cstdlib>

int main(int argc, char** argv) {
    const int checks = argc > 1 ? std::atoi(argv[1]) : 1000;
    const int setSize = argc > 2 ? std::atoi(argv[2]) : 50;
    QTemporaryDir dir;
    TLedgerOptions options;
    options.Identity.ProgramVersion = QStringLiteral("bench");
    TRunLedger ledger(ParseLedgerLocation(dir.filePath(QStringLiteral("ledger.sqlite"))), options);

    QElapsedTimer timer;
    timer.start();
    TLedgerRunStart start;
    start.ReportKind = rkEmployeeChecks;
    start.Source.OrvaneCompany = QStringLiteral("34");
    start.Source.Payrolls = QStringList{QStringLiteral("1001")};
    const QString run = ledger.BeginRun(start);
    int sets = 0;
    for (int first = 0; first < checks; first += setSize, ++sets) {
        QList<TLedgerRecordIntent> intents;
        for (int i = first; i < qMin(checks, first + setSize); ++i)
            intents << TLedgerRecordIntent{lekCheck,
                                           QString::number(1100000 + i),
                                           QDate(2026, 12, 4),
                                           QStringLiteral("Employee"),
                                           Currency::FromRaw(1234500 + i),
                                           QStringLiteral("Checking; Payroll Liabilities"),
                                           QString(),
                                           QString()};
        const QList<int> seqs = ledger.WriteIntents(run, intents);
        QList<TLedgerRecordOutcome> outcomes;
        for (int seq : seqs)
            outcomes << TLedgerRecordOutcome{seq, loAdded, u"TX-" + QString::number(seq),
                                             QStringLiteral("1"), QString()};
        ledger.WriteOutcomes(run, outcomes);
    }
    ledger.EndRun(run, lrsFinished);
    const double writeMs = timer.nsecsElapsed() / 1e6;

    timer.restart();
    const int listed = int(ledger.Runs().size());
    const int records = int(ledger.Records(run).size());
    const int undoable = int(ledger.Undoable(run).size());
    const double readMs = timer.nsecsElapsed() / 1e6;

    std::printf("checks written ahead:   %d in %d sets of %d\n", checks, sets, setSize);
    std::printf("write time:             %.1f ms (%.2f ms per set, %.3f ms per check)\n", writeMs,
                writeMs / sets, writeMs / checks);
    std::printf("read back:              %d run, %d records, %d undoable in %.1f ms\n", listed,
                records, undoable, readMs);
    return 0;
}
