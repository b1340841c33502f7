// The runs and the run ledger against a sandbox company: every set's records
// are in the ledger before the set reaches QuickBooks; undo takes back
// exactly what a run added, leaves what changed since, is refused for
// another company, finishes an interrupted undo and then has nothing to do;
// a ledger that cannot be written stops a run before anything is posted.
#include "ChecksTestSupport.h"
#include "ForwardingQBProcessor.h"
#include "RunTestSupport.h"
#include "ScriptedUserDialogs.h"
#include "base/RegionalSettings.h"
#include "runs/ChecksExportRun.h"
#include "runs/GLExportRun.h"
#include "runs/UndoRun.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>

using namespace checkstest;
using namespace runtest;
using namespace Qt::StringLiterals;

namespace {

// The sandbox company, with a look at every request set before it is
// handed over and a way to lose the answers from then on.
class TWatchedProcessor : public TForwardingQBProcessor {
public:
    struct TWatch {
        std::function<void(const QString& request)> BeforeChange;
        // After a set that changes the company was answered.
        std::function<void()> AfterChange;
        bool LoseAnswers = false;
    };

    TWatchedProcessor(IQBRequestProcessorPtr inner, std::shared_ptr<TWatch> watch)
        : TForwardingQBProcessor(std::move(inner)), m_watch(std::move(watch)) {}
    QString ProcessRequest(const QString& ticket, const QString& request) override {
        if (m_watch->LoseAnswers)
            throw EQBProcessorError(qbhr::CannotAccess, u"The connection was lost."_s);
        const bool changes = request.contains(u"newMessageSetID"_s);
        if (changes && m_watch->BeforeChange)
            m_watch->BeforeChange(request);
        const QString answer = TForwardingQBProcessor::ProcessRequest(ticket, request);
        // QuickBooks saved the set; its answer and every later one are lost.
        if (changes && m_watch->BeforeChange) {
            m_watch->LoseAnswers = true;
            throw EQBProcessorError(qbhr::CannotAccess, u"The connection was lost."_s);
        }
        if (changes && m_watch->AfterChange)
            m_watch->AfterChange();
        return answer;
    }

private:
    std::shared_ptr<TWatch> m_watch;
};

// "kind number outcome" of each record, in order.
QStringList Rows(const QList<TLedgerRecord>& records) {
    QStringList rows;
    for (const TLedgerRecord& r : records)
        rows << LedgerText(r.Kind) + u' ' + r.Number + u' ' + LedgerText(r.Outcome);
    return rows;
}

QString EmployeeLines(int first, int count) {
    QString text;
    for (int i = 0; i < count; ++i)
        text +=
            u"\"Maria\",A,\"Lopez\",\"Pay\",3/8/2024,%1,%2.25\r\n"_s.arg(first + i).arg(100 + i);
    return text;
}

struct TFixture {
    TDemoCompany Company;
    TRecordingLogger Log;
    TScriptedUserDialogs Dialogs;
    QTemporaryDir Dir;
    TRunContext Context = runtest::Context(Log.LoggerPtr(), Dialogs, Company.Factory());

    QString WriteFile(const QString& name, const QString& text) {
        QFile f(Dir.filePath(name));
        if (!f.open(QIODevice::WriteOnly) || f.write(text.toUtf8()) < 0)
            qFatal("cannot write the fixture");
        return f.fileName();
    }
    // Exports the checks of text; the run's ledger id.
    QString Export(const QString& text, bool clear = false, int batchSize = DefaultQBBatchSize) {
        TChecksRunOptions options;
        options.Source = Source(rstFile, WriteFile(u"report%1.txt"_s.arg(++m_files), text));
        options.Checks = DemoOptions();
        options.Checks.Clear = clear;
        options.Checks.BatchSize = batchSize;
        RethrowPostFailure(TChecksExportRun(options).RunChecksExport(Context));
        return Context.OpenLedger()->Runs().first().Id;
    }
    TUndoResult Undo(const QString& runId, bool preview = false) {
        TUndoRun undo({runId, preview, DefaultQBBatchSize});
        undo.RunUndo(Context);
        return undo.Result();
    }
    // Posts the journal sample; the run's ledger id.
    QString ExportJournal(bool clear, int batchSize = DefaultQBBatchSize) {
        TGLRunOptions options;
        options.Source = Source(rstFile, qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                             u"/data/samples/s348-journal.csv"_s);
        options.GL.Clear = clear;
        options.GL.BatchSize = batchSize;
        try {
            RethrowPostFailure({TGLExportRun(options).RunGLExport(Context)});
        } catch (const EGLExportAborted&) {
            // The duplicate date's question answered No.
        }
        return Context.OpenLedger()->Runs().first().Id;
    }
    // The cleared status of each transaction of the type, in the company's order.
    QStringList Cleared(const QString& type) const {
        TSbTxnFilter filter;
        filter.Type = type;
        QStringList cleared;
        for (const TSbTxn& t : TQBSandboxCompany(Company.FileName(), false).Txns(filter))
            cleared << t.Cleared;
        return cleared;
    }
    QStringList Texts(const TUndoResult& result) {
        QStringList texts;
        for (const TUndoItem& item : result.Items)
            texts << item.Text;
        return texts;
    }

private:
    int m_files = 0;
};

} // namespace

