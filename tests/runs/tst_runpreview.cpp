// Previews and the company guard on the export runs. A preview sends no
// request that changes data and leaves the company file as it was; what it
// counts is what posting then does; posting after QuickBooks changed posts
// nothing twice. The guard stops a service run and a file run into another
// company before anything is sent, through the dialogs' Yes and No or the
// name the command line confirms.
#include "ChecksTestSupport.h"
#include "ForwardingQBProcessor.h"
#include "RunTestSupport.h"
#include "ScriptedUserDialogs.h"
#include "TestSupport.h"
#include "base/RegionalSettings.h"
#include "runs/ChecksExportRun.h"
#include "runs/GLExportRun.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

using namespace checkstest;
using namespace runtest;
using namespace Qt::StringLiterals;

namespace {

// Hands every request set to the sandbox and keeps its text.
class TWatchingProcessor : public TForwardingQBProcessor {
public:
    TWatchingProcessor(IQBRequestProcessorPtr inner, QStringList& sent)
        : TForwardingQBProcessor(std::move(inner)), m_sent(sent) {}
    QString ProcessRequest(const QString& ticket, const QString& request) override {
        m_sent << request;
        return TForwardingQBProcessor::ProcessRequest(ticket, request);
    }

private:
    QStringList& m_sent;
};

// The requests of the sets sent that change data.
QStringList Changes(const QStringList& sent) {
    static const QRegularExpression change(
        u"<(\\w+AddRq|TxnVoidRq|TxnDelRq|ClearedStatusModRq)\\b"_s);
    QStringList found;
    for (const QString& set : sent)
        for (const auto& m : change.globalMatch(set))
            found << m.captured(1);
    return found;
}

QByteArray Bytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct TCompany : TDemoCompany {
    explicit TCompany(const QString& name) {
        TQBSandboxCompany company(FileName(), false);
        company.Begin();
        company.SetCompanyName(name);
        company.Commit();
    }
    TQBConnectionFactory Watched(QStringList& sent) const {
        TQBConnectionConfig config = Config();
        config.Processor.Factory = [&sent](const TQBProcessorConfig& c) -> IQBRequestProcessorPtr {
            return std::make_unique<TWatchingProcessor>(CreateSandboxRequestProcessor(c), sent);
        };
        return QBConnectionFactory(config);
    }
};

// One ledger and one set of boxes over runs into either company.
struct TFixture {
    TCompany Harbor{u"Harbor Lane Bakery"_s};
    TCompany Deli{u"Second Street Deli"_s};
    TRecordingLogger Log;
    TScriptedUserDialogs Dialogs;
    TLedgerFactory Ledger = TemporaryLedger();
    QTemporaryDir Dir;
    QStringList Sent;

    TRunContext Context(const TCompany& company) {
        TRunContext context = runtest::Context(Log.LoggerPtr(), Dialogs, company.Watched(Sent));
        context.OpenLedger = Ledger;
        return context;
    }
    QString File(const QString& name, const QString& text) {
        QFile f(Dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0)
            qFatal("cannot write the fixture");
        return f.fileName();
    }
    TChecksExportRun Checks(const QString& file, bool preview, bool includeDD = false) {
        TChecksRunOptions options;
        options.Source = Source(rstFile, file);
        options.Checks = DemoOptions();
        options.Checks.IncludeDD = includeDD;
        options.Posting.Preview = preview;
        return TChecksExportRun(options);
    }
};

// "would add 2, would void 1, ..." of a preview, in the words of a posting's
// counts.
QString PreviewCounts(const TRunPreview& preview) {
    TChecksExportResult r;
    for (const TExportNote& item : preview.Items) {
        const QString action = PreviewActionText(item);
        if (action == u"would add")
            ++r.ChecksAdded;
        else if (action == u"would void")
            ++r.ChecksVoided;
        else if (action == u"would add as returned deposit")
            ++r.DepositsAdded;
        else if (action == u"already exists" || action == u"exists with differences")
            ++(item.Kind == lekDeposit ? r.DepositsExisted : r.ChecksExisted);
        else if (action == u"invalid")
            ++r.Errors;
    }
    return FormatChecksExportResult(r).section(u": "_s, 1);
}

// A preview of the sample journal report.
TGLRunOptions SampleJournalPreview() {
    TGLRunOptions options;
    options.Source = Source(rstFile, qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                         u"/data/samples/s348-journal.csv"_s);
    options.Posting.Preview = true;
    return options;
}

bool Logged(const TRecordingLogSink& sink, const QString& text) {
    return std::any_of(sink.Messages.begin(), sink.Messages.end(),
                       [&](const TRecordedMessage& m) { return m.Message == text; });
}

class TFakeDirectSource : public IDirectReportSource {
public:
    QString Report;
    TFetchedReport FetchChecksReport(TReportKind) override { return Report; }
    TFetchedReport FetchGLReport(const TQBGLExportParam&) override { return std::nullopt; }
};

} // namespace

