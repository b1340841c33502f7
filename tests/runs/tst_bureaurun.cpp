// The bureau run end to end: generated client companies of the sandbox
// payroll service, each exported into a sandbox company file of its own,
// on an SQLite ledger and on a PostgreSQL ledger two workstations share.
#include "OrvTestSupport.h"
#include "PostgresCluster.h"
#include "RecordingLogSink.h"
#include "TestSupport.h"

#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "ledger/LedgerDb.h"
#include "runs/BureauReport.h"
#include "runs/BureauRun.h"
#include "runs/ClaimKeeper.h"

#include "base/vlxErrorDisplay.h"

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QThread>
#include <QtTest>

#include <condition_variable>
#include <ctime>
#include <mutex>
#include <thread>

using namespace orvtest;
using testsupport::TPostgresCluster;

namespace {

// Weekly payrolls of the generated companies: two in this period, neither
// with agency checks.
const QDate From(2024, 1, 5);
const QDate To(2024, 1, 12);
const QStringList Companies{QStringLiteral("1001"), QStringLiteral("1002"), QStringLiteral("1003")};

// The QuickBooks company of each client's file.
QString ClientName(const QString& company) {
    return QStringLiteral("Client ") + company;
}

TBureauMapEntry Row(const QString& company, const QString& file) {
    TBureauMapEntry e;
    e.OrvaneCompany = company;
    e.CompanyFile = file;
    e.CashAccount = QStringLiteral("Payroll Checking");
    e.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
    e.IncludeDD = true;
    e.CompanyName = ClientName(company);
    return e;
}

int Txns(const QString& file, const QString& type) {
    TQBSandboxCompany company(file, false);
    TSbTxnFilter filter;
    filter.Type = type;
    return int(company.Txns(filter).size());
}

// What the company file's checks and deposits add up to.
Currency CheckAndDepositTotal(const QString& file) {
    TQBSandboxCompany company(file, false);
    qint64 cents = 0;
    for (const QString& type : {QStringLiteral("Check"), QStringLiteral("Deposit")}) {
        TSbTxnFilter filter;
        filter.Type = type;
        for (const TSbTxn& txn : company.Txns(filter))
            cents += txn.Cents;
    }
    return Currency::FromRaw(cents * 100);
}

// The run's stages as they start, for a test to act between two payrolls.
class TStageHook : public IRunProgress {
public:
    std::function<void(const QString&)> OnStage;
    void StartWait(const QString& stage) override {
        if (OnStage)
            OnStage(stage);
    }
    void EndWait() override {}
    void SetProgress(int, int) override {}
};

} // namespace

class TestBureauRun : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();

    void refusedMapRows_data();
    void refusedMapRows();
    void threeCompaniesThenNothingNew();
    void previewPostsNothingAndCountsWhatTheRunPosts();
    void failingCompanyDoesNotStopOthers();
    void claimHeldElsewhereIsSkipped();
    void expiredClaimTakenUpWithoutDuplicate();
    void claimKeptWhileTheExportLives();
    void defaultRenewalOutlivesAShortClaim();
    void claimLostDuringTheExportIsAProblem();
    void concurrentRunsOnPostgresExportOnce();
    void redirectedRowIsRefused_data();
    void redirectedRowIsRefused();
    void workstationRoleOnPostgres();
    void droppedServiceSession_data();
    void droppedServiceSession();
    void callPastItsDeadlineEndsTheExportAndItsClaim();

