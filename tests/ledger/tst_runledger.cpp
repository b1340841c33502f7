// The ledger on both engines: every case runs on an SQLite file and on a
// database of a PostgreSQL server the test starts.
#include "PostgresCluster.h"
#include "TestSupport.h"
#include "ledger/LedgerDb.h"
#include "ledger/LedgerSchema.h"
#include "ledger/RunLedger.h"

#include <QProcess>
#include <QSet>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QtTest>

using testsupport::TPostgresCluster;

using namespace Qt::StringLiterals;

namespace {

QString ErrorOf(const std::function<void()>& work) {
    try {
        work();
    } catch (const ELedgerError& e) {
        return e.Message();
    }
    return QString();
}

TLedgerRecordIntent Record(TLedgerRecordKind kind, const QString& txn = {}) {
    return {kind,
            QStringLiteral("1105100"),
            QDate(2026, 12, 4),
            QStringLiteral("Lee Ann"),
            Currency::FromRaw(123456789),
            QStringLiteral("Checking"),
            txn,
            QString()};
}

TLedgerRecordOutcome Outcome(int seq, TLedgerOutcome outcome, const QString& txn = {},
                             const QString& message = {}) {
    return {seq, outcome, txn, QString(), message};
}

TLedgerSource Payrolls(const QStringList& payrolls) {
    return {QStringLiteral("34"), payrolls, QString(), 0, QString()};
}

TBureauMapEntry Entry(const QString& company, const QString& file = {}) {
    TBureauMapEntry entry;
    entry.OrvaneCompany = company;
    entry.CompanyFile = file;
    return entry;
}

QString Outcomes(const QList<TLedgerRecord>& records) {
    QStringList texts;
    for (const TLedgerRecord& r : records)
        texts << LedgerText(r.Outcome);
    return texts.join(u',');
}

template <typename T> QStringList Ids(const QList<T>& items) {
    QStringList ids;
    for (const T& item : items)
        ids << item.Id;
    return ids;
}

QString ReadLine(QProcess& p) {
    while (!p.canReadLine() && p.waitForReadyRead(60000)) {
    }
    return QString::fromUtf8(p.readLine()).trimmed();
}

} // namespace

class TestRunLedger : public QObject {
    Q_OBJECT

    TPostgresCluster m_pg;
    QString m_missingDriver;
    QTemporaryDir m_dir;
    int m_databases = 0;
    QDateTime m_now;

    static void Engines() {
        QTest::addColumn<int>("engine");
        QTest::newRow("sqlite") << int(lenSQLite);
        QTest::newRow("postgresql") << int(lenPostgreSQL);
    }

    // A new ledger of the row's engine, not yet created.
    TLedgerLocation NewLocation() {
        QFETCH(int, engine);
        const QString name = u"ledger" + QString::number(++m_databases);
        if (engine == lenSQLite)
            return ParseLedgerLocation(m_dir.filePath(name + u"/ledger.sqlite"));
        const QString error = m_pg.CreateDatabase(name);
        if (!error.isEmpty())
            qFatal("%s", qPrintable(error));
        TLedgerLocation location = ParseLedgerLocation(
            QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
                .arg(TPostgresCluster::User(), QString::number(m_pg.Port()), name));
        location.Password = TPostgresCluster::Password();
        return location;
    }

    std::unique_ptr<TRunLedger> Open(const TLedgerLocation& location,
                                     const QString& workstation = QStringLiteral("WS-1"),
                                     std::function<QDateTime()> clock = {}, int busyMs = 10000) {
        TLedgerOptions options;
        options.Identity = {QStringLiteral("ann"), workstation, QStringLiteral("0.1"), {}};
        options.Clock = clock ? clock : [this] { return m_now; };
        options.BusyTimeoutMs = busyMs;
        return std::make_unique<TRunLedger>(location, options);
    }

    void StartChild(QProcess& child, const QStringList& args) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORVQ_LEDGER_PASSWORD"), TPostgresCluster::Password());
        child.setProcessEnvironment(env);
        child.start(QCoreApplication::applicationDirPath() + QStringLiteral("/ledger_child"), args);
        QVERIFY2(child.waitForStarted(), qPrintable(child.errorString()));
    }

    static QString Arg(const TLedgerLocation& l) {
        return l.Engine == lenSQLite ? l.FilePath : l.Display();
    }