class TestRunRecording : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void writtenAheadOfEverySet_data();
    void writtenAheadOfEverySet();
    void runRecordsItsSourceAndTarget();
    void undoOfThousandChecksRemovesExactlyThem();
    void undoLeavesWhatChangedAndThenHasNothingToDo_data();
    void undoLeavesWhatChangedAndThenHasNothingToDo();
    void voidsAreListedNotUndone();
    void checkAddedAndVoidedByTheRunIsDeleted();
    void lostSetIsSettledAndTakenBack_data();
    void lostSetIsSettledAndTakenBack();
    void undoNamesWhatStaysUnknown();
    void undoRefusedForAnotherCompany_data();
    void undoRefusedForAnotherCompany();
    void interruptedUndoIsFinishedByRunningAgain_data();
    void interruptedUndoIsFinishedByRunningAgain();
    void unwritableLedgerStopsBeforePosting_data();
    void unwritableLedgerStopsBeforePosting();
    void ledgerUnwritableMidRunSaysWhatWasPosted();
    void undoOfARunWithoutAnEnd_data();
    void undoOfARunWithoutAnEnd();
    void clearingFindsWhatAnEarlierRunLeft_data();
    void clearingFindsWhatAnEarlierRunLeft();
    void clearingFindsJournalEntryAnEarlierRunLeft();
};

// The processor looks into the ledger when the first set that changes the
// company arrives, then loses that set's answer for good: the ledger held
// the set's records before QuickBooks saw them, and afterwards says their
// state is unknown while QuickBooks holds them.
void TestRunRecording::writtenAheadOfEverySet_data() {
    QTest::addColumn<bool>("journal");
    QTest::addColumn<QStringList>("atSend");
    QTest::addColumn<QStringList>("after");
    QTest::newRow("checks") << false
                            << QStringList{u"check 1001 pending"_s, u"check 1002 pending"_s}
                            << QStringList{u"check 1001 state unknown"_s,
                                           u"check 1002 state unknown"_s};
    QTest::newRow("journal with its clearing")
        << true << QStringList{u"journal entry  pending"_s, u"clearing  pending"_s}
        << QStringList{u"journal entry  state unknown"_s, u"clearing  state unknown"_s};
}

void TestRunRecording::writtenAheadOfEverySet() {
    QFETCH(bool, journal);
    QFETCH(QStringList, atSend);
    QFETCH(QStringList, after);
    TFixture f;
    auto watch = std::make_shared<TWatchedProcessor::TWatch>();
    QStringList seen;
    watch->BeforeChange = [&](const QString&) {
        auto ledger = f.Context.OpenLedger();
        seen = Rows(ledger->Records(ledger->Runs().first().Id));
    };
    TQBConnectionConfig config = f.Company.Config();
    config.Processor.Factory = [watch](const TQBProcessorConfig& processor) {
        return std::make_unique<TWatchedProcessor>(CreateSandboxRequestProcessor(processor), watch);
    };
    f.Context.ConnectQB = QBConnectionFactory(config);
    // A lost answer fails neither run: the checks count it, the journal's
    // run says the entry may be in QuickBooks.
    if (journal) {
        TGLRunOptions options;
        options.Source = Source(rstFile, qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                             u"/data/samples/s348-journal.csv"_s);
        options.GL.Clear = true;
        RethrowPostFailure({TGLExportRun(options).RunGLExport(f.Context)});
        QCOMPARE(
            f.Dialogs.Shown.filter(u"whether the journal entry was posted is unknown"_s).size(), 1);
    } else {
        f.Export(EmployeeLines(1001, 2));
    }
    QCOMPARE(seen, atSend);
    auto ledger = f.Context.OpenLedger();
    const TLedgerRun run = ledger->Runs().first();
    QCOMPARE(Rows(ledger->Records(run.Id)), after);
    // QuickBooks holds what the ledger could not confirm.
    TSbTxnFilter filter;
    filter.Type = journal ? u"JournalEntry"_s : u"Check"_s;
    QCOMPARE(int(TQBSandboxCompany(f.Company.FileName(), false).Txns(filter).size()),
             journal ? 1 : 2);

    // The undo finds them in QuickBooks and takes them back.
    watch->BeforeChange = nullptr;
    watch->LoseAnswers = false;
    QCOMPARE(f.Undo(run.Id).Count(uaDeleted), journal ? 1 : 2);
    QCOMPARE(int(TQBSandboxCompany(f.Company.FileName(), false).Txns(filter).size()), 0);
}