private:
    QString File(const QString& company) const {
        return m_dir->filePath(company + QStringLiteral(".qbsb"));
    }
    TLedgerFactory Ledger(const QString& workstation, std::function<QDateTime()> clock = {}) {
        const TLedgerLocation location = m_location;
        return [location, workstation, clock] {
            TLedgerOptions options;
            options.Identity = {QStringLiteral("ann"), workstation, QStringLiteral("0.1"), {}};
            options.Clock = clock;
            return std::make_unique<TRunLedger>(location, options);
        };
    }
    TQBConnectionConfig QuickBooks() const {
        TQBConnectionConfig config;
        config.Processor.Factory = &CreateSandboxRequestProcessor;
        return config;
    }
    TRunContext Context(TRecordingLogger& log, const QString& workstation) {
        TRunContext context;
        context.Logger = log.LoggerPtr();
        context.Orvane = m_sandbox.Environment();
        context.ReportPollIntervalMs = 5;
        context.OpenLedger = Ledger(workstation);
        return context;
    }
    QList<TBureauCompanyResult> Run(const QString& workstation = QStringLiteral("WS-1"),
                                    bool preview = false,
                                    const std::function<void(TRunContext&)>& adjust = {}) {
        TBureauRunOptions options{m_sandbox.Param(), From, To, QuickBooks()};
        options.Preview = preview;
        TBureauRun run(options);
        TRecordingLogger log;
        TRunContext context = Context(log, workstation);
        if (adjust)
            adjust(context);
        run.Run(context);
        return run.Companies();
    }
    // A new database of the throwaway server as the ledger, used as user.
    QString UsePostgres(const QString& user = TPostgresCluster::User(),
                        const QString& password = TPostgresCluster::Password()) {
        const QString name = QStringLiteral("bureau") + QString::number(++m_databases);
        const QString error = m_pg.CreateDatabase(name);
        if (!error.isEmpty())
            qFatal("%s", qPrintable(error));
        UsePostgres(name, user, password);
        return name;
    }
    void UsePostgres(const QString& name, const QString& user, const QString& password) {
        m_location = ParseLedgerLocation(QStringLiteral("postgresql://%1@127.0.0.1:%2/%3")
                                             .arg(user, QString::number(m_pg.Port()), name));
        m_location.Password = password;
    }
    void MapAll(bool postGL = false) {
        const std::unique_ptr<TRunLedger> ledger = Ledger(QStringLiteral("WS-1"))();
        for (const QString& company : Companies) {
            TBureauMapEntry row = Row(company, File(company));
            row.PostGL = postGL;
            ledger->AddMapEntry(row);
        }
    }

    TSandboxService m_sandbox;
    TPostgresCluster m_pg;
    QString m_pgError;
    int m_databases = 0;
    std::unique_ptr<QTemporaryDir> m_dir;
    TLedgerLocation m_location;
};

void TestBureauRun::initTestCase() {
    // The report shows local times.
    qputenv("TZ", "UTC");
    tzset();
    QString error;
    if (!m_sandbox.Start(&error, {QStringLiteral("--companies"), QStringLiteral("3")}))
        QSKIP(qPrintable(error));
    m_pgError = m_pg.Start();
}

void TestBureauRun::init() {
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
    for (const QString& company : Companies)
        CreateSandboxCompany(File(company),
                             qEnvironmentVariable("ORVQ_SOURCE_DIR") + QStringLiteral("/data/demo"),
                             ClientName(company));
    m_location = TLedgerLocation();
    m_location.FilePath = m_dir->filePath(QStringLiteral("ledger.sqlite"));
}

void TestBureauRun::refusedMapRows_data() {
    QTest::addColumn<QString>("company");
    QTest::addColumn<QString>("cash");
    QTest::addColumn<QString>("liability");
    QTest::addColumn<QString>("reason");
    QTest::newRow("cash account") << "1001"
                                  << "Petty Cash Box"
                                  << "Payroll Liabilities"
                                  << "the cash account \"Petty Cash Box\" is not in the company "
                                     "file ";
    QTest::newRow("liability account") << "1001"
                                       << "Payroll Checking"
                                       << "Nowhere"
                                       << "the liability account \"Nowhere\" is not in";
    QTest::newRow("no liability") << "1001"
                                  << "Payroll Checking"
                                  << " "
                                  << "no liability account is given";
    QTest::newRow("company number") << "G001"
                                    << "Payroll Checking"
                                    << "Payroll Liabilities"
                                    << "which is not an internal company number";
}

void TestBureauRun::refusedMapRows() {
    QFETCH(QString, company);
    QFETCH(QString, cash);
    QFETCH(QString, liability);
    QFETCH(QString, reason);
    TBureauMapEntry row = Row(company, File(QStringLiteral("1001")));
    row.CashAccount = cash;
    row.LiabilityAccount = liability;
    TRecordingLogger log;
    TRunContext context = Context(log, QStringLiteral("WS-1"));
    try {
        CheckBureauMapEntry(context, QuickBooks(), row);
        QFAIL("the row was accepted");
    } catch (const EztException& e) {
        QVERIFY2(e.Message().contains(reason), qPrintable(e.Message()));
    }
    // The demo accounts are there.
    CheckBureauMapEntry(context, QuickBooks(), Row(QStringLiteral("1001"), File("1001")));
}

