// The company and payroll frames over the sandbox payroll service: grids
// bound to the loaded lists with their captions, labels and hidden columns,
// bound anew after every load (none after a failed one), the selection in
// table order, the stages of the load, and the period panel.
#include "OrvTestSupport.h"
#include "RecordingLogSink.h"

#include "base/vlxErrorDisplay.h"
#include "runs/PayrollListsRun.h"
#include "ui/OrvPayrollFilterFrame.h"
#include "ui/OrvaneCompanyFrame.h"
#include "ui/OrvaneDSFrame.h"
#include "ui/OrvaneMultiplePayrollFrame.h"
#include "ui/dbcomp.h"

#include <QDateEdit>
#include <QHeaderView>
#include <QLabel>
#include <QMainWindow>
#include <QtTest>

using namespace orvtest;

namespace {

// The stages of the load, as the window hears them.
class TRecordingStages : public IRunProgress {
public:
    QStringList Steps;
    void StartWait(const QString& message) override { Steps << QStringLiteral("start ") + message; }
    void EndWait() override { Steps << QStringLiteral("end"); }
    void SetProgress(int done, int total) override {
        Steps << QStringLiteral("%1/%2").arg(done).arg(total);
    }
};

QStringList Titles(const TReDBGrid& grid) {
    QStringList titles;
    for (int c = 0; c < grid.model()->columnCount(); ++c)
        titles << grid.model()->headerData(c, Qt::Horizontal).toString();
    return titles;
}

QList<int> PrNbrs(const TOrvPayrollsDef& def) {
    QList<int> numbers;
    for (const TPrDef& p : def.Payrolls)
        numbers << p.PrNbr;
    return numbers;
}

const QDate kMarch1(2024, 3, 1);
const QDate kMarch31(2024, 3, 31);

} // namespace

class TestPayrollFrames : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();

    void loadBindsLabelledGrids();
    void loadAgainRebinds_data();
    void loadAgainRebinds();
    void selectionInTableOrder();
    void periodPanel();

private:
    // "Get Orvane payroll list" as the page runs it (here on this thread):
    // the run loads, the frame's lists adopt the tables, or none when the
    // load failed (its failure is thrown).
    void Load(TOrvaneMultiplePayrollFrm& frame, const TOrvAPIConnectionParam& param,
              const IRunProgressPtr& progress = std::make_shared<TNoRunProgress>());

    TSandboxService m_sandbox;
    std::unique_ptr<TRecordingLogger> m_log;
};

void TestPayrollFrames::initTestCase() {
    QString error;
    if (!m_sandbox.Start(&error))
        QSKIP(qPrintable(error));
}

void TestPayrollFrames::init() {
    QVERIFY(!m_sandbox.Control(QStringLiteral("sandbox.reset"))->IsError());
    m_log = std::make_unique<TRecordingLogger>();
}

void TestPayrollFrames::cleanup() {
    QCoreApplication::processEvents();
    m_log.reset();
}

void TestPayrollFrames::Load(TOrvaneMultiplePayrollFrm& frame, const TOrvAPIConnectionParam& param,
                             const IRunProgressPtr& progress) {
    TPayrollListsRun run({param, kMarch1, kMarch31});
    TRunContext context;
    context.Logger = m_log->LoggerPtr();
    context.Orvane = m_sandbox.Environment();
    context.Progress = progress;
    try {
        run.LoadPayrollList(context);
    } catch (...) {
        frame.Lists().Adopt({});
        throw;
    }
    frame.Lists().Adopt(run.TakeTables());
}

void TestPayrollFrames::loadBindsLabelledGrids() {
    QMainWindow window;
    auto* frame = new TOrvaneMultiplePayrollFrm(&window);
    window.setCentralWidget(frame);
    auto stages = std::make_shared<TRecordingStages>();
    TOrvaneCompanyFrm& companies = *frame->CompanyFrame;
    QCOMPARE(companies.ClientsFrm->Caption(), QStringLiteral("Clients"));
    QCOMPARE(companies.CompaniesFrm->Caption(), QStringLiteral("Companies"));
    QCOMPARE(frame->PayrollsFrm->Caption(), QStringLiteral("Payrolls"));
    QCOMPARE(TOrvaneDsFrm().Caption(), QStringLiteral("Dataset name"));
    QVERIFY(!frame->IsReady());

    Load(*frame, m_sandbox.Param(), stages);
    QVERIFY(frame->IsReady());
    QCOMPARE(stages->Steps, (QStringList{"start Getting payroll list", "start Getting company list",
                                         "0/2", "1/2", "2/2", "end", "end"}));
    QCOMPARE(m_sandbox.Sessions(), 0); // logged out after the load
    TOrvPayrollLists& lists = frame->Lists();
    QCOMPARE(companies.ClientsFrm->Grid->Table(), lists.Clients());
    QCOMPARE(companies.CompaniesFrm->Grid->Table(), lists.Companies());
    QCOMPARE(frame->PayrollsFrm->Grid->Table(), lists.Payrolls());
    QCOMPARE(Titles(*companies.ClientsFrm->Grid), (QStringList{"Internal Cl#", "Number", "Name"}));
    QCOMPARE(Titles(*companies.CompaniesFrm->Grid),
             (QStringList{"Internal Co#", "Number", "Name"}));
    QCOMPARE(Titles(*frame->PayrollsFrm->Grid),
             (QStringList{"Internal Pr#", "Check Date", "Run Number", "Type", "Status"}));
    QCOMPARE(frame->PayrollsFrm->Grid->selectionMode(), QAbstractItemView::ExtendedSelection);

    // Choosing another company in its grid chooses its payrolls.
    const int firstCompany = frame->GetSelectedPayrolls().Company.CoNbr;
    companies.CompaniesFrm->Grid->setCurrentIndex(
        companies.CompaniesFrm->Grid->model()->index(1, 0));
    QVERIFY(frame->IsReady());
    QVERIFY(frame->GetSelectedPayrolls().Company.CoNbr != firstCompany);
}