void TestRunRecording::runRecordsItsSourceAndTarget() {
    TFixture f;
    const QString report = EmployeeLines(1001, 2);
    const QString id = f.Export(report);
    const TLedgerRun run = *f.Context.OpenLedger()->FindRun(id);
    QCOMPARE(run.Kind, lrkChecks);
    QCOMPARE(run.ReportKind, rkEmployeeChecks);
    QCOMPARE(run.State, lrsFinished);
    QCOMPARE(run.Source.FileSize, qint64(report.toUtf8().size()));
    QCOMPARE(run.Source.FileSha256,
             QString::fromLatin1(
                 QCryptographicHash::hash(report.toUtf8(), QCryptographicHash::Sha256).toHex()));
    QCOMPARE(run.Target.CompanyFile, QFileInfo(f.Company.FileName()).absoluteFilePath());
    QVERIFY(!run.Target.CompanyName.isEmpty());
    QVERIFY2(run.Options.contains(u"cash account Payroll Checking"_s), qPrintable(run.Options));
    QCOMPARE(run.Counts.value(loAdded), 2);
}

// Cleared checks too: the clearing changes their EditSequence, which the run
// reads again, so undo finds them as the run left them.
void TestRunRecording::undoOfThousandChecksRemovesExactlyThem() {
    TFixture f;
    f.Export(EmployeeLines(5001, 2)); // an earlier run the undo must not touch
    const QStringList before = f.Company.Summary();
    const QString id = f.Export(EmployeeLines(200001, 1000), true);
    QCOMPARE(f.Company.Summary().size(), before.size() + 1000);
    const TUndoResult result = f.Undo(id);
    QCOMPARE(result.Count(uaDeleted), 1000);
    QCOMPARE(result.Items.size(), 1000);
    QCOMPARE(f.Company.Summary(), before);
    const TLedgerRun undo = *f.Context.OpenLedger()->FindRun(result.UndoRunId);
    QCOMPARE(undo.Kind, lrkUndo);
    QCOMPARE(undo.TargetRunId, id);
    QCOMPARE(undo.Counts.value(loDeleted), 1000);
}

void TestRunRecording::undoLeavesWhatChangedAndThenHasNothingToDo_data() {
    QTest::addColumn<QString>("change"); // what a user did to check 1002 after the run
    QTest::addColumn<QStringList>("first");
    QTest::addColumn<QStringList>("second");
    QTest::newRow("nothing") << QString()
                             << QStringList{u"Check 1001 deleted"_s, u"Check 1002 deleted"_s,
                                            u"Check 1003 deleted"_s}
                             << QStringList();
    const QString left = u"Check 1002 was changed in QuickBooks after the run: not deleted"_s;
    QTest::newRow("edited") << u"edit"_s
                            << QStringList{u"Check 1001 deleted"_s, left, u"Check 1003 deleted"_s}
                            << QStringList{left};
    const QString gone = u"Check 1002 is no longer in QuickBooks: not deleted"_s;
    QTest::newRow("deleted") << u"delete"_s
                             << QStringList{u"Check 1001 deleted"_s, gone, u"Check 1003 deleted"_s}
                             << QStringList{gone};
}

void TestRunRecording::undoLeavesWhatChangedAndThenHasNothingToDo() {
    QFETCH(QString, change);
    QFETCH(QStringList, first);
    QFETCH(QStringList, second);
    TFixture f;
    const QStringList before = f.Company.Summary();
    const QString id = f.Export(EmployeeLines(1001, 3));
    {
        TQBSandboxCompany company(f.Company.FileName(), false);
        const QString txn = company.TxnsByNumber(u"1002"_s).front().TxnID;
        company.Begin();
        if (change == u"edit")
            company.SetTxnMemo(txn, u"Corrected by the bookkeeper"_s);
        else if (change == u"delete")
            company.DeleteTxn(txn);
        company.Commit();
    }
    const QStringList afterChange = f.Company.Summary();

    const TUndoResult preview = f.Undo(id, true);
    QCOMPARE(preview.Count(uaDelete), 2 + int(change.isEmpty()));
    QVERIFY(preview.UndoRunId.isEmpty());
    QCOMPARE(f.Company.Summary(), afterChange);

    QCOMPARE(f.Texts(f.Undo(id)), first);
    QStringList expected = before;
    if (change == u"edit")
        expected << u"Check 1002 10125"_s;
    QCOMPARE(f.Company.Summary(), expected);

    const TUndoResult again = f.Undo(id);
    QCOMPARE(f.Texts(again), second);
    QVERIFY(again.NothingToDo());
    QVERIFY2(again.Summary.endsWith(u"has nothing left to undo"_s), qPrintable(again.Summary));
    QCOMPARE(f.Company.Summary(), expected);
    QCOMPARE(f.Dialogs.Shown.last(), u"information: "_s + again.Summary);
}