void TestBureauRun::threeCompaniesThenNothingNew() {
    QVERIFY(!m_sandbox.Control(QStringLiteral("sandbox.reset"))->IsError());
    MapAll(true);
    const QList<TBureauCompanyResult> first = Run();
    // The list and all eighteen reports through one session, logged out.
    QCOMPARE(m_sandbox.CalledMethods().count(QStringLiteral("orv.sb.connect")), 1);
    QCOMPARE(m_sandbox.Sessions(), 0);
    QCOMPARE(first.size(), 3);
    // The report of the run as a fixed workstation made it at a fixed time;
    // the company files' temporary folder reads as DIR.
    const QString html =
        BureauReportHtml({From, To, QDateTime(To, QTime(18, 30), Qt::UTC), QStringLiteral("WS-1"),
                          false, QStringLiteral("ann"), QString()},
                         first)
            .replace(m_dir->path(), QStringLiteral("DIR"));
    QCOMPARE(html, testsupport::Golden(QStringLiteral("runs/bureau-report.html"), html));
    for (const TBureauCompanyResult& company : first) {
        QVERIFY2(!company.NeedsAttention(), qPrintable(company.Problems.join(u'\n')));
        const TBureauTotals t = BureauTotals({company});
        QCOMPARE(t.PayrollsExported, 2);
        QVERIFY(t.ChecksAdded > 0);
        const QString file = company.Entry.CompanyFile;
        QCOMPARE(t.ChecksAdded, Txns(file, QStringLiteral("Check")));
        QCOMPARE(t.DepositsAdded, Txns(file, QStringLiteral("Deposit")));
        QCOMPARE(t.JournalEntries, 2);
        QCOMPARE(Txns(file, QStringLiteral("JournalEntry")), 2);
        // Net pay and the journal are summed apart.
        QVERIFY2(t.NetPay == CheckAndDepositTotal(file),
                 qPrintable(t.NetPay.ToString() + u' ' + CheckAndDepositTotal(file).ToString()));
        QVERIFY(t.Journal > Currency());
    }
    QVERIFY(BureauTotalsLine(first, false).endsWith(QStringLiteral("; nothing needs attention")));

    const QList<TBureauCompanyResult> second = Run();
    for (const TBureauCompanyResult& company : second) {
        QCOMPARE(company.Exports.size(), 0);
        QVERIFY(!company.NeedsAttention());
    }
    for (int i = 0; i < 3; ++i)
        QCOMPARE(Txns(File(Companies[i]), QStringLiteral("Check")),
                 BureauTotals({first[i]}).ChecksAdded);
}

void TestBureauRun::previewPostsNothingAndCountsWhatTheRunPosts() {
    MapAll(true);
    QList<QByteArray> files;
    for (const QString& company : Companies)
        files << testsupport::ReadFile(File(company));
    const QList<TBureauCompanyResult> preview = Run(QStringLiteral("WS-1"), true);
    for (int i = 0; i < Companies.size(); ++i)
        QVERIFY2(testsupport::ReadFile(File(Companies[i])) == files[i], qPrintable(Companies[i]));
    QVERIFY(BureauTotalsLine(preview, true)
                .startsWith(QStringLiteral("Preview, nothing was posted: 3 companies, 6 payrolls "
                                           "to export, ")));

    // The previews are no exports: the run posts all of it, and counts as
    // the preview did.
    const QList<TBureauCompanyResult> posted = Run();
    QCOMPARE(preview.size(), posted.size());
    for (int i = 0; i < posted.size(); ++i) {
        QVERIFY2(!preview[i].NeedsAttention(), qPrintable(preview[i].Problems.join(u'\n')));
        const TBureauTotals p = BureauTotals({preview[i]});
        const TBureauTotals t = BureauTotals({posted[i]});
        QCOMPARE(p.PayrollsExported, t.PayrollsExported);
        QCOMPARE(p.ChecksAdded, t.ChecksAdded);
        QCOMPARE(p.DepositsAdded, t.DepositsAdded);
        QCOMPARE(p.JournalEntries, t.JournalEntries);
        QCOMPARE(p.NetPay, t.NetPay);
        QCOMPARE(p.Journal, t.Journal);
        QVERIFY(t.ChecksAdded > 0);
    }

    // A preview skips what the ledger holds as exported, as the run does.
    const QList<TBureauCompanyResult> again = Run(QStringLiteral("WS-1"), true);
    QCOMPARE(BureauTotals(again).PayrollsExported, 0);
}

