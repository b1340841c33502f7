// The program's core holds what used to be process-wide: the regional
// settings it puts in force, the error display, the wait indicator and the
// QuickBooks processor reach their users from it, and it leaves nothing
// behind when it goes.
#include "RecordingLogSink.h"

#include "app/core/AppCore.h"
#include "base/vlxErrorDisplay.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "quickbooks/QBRequestProcessor.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct TCoreScene {
    QTemporaryDir Dir;
    IztSettingsPtr Store = std::make_shared<TztSettingsRegistry>(
        TztSettingsHive::File(Dir.filePath(u"orvq.ini"_s)), QString());

    QString Ledger = Dir.filePath(u"ledger.sqlite"_s);

    QString CompanyFile() const { return Dir.filePath(u"company.sqlite"_s); }
    TAppCoreOptions Options(TQBRequestProcessorFactory processor = {}) const {
        TAppCoreOptions options;
        options.Settings = Store;
        options.QBProcessor = std::move(processor);
        options.Redirection = [this] {
            return std::make_shared<TGenericRedirection>(
                TRedirectionEntries(),
                TRedirectionEntries{{u"QBCompanyFile"_s, CompanyFile()},
                                    {u"Ledger"_s, Ledger},
                                    {u"Log"_s, Dir.filePath(u"OrvQ.log"_s)}},
                TRedirectionPlaces(), QString());
        };
        return options;
    }
};

struct TCountingIndicator : IWaitIndicator {
    QStringList Calls;
    void StartWait(const QString& message) override { Calls << message; }
    void EndWait() override { Calls << u"end"_s; }
};

} // namespace

class TestAppCore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void regionalSettingsInForceForTheCoresLife();
    void errorDisplayGoesWithTheCore();
    void waitIndicatorIsTheCores();
    void quickBooksThroughTheCoresProcessor();
    void ledgerWithoutTlsWarnedOnce();
};

// A server elsewhere (0.0.0.0 refuses at once) and no sslmode: one warning
// for all the ledgers the core opens.
void TestAppCore::ledgerWithoutTlsWarnedOnce() {
    TCoreScene scene;
    scene.Ledger = u"postgresql://ann@0.0.0.0:1/orvq"_s;
    const auto sink = std::make_shared<TRecordingLogSink>();
    TAppCore core(scene.Options(), sink);
    for (int i = 0; i < 2; ++i)
        QVERIFY_THROWS_EXCEPTION(ELedgerError, core.LedgerFactory()());
    const auto warnings = sink->OfKind(lmWarning);
    QCOMPARE(warnings.size(), size_t(1));
    QVERIFY2(warnings[0].Message.contains(u"sets no sslmode"_s), qPrintable(warnings[0].Message));
}

void TestAppCore::regionalSettingsInForceForTheCoresLife() {
    TCoreScene scene;
    scene.Store->SetAsString(u"RegionalSettings\\DateOrder"_s, u"DMY"_s);
    scene.Store->SetAsString(u"RegionalSettings\\DateSeparator"_s, u"."_s);
    const TRegionalSettings before = RegionalSettings();
    QCOMPARE(before, TRegionalSettings()); // month/day/year until a core says otherwise
    {
        TAppCore core(scene.Options());
        QCOMPARE(RegionalSettings().DateOrder, TDateOrder::DayMonthYear);
        QCOMPARE(DateToStr(QDate(2024, 3, 8)), u"8.3.2024"_s);
    }
    QCOMPARE(RegionalSettings(), before);
}

void TestAppCore::errorDisplayGoesWithTheCore() {
    TCoreScene scene;
    const auto shown = std::make_shared<QStringList>();
    {
        TAppCore core(scene.Options());
        core.InstallErrorDisplay([shown](const QString& message) { *shown << message; });
        ShowInErrorDisplay(std::make_exception_ptr(EztException(u"Shown\x01"_s)));
    }
    QTest::ignoreMessage(QtWarningMsg, "After the core");
    ShowInErrorDisplay(std::make_exception_ptr(EztException(u"After the core"_s)));
    QCOMPARE(*shown, QStringList{u"Shown\\x01"_s});
}

void TestAppCore::waitIndicatorIsTheCores() {
    TCoreScene scene;
    TAppCore core(scene.Options());
    auto window = std::make_shared<TCountingIndicator>();
    core.InstallWaitIndicator(window);
    { TWaitGuard wait(core.WaitIndicator(), u"Getting payroll list"_s); }
    core.RestoreWaitIndicator();
    { TWaitGuard wait(core.WaitIndicator(), u"unseen"_s); }
    QCOMPARE(window->Calls, (QStringList{u"Getting payroll list"_s, u"end"_s}));
}

void TestAppCore::quickBooksThroughTheCoresProcessor() {
    TCoreScene scene;
    CreateSandboxCompany(scene.CompanyFile(),
                         qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/demo"_s);
    TRecordingLogger log;
    {
        // A core without a processor reaches no QuickBooks.
        TAppCore core(scene.Options());
        try {
            core.QBConnectionFactory()(log.LoggerPtr());
            QFAIL("connected without a processor");
        } catch (const EQBProcessorError& e) {
            QCOMPARE(e.HResult(), qbhr::NotInstalled);
        }
    }
    TAppCore core(scene.Options(&CreateSandboxRequestProcessor));
    QCOMPARE(core.QBConnectionFactory()(log.LoggerPtr())->CurrentCompanyFileName(),
             scene.CompanyFile());
}

QTEST_GUILESS_MAIN(TestAppCore)
#include "tst_appcore.moc"