void TestPayrollFrames::loadAgainRebinds_data() {
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("failQuery");
    QTest::addColumn<QString>("error");
    QTest::newRow("load again") << "demo" << false << "";
    QTest::newRow("log-in refused")
        << "wrong" << false
        << "Orvane server returned error: (800) Invalid user name, domain or password. ";
    QTest::newRow("query fails") << "demo" << true
                                 << "Orvane server returned error: (500) Query failed. ";
}

void TestPayrollFrames::loadAgainRebinds() {
    QFETCH(QString, password);
    QFETCH(bool, failQuery);
    QFETCH(QString, error);
    TOrvaneMultiplePayrollFrm frame;
    Load(frame, m_sandbox.Param());
    QPointer<TMemTable> oldPayrolls = frame.Lists().Payrolls();
    QVERIFY(oldPayrolls);
    if (failQuery)
        m_sandbox.Control(QStringLiteral("sandbox.failNext"), [](IRpcFunction& f) {
            f.AddItem(QStringLiteral("orv.runQBQuery"));
            f.AddItem(500);
            f.AddItem(QStringLiteral("Query failed"));
        });
    try {
        Load(frame, m_sandbox.Param(QStringLiteral("demo"), password));
        QVERIFY2(error.isEmpty(), "the load succeeded");
    } catch (const EztException& e) {
        QCOMPARE(e.Message(), error);
    }
    QVERIFY(oldPayrolls.isNull());
    TOrvaneCompanyFrm& companies = *frame.CompanyFrame;
    // Bound to what the lists hold now: new tables, or none.
    QCOMPARE(companies.ClientsFrm->Grid->Table(), frame.Lists().Clients());
    QCOMPARE(companies.CompaniesFrm->Grid->Table(), frame.Lists().Companies());
    QCOMPARE(frame.PayrollsFrm->Grid->Table(), frame.Lists().Payrolls());
    QCOMPARE(frame.IsReady(), error.isEmpty());
    QCOMPARE(frame.PayrollsFrm->Grid->model()->rowCount() > 0, error.isEmpty());
    QCOMPARE(companies.ClientsFrm->Grid->model()->rowCount() > 0, error.isEmpty());
}

void TestPayrollFrames::selectionInTableOrder() {
    TOrvaneMultiplePayrollFrm frame;
    Load(frame, m_sandbox.Param());
    TReDBGrid& grid = *frame.PayrollsFrm->Grid;
    QVERIFY(grid.model()->rowCount() >= 3);
    const int prColumn = Titles(grid).indexOf(QStringLiteral("Internal Pr#"));
    const auto prAt = [&](int row) { return grid.model()->index(row, prColumn).data().toInt(); };

    // Nothing selected: the current payroll.
    grid.setCurrentIndex(grid.model()->index(1, 0));
    grid.selectionModel()->clearSelection();
    QCOMPARE(PrNbrs(frame.GetSelectedPayrolls()), QList<int>{prAt(1)});

    // Descending by number, then selected third, first, second: read as shown.
    grid.horizontalHeader()->sectionClicked(prColumn);
    grid.horizontalHeader()->sectionClicked(prColumn);
    QVERIFY(prAt(0) > prAt(1));
    auto flag = QItemSelectionModel::ClearAndSelect;
    for (const int row : {2, 0, 1}) {
        grid.selectionModel()->select(grid.model()->index(row, 0),
                                      flag | QItemSelectionModel::Rows);
        flag = QItemSelectionModel::Select;
    }
    QCOMPARE(PrNbrs(frame.GetSelectedPayrolls()), (QList<int>{prAt(0), prAt(1), prAt(2)}));
}

void TestPayrollFrames::periodPanel() {
    TOrvPayrollFilterFrm panel;
    const TOrvPayrollPeriod shown = panel.Period();
    const int year = QDate::currentDate().year();
    QCOMPARE(shown.From, QDateTime(QDate(year, 1, 1), QTime(0, 0)));
    QCOMPARE(shown.To, QDateTime(QDate(year, 12, 31), QTime(23, 59, 59, 999)));
    QCOMPARE(panel.FromEdit->displayFormat(), QStringLiteral("M/d/yyyy"));
    const TOrvPayrollPeriod march{QDateTime(kMarch1, QTime(0, 0)),
                                  QDateTime(kMarch31, QTime(23, 59, 59, 999))};
    panel.SetPeriod(march);
    QCOMPARE(panel.Period().From, march.From);
    QCOMPARE(panel.Period().To, march.To);
    // A date picked keeps the period's times.
    panel.ToEdit->setDate(QDate(2024, 4, 30));
    QCOMPARE(panel.Period().To, QDateTime(QDate(2024, 4, 30), QTime(23, 59, 59, 999)));
}

QTEST_MAIN(TestPayrollFrames)
#include "tst_payrollframes.moc"