void TestBureauRun::failingCompanyDoesNotStopOthers() {
    {
        const std::unique_ptr<TRunLedger> ledger = Ledger(QStringLiteral("WS-1"))();
        ledger->AddMapEntry(Row(Companies[0], File(Companies[0])));
        // QuickBooks cannot open a file in a folder that is not there.
        ledger->AddMapEntry(Row(Companies[1], m_dir->filePath(QStringLiteral("gone/1002.qbsb"))));
        ledger->AddMapEntry(Row(Companies[2], File(Companies[2])));
    }
    // A row a newer version (or anything else) wrote.
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), "damage");
        db.setDatabaseName(m_location.FilePath);
        QVERIFY(db.open());
        QVERIFY(QSqlQuery(db).exec(
            "UPDATE company_map SET checks_kind = 'weekly' WHERE orvane_company = '1003'"));
        db.close();
    }
    QSqlDatabase::removeDatabase("damage");
    const QList<TBureauCompanyResult> result = Run();
    QCOMPARE(result.size(), 3);
    QVERIFY(!result[0].NeedsAttention());
    QCOMPARE(BureauTotals({result[0]}).PayrollsExported, 2);
    QCOMPARE(result[1].Exports.size(), 1);
    QCOMPARE(result[1].Exports[0].State, besFailed);
    QCOMPARE(result[2].Problems,
             QStringList{"The company map holds a checks kind this version does not know: "
                         "\"weekly\"."});
    QVERIFY(BureauTotalsLine(result, false)
                .endsWith(u"; needs attention: 1002 " + result[1].CompanyName + u", 1003"));
    const QString html =
        BureauReportHtml({From, To, QDateTime::currentDateTimeUtc(), "WS-1"}, result);
    QVERIFY(html.contains(result[1].Problems[0].section(u'\n', 0, 0).trimmed().toHtmlEscaped()));
}

void TestBureauRun::claimHeldElsewhereIsSkipped() {
    MapAll();
    const std::unique_ptr<TRunLedger> ws2 = Ledger(QStringLiteral("WS-2"))();
    const TLedgerClaim held = ws2->Claim(Companies[0], QStringLiteral("1010001"), rkEmployeeChecks);
    QVERIFY(held.Granted);
    const QList<TBureauCompanyResult> result = Run();
    QCOMPARE(result[0].Exports[0].Payroll, QStringLiteral("1010001"));
    QCOMPARE(result[0].Exports[0].State, besHeld);
    QVERIFY(result[0].Exports[0].Note.startsWith(QStringLiteral("being exported by WS-2 since ")));
    QCOMPARE(BureauTotals(result).PayrollsExported, 6 - 1 + 1); // its agency kind went through
    QCOMPARE(BureauTotals(result).Held, 1);
}

void TestBureauRun::expiredClaimTakenUpWithoutDuplicate() {
    const QString company = Companies[0];
    {
        const std::unique_ptr<TRunLedger> ledger = Ledger(QStringLiteral("WS-1"))();
        ledger->AddMapEntry(Row(company, File(company)));
    }
    // A workstation claimed the first payroll an hour ago, posted its checks
    // and died before its ledger heard of them.
    const QDateTime hourAgo = QDateTime::currentDateTimeUtc().addSecs(-3600);
    const std::unique_ptr<TRunLedger> dead =
        Ledger(QStringLiteral("WS-DEAD"), [hourAgo] { return hourAgo; })();
    QVERIFY(dead->Claim(company, QStringLiteral("1010001"), rkEmployeeChecks, 60).Granted);
    {
        const TLedgerLocation shared = m_location;
        m_location.FilePath = m_dir->filePath(QStringLiteral("lost.sqlite"));
        Ledger(QStringLiteral("WS-DEAD"))()->AddMapEntry(Row(company, File(company)));
        const QList<TBureauCompanyResult> lost = Run(QStringLiteral("WS-DEAD"));
        m_location = shared;
        QVERIFY(BureauTotals(lost).ChecksAdded > 0);
    }
    const int checks = Txns(File(company), QStringLiteral("Check"));

    const QList<TBureauCompanyResult> result = Run();
    const TBureauExport& first = result[0].Exports[0];
    QCOMPARE(first.Payroll, QStringLiteral("1010001"));
    QCOMPARE(first.State, besExported);
    QCOMPARE(first.Note, QStringLiteral("taken up from WS-DEAD, whose claim had expired"));
    QCOMPARE(first.Checks.ChecksAdded, 0);
    QVERIFY(first.Checks.ChecksExisted > 0);
    QCOMPARE(Txns(File(company), QStringLiteral("Check")), checks);
}