class TestRunPreview : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void previewCountsWhatPostingDoes_data();
    void previewCountsWhatPostingDoes();
    void postAfterChangePostsNothingTwice();
    void journalPreview();
    void previewConnectionRefusesChanges_data();
    void previewConnectionRefusesChanges();
    void guard_data();
    void guard();
    void confirmedCompanyMustBeTheOpenOne();
    void companyFileOfAnotherOrvaneCompany();
    void guardAsksWhenNameDiffersInCaseOnly();
    void previewTexts();
};

void TestRunPreview::previewCountsWhatPostingDoes_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<QStringList>("actions");
    QTest::newRow("new checks") << Maria + James << QStringList{u"would add"_s, u"would add"_s};
    // The void finds the check an earlier record of the report would add.
    QTest::newRow("void, returned pay, unknown employee")
        << Maria + u"\"Maria\",A,\"Lopez\",\"Void\",3/8/2024,1001,-1250.10\r\n"_s +
               u"\"James\",T,\"Okafor\",\"Returned\",3/8/2024,10050001,-980.29\r\n"_s +
               u"\"Nobody\",X,\"Here\",\"Pay\",3/8/2024,1003,10.00\r\n"_s
        << QStringList{u"would add"_s, u"would void"_s, u"would add as returned deposit"_s,
                       u"invalid"_s};
}

void TestRunPreview::previewCountsWhatPostingDoes() {
    QFETCH(QString, report);
    QFETCH(QStringList, actions);
    TFixture f;
    const QString file = f.File(u"s1910.txt"_s, report);
    const QByteArray before = Bytes(f.Harbor.FileName());
    TRunContext context = f.Context(f.Harbor);

    TChecksExportRun preview = f.Checks(file, true, true);
    preview.RunChecksExport(context);
    const QList<TRunPreview> previews = PostPreviews(preview.Results());
    QCOMPARE(previews.size(), 1);
    const TRunPreview& p = previews.first();
    QStringList seen;
    for (const TExportNote& item : p.Items)
        seen << PreviewActionText(item);
    QCOMPARE(seen, actions);
    QCOMPARE(p.Target.CompanyName, u"Harbor Lane Bakery"_s);
    QCOMPARE(Changes(f.Sent), QStringList());
    QCOMPARE(Bytes(f.Harbor.FileName()), before);
    QCOMPARE(f.Dialogs.Shown, QStringList());
    const std::unique_ptr<TRunLedger> ledger = f.Ledger();
    QCOMPARE(ledger->FindRun(p.RunId)->Kind, lrkPreview);
    QCOMPARE(ledger->Records(p.RunId).size(), p.Items.size());
    QVERIFY(ledger->Pairings().isEmpty());

    TChecksExportRun post = f.Checks(file, false, true);
    post.RunChecksExport(context);
    QCOMPARE(post.Results().size(), qsizetype(1));
    QCOMPARE(FormatChecksExportResult(post.Results()[0].Counts.Checks).section(u": "_s, 1),
             PreviewCounts(p));
}