void TestRunRecording::voidsAreListedNotUndone() {
    TFixture f;
    f.Export(EmployeeLines(1001, 2));
    // Check 1002 returned: voided; check 1003 new.
    const QString id = f.Export(u"\"Maria\",A,\"Lopez\",\"Pay\",3/8/2024,1002,-101.25\r\n"_s +
                                EmployeeLines(1003, 1));
    const TUndoResult result = f.Undo(id);
    // In the ledger's order: the void was written once its query was answered.
    QCOMPARE(f.Texts(result),
             (QStringList{u"Check 1003 deleted"_s,
                          u"Void of check 1002 cannot be undone: QuickBooks has no un-void"_s}));
    QVERIFY2(result.Summary.endsWith(u"; 1 void cannot be undone"_s), qPrintable(result.Summary));
    QCOMPARE(f.Company.Summary(), (QStringList{u"Check 1001 10025"_s, u"Check 1002 0"_s}));
}

// The void changed the check's EditSequence after the add: the run's own
// change, not a user's.
void TestRunRecording::checkAddedAndVoidedByTheRunIsDeleted() {
    TFixture f;
    const QStringList before = f.Company.Summary();
    const QString id = f.Export(EmployeeLines(1001, 2) +
                                u"\"Maria\",A,\"Lopez\",\"Pay\",3/8/2024,1002,-101.25\r\n"_s);
    QCOMPARE(f.Company.Summary(), (QStringList{u"Check 1001 10025"_s, u"Check 1002 0"_s}));
    const TUndoResult result = f.Undo(id);
    QCOMPARE(f.Texts(result), (QStringList{u"Check 1001 deleted"_s, u"Check 1002 deleted"_s}));
    QCOMPARE(f.Company.Summary(), before);
}

// The answer to one request set of a run is lost for good: its records are
// of unknown state. The re-run settles them from QuickBooks before it posts
// and finds every check there; undo of both takes back everything.
void TestRunRecording::lostSetIsSettledAndTakenBack_data() {
    QTest::addColumn<int>("lostSet");
    QTest::newRow("first set") << 0;
    QTest::newRow("a middle set") << 1;
    QTest::newRow("last set") << 2;
}

void TestRunRecording::lostSetIsSettledAndTakenBack() {
    QFETCH(int, lostSet);
    TFixture f;
    f.Export(EmployeeLines(5001, 2)); // an earlier run the undo must not touch
    const QStringList before = f.Company.Summary();
    TSbFaults faults;
    // The company's name, the accounts, employees, deposits and checks,
    // then the adds, five a set.
    faults.LoseResponse = 5 + 5 * lostSet + 1;
    faults.ForgetAnswers = true;
    f.Company.SetFaults(faults);
    const QString report = EmployeeLines(1001, 15);
    const QString first = f.Export(report, false, 5);
    f.Company.SetFaults(TSbFaults());
    auto ledger = f.Context.OpenLedger();
    QCOMPARE(ledger->FindRun(first)->Counts,
             (QMap<TLedgerOutcome, int>{{loAdded, 10}, {loStateUnknown, 5}}));

    const TUndoResult preview = f.Undo(first, true);
    QCOMPARE(preview.Count(uaDelete), 15);
    QCOMPARE(ledger->FindRun(first)->Counts.value(loStateUnknown), 5);

    const QString again = f.Export(report, false, 5);
    QCOMPARE(ledger->FindRun(again)->Counts, (QMap<TLedgerOutcome, int>{{loAlreadyExisted, 15}}));
    QCOMPARE(ledger->FindRun(first)->Counts, (QMap<TLedgerOutcome, int>{{loAdded, 15}}));
    QStringList notes;
    for (const TLedgerRecord& r : ledger->Records(first))
        if (!r.Note.isEmpty())
            notes << r.Number + u' ' + r.Note;
    QCOMPARE(notes.size(), 5);
    QCOMPARE(notes.first(), u"%1 resolved by run %2"_s.arg(1001 + 5 * lostSet).arg(again.left(8)));

    QCOMPARE(f.Undo(first).Count(uaDeleted), 15);
    QVERIFY(f.Undo(again).NothingToDo());
    QCOMPARE(f.Company.Summary(), before);
}