void TestBureauRun::claimKeptWhileTheExportLives() {
    auto now = std::make_shared<std::atomic<qint64>>(QDateTime::currentSecsSinceEpoch());
    const auto clock = [now] { return QDateTime::fromSecsSinceEpoch(*now, Qt::UTC); };
    const std::unique_ptr<TRunLedger> ws1 = Ledger(QStringLiteral("WS-1"), clock)();
    const std::unique_ptr<TRunLedger> ws2 = Ledger(QStringLiteral("WS-2"), clock)();
    const auto claim = [](TRunLedger& ledger) {
        return ledger.Claim(QStringLiteral("1001"), QStringLiteral("1010001"), rkEmployeeChecks,
                            60);
    };
    const TLedgerClaim mine = claim(*ws1);
    QVERIFY(mine.Granted);
    {
        TClaimKeeper keeper(*ws1, Ledger(QStringLiteral("WS-1"), clock), mine, 60, 1);
        *now += 50;
        // A renewal that began before the clock moved may still end first.
        const int before = keeper.Renewals();
        QTRY_VERIFY(keeper.Renewals() > before + 1);
        *now += 30; // past the claim's first expiry
        QCOMPARE(claim(*ws2).Workstation, QStringLiteral("WS-1"));
        QVERIFY(!claim(*ws2).Granted);
        QVERIFY(!keeper.Lost());
    }
    // Given back at the end.
    const TLedgerClaim theirs = claim(*ws2);
    QVERIFY(theirs.Granted);

    // A claim that expired and was taken over is lost, and the keeper
    // leaves the new holder's claim alone.
    *now += 120;
    const TLedgerClaim late = claim(*ws1);
    QVERIFY(late.Granted);
    *now += 120;
    QVERIFY(claim(*ws2).Granted);
    {
        TClaimKeeper keeper(*ws1, Ledger(QStringLiteral("WS-1"), clock), late, 60, 1);
        QTRY_VERIFY(keeper.Lost());
    }
    QCOMPARE(claim(*ws1).Workstation, QStringLiteral("WS-2"));
}

// Without a renewal time of its own the keeper renews a claim of one second
// often enough that it is still held when the second is over.
void TestBureauRun::defaultRenewalOutlivesAShortClaim() {
    const std::unique_ptr<TRunLedger> ws1 = Ledger(QStringLiteral("WS-1"))();
    const std::unique_ptr<TRunLedger> ws2 = Ledger(QStringLiteral("WS-2"))();
    const auto claim = [](TRunLedger& ledger) {
        return ledger.Claim(QStringLiteral("1001"), QStringLiteral("1010001"), rkEmployeeChecks,
                            1);
    };
    const TLedgerClaim mine = claim(*ws1);
    QVERIFY(mine.Granted);
    TClaimKeeper keeper(*ws1, Ledger(QStringLiteral("WS-1")), mine, 1);
    // Four renewals a third of the claim apart end past its second.
    QTRY_VERIFY_WITH_TIMEOUT(keeper.Renewals() >= 4, 3500);
    QCOMPARE(claim(*ws2).Workstation, QStringLiteral("WS-1"));
    QVERIFY(!keeper.Lost());
}