void TestRunPreview::postAfterChangePostsNothingTwice() {
    TFixture f;
    const QString both = f.File(u"both.txt"_s, Maria + James);
    TRunContext context = f.Context(f.Harbor);
    TChecksExportRun preview = f.Checks(both, true);
    preview.RunChecksExport(context);
    QCOMPARE(PostPreviews(preview.Results()).value(0).Summary(), u"2 would add (2,230.39)"_s);

    // Someone posts one of the checks before the previewed run is posted.
    TChecksExportRun other = f.Checks(f.File(u"one.txt"_s, James), false);
    other.RunChecksExport(context);
    TChecksExportRun post = f.Checks(both, false);
    post.RunChecksExport(context);
    QCOMPARE(post.Results()[0].Counts.Checks.ChecksAdded, 1);
    QCOMPARE(post.Results()[0].Counts.Checks.ChecksExisted, 1);
    QCOMPARE(f.Harbor.Summary(), (QStringList{u"Check 1002 98029"_s, u"Check 1001 125010"_s}));
}

void TestRunPreview::journalPreview() {
    TFixture f;
    const QByteArray before = Bytes(f.Harbor.FileName());
    TRunContext context = f.Context(f.Harbor);
    TGLRunOptions options = SampleJournalPreview();
    TGLExportRun preview(options);
    const TPostResult previewed = preview.RunGLExport(context);
    QVERIFY(previewed.Preview);
    QCOMPARE(previewed.Preview->Items.size(), 1);
    QCOMPARE(PreviewActionText(previewed.Preview->Items[0]), u"would add"_s);
    QCOMPARE(previewed.Preview->Problems(), 0);
    QCOMPARE(Changes(f.Sent), QStringList());
    QCOMPARE(Bytes(f.Harbor.FileName()), before);
    // The entry it would add, line by line, not one sum.
    const QList<TPreviewJournalLine>& lines = previewed.Preview->JournalLines;
    QCOMPARE(lines.size(), 9);
    QCOMPARE(lines[0].Debit, Currency::FromRaw(84500000));
    QVERIFY(lines[0].Credit.IsZero());
    QCOMPARE(lines[8].Credit, Currency::FromUnits(85));
    QCOMPARE(previewed.Preview->JournalTotals(), u"Debit 13,702.73, credit 13,702.73"_s);
    const QString table = FormatPreviewTable({*previewed.Preview});
    QVERIFY2(table.contains(u"Journal entry lines\nAccount"_s) && table.contains(u"8,450.00\n"_s) &&
                 table.endsWith(u"Journal entry totals: Debit 13,702.73, credit 13,702.73\n"_s),
             qPrintable(table));

    // An account QuickBooks lacks: invalid, with the log naming it.
    options.Source.FileName = testsupport::DataPath(u"export/gl_unknown_accounts.csv"_s);
    TGLExportRun invalid(options);
    const TPostResult refused = invalid.RunGLExport(context);
    QCOMPARE(PreviewActionText(refused.Preview->Items.value(0)), u"invalid"_s);
    QCOMPARE(refused.Preview->Problems(), 1);
    QCOMPARE(Changes(f.Sent), QStringList());
}

// Every kind of request that changes data, each behind a harmless query, so
// the refusal does not depend on where in the set the change stands.
void TestRunPreview::previewConnectionRefusesChanges_data() {
    QTest::addColumn<QString>("kind");
    for (const char* kind : {"check", "deposit", "journal entry", "void", "clearing", "delete"})
        QTest::newRow(kind) << QString::fromLatin1(kind);
}