// A person entered check 1002 a second time: which of the two the lost set
// added cannot be told, so the undo leaves both and says what to look for.
void TestRunRecording::undoNamesWhatStaysUnknown() {
    TFixture f;
    TSbFaults faults;
    faults.LoseResponse = 5 + 2; // the company's name and the lists, then the second add
    faults.ForgetAnswers = true;
    f.Company.SetFaults(faults);
    const QString id = f.Export(EmployeeLines(1001, 2), false, 1);
    f.Company.SetFaults(TSbFaults());
    QStringList txnIDs;
    {
        TQBSandboxCompany company(f.Company.FileName(), false);
        TSbTxn copy = *company.FindTxn(company.TxnsByNumber(u"1002"_s).front().TxnID);
        txnIDs << copy.TxnID;
        company.Begin();
        txnIDs << company.AddTxn(copy);
        company.Commit();
    }
    const QString unknown =
        u"Whether Check 1002 was added is unknown (2 transactions in QuickBooks match it: TxnIDs "_s +
        txnIDs.join(u", "_s) + u"): look for it in QuickBooks (dated "_s +
        DateToStr(QDate(2024, 3, 8)) + u", amount 101.25) and delete it there if it is there"_s;
    const TUndoResult preview = f.Undo(id, true);
    QCOMPARE(f.Texts(preview), (QStringList{u"Check 1001 will be deleted"_s, unknown}));
    QVERIFY2(preview.Summary.endsWith(u"; 1 in unknown state"_s), qPrintable(preview.Summary));

    const TUndoResult result = f.Undo(id);
    QCOMPARE(f.Texts(result), (QStringList{u"Check 1001 deleted"_s, unknown}));
    QVERIFY2(
        result.Summary.endsWith(u"1 transaction deleted, 0 left, 0 failed, 1 in unknown state"_s),
        qPrintable(result.Summary));
    QCOMPARE(f.Company.Summary(), (QStringList{u"Check 1002 10125"_s, u"Check 1002 10125"_s}));
}

void TestRunRecording::undoRefusedForAnotherCompany_data() {
    QTest::addColumn<bool>("otherFile");
    QTest::addColumn<bool>("caseOnly");
    QTest::newRow("another company file") << true << false;
    QTest::newRow("the company renamed") << false << false;
    QTest::newRow("the name in other letters' case") << false << true;
}

void TestRunRecording::undoRefusedForAnotherCompany() {
    QFETCH(bool, otherFile);
    QFETCH(bool, caseOnly);
    TFixture f;
    const QString id = f.Export(EmployeeLines(1001, 2));
    TDemoCompany other;
    const TDemoCompany& open = otherFile ? other : f.Company;
    if (!otherFile) {
        TQBSandboxCompany company(f.Company.FileName(), false);
        company.Begin();
        company.SetCompanyName(caseOnly ? company.CompanyName().toUpper()
                                        : u"Second Street Deli"_s);
        company.Commit();
    }
    const QStringList held = f.Company.Summary();
    f.Context.ConnectQB = open.Factory();
    try {
        f.Undo(id);
        QFAIL("the undo was not refused");
    } catch (const EztException& e) {
        const TLedgerRun run = *f.Context.OpenLedger()->FindRun(id);
        for (const QString& named : {run.Target.CompanyName, run.Target.CompanyFile,
                                     QFileInfo(open.FileName()).absoluteFilePath()})
            QVERIFY2(e.Message().contains(named), qPrintable(e.Message()));
        QVERIFY2(e.Message().endsWith(u"Nothing was undone."_s), qPrintable(e.Message()));
    }
    QCOMPARE(f.Company.Summary(), held);
    QCOMPARE(other.Summary(), QStringList());
    QCOMPARE(f.Context.OpenLedger()->UndoRunsOf(id).size(), 0);
}

// An undo that did not learn what became of its deletes: running it again
// finds them gone and finishes the undo.
void TestRunRecording::interruptedUndoIsFinishedByRunningAgain_data() {
    QTest::addColumn<bool>("killed");
    // The delete set reaches QuickBooks, its answer is lost for good.
    QTest::newRow("answer lost") << false;
    // Another workstation's undo dies once its deletes reached QuickBooks;
    // its lease has not run out, so its records are still pending.
    QTest::newRow("killed inside its lease") << true;
}