// Another workstation takes the claim up while the first payroll is posted:
// the company needs attention and the payroll says why.
void TestBureauRun::claimLostDuringTheExportIsAProblem() {
    QVERIFY(!m_sandbox.Control(QStringLiteral("sandbox.reset"))->IsError());
    Ledger(QStringLiteral("WS-1"))()->AddMapEntry(Row(Companies[0], File(Companies[0])));
    // The keeper's own ledger connection is let go once its renewal found
    // the claim taken.
    struct TKeeperEnd {
        std::mutex Mutex;
        std::condition_variable Ended;
        bool Done = false;
    };
    const auto keeperEnd = std::make_shared<TKeeperEnd>();
    const std::thread::id runThread = std::this_thread::get_id();
    const TLedgerFactory runLedger = Ledger(QStringLiteral("WS-1"));
    const TLedgerFactory keeperLedger = [this, keeperEnd] {
        const std::shared_ptr<void> end(nullptr, [keeperEnd](void*) {
            const std::lock_guard<std::mutex> lock(keeperEnd->Mutex);
            keeperEnd->Done = true;
            keeperEnd->Ended.notify_all();
        });
        return Ledger(QStringLiteral("WS-1"), [end] { return QDateTime::currentDateTimeUtc(); })();
    };
    // An hour on, the claim has long expired for WS-2.
    const std::unique_ptr<TRunLedger> ws2 = Ledger(
        QStringLiteral("WS-2"), [] { return QDateTime::currentDateTimeUtc().addSecs(3600); })();
    const auto hook = std::make_shared<TStageHook>();
    bool taken = false;
    hook->OnStage = [&](const QString& stage) {
        if (taken || stage != u"Creating QuickBooks Transactions")
            return;
        taken = true;
        QVERIFY(ws2->Claim(Companies[0], QStringLiteral("1010001"), rkEmployeeChecks).Granted);
        std::unique_lock<std::mutex> lock(keeperEnd->Mutex);
        QVERIFY(keeperEnd->Ended.wait_for(lock, std::chrono::seconds(10),
                                          [&] { return keeperEnd->Done; }));
    };
    TBureauRunOptions options{m_sandbox.Param(), From, To, QuickBooks()};
    options.ClaimSeconds = 1;
    TBureauRun run(options);
    TRecordingLogger log;
    TRunContext context = Context(log, QStringLiteral("WS-1"));
    context.Progress = hook;
    context.OpenLedger = [=] {
        return std::this_thread::get_id() == runThread ? runLedger() : keeperLedger();
    };
    run.Run(context);
    QVERIFY(taken);
    const TBureauCompanyResult& company = run.Companies().value(0);
    QCOMPARE(company.Exports.value(0).Payroll, QStringLiteral("1010001"));
    QCOMPARE(company.Problems,
             QStringList{u"Payroll " + company.Exports[0].Caption +
                         u", employee checks: The claim on this payroll expired while it was "
                         u"exported and another workstation took it up: compare the company file "
                         u"with the ledger's runs of this payroll."});
}

void TestBureauRun::concurrentRunsOnPostgresExportOnce() {
    if (!m_pgError.isEmpty())
        QSKIP(qPrintable(m_pgError));
    UsePostgres();
    MapAll();

    QList<TBureauCompanyResult> results[2];
    QString failures[2];
    std::unique_ptr<QThread> threads[2];
    for (int i = 0; i < 2; ++i) {
        threads[i].reset(QThread::create([this, i, &results, &failures] {
            try {
                results[i] = Run(QStringLiteral("WS-%1").arg(i + 1));
            } catch (const EztException& e) {
                failures[i] = e.Message();
            }
        }));
        threads[i]->start();
    }
    for (auto& thread : threads)
        QVERIFY(thread->wait(300000));
    QCOMPARE(failures[0], QString());
    QCOMPARE(failures[1], QString());

    // Every payroll and kind posted by exactly one of them; a payroll the
    // other held or found exported is not counted twice.
    QMap<QString, int> exported;
    for (const auto& result : results)
        for (const TBureauCompanyResult& company : result)
            for (const TBureauExport& e : company.Exports)
                if (e.State == besExported)
                    ++exported[company.Entry.OrvaneCompany + e.Payroll + LedgerText(e.Kind)];
    QCOMPARE(exported.size(), 3 * 2 * 2);
    for (auto it = exported.cbegin(); it != exported.cend(); ++it)
        QVERIFY2(it.value() == 1, qPrintable(it.key()));
    int added = 0;
    for (const auto& result : results)
        added += BureauTotals(result).ChecksAdded;
    int inFiles = 0;
    for (const QString& company : Companies)
        inFiles += Txns(File(company), QStringLiteral("Check"));
    QCOMPARE(added, inFiles);
}

// Whoever may write the ledger points a row at another client's file: the
// row is refused before anything is posted, and the other companies go on.
void TestBureauRun::redirectedRowIsRefused_data() {
    QTest::addColumn<bool>("postgres");
    QTest::addColumn<QString>("change");
    QTest::addColumn<QString>("problem");
    const QString redirect = QStringLiteral(
        "UPDATE company_map SET company_file = (SELECT company_file FROM company_map WHERE "
        "orvane_company = '1002') WHERE orvane_company = '1001'");
    const QString held =
        QStringLiteral("the map says \"Client 1001\", the file holds \"Client 1002\"");
    QTest::newRow("sqlite") << false << redirect << held;
    QTest::newRow("postgresql") << true << redirect << held;
    QTest::newRow("no company recorded")
        << false << "UPDATE company_map SET company_name = '' WHERE orvane_company = '1001'"
        << "records no QuickBooks company to check the file";
}