void TestRunPreview::previewConnectionRefusesChanges() {
    QFETCH(QString, kind);
    TFixture f;
    const std::unique_ptr<TQBConnection> qb = f.Harbor.Watched(f.Sent)(f.Log.LoggerPtr());
    qb->SetPreviewOnly(true);
    auto set = qb->NewRequestSet();
    set->AppendCheckQueryRq();
    if (kind == u"check")
        set->AppendCheckAddRq().RefNumber.SetValue(u"1"_s);
    else if (kind == u"deposit")
        set->AppendDepositAddRq().Memo.SetValue(u"pay"_s);
    else if (kind == u"journal entry")
        set->AppendJournalEntryAddRq().RefNumber.SetValue(u"1"_s);
    else if (kind == u"void")
        set->AppendTxnVoidRq().TxnID.SetValue(u"1-1"_s);
    else if (kind == u"clearing")
        set->AppendClearedStatusModRq().TxnID.SetValue(u"1-1"_s);
    else
        set->AppendTxnDelRq().TxnID.SetValue(u"1-1"_s);
    QVERIFY(set->ChangesData());
    const int sets = int(f.Sent.size());
    QVERIFY_THROWS_EXCEPTION(EQBError, qb->SendBatch(*set));
    QVERIFY_THROWS_EXCEPTION(EQBError, qb->SendRequestSet(*set));
    QCOMPARE(int(f.Sent.size()), sets);

    // The same connection still answers what changes nothing.
    auto query = qb->NewRequestSet();
    query->AppendCheckQueryRq();
    qb->SendBatch(*query);
    QCOMPARE(int(f.Sent.size()), sets + 1);
}

void TestRunPreview::guard_data() {
    QTest::addColumn<bool>("service");
    QTest::addColumn<QList<bool>>("answers");
    QTest::addColumn<QString>("confirm");
    // The question's check box, or --remember-company.
    QTest::addColumn<bool>("remember");
    QTest::addColumn<bool>("posted");
    QTest::newRow("service run, No") << true << QList<bool>{false} << QString() << true << false;
    QTest::newRow("service run, Yes: this run only")
        << true << QList<bool>{true} << QString() << false << true;
    QTest::newRow("service run, Yes, from now on")
        << true << QList<bool>{true} << QString() << true << true;
    QTest::newRow("file run, No") << false << QList<bool>{false} << QString() << false << false;
    QTest::newRow("file run, Yes, from now on")
        << false << QList<bool>{true} << QString() << true << true;
    QTest::newRow("confirmed by name")
        << true << QList<bool>() << u"Second Street Deli"_s << false << true;
    QTest::newRow("confirmed by name, remembered")
        << true << QList<bool>() << u"Second Street Deli"_s << true << true;
    QTest::newRow("name not exact")
        << false << QList<bool>() << u"second street deli"_s << true << false;
}