void TestRunRecording::interruptedUndoIsFinishedByRunningAgain() {
    QFETCH(bool, killed);
    TFixture f;
    const QStringList before = f.Company.Summary();
    const QString id = f.Export(EmployeeLines(1001, 3));
    if (killed) {
        TLedgerOptions options;
        options.Identity = TLedgerIdentity::ThisWorkstation(u"0.1"_s);
        options.Identity.Computer = u"WS-2"_s;
        TRunLedger elsewhere(f.Context.OpenLedger()->Location(), options);
        TLedgerRunStart start;
        start.Kind = lrkUndo;
        start.TargetRunId = id;
        start.Target = elsewhere.FindRun(id)->Target;
        QList<TLedgerRecordIntent> deletes;
        TQBSandboxCompany company(f.Company.FileName(), false);
        company.Begin();
        for (const TLedgerRecord& r : elsewhere.Undoable(id)) {
            deletes << r;
            deletes.last().Kind = lekDeletion;
            QVERIFY(company.DeleteTxn(r.TxnID));
        }
        company.Commit();
        elsewhere.WriteIntents(elsewhere.BeginRun(start), deletes);
    } else {
        TSbFaults faults;
        faults.LoseResponse = 3; // the company's name, the query, then the deletes
        faults.ForgetAnswers = true;
        f.Company.SetFaults(faults);
        const TUndoResult lost = f.Undo(id);
        QCOMPARE(lost.Count(uaStateUnknown), 3);
        QCOMPARE(f.Dialogs.Shown.last(), u"error: "_s + lost.Summary);
        f.Company.SetFaults(TSbFaults());
    }
    QCOMPARE(f.Company.Summary(), before);

    const TUndoResult finished = f.Undo(id);
    QCOMPARE(finished.Count(uaDeleted), 3);
    QCOMPARE(f.Context.OpenLedger()->Undoable(id).size(), 0);
    QVERIFY(f.Undo(id).NothingToDo());
}

void TestRunRecording::unwritableLedgerStopsBeforePosting_data() {
    QTest::addColumn<QString>("damage");
    QTest::newRow("cannot be opened") << u"open"_s;
    QTest::newRow("locked by another writer") << u"locked"_s;
}

void TestRunRecording::unwritableLedgerStopsBeforePosting() {
    QFETCH(QString, damage);
    TFixture f;
    TLedgerLocation location;
    QFile blocker(f.Dir.filePath(u"file"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    location.FilePath = damage == u"open" ? blocker.fileName() + u"/ledger.sqlite"_s
                                          : f.Dir.filePath(u"ledger.sqlite"_s);
    TLedgerOptions options;
    options.BusyTimeoutMs = 50;
    f.Context.OpenLedger = [location, options] {
        return std::make_unique<TRunLedger>(location, options);
    };
    std::unique_ptr<TRunLedger> other;
    QSqlDatabase lock;
    if (damage == u"locked") {
        other = f.Context.OpenLedger();
        lock = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"locker"_s);
        lock.setDatabaseName(location.FilePath);
        QVERIFY(lock.open());
        QVERIFY(QSqlQuery(lock).exec(u"BEGIN IMMEDIATE"_s));
    }
    try {
        f.Export(EmployeeLines(1001, 2));
        QFAIL("the run did not stop");
    } catch (const ELedgerError& e) {
        QVERIFY2(e.Message().contains(u"Posting stops"_s), qPrintable(e.Message()));
    }
    QCOMPARE(f.Company.Summary(), QStringList());
    if (lock.isOpen()) {
        QSqlQuery(lock).exec(u"ROLLBACK"_s);
        lock.close();
    }
    lock = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"locker"_s);
}