void TestBureauRun::redirectedRowIsRefused() {
    QFETCH(bool, postgres);
    QFETCH(QString, change);
    QFETCH(QString, problem);
    if (postgres) {
        if (!m_pgError.isEmpty())
            QSKIP(qPrintable(m_pgError));
        UsePostgres();
    }
    MapAll();
    TLedgerDb(m_location, 1000).Exec(change);
    const QList<TBureauCompanyResult> result = Run();
    QCOMPARE(result.size(), 3);
    QCOMPARE(result[0].Exports.size(), 1);
    QCOMPARE(result[0].Exports[0].State, besFailed);
    QVERIFY2(result[0].Problems.join(u'\n').contains(problem),
             qPrintable(result[0].Problems.join(u'\n')));
    QCOMPARE(Txns(File(Companies[0]), QStringLiteral("Check")), 0);
    // The file 1001's row named holds 1002's checks only.
    QVERIFY(!result[1].NeedsAttention());
    QCOMPARE(Txns(File(Companies[1]), QStringLiteral("Check")),
             BureauTotals({result[1]}).ChecksAdded);
    QVERIFY(BureauTotalsLine(result, false)
                .endsWith(u"; needs attention: 1001 " + result[0].CompanyName));
}

// The roles of the README's script: a workstation exports under its own
// role, and only the admin role changes the map and the pairings.
void TestBureauRun::workstationRoleOnPostgres() {
    if (!m_pgError.isEmpty())
        QSKIP(qPrintable(m_pgError));
    QCOMPARE(m_pg.Psql(QStringLiteral("postgres"),
                       QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE "
                                      "rolname = 'orvq_admin') THEN CREATE ROLE orvq_admin LOGIN "
                                      "PASSWORD 'admin-pw'; CREATE ROLE orvq_workstation LOGIN "
                                      "PASSWORD 'ws-pw'; END IF; END $$")),
             QString());
    const QString name = UsePostgres();
    QCOMPARE(
        m_pg.Psql(QStringLiteral("postgres"), u"ALTER DATABASE " + name + u" OWNER TO orvq_admin"),
        QString());
    UsePostgres(name, QStringLiteral("orvq_admin"), QStringLiteral("admin-pw"));
    MapAll();
    QCOMPARE(m_pg.PsqlFile(name, qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                     QStringLiteral("/data/ledger/ledger-roles.sql")),
             QString());

    UsePostgres(name, QStringLiteral("orvq_workstation"), QStringLiteral("ws-pw"));
    const QList<TBureauCompanyResult> result = Run();
    QCOMPARE(result.size(), 3);
    for (const TBureauCompanyResult& company : result) {
        QVERIFY2(!company.NeedsAttention(), qPrintable(company.Problems.join(u'\n')));
        QCOMPARE(BureauTotals({company}).PayrollsExported, 2);
    }
    const std::unique_ptr<TRunLedger> ledger = Ledger(QStringLiteral("WS-1"))();
    TBureauMapEntry redirected = Row(Companies[0], File(Companies[1]));
    const QList<std::function<void()>> changes{
        [&] { ledger->AddMapEntry(Row(QStringLiteral("1004"), File(Companies[0]))); },
        [&] { ledger->UpdateMapEntry(redirected); },
        [&] { ledger->RemoveMapEntry(Companies[0]); },
        [&] { ledger->RemovePairing(lpaOrvaneCompany, Companies[0]); },
    };
    for (const auto& change : changes) {
        try {
            change();
            QFAIL("the workstation's role changed the map or the pairings");
        } catch (const ELedgerError& e) {
            QVERIFY2(e.Message().contains(u"The PostgreSQL role \"orvq_workstation\" may not do "
                                          u"this: only the ledger's admin role changes the "
                                          u"company map"),
                     qPrintable(e.Message()));
        }
    }
    QVERIFY(ledger->MapEntry(Companies[0]) == Row(Companies[0], File(Companies[0])));
    QCOMPARE(ledger->Pairings().size(), 3);
}