private Q_SLOTS:
    void initTestCase() {
        // The child drops to an unprivileged user that must reach the files.
        QFile::setPermissions(m_dir.path(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                                QFile::ReadOther | QFile::ExeOther);
        m_missingDriver = TPostgresCluster::MissingDriver();
        if (!m_missingDriver.isEmpty())
            return;
        const QString error = m_pg.Start();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void init() {
        if (!m_missingDriver.isEmpty() && QTest::currentDataTag() == QLatin1String("postgresql"))
            QSKIP(qPrintable(m_missingDriver));
        m_now = QDateTime(QDate(2026, 12, 4), QTime(10, 2), Qt::LocalTime).toUTC();
    }

    void writeAheadRun_data() { Engines(); }
    void writeAheadRun() {
        const TLedgerLocation location = NewLocation();
        auto ledger = Open(location);
        auto reader = Open(location);
        QCOMPARE(reader->Version(), CurrentLedgerVersion());
        const QString id = ledger->BeginRun(
            {lrkChecks,
             rkEmployeeChecks,
             Payrolls({"1001", "1002"}),
             {QStringLiteral("C:/Books/harbor.qbw"), QStringLiteral("Harbor Lane Bakery")},
             QStringLiteral("Clear"),
             QString()});
        const QList<int> seqs = ledger->WriteIntents(
            id, {Record(lekCheck), Record(lekCheck), Record(lekVoid, QStringLiteral("TX-9"))});
        QCOMPARE(seqs, (QList<int>{1, 2, 3}));
        // Committed before the set is sent: another connection reads them.
        QCOMPARE(Outcomes(reader->Records(id)), QStringLiteral("pending,pending,pending"));
        ledger->WriteOutcomes(
            id, {{1, loAdded, QStringLiteral("TX-1"), QStringLiteral("ES-1"), QString()},
                 Outcome(2, loFailed, {}, QStringLiteral("QB: [3140] no account"))});
        ledger->EndRun(id, lrsFinished);

        // What was never answered may have reached QuickBooks.
        const QList<TLedgerRecord> records = reader->Records(id);
        QCOMPARE(Outcomes(records), QStringLiteral("added,failed,state unknown"));
        QCOMPARE(records[0].TxnID + u'/' + records[0].EditSequence, QStringLiteral("TX-1/ES-1"));
        QCOMPARE(records[0].Amount, Currency::FromRaw(123456789));
        QCOMPARE(records[0].Date, QDate(2026, 12, 4));
        QCOMPARE(records[1].Message, QStringLiteral("QB: [3140] no account"));
        QCOMPARE(records[2].TxnID, QStringLiteral("TX-9"));
        const TLedgerRun run = reader->Runs().value(0);
        QCOMPARE(run.Id, id);
        QCOMPARE(run.State, lrsFinished);
        QCOMPARE(run.Started, m_now);
        QCOMPARE(run.Source.Payrolls, (QStringList{"1001", "1002"}));
        QCOMPARE(run.Target.CompanyName, QStringLiteral("Harbor Lane Bakery"));
        QCOMPARE(run.Identity.Computer, QStringLiteral("WS-1"));
        QCOMPARE(run.Counts,
                 (QMap<TLedgerOutcome, int>{{loAdded, 1}, {loFailed, 1}, {loStateUnknown, 1}}));
        QCOMPARE(run.Amounts.value(loAdded), records[0].Amount);
        QCOMPARE(run.Amounts.value(loFailed), records[1].Amount);
        QCOMPARE(run.FirstDate, QDate(2026, 12, 4));
        QCOMPARE(run.LastDate, QDate(2026, 12, 4));
        // An ended run takes nothing more.
        const QString error = ErrorOf([&] { ledger->WriteIntents(id, {Record(lekCheck)}); });
        QVERIFY2(error.contains(u"is not running") && error.contains(u"Posting stops"),
                 qPrintable(error));
    }

    void killedRunReadsInterrupted_data() { Engines(); }
    void killedRunReadsInterrupted() {
        const TLedgerLocation location = NewLocation();
        Open(location);
        QProcess child;
        StartChild(child, {QStringLiteral("run"), Arg(location), QStringLiteral("4")});
        const QString id = ReadLine(child);
        child.kill(); // SIGKILL
        QVERIFY(child.waitForFinished());
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        // Within its lease a run may still be at work.
        auto now =
            Open(location, QStringLiteral("WS-2"), [] { return QDateTime::currentDateTimeUtc(); });
        QCOMPARE(now->FindRun(id)->State, lrsRunning);
        QCOMPARE(Outcomes(now->Records(id)), QStringLiteral("added,added,pending,pending"));
        auto later = Open(location, QStringLiteral("WS-2"), [] {
            return QDateTime::currentDateTimeUtc().addSecs(TLedgerOptions().RunLeaseSeconds + 1);
        });
        const TLedgerRun run = *later->FindRun(id.left(8));
        QCOMPARE(run.State, lrsInterrupted);
        QCOMPARE(run.Counts, (QMap<TLedgerOutcome, int>{{loAdded, 2}, {loStateUnknown, 2}}));
        QCOMPARE(Outcomes(later->Records(id)),
                 QStringLiteral("added,added,state unknown,state unknown"));
    }

    // A run of this computer whose process is gone is interrupted at once;
    // another computer's reads as running until its lease ends.
    void runOfAProcessThatIsGone_data() { Engines(); }
    void runOfAProcessThatIsGone() {
        const TLedgerLocation location = NewLocation();
        const auto real = [] { return QDateTime::currentDateTimeUtc(); };
        Open(location);
        QProcess child;
        StartChild(child, {QStringLiteral("run"), Arg(location), QStringLiteral("2")});
        const QString id = ReadLine(child);
        auto here = Open(location, QStringLiteral("WS-1"), real);
        auto there = Open(location, QStringLiteral("WS-2"), real);
        const TLedgerRun living = *here->FindRun(id);
        QCOMPARE(living.State, lrsRunning);
        QVERIFY(!living.LeaseEnds.isValid());
        child.kill();
        QVERIFY(child.waitForFinished());
        QCOMPARE(here->FindRun(id)->State, lrsInterrupted);
        QCOMPARE(Outcomes(here->Records(id)), QStringLiteral("added,state unknown"));
        const TLedgerRun elsewhere = *there->FindRun(id);
        QCOMPARE(elsewhere.State, lrsRunning);
        QCOMPARE(elsewhere.LeaseEnds,
                 elsewhere.Heartbeat.addSecs(TLedgerOptions().RunLeaseSeconds));
        const QString local = elsewhere.Heartbeat.toLocalTime().toString(QStringLiteral("HH:mm"));
        const QString until = elsewhere.LeaseEnds.toLocalTime().toString(QStringLiteral("HH:mm"));
        QCOMPARE(RunLeaseText(elsewhere),
                 QStringLiteral("Run %1 on WS-1 last wrote at %2; it counts as interrupted from "
                                "%3 unless it writes again")
                     .arg(id.left(8), local, until));

        // A process id given again to another process is not the run's.
        TLedgerOptions reused;
        reused.Identity = {QStringLiteral("ann"),
                           QStringLiteral("WS-1"),
                           QStringLiteral("0.1"),
                           {QCoreApplication::applicationPid(), QStringLiteral("earlier")}};
        reused.Clock = real;
        const QString old = TRunLedger(location, reused).BeginRun({});
        QCOMPARE(here->FindRun(old)->State, lrsInterrupted);
        QCOMPARE(here->FindRun(here->BeginRun({}))->State, lrsRunning);
    }

    void upgradesOlderAndRefusesNewer_data() { Engines(); }
    void upgradesOlderAndRefusesNewer() {
        const TLedgerLocation location = NewLocation();
        // A ledger of version 1 takes this program's steps.
        {
            TLedgerDb db(location, 1000);
            PrepareLedgerSchema(db, {});
            QCOMPARE(db.SchemaVersion(), 1);
        }
        const QString id = Open(location)->BeginRun(TLedgerRunStart{});
        QCOMPARE(Open(location)->FindRun(id)->Identity.Process.Id,
                 QCoreApplication::applicationPid());
        const int current = CurrentLedgerVersion();
        {
            TLedgerDb db(location, 1000);
            TLedgerUpgradeSteps steps = LedgerUpgradeSteps();
            steps.append({current, [](TLedgerDb& d) {
                              d.Exec(QStringLiteral("ALTER TABLE runs ADD COLUMN "
                                                    "note TEXT NOT NULL DEFAULT ''"));
                          }});
            PrepareLedgerSchema(db, steps);
            QCOMPARE(db.SchemaVersion(), current + 1);
            QSqlQuery q = db.Exec(QStringLiteral("SELECT note FROM runs WHERE run_id = ?"), {id});
            QVERIFY(q.next());
            QCOMPARE(q.value(0).toString(), QString());
        }
        // This program knows the versions up to its own only.
        const QString error = ErrorOf([&] { Open(location); });
        QVERIFY2(error.contains(QStringLiteral("newer version of the program (ledger version %1; "
                                               "this version knows ledger versions up to %2)")
                                    .arg(current + 1)
                                    .arg(current)) &&
                     error.contains(u"Posting stops"),
                 qPrintable(error));
        QCOMPARE(TLedgerDb(location, 1000).SchemaVersion(), current + 1);
    }

    // A file made by version 1 (ledger_child fixture) reads as it was written.
    void readsVersionOneFile() {
        const QString path = m_dir.filePath(QStringLiteral("v1.sqlite"));
        QVERIFY(
            QFile::copy(testsupport::DataPath(QStringLiteral("ledger/ledger-v1.sqlite")), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        auto ledger = Open(ParseLedgerLocation(path));
        QCOMPARE(ledger->Version(), CurrentLedgerVersion());
        const QList<TLedgerRun> runs = ledger->Runs();
        QCOMPARE(runs.size(), 3);
        const TLedgerRun checks = runs.last();
        QCOMPARE(checks.State, lrsFinished);
        QCOMPARE(checks.Started, QDateTime(QDate(2026, 12, 1), QTime(9, 0), Qt::UTC));
        QCOMPARE(checks.Target.CompanyFile, QStringLiteral("C:/Books/harbor.qbw"));
        QCOMPARE(runs[1].State, lrsInterrupted);
        QCOMPARE(runs[1].TargetRunId, checks.Id);
        // Its runs name no process; a run begun now names this one.
        QCOMPARE(runs[1].Identity.Process.Id, 0);
        QCOMPARE(ledger->FindRun(ledger->BeginRun({}))->Identity.Process.Id,
                 QCoreApplication::applicationPid());
        const QList<TLedgerRecord> records = ledger->Records(checks.Id);
        QCOMPARE(Outcomes(records), QStringLiteral("added,voided"));
        QCOMPARE(records[0].Amount, Currency::FromRaw(12345000));
        QCOMPARE(records[1].EditSequence, QStringLiteral("5"));
        QCOMPARE(ledger->Undoable(checks.Id).value(0).TxnID, QStringLiteral("TX-1"));
        QCOMPARE(ledger->ExportedPayrolls("34", rkEmployeeChecks), QStringList{"1001"});
        QCOMPARE(ledger->FindPairing(lpaOrvaneCompany, "34")->RunId, checks.Id);
        QCOMPARE(ledger->MapEntry("34")->ChecksKind, crcEmployeeChecks);

        // Records of unknown outcome are settled later with a note; others
        // stay as they were.
        QCOMPARE(records[0].Note, QString());
        const QString lost = ledger->BeginRun(TLedgerRunStart{});
        ledger->WriteIntents(lost, {TLedgerRecordIntent{}, TLedgerRecordIntent{}});
        ledger->EndRun(lost, lrsFinished);
        const QString note = QStringLiteral("resolved by run 0f3e2a71");
        ledger->ResolveRecords(lost, {{1, loAdded, "TX-9", "7", {}}, {2, loNotAdded, {}, {}, {}}},
                               note);
        ledger->ResolveRecords(checks.Id, {{1, loNotAdded, {}, {}, {}}}, note);
        const QList<TLedgerRecord> settled = ledger->Records(lost);
        QCOMPARE(Outcomes(settled), QStringLiteral("added,not added"));
        QCOMPARE(settled[0].TxnID + u' ' + settled[0].EditSequence + u' ' + settled[1].Note,
                 u"TX-9 7 "_s + note);
        QCOMPARE(Outcomes(ledger->Records(checks.Id)), QStringLiteral("added,voided"));
        QCOMPARE(ledger->HeldTxnIDs({"TX-1", "TX-9", "TX-none"}), (QSet<QString>{"TX-1", "TX-9"}));

        // A word this version does not know is refused, not guessed.
        TLedgerDb(ledger->Location(), 1000)
            .Exec(QStringLiteral("UPDATE records SET outcome = 'bogus' WHERE seq = 2"));
        const QString error = ErrorOf([&] { ledger->Records(checks.Id); });
        QVERIFY2(error.contains(u"cannot be read") && error.contains(u"\"bogus\""),
                 qPrintable(error));
    }

    // The upgrade gives a map row of version 1 the company of the pairing
    // that posted its Orvane company into the same file, and no other.
    void upgradeRecordsMapCompanies_data() {
        QTest::addColumn<QString>("company");
        QTest::addColumn<QString>("before"); // SQL on the version 1 file
        QTest::addColumn<QString>("recorded");
        QTest::newRow("pairing agrees") << "34"
                                        << ""
                                        << "Harbor Lane Bakery";
        QTest::newRow("file changed since")
            << "34"
            << "UPDATE company_map SET company_file = 'C:/Books/victim.qbw'"
            << "";
        QTest::newRow("never posted")
            << "12"
            << "INSERT INTO company_map VALUES ('12', 'C:/Books/deli.qbw', 'Checking', 'Payroll "
               "Liabilities', 'all', 0, 0, 0, 0)"
            << "";
    }
    void upgradeRecordsMapCompanies() {
        QFETCH(QString, company);
        QFETCH(QString, before);
        QFETCH(QString, recorded);
        const QString path = m_dir.filePath(QStringLiteral("v1-map-%1.sqlite").arg(++m_databases));
        QVERIFY(
            QFile::copy(testsupport::DataPath(QStringLiteral("ledger/ledger-v1.sqlite")), path));
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
        if (!before.isEmpty())
            TLedgerDb(ParseLedgerLocation(path), 1000).Exec(before);
        auto ledger = Open(ParseLedgerLocation(path));
        const std::optional<TBureauMapEntry> entry = ledger->MapEntry(company);
        QVERIFY(entry);
        QCOMPARE(entry->CompanyName, recorded);
        QCOMPARE(entry->ChangedBy, QString());
    }

    // The URL's parameters reach libpq: the test server speaks no TLS.
    void tlsParametersReachTheServer() {
        const QString name = u"ledger" + QString::number(++m_databases);
        QCOMPARE(m_pg.CreateDatabase(name), QString());
        const QString url = QStringLiteral("postgresql://%1@127.0.0.1:%2/%3?sslmode=")
                                .arg(TPostgresCluster::User(), QString::number(m_pg.Port()), name);
        TLedgerLocation location = ParseLedgerLocation(url + u"require&connect_timeout=5");
        location.Password = TPostgresCluster::Password();
        const QString error = ErrorOf([&] { Open(location); });
        QVERIFY2(error.contains(u"cannot be opened") && error.contains(u"SSL"), qPrintable(error));
        location = ParseLedgerLocation(url + u"disable");
        location.Password = TPostgresCluster::Password();
        QCOMPARE(Open(location)->Version(), CurrentLedgerVersion());
    }

    void unusableLedger_data() {
        QTest::addColumn<int>("engine");
        QTest::addColumn<QString>("damage");
        QTest::addColumn<QString>("expected");
        QTest::newRow("sqlite: text file") << int(lenSQLite) << "text"
                                           << "cannot be opened";
        QTest::newRow("sqlite: another program's file") << int(lenSQLite) << "table"
                                                        << "is not a run ledger";
        QTest::newRow("postgresql: tables of the same names") << int(lenPostgreSQL) << "table"
                                                              << "is not a run ledger";
        QTest::newRow("postgresql: server down") << int(lenPostgreSQL) << "port"
                                                 << "cannot be opened";
        QTest::newRow("postgresql: wrong password") << int(lenPostgreSQL) << "password"
                                                    << "cannot be opened";
    }
    void unusableLedger() {
        QFETCH(QString, damage);
        QFETCH(QString, expected);
        TLedgerLocation location = NewLocation();
        if (damage == u"text") {
            QVERIFY(QDir().mkpath(QFileInfo(location.FilePath).path()));
            QFile file(location.FilePath);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(QByteArray(4096, 'x'));
        } else if (damage == u"table") {
            TLedgerDb(location, 1000).Exec(QStringLiteral("CREATE TABLE runs (x INTEGER)"));
        } else if (damage == u"port") {
            location.Port = 1;
        } else {
            location.Password = QStringLiteral("wrong");
        }
        const QString error = ErrorOf([&] { Open(location); });
        QVERIFY2(error.contains(expected) && error.contains(u"Posting stops"), qPrintable(error));
    }

    // Run by a user who may not write it (or a read-only database), the ledger
    // refuses before a run begins.
    void readOnlyLedgerStopsRun_data() { Engines(); }
    void readOnlyLedgerStopsRun() {
        const TLedgerLocation location = NewLocation();
        Open(location);
        const QString folder = QFileInfo(location.FilePath).path();
        if (location.Engine == lenSQLite) {
            QVERIFY(QFile::setPermissions(location.FilePath, QFile::ReadOwner | QFile::ReadOther));
            QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner |
                                                      QFile::ReadOther | QFile::ExeOther));
        } else {
            const QString error =
                m_pg.Psql(location.DatabaseName, u"ALTER DATABASE " + location.DatabaseName +
                                                     u" SET default_transaction_read_only = on");
            QVERIFY2(error.isEmpty(), qPrintable(error));
        }
        QProcess child;
        StartChild(child, {QStringLiteral("begin"), Arg(location)});
        QVERIFY(child.waitForFinished());
        const QString output = QString::fromUtf8(child.readAllStandardOutput());
        QCOMPARE(child.exitCode(), 3);
        QVERIFY2(output.contains(u"Posting stops"), qPrintable(output));
        if (location.Engine == lenSQLite)
            QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(Open(location)->Runs().isEmpty());
    }

    void lockedLedgerStopsRun_data() { Engines(); }
    void lockedLedgerStopsRun() {
        const TLedgerLocation location = NewLocation();
        auto ledger = Open(location, QStringLiteral("WS-1"), {}, 200);
        TLedgerDb other(location, 200);
        QString error;
        other.Write([&] {
            if (location.Engine == lenPostgreSQL)
                other.Exec(QStringLiteral("LOCK TABLE runs IN EXCLUSIVE MODE"));
            error = ErrorOf([&] { ledger->BeginRun(TLedgerRunStart{}); });
        });
        QVERIFY2(error.contains(u"cannot be written") && error.contains(u"Posting stops"),
                 qPrintable(error));
        QVERIFY(ledger->Runs().isEmpty());
    }

    // Listing, finding, what an undo may take back, what counts as exported.
    void queries_data() { Engines(); }
    void queries() {
        auto ledger = Open(NewLocation());
        const auto run = [&](TLedgerRunKind kind, TReportKind report, const QString& file,
                             const QString& payroll, QList<TLedgerRecordOutcome> outcomes,
                             QList<TLedgerRecordIntent> records, const QString& target = {}) {
            m_now = m_now.addSecs(60);
            const QStringList payrolls = payroll.isEmpty() ? QStringList() : QStringList{payroll};
            const QString id =
                ledger->BeginRun({kind, report, Payrolls(payrolls), {file, "Co"}, {}, target});
            ledger->WriteIntents(id, records);
            ledger->WriteOutcomes(id, outcomes);
            ledger->EndRun(id, lrsFinished);
            return id;
        };
        const QString a = run(lrkChecks, rkEmployeeChecks, "A.qbw", "1001",
                              {Outcome(1, loAdded, "TX-1"), Outcome(2, loAdded, "TX-2"),
                               Outcome(3, loAlreadyExisted, "TX-3"), Outcome(4, loVoided),
                               Outcome(5, loAdded, "TX-5")},
                              {Record(lekCheck), Record(lekDeposit), Record(lekCheck),
                               Record(lekVoid, "TX-4"), Record(lekJournalEntry)});
        const QString undo =
            run(lrkUndo, rkNone, "A.qbw", {}, {Outcome(1, loDeleted), Outcome(2, loNotDeleted)},
                {Record(lekDeletion, "TX-1"), Record(lekDeletion, "TX-2")}, a);
        const QString failed = run(lrkChecks, rkEmployeeChecks, "B.qbw", "1002",
                                   {Outcome(1, loFailed)}, {Record(lekCheck)});
        const QString preview = run(lrkPreview, rkEmployeeChecks, "A.qbw", "1003",
                                    {Outcome(1, loWouldAdd)}, {Record(lekCheck)});
        const QString gl = run(lrkGL, rkJournal, "B.qbw", "1001", {Outcome(1, loAdded, "TX-6")},
                               {Record(lekJournalEntry)});
        const QString clean = run(lrkChecks, rkEmployeeChecks, "B.qbw", "1005",
                                  {Outcome(1, loAdded, "TX-7")}, {Record(lekCheck)});

        QCOMPARE(Ids(ledger->Runs()), (QStringList{clean, gl, preview, failed, undo, a}));
        QCOMPARE(Ids(ledger->Runs({"A.qbw", 2})), (QStringList{preview, undo}));
        QCOMPARE(ledger->FindRun(a.left(8).toUpper())->Id, a);
        QVERIFY(!ledger->FindRun("zz%"));
        QVERIFY(!ledger->FindRun(""));
        QStringList undoable;
        for (const TLedgerRecord& r : ledger->Undoable(a))
            undoable << r.TxnID;
        QCOMPARE(undoable, (QStringList{"TX-2", "TX-5"}));
        QCOMPARE(Ids(ledger->UndoRunsOf(a)), QStringList{undo});
        // Undone, failed and previewed payrolls are not exported.
        QCOMPARE(ledger->ExportedPayrolls("34", rkEmployeeChecks), QStringList{"1005"});
        QCOMPARE(ledger->ExportedPayrolls("34", rkJournal), QStringList{"1001"});
        QCOMPARE(ledger->ExportedPayrolls("35", rkJournal), QStringList{});
    }

    void pairings_data() { Engines(); }
    void pairings() {
        auto ledger = Open(NewLocation());
        const TLedgerTarget harbor{"C:/harbor.qbw", "Harbor Lane Bakery"};
        const TLedgerTarget deli{"C:/deli.qbw", "Second Street Deli"};
        ledger->RecordPairing({lpaOrvaneCompany, "34", "Harbor Lane Bakery", harbor, {}, "r1"});
        ledger->RecordPairing({lpaReportFile, "ab12", "checks.txt", deli, {}, "r2"});
        QCOMPARE(ledger->FindPairing(lpaOrvaneCompany, "34")->Target.CompanyName,
                 harbor.CompanyName);
        QCOMPARE(ledger->FindPairing(lpaOrvaneCompany, "34")->Recorded, m_now);
        QVERIFY(!ledger->FindPairing(lpaReportFile, "34"));
        QCOMPARE(ledger->PairingsOfCompanyFile(deli.CompanyFile).value(0).Key,
                 QStringLiteral("ab12"));
        // Recording a key again replaces its company.
        ledger->RecordPairing({lpaOrvaneCompany, "34", "Harbor Lane Bakery", deli, {}, "r3"});
        QCOMPARE(ledger->Pairings().size(), 2);
        QCOMPARE(ledger->PairingsOfCompanyFile(deli.CompanyFile).size(), 2);
        QCOMPARE(ledger->FindPairing(lpaOrvaneCompany, "34")->RunId, QStringLiteral("r3"));
        QVERIFY(ledger->RemovePairing(lpaOrvaneCompany, "34"));
        QVERIFY(!ledger->RemovePairing(lpaOrvaneCompany, "34"));
        QVERIFY(!ledger->FindPairing(lpaOrvaneCompany, "34"));
    }

    void companyMap_data() { Engines(); }
    void companyMap() {
        auto ledger = Open(NewLocation());
        TBureauMapEntry harbor{"34",        "C:/harbor.qbw",
                               "Checking",  "Payroll Liabilities",
                               crcEmployeeChecks, true,
                               false,       true,
                               false};
        ledger->AddMapEntry(harbor);
        ledger->AddMapEntry(Entry("12", "C:/deli.qbw"));
        QVERIFY(
            ErrorOf([&] { ledger->AddMapEntry(harbor); }).contains(u"in the company map already"));
        harbor.CashAccount = QStringLiteral("Savings");
        harbor.ChecksKind = crcAgencyChecks;
        harbor.PayeeNames = true;
        harbor.CompanyName = QStringLiteral("Harbor Lane Bakery");
        m_now = m_now.addSecs(60);
        ledger->UpdateMapEntry(harbor);
        QVERIFY(*ledger->MapEntry("34") == harbor);
        // Who changed the row, and when.
        QCOMPARE(ledger->MapEntry("34")->Changed, m_now);
        QFETCH(int, engine);
        QCOMPARE(ledger->MapEntry("34")->ChangedBy, engine == lenSQLite
                                                        ? QStringLiteral("ann on WS-1")
                                                        : QStringLiteral("ann on WS-1 as orvq"));
        QVERIFY(ErrorOf([&] {
                    ledger->UpdateMapEntry(Entry("99"));
                }).contains(u"not in the company map"));
        QVERIFY(
            ErrorOf([&] { ledger->AddMapEntry(Entry(" ")); }).contains(u"needs an Orvane company"));
        QVERIFY(ledger->RemoveMapEntry("12"));
        QVERIFY(!ledger->RemoveMapEntry("12"));
        const QList<TBureauMapEntry> map = ledger->CompanyMap();
        QCOMPARE(map.size(), 1);
        QVERIFY(map.first() == harbor);
    }

    // Two processes claim the same forty payrolls at once: each is won once.
    void claimsOfTwoProcesses_data() { Engines(); }
    void claimsOfTwoProcesses() {
        const TLedgerLocation location = NewLocation();
        Open(location);
        QProcess one, two;
        StartChild(one, {"claim", Arg(location), "WS-1", "40"});
        StartChild(two, {"claim", Arg(location), "WS-2", "40"});
        QCOMPARE(ReadLine(one), QStringLiteral("ready"));
        QCOMPARE(ReadLine(two), QStringLiteral("ready"));
        one.write("go\n");
        two.write("go\n");
        QVERIFY(one.waitForFinished() && two.waitForFinished());
        QCOMPARE(one.exitCode() + two.exitCode(), 0);
        QSet<QString> won;
        int grants = 0;
        for (QProcess* p : {&one, &two}) {
            for (const QString& line : QString::fromUtf8(p->readAll()).split(u'\n')) {
                if (line.startsWith(u"granted ")) {
                    won.insert(line.mid(8));
                    ++grants;
                }
            }
        }
        QCOMPARE(grants, 40);
        QCOMPARE(won.size(), 40);
    }

    void expiredClaimTakenOver_data() { Engines(); }
    void expiredClaimTakenOver() {
        const TLedgerLocation location = NewLocation();
        auto ws1 = Open(location, "WS-1");
        auto ws2 = Open(location, "WS-2");
        TLedgerClaim mine = ws1->Claim("34", "1001", rkEmployeeChecks);
        QVERIFY(mine.Granted);
        QVERIFY(ws2->Claim("34", "1001", rkAgencyChecks).Granted);
        m_now = m_now.addSecs(5 * 60);
        TLedgerClaim theirs = ws2->Claim("34", "1001", rkEmployeeChecks);
        QVERIFY(!theirs.Granted);
        QCOMPARE(ClaimHolderText(theirs), QStringLiteral("being exported by WS-1 since 10:02"));
        QVERIFY(ws1->RenewClaim(mine));
        m_now = m_now.addSecs(DefaultClaimSeconds - 1);
        QVERIFY(!ws2->Claim("34", "1001", rkEmployeeChecks).Granted);
        m_now = m_now.addSecs(2);
        theirs = ws2->Claim("34", "1001", rkEmployeeChecks);
        QVERIFY(theirs.Granted);
        QCOMPARE(theirs.TakenOverFrom, QStringLiteral("WS-1"));
        // The old holder learns it lost the claim and cannot release the new one.
        QVERIFY(!ws1->RenewClaim(mine));
        ws1->ReleaseClaim(mine);
        QCOMPARE(ws1->Claim("34", "1001", rkEmployeeChecks).Workstation, QStringLiteral("WS-2"));
        ws2->ReleaseClaim(theirs);
        const TLedgerClaim again = ws1->Claim("34", "1001", rkEmployeeChecks);
        QVERIFY(again.Granted);
        QCOMPARE(again.TakenOverFrom, QString());
    }

    // Without a password in the settings, libpq reads PostgreSQL's own file.
    void passwordFile_data() {
        QTest::addColumn<int>("engine");
        QTest::newRow("postgresql") << int(lenPostgreSQL);
    }
    void passwordFile() {
        TLedgerLocation location = NewLocation();
        location.Password.clear();
        QFile pgpass(m_dir.filePath(QStringLiteral("pgpass")));
        QVERIFY(pgpass.open(QIODevice::WriteOnly));
        pgpass.write(QStringLiteral("127.0.0.1:%1:%2:%3:%4\n")
                         .arg(QString::number(location.Port), location.DatabaseName, location.User,
                              TPostgresCluster::Password())
                         .toUtf8());
        pgpass.close();
        QVERIFY(QFile::setPermissions(pgpass.fileName(), QFile::ReadOwner | QFile::WriteOwner));
        qputenv("PGPASSFILE", QFile::encodeName(pgpass.fileName()));
        QCOMPARE(Open(location)->Version(), CurrentLedgerVersion());
        qunsetenv("PGPASSFILE");
        QVERIFY(ErrorOf([&] { Open(location); }).contains(u"cannot be opened"));
    }
};

QTEST_GUILESS_MAIN(TestRunLedger)
#include "tst_runledger.moc"