// The ledger is locked by another writer once two sets reached QuickBooks:
// the run says how far it got, and a re-run finds those checks there.
void TestRunRecording::ledgerUnwritableMidRunSaysWhatWasPosted() {
    TFixture f;
    TLedgerLocation location;
    location.FilePath = f.Dir.filePath(u"ledger.sqlite"_s);
    TLedgerOptions options;
    options.BusyTimeoutMs = 50;
    f.Context.OpenLedger = [location, options] {
        return std::make_unique<TRunLedger>(location, options);
    };
    f.Context.OpenLedger(); // created before the lock is taken
    QSqlDatabase lock = QSqlDatabase::addDatabase(u"QSQLITE"_s, u"midrun"_s);
    lock.setDatabaseName(location.FilePath);
    QVERIFY(lock.open());
    auto watch = std::make_shared<TWatchedProcessor::TWatch>();
    int sets = 0;
    watch->AfterChange = [&] {
        if (++sets == 2)
            QVERIFY(QSqlQuery(lock).exec(u"BEGIN IMMEDIATE"_s));
    };
    TQBConnectionConfig config = f.Company.Config();
    config.Processor.Factory = [watch](const TQBProcessorConfig& processor) {
        return std::make_unique<TWatchedProcessor>(CreateSandboxRequestProcessor(processor), watch);
    };
    f.Context.ConnectQB = QBConnectionFactory(config);
    try {
        f.Export(EmployeeLines(1001, 6), false, 2);
        QFAIL("the run did not stop");
    } catch (const ELedgerError& e) {
        QVERIFY2(e.Message().startsWith(
                     u"The run ledger \""_s + location.Display() +
                     u"\" cannot be written. Posting stopped after 4 of 6 records: the ledger "
                     u"holds those 4 (2 records without an outcome, which read as state unknown); "
                     u"make the ledger writable, then run again: the records posted are found as "
                     u"existing.\n\n"_s),
                 qPrintable(e.Message()));
    }
    QCOMPARE(f.Company.Summary().size(), 4);
    QSqlQuery(lock).exec(u"ROLLBACK"_s);
    lock.close();
    lock = QSqlDatabase();
    QSqlDatabase::removeDatabase(u"midrun"_s);

    f.Context.ConnectQB = f.Company.Factory();
    f.Export(EmployeeLines(1001, 6), false, 2);
    QVERIFY2(f.Dialogs.Shown.last().contains(u"2 checks added"_s) &&
                 f.Dialogs.Shown.last().contains(u"4 checks already existed"_s),
             qPrintable(f.Dialogs.Shown.last()));
}

// A run that never ended: of another workstation it may still write until
// its lease ends; of this computer it is over once its process is gone.
void TestRunRecording::undoOfARunWithoutAnEnd_data() {
    QTest::addColumn<QString>("computer");
    QTest::addColumn<QString>("started"); // of this process; empty: its own
    QTest::addColumn<QString>("refusal"); // empty: the undo runs
    QTest::newRow("another workstation") << u"WS-2"_s << QString() << u"lease"_s;
    QTest::newRow("this computer, its process living")
        << QSysInfo::machineHostName() << QString()
        << u"is still running; undo it when it has ended."_s;
    QTest::newRow("this computer, its process gone")
        << QSysInfo::machineHostName() << u"an earlier process"_s << QString();
}

void TestRunRecording::undoOfARunWithoutAnEnd() {
    QFETCH(QString, computer);
    QFETCH(QString, started);
    QFETCH(QString, refusal);
    TFixture f;
    TLedgerOptions options;
    options.Identity = TLedgerIdentity::ThisWorkstation(u"0.1"_s);
    options.Identity.Computer = computer;
    if (!started.isEmpty())
        options.Identity.Process.Started = started;
    const QString id =
        TRunLedger(f.Context.OpenLedger()->Location(), options).BeginRun(TLedgerRunStart{});
    const TLedgerRun run = *f.Context.OpenLedger()->FindRun(id);
    if (refusal == u"lease")
        refusal =
            u"Run %1 on WS-2 last wrote at %2; it counts as interrupted from %3 unless it "
            u"writes again"_s.arg(id.left(8), run.Heartbeat.toLocalTime().toString(u"HH:mm"_s),
                                  run.Heartbeat.addSecs(300).toLocalTime().toString(u"HH:mm"_s));
    try {
        const TUndoResult result = f.Undo(id);
        QVERIFY2(refusal.isEmpty(), qPrintable(refusal));
        QVERIFY2(result.Summary.endsWith(u"has nothing left to undo"_s),
                 qPrintable(result.Summary));
    } catch (const EztException& e) {
        QVERIFY2(!refusal.isEmpty() && e.Message().endsWith(refusal), qPrintable(e.Message()));
    }
}

// With "Clear", a check or deposit QuickBooks holds already is cleared when
// an earlier run of this program added it (or may have: its answer lost)
// and the ledger did not see it cleared; one no run added is left.
void TestRunRecording::clearingFindsWhatAnEarlierRunLeft_data() {
    QTest::addColumn<QString>("report");
    QTest::addColumn<QString>("first"); // "lost", "person", "no clear", "cleared"
    QTest::addColumn<QStringList>("rerun");
    QTest::addColumn<QString>("cleared");
    const QString checks = EmployeeLines(1001, 2);
    const QStringList found{u"check 1001 already existed"_s, u"check 1002 already existed"_s};
    // The clearings are written ahead of their set; what was found, after it.
    const QStringList clearedNow =
        QStringList{u"clearing 1001 cleared"_s, u"clearing 1002 cleared"_s} + found;
    QTest::newRow("answer lost") << checks << u"lost"_s << clearedNow << u"Cleared"_s;
    QTest::newRow("added without clearing")
        << checks << u"no clear"_s << clearedNow << u"Cleared"_s;
    QTest::newRow("cleared by the earlier run") << checks << u"cleared"_s << found << u"Cleared"_s;
    QTest::newRow("entered by a person")
        << checks << u"person"_s << QStringList{u"check 1001 differs"_s, u"check 1002 differs"_s}
        << u"NotCleared"_s;
    // Returned pay of a check QuickBooks lacks: a query, then the deposit.
    QTest::newRow("deposit, answer lost")
        << u"\"Maria\",A,\"Lopez\",\"Pay\",3/8/2024,7001,-50.00\r\n"_s << u"lost"_s
        << QStringList{u"deposit 7001 already existed"_s, u"clearing 7001 cleared"_s}
        << u"Cleared"_s;
}