void TestBureauRun::droppedServiceSession_data() {
    QTest::addColumn<int>("dropAtStage");
    QTest::addColumn<bool>("refuseLogIn");
    QTest::addColumn<int>("failedCompany");
    QTest::newRow("between payrolls") << 2 << false << -1;
    // The first company's four exports are stages 0 to 3.
    QTest::newRow("no new log-in") << 4 << true << 1;
}

void TestBureauRun::droppedServiceSession() {
    QFETCH(int, dropAtStage);
    QFETCH(bool, refuseLogIn);
    QFETCH(int, failedCompany);
    QVERIFY(!m_sandbox.Control(QStringLiteral("sandbox.reset"))->IsError());
    MapAll();
    const auto hook = std::make_shared<TStageHook>();
    int stage = 0;
    hook->OnStage = [&](const QString& text) {
        if (!text.contains(QStringLiteral(": payroll ")) || stage++ != dropAtStage)
            return;
        m_sandbox.Control(QStringLiteral("sandbox.expireSessions"));
        if (refuseLogIn)
            m_sandbox.Control(QStringLiteral("sandbox.failNext"), [](IRpcFunction& f) {
                f.AddItem(QStringLiteral("orv.sb.connect"));
                f.AddItem(890);
                f.AddItem(QStringLiteral("Internal server error"));
            });
    };
    QStringList shown;
    const QList<TBureauCompanyResult> result =
        Run(QStringLiteral("WS-1"), false, [&](TRunContext& c) {
            c.Progress = hook;
            c.ShowFailure = [&shown](std::exception_ptr e) { shown << ErrorDisplayMessage(e); };
        });
    QCOMPARE(result.size(), 3);
    for (int i = 0; i < 3; ++i) {
        if (i == failedCompany) {
            QCOMPARE(result[i].Exports.size(), 1);
            QCOMPARE(result[i].Exports[0].State, besFailed);
        } else {
            QVERIFY2(!result[i].NeedsAttention(), qPrintable(result[i].Problems.join(u'\n')));
            QCOMPARE(BureauTotals({result[i]}).PayrollsExported, 2);
        }
    }
    // Logged in again where the service had dropped the session, or at the
    // next company when that failed; none left open.
    QCOMPARE(m_sandbox.CalledMethods().count(QStringLiteral("orv.sb.connect")), 2);
    QCOMPARE(m_sandbox.Sessions(), 0);
}

// A service that sends the report a byte at a time: the call ends at its
// deadline, the payroll needs attention, and its claim is given back rather
// than renewed on.
void TestBureauRun::callPastItsDeadlineEndsTheExportAndItsClaim() {
    QVERIFY(!m_sandbox.Control(QStringLiteral("sandbox.reset"))->IsError());
    MapAll();
    QVERIFY(!m_sandbox
                 .Control(QStringLiteral("sandbox.answerNext"),
                          [](IRpcFunction& f) {
                              f.AddItem(QStringLiteral("drip"));
                              f.AddItem(QStringLiteral("orv.taskQueue.getReport"));
                              f.AddItem(0.05);
                          })
                 ->IsError());
    QStringList shown;
    const QList<TBureauCompanyResult> result =
        Run(QStringLiteral("WS-1"), false, [&](TRunContext& c) {
            c.Orvane.TransferDeadlineMs = 3000;
            c.ShowFailure = [&shown](std::exception_ptr e) { shown << ErrorDisplayMessage(e); };
        });
    QCOMPARE(result.size(), 3);
    QCOMPARE(result[0].Exports.size(), 1);
    const TBureauExport& failed = result[0].Exports[0];
    QCOMPARE(failed.State, besFailed);
    QVERIFY2(failed.Note.startsWith(QStringLiteral("The payroll service at https://127.0.0.1:")) &&
                 failed.Note.contains(QStringLiteral(
                     " did not finish answering orv.taskQueue.getReport within 3 seconds")),
             qPrintable(failed.Note));
    QVERIFY(result[0].NeedsAttention());
    for (int i = 1; i < 3; ++i)
        QCOMPARE(BureauTotals({result[i]}).PayrollsExported, 2);
    QCOMPARE(shown, QStringList());
    const TLedgerClaim claim = Ledger(QStringLiteral("WS-2"))()->Claim(
        result[0].Entry.OrvaneCompany, failed.Payroll, failed.Kind, 60);
    QVERIFY(claim.Granted);
    QCOMPARE(m_sandbox.Sessions(), 0);
}

QTEST_GUILESS_MAIN(TestBureauRun)
#include "tst_bureaurun.moc"