void TestRunPreview::guard() {
    QFETCH(bool, service);
    QFETCH(QList<bool>, answers);
    QFETCH(QString, confirm);
    QFETCH(bool, remember);
    QFETCH(bool, posted);
    TFixture f;
    TFakeDirectSource direct;
    direct.Report = Maria;
    TChecksRunOptions options;
    options.Checks = DemoOptions();
    options.Source =
        Source(service ? rstDirectConnection : rstFile, f.File(u"s1910.txt"_s, Maria), service);
    if (service) {
        options.Source.Direct->Payrolls.Company.CoNbr = 34;
        options.Source.Direct->Payrolls.Company.CompanyName = u"Harbor Lane Bakery"_s;
    }
    QString refusal;
    const auto run = [&](const TCompany& company) {
        TRunContext context = f.Context(company);
        context.DirectSource = [&direct](const TDirectSourceOptions&, TRunContext&) {
            return Borrowed(direct);
        };
        TChecksExportRun r(options);
        try {
            RethrowPostFailure(r.RunChecksExport(context));
        } catch (const ECompanyGuardRefused& e) {
            refusal = e.Message();
        }
    };
    run(f.Harbor);
    const QString label =
        service ? u"Harbor Lane Bakery (Orvane 34)"_s : u"The report file s1910.txt"_s;
    QVERIFY2(Logged(f.Log.Sink(),
                    u"First posting of %1: it goes into QuickBooks company 'Harbor Lane Bakery'; "
                    u"posting it into another company will ask first."_s.arg(
                        service ? label : u"the report file s1910.txt"_s)),
             qPrintable(Messages(f.Log.Sink(), lmEvent).join(u'\n')));
    QCOMPARE(f.Dialogs.Shown.size(), 1); // the run's summary

    f.Sent.clear();
    f.Dialogs.Shown.clear();
    f.Dialogs.Answers = answers;
    f.Dialogs.Checks = {remember};
    if (!confirm.isNull()) {
        options.Posting.ConfirmCompany = confirm;
        options.Posting.RememberCompany = remember;
    }
    const QByteArray before = Bytes(f.Deli.FileName());
    run(f.Deli);
    const QString stated = label + u" was posted into QuickBooks company 'Harbor Lane Bakery' "
                                   u"before; the open company is 'Second Street Deli'."_s;
    if (confirm.isNull()) {
        QCOMPARE(f.Dialogs.Shown.value(0), u"confirm: "_s + stated + u" Post anyway?"_s);
        // Enter answers No; the box offers to move the pairing.
        QCOMPARE(f.Dialogs.Questions.value(0).Default, daNo);
        QCOMPARE(f.Dialogs.Questions.value(0).CheckBox,
                 u"From now on post "_s + (service ? label : u"the report file s1910.txt"_s) +
                     u" into this company"_s);
    }
    if (!posted) {
        QCOMPARE(Changes(f.Sent), QStringList());
        QCOMPARE(Bytes(f.Deli.FileName()), before);
        QVERIFY2(refusal.startsWith(stated + u" Nothing was posted."_s), qPrintable(refusal));
    } else {
        QCOMPARE(refusal, QString());
        QCOMPARE(f.Deli.Summary(), QStringList{u"Check 1001 125010"_s});
    }
    const std::unique_ptr<TRunLedger> ledger = f.Ledger();
    QCOMPARE(ledger->Pairings().value(0).Target.CompanyName,
             posted && remember ? u"Second Street Deli"_s : u"Harbor Lane Bakery"_s);
}

// The command line's company is the open one or the run stops, also where
// the guard has nothing to ask (a first posting, a standing pairing).
void TestRunPreview::confirmedCompanyMustBeTheOpenOne() {
    TFixture f;
    TChecksRunOptions options;
    options.Checks = DemoOptions();
    options.Source = Source(rstFile, f.File(u"s1910.txt"_s, Maria), false);
    for (const QString& confirm : {u"Second Street Deli"_s, u"Harbor Lane Bakery"_s}) {
        options.Posting.ConfirmCompany = confirm;
        TRunContext context = f.Context(f.Harbor);
        QString refusal;
        try {
            RethrowPostFailure(TChecksExportRun(options).RunChecksExport(context));
        } catch (const ECompanyGuardRefused& e) {
            refusal = e.Message();
        }
        if (confirm == u"Harbor Lane Bakery") {
            QCOMPARE(refusal, QString());
            continue;
        }
        QCOMPARE(refusal, u"--confirm-company names 'Second Street Deli', but the open "
                          u"QuickBooks company is 'Harbor Lane Bakery'. Nothing was posted."_s);
        QCOMPARE(Changes(f.Sent), QStringList());
        QCOMPARE(f.Ledger()->Pairings().size(), 0);
    }
    QCOMPARE(f.Harbor.Summary(), QStringList{u"Check 1001 125010"_s});
}