void TestRunRecording::clearingFindsWhatAnEarlierRunLeft() {
    QFETCH(QString, report);
    QFETCH(QString, first);
    QFETCH(QStringList, rerun);
    QFETCH(QString, cleared);
    TFixture f;
    const bool deposit = report.contains(u'-');
    const QString type = deposit ? u"Deposit"_s : u"Check"_s;
    if (first == u"person") {
        TRecordingLogger log;
        ExportChecks(*f.Company.Connect(log.LoggerPtr()),
                     ParseChecksReport(log.Logger(), report, rkNone), DemoOptions());
    } else {
        if (first == u"lost") {
            TSbFaults faults;
            faults.LoseResponse = 7; // after the company, four lists (and the deposit's query)
            faults.ForgetAnswers = true;
            f.Company.SetFaults(faults);
        }
        const QString id = f.Export(report, first != u"no clear");
        f.Company.SetFaults(TSbFaults());
        if (first == u"lost")
            QCOMPARE(f.Context.OpenLedger()->Records(id).first().Outcome, loStateUnknown);
    }
    QVERIFY(!f.Cleared(type).contains(u"Cleared"_s) || first == u"cleared");

    const QString id = f.Export(report, true);
    QCOMPARE(Rows(f.Context.OpenLedger()->Records(id)), rerun);
    QCOMPARE(f.Cleared(type), QStringList(deposit ? 1 : 2, cleared));
    const QString name = deposit ? u"Deposit of check 7001"_s : u"Check 1001"_s;
    const QStringList events = Messages(f.Log.Sink(), lmEvent);
    const QStringList warnings = Messages(f.Log.Sink(), lmWarning);
    QCOMPARE(events.contains(name + u" already existed, added by an earlier run of this program: "
                                    u"marked cleared"_s),
             rerun.contains(u"clearing 1001 cleared"_s) ||
                 rerun.contains(u"clearing 7001 cleared"_s));
    QCOMPARE(warnings.contains(name + u" exists, not marked cleared: no run of this program added "
                                      u"it, so it is left as it is"_s),
             first == u"person");
}

// One request a set: the entry's answer is lost, its clearing never sent.
// The re-run clears the entry it finds on the date, then asks about posting
// another.
void TestRunRecording::clearingFindsJournalEntryAnEarlierRunLeft() {
    TFixture f;
    TSbFaults faults;
    faults.LoseResponse = 5; // after the company and the lists validation and the export read
    faults.ForgetAnswers = true;
    f.Company.SetFaults(faults);
    const QString lost = f.ExportJournal(true, 1);
    f.Company.SetFaults(TSbFaults());
    QCOMPARE(Rows(f.Context.OpenLedger()->Records(lost)),
             QStringList{u"journal entry  state unknown"_s});
    QCOMPARE(f.Cleared(u"JournalEntry"_s), QStringList{u"NotCleared"_s});

    f.Dialogs.Answers = {false};
    const QString id = f.ExportJournal(true);
    QCOMPARE(f.Cleared(u"JournalEntry"_s), QStringList{u"Cleared"_s});
    QCOMPARE(Rows(f.Context.OpenLedger()->Records(id)), QStringList{u"clearing  cleared"_s});
    QCOMPARE(Messages(f.Log.Sink(), lmEvent)
                 .filter(u"already existed, added by an earlier run of this program: marked "
                         u"cleared"_s)
                 .size(),
             1);
    // Seen cleared now: a third run, answered No, records and sends nothing.
    f.Dialogs.Answers = {false};
    const qsizetype runs = f.Context.OpenLedger()->Runs().size();
    f.ExportJournal(true);
    QCOMPARE(f.Context.OpenLedger()->Runs().size(), runs);
    QCOMPARE(f.Dialogs.Shown.filter(u"confirm: "_s).size(), 2);
}

QTEST_GUILESS_MAIN(TestRunRecording)
#include "tst_runrecording.moc"