// A first posting of an Orvane company into a company file that received
// another one asks; a preview names the question and asks nothing.
void TestRunPreview::companyFileOfAnotherOrvaneCompany() {
    TFixture f;
    TFakeDirectSource direct;
    direct.Report = Maria;
    const auto run = [&](int number, const QString& name, bool preview) {
        TChecksRunOptions options;
        options.Checks = DemoOptions();
        options.Source = Source(rstDirectConnection, QString(), true);
        options.Source.Direct->Payrolls.Company.CoNbr = number;
        options.Source.Direct->Payrolls.Company.CompanyName = name;
        options.Posting.Preview = preview;
        TRunContext context = f.Context(f.Harbor);
        context.DirectSource = [&direct](const TDirectSourceOptions&, TRunContext&) {
            return Borrowed(direct);
        };
        TChecksExportRun r(options);
        try {
            RethrowPostFailure(r.RunChecksExport(context));
        } catch (const ECompanyGuardRefused&) {
        }
        return PostPreviews(r.Results()).value(0).CompanyQuestion;
    };
    run(34, u"Harbor Lane Bakery"_s, false);
    const QString question =
        u"QuickBooks company 'Harbor Lane Bakery' received Harbor Lane Bakery (Orvane 34) "
        u"before; Second Street Deli (Orvane 35) was never posted into it. Post anyway?"_s;
    f.Dialogs.Shown.clear();
    QCOMPARE(run(35, u"Second Street Deli"_s, true), question);
    QCOMPARE(f.Dialogs.Shown, QStringList());
    f.Dialogs.Answers = {false};
    run(35, u"Second Street Deli"_s, false);
    QCOMPARE(f.Dialogs.Shown, QStringList{u"confirm: "_s + question});
    QCOMPARE(f.Ledger()->Pairings().size(), 1);
}

// QuickBooks keeps a company's name as typed: the same file renamed in
// another letter case is another company to the guard.
void TestRunPreview::guardAsksWhenNameDiffersInCaseOnly() {
    TFixture f;
    const auto post = [&f] {
        TChecksExportRun r = f.Checks(f.File(u"s1910.txt"_s, Maria), false);
        TRunContext context = f.Context(f.Harbor);
        try {
            RethrowPostFailure(r.RunChecksExport(context));
        } catch (const ECompanyGuardRefused&) {
        }
    };
    post();
    {
        TQBSandboxCompany company(f.Harbor.FileName(), false);
        company.Begin();
        company.SetCompanyName(u"HARBOR LANE BAKERY"_s);
        company.Commit();
    }
    f.Dialogs.Shown.clear();
    f.Dialogs.Answers = {false};
    f.Sent.clear();
    post();
    QCOMPARE(f.Dialogs.Shown.size(), 1);
    QVERIFY2(f.Dialogs.Shown.value(0).startsWith(u"confirm: "_s),
             qPrintable(f.Dialogs.Shown.value(0)));
    QVERIFY(f.Dialogs.Shown.value(0).contains(u"'HARBOR LANE BAKERY'"_s));
    QCOMPARE(Changes(f.Sent), QStringList());
}

// What a preview of a check and a journal run writes, against golden files;
// the company file's temporary folder reads as DIR.
void TestRunPreview::previewTexts() {
    TFixture f;
    TRunContext context = f.Context(f.Harbor);
    TChecksExportRun checks = f.Checks(
        f.File(u"s1910.txt"_s, Maria + James +
                                   u"\"Maria\",A,\"Lopez\",\"Void\",3/8/2024,1001,-1250.10\r\n"_s +
                                   u"\"Nobody\",X,\"Here\",\"Pay\",3/8/2024,1003,10.00\r\n"_s),
        true);
    checks.RunChecksExport(context);
    TGLExportRun journal(SampleJournalPreview());
    const TPostResult journalPreview = journal.RunGLExport(context);
    QVERIFY(journalPreview.Preview);
    const QList<TRunPreview> previews =
        PostPreviews(checks.Results()) + QList<TRunPreview>{*journalPreview.Preview};
    const QString dir = QFileInfo(f.Harbor.FileName()).absolutePath();
    const QString csv = PreviewCsv(previews).replace(dir, u"DIR"_s);
    QCOMPARE(csv, testsupport::Golden(u"runs/preview.csv"_s, csv));
    const QString table = FormatPreviewTable(previews).replace(dir, u"DIR"_s);
    QCOMPARE(table, testsupport::Golden(u"runs/preview.txt"_s, table));
}

QTEST_GUILESS_MAIN(TestRunPreview)
#include "tst_runpreview.moc"
