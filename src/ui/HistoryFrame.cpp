#include "ui/HistoryFrame.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "runs/CompanyGuard.h"
#include "runs/LedgerReport.h"
#include "runs/LedgerRunWriter.h"
#include "runs/UndoRun.h"
#include "ui/ActionButton.h"
#include "ui/DocumentPrinting.h"
#include "ui/MemTableColumns.h"
#include "ui/OrvqApplication.h"
#include "ui/dbcomp.h"

#include <QAbstractEventDispatcher>
#include <QHBoxLayout>
#include <QLabel>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

// Beside every transaction it deletes, the undo's question lists this many
// of its other items, then how many more.
constexpr int QuestionItems = 25;

TMemTable* RunsTable(QObject* parent) {
    return NewMemTable(parent, {{"Started", fkDateTime, "Started"},
                                {"Kind", fkString, "Kind"},
                                {"State", fkString, "State"},
                                {"Source", fkString, "Payrolls or report file"},
                                {"Company", fkString, "QuickBooks company"},
                                {"Records", fkString, "Records"},
                                {"Amount", fkCurrency, "Amount"},
                                {"CompanyFile", fkString, "Company file"},
                                {"User", fkString, "User"},
                                {"Run", fkString, "Run"},
                                {"Index", fkInteger, ""}});
}

TMemTable* RecordsTable(QObject* parent) {
    return NewMemTable(parent, {{"Seq", fkInteger, "#"},
                                {"Kind", fkString, "Kind"},
                                {"Number", fkString, "Number"},
                                {"Date", fkDate, "Date"},
                                {"Payee", fkString, "Payee"},
                                {"Amount", fkCurrency, "Amount"},
                                {"Outcome", fkString, "Outcome"},
                                {"TxnID", fkString, "TxnID"},
                                {"Message", fkString, "Message"},
                                {"Note", fkString, "Note"}});
}

TMemTable* PairingsTable(QObject* parent) {
    return NewMemTable(parent, {{"Kind", fkString, "Posted by"},
                                {"Key", fkString, "Number or checksum"},
                                {"Label", fkString, "Name"},
                                {"Company", fkString, "QuickBooks company"},
                                {"CompanyFile", fkString, "Company file"},
                                {"Recorded", fkDateTime, "Since"},
                                {"Index", fkInteger, ""}});
}

// The undo's question: what it would do, then whether to do it.
QString UndoQuestion(const TUndoResult& preview) {
    QStringList deleted, others;
    for (const TUndoItem& item : preview.Items) {
        const TLedgerRecord& r = item.Record;
        if (item.Action == uaDelete)
            deleted << EscapeControlCharsInLine(
                Format("%s %s, %s, %s, %s", {LedgerText(r.Kind), r.Number,
                                             r.Date.isValid() ? DateToStr(r.Date) : QString(),
                                             r.Payee, MoneyToStr(r.Amount)}));
        else
            others << item.Text;
    }
    QStringList lines{QStringLiteral("QuickBooks company: ") +
                      EscapeControlCharsInLine(LedgerTargetText(preview.Run.Target))};
    if (!deleted.isEmpty())
        lines << QString()
              << Format("%s to delete (number, date, payee, amount):",
                        {PluralForm(QStringLiteral("Transaction"), deleted.size())})
              << deleted;
    if (!others.isEmpty())
        lines << QString() << others.mid(0, QuestionItems);
    if (others.size() > QuestionItems)
        lines << Format("... and %d more", {int(others.size()) - QuestionItems});
    return lines.join(u'\n') + QStringLiteral("\n\n") + preview.Summary +
           QStringLiteral(".\n\nUndo the run?");
}

} // namespace

THistoryFrm::THistoryFrm(QWidget* parent) : TRunTab(parent) {
    RefreshAction = new QAction(QStringLiteral("Refresh"), this);
    PrintReportAction = new QAction(QStringLiteral("Print Report"), this);
    UndoAction = new QAction(QStringLiteral("Undo run…"), this);
    RemovePairingAction = new QAction(QStringLiteral("Remove pairing…"), this);
    connect(RemovePairingAction, &QAction::triggered, this,
            UserAction([this] { RemovePairing(); }));
    connect(RefreshAction, &QAction::triggered, this, UserAction([this] { Refresh(); }));
    connect(PrintReportAction, &QAction::triggered, this, UserAction([this] { PrintReport(); }));
    connect(UndoAction, &QAction::triggered, this, UserAction([this] { UndoRun(); }));

    auto* caption = new QLabel(QStringLiteral("Runs recorded in the run ledger"));
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);

    m_runsTable = RunsTable(this);
    m_recordsTable = RecordsTable(this);
    RunsGrid = new TReDBGrid;
    RunsGrid->SetTable(m_runsTable);
    RecordsGrid = new TReDBGrid;
    RecordsGrid->SetTable(m_recordsTable);
    m_pairingsTable = PairingsTable(this);
    PairingsGrid = new TReDBGrid;
    PairingsGrid->SetTable(m_pairingsTable);
    btnRemovePairing = ActionButton(RemovePairingAction, 110);
    auto* pairings = new QWidget;
    auto* pairingsLayout = new QVBoxLayout(pairings);
    pairingsLayout->setContentsMargins(0, 0, 0, 0);
    auto* pairingsCaption =
        new QLabel(QStringLiteral("QuickBooks company of each Orvane company and report file"));
    pairingsCaption->setFont(bold);
    pairingsLayout->addWidget(pairingsCaption);
    pairingsLayout->addWidget(PairingsGrid, 1);
    pairingsLayout->addWidget(btnRemovePairing, 0, Qt::AlignLeft);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(RunsGrid);
    splitter->addWidget(RecordsGrid);
    splitter->addWidget(pairings);

    btnRefresh = ActionButton(RefreshAction, 75);
    btnPrintReport = ActionButton(PrintReportAction, 81);
    btnUndo = ActionButton(UndoAction, 81);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(btnRefresh);
    buttons->addWidget(btnPrintReport);
    buttons->addWidget(btnUndo);
    buttons->addStretch();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(caption);
    layout->addWidget(splitter, 1);
    layout->addLayout(buttons);

    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &THistoryFrm::UpdateActions);
    UpdateActions();
}

THistoryFrm::~THistoryFrm() = default;

void THistoryFrm::Init(TRunThread& runs) {
    InitRuns(runs);
}

const TLedgerRun* THistoryFrm::SelectedRun() const {
    if (m_runsTable->IsEmpty())
        return nullptr;
    const int index = m_runsTable->Value(QStringLiteral("Index")).toInt();
    return index >= 0 && index < m_ledgerRuns.size() ? &m_ledgerRuns[index] : nullptr;
}

void THistoryFrm::UpdateActions() {
    const bool free = RunsFree();
    const bool selected = SelectedRun() != nullptr;
    Enable(RefreshAction, free);
    Enable(PrintReportAction, selected && m_recordsOf == SelectedRun()->Id);
    Enable(UndoAction,
           free && selected && SelectedRun()->Kind != lrkUndo && SelectedRun()->Kind != lrkPreview);
    Enable(RemovePairingAction, free && SelectedPairing() != nullptr);
}

void THistoryFrm::Refresh() {
    auto runs = std::make_shared<QList<TLedgerRun>>();
    auto pairings = std::make_shared<QList<TLedgerPairing>>();
    m_refreshWanted = !Start(
        [runs, pairings](TRunContext& context) {
            const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);
            *runs = ledger->Runs();
            *pairings = ledger->Pairings();
        },
        [this, runs, pairings](std::exception_ptr failure) {
            if (failure) {
                ShowInErrorDisplay(failure);
                return;
            }
            ShowPairings(*pairings);
            ShowRuns(*runs);
        });
}

const TLedgerPairing* THistoryFrm::SelectedPairing() const {
    if (m_pairingsTable->IsEmpty())
        return nullptr;
    const int index = m_pairingsTable->Value(QStringLiteral("Index")).toInt();
    return index >= 0 && index < m_pairings.size() ? &m_pairings[index] : nullptr;
}

void THistoryFrm::ShowPairings(const QList<TLedgerPairing>& pairings) {
    m_pairings = pairings;
    TMemTable* table = PairingsTable(this);
    for (qsizetype i = 0; i < pairings.size(); ++i) {
        const TLedgerPairing& p = pairings[i];
        table->Append();
        PutString(*table, "Kind", LedgerText(p.Kind));
        PutString(*table, "Key", p.Key);
        PutString(*table, "Label", p.Label);
        PutString(*table, "Company", p.Target.CompanyName);
        PutString(*table, "CompanyFile", p.Target.CompanyFile);
        table->SetDateTime(table->FieldByName(QStringLiteral("Recorded")),
                           p.Recorded.toLocalTime());
        table->SetInteger(table->FieldByName(QStringLiteral("Index")), int(i));
        table->Post();
    }
    table->First();
    PairingsGrid->SetTable(table);
    PairingsGrid->resizeColumnsToContents();
    m_pairingsTable->deleteLater();
    m_pairingsTable = table;
}

void THistoryFrm::RemovePairing() {
    const TLedgerPairing* selected = SelectedPairing();
    if (!selected)
        return;
    const TLedgerPairing pairing = *selected;
    if (!m_runs->Services().Dialogs->ConfirmYesNo(
            Format("Forget that %s was posted into QuickBooks company '%s'? Its next posting "
                   "asks as a first one.",
                   {PairingLabel(pairing, false), pairing.Target.CompanyName}))) {
        Q_EMIT PairingRemoved();
        return;
    }
    Start(
        [pairing](TRunContext& context) {
            OpenRunLedger(context)->RemovePairing(pairing.Kind, pairing.Key);
        },
        [this](std::exception_ptr failure) {
            if (failure)
                ShowInErrorDisplay(failure);
            m_refreshWanted = true; // after this run has ended
            Q_EMIT PairingRemoved();
        });
}

void THistoryFrm::ShowRuns(const QList<TLedgerRun>& runs) {
    m_ledgerRuns = runs;
    TMemTable* table = RunsTable(this);
    for (qsizetype i = 0; i < runs.size(); ++i) {
        const TLedgerRun& run = runs[i];
        table->Append();
        table->SetDateTime(table->FieldByName(QStringLiteral("Started")),
                           run.Started.toLocalTime());
        PutString(*table, "Kind", LedgerRunKindText(run));
        PutString(*table, "Source", LedgerSourceShortText(run));
        PutString(*table, "Company", run.Target.CompanyName);
        PutString(*table, "CompanyFile", run.Target.CompanyFile);
        PutString(*table, "Records", LedgerCountsText(run.Counts));
        table->SetCurrency(table->FieldByName(QStringLiteral("Amount")), LedgerRunAmount(run));
        PutString(*table, "State", LedgerRunStateText(run, runs));
        PutString(*table, "User",
                  run.Identity.OsUser + QStringLiteral(" on ") + run.Identity.Computer);
        PutString(*table, "Run", run.Id);
        table->SetInteger(table->FieldByName(QStringLiteral("Index")), int(i));
        table->Post();
    }
    table->First();
    RunsGrid->SetTable(table);
    RunsGrid->resizeColumnsToContents();
    m_runsTable->deleteLater();
    m_runsTable = table;
    connect(table, &TMemTable::CurrentChanged, this, &THistoryFrm::LoadRecords);
    Q_EMIT RunsLoaded();
    LoadRecords();
}

void THistoryFrm::LoadRecords() {
    const TLedgerRun* run = SelectedRun();
    if (!run) {
        ShowRecords(QString(), {});
        return;
    }
    const QString id = run->Id;
    if (id == m_recordsOf)
        return;
    auto records = std::make_shared<QList<TLedgerRecord>>();
    const bool started = Start(
        [id, records](TRunContext& context) { *records = OpenRunLedger(context)->Records(id); },
        [this, id, records](std::exception_ptr failure) {
            if (failure) {
                ShowInErrorDisplay(failure);
                return;
            }
            ShowRecords(id, *records);
            // The selection moved on meanwhile.
            LoadRecords();
        });
    if (!started)
        m_refreshWanted = true;
}

void THistoryFrm::ShowRecords(const QString& runId, const QList<TLedgerRecord>& records) {
    m_recordsOf = runId;
    m_records = records;
    TMemTable* table = RecordsTable(this);
    for (const TLedgerRecord& r : records) {
        table->Append();
        table->SetInteger(table->FieldByName(QStringLiteral("Seq")), r.Seq);
        PutString(*table, "Kind", LedgerText(r.Kind));
        PutString(*table, "Number", r.Number);
        if (r.Date.isValid())
            table->SetDateTime(table->FieldByName(QStringLiteral("Date")),
                               QDateTime(r.Date, QTime()));
        PutString(*table, "Payee", r.Payee);
        table->SetCurrency(table->FieldByName(QStringLiteral("Amount")), r.Amount);
        PutString(*table, "Outcome", LedgerText(r.Outcome));
        PutString(*table, "TxnID", r.TxnID);
        PutString(*table, "Message", r.Message.section(QStringLiteral("\n\n"), 0, 0));
        PutString(*table, "Note", r.Note);
        table->Post();
    }
    table->First();
    RecordsGrid->SetTable(table);
    RecordsGrid->resizeColumnsToContents();
    m_recordsTable->deleteLater();
    m_recordsTable = table;
    UpdateActions();
    Q_EMIT RecordsLoaded();
}

void THistoryFrm::PrintReport() {
    const TLedgerRun* run = SelectedRun();
    if (run && run->Id == m_recordsOf)
        PrintDocument(this,
                      LedgerRunReportHtml(*run, m_records, LedgerRunStateText(*run, m_ledgerRuns)),
                      QStringLiteral("Run ") + run->Id);
}

void THistoryFrm::UndoRun() {
    const TLedgerRun* run = SelectedRun();
    if (!run)
        return;
    auto preview = std::make_shared<TUndoRun>(TUndoRunOptions{run->Id, true, DefaultQBBatchSize});
    Start([preview](TRunContext& context) { preview->RunUndo(context); },
          [this, preview](std::exception_ptr failure) {
              if (failure) {
                  ShowInErrorDisplay(failure);
                  Q_EMIT UndoEnded();
                  return;
              }
              AskUndo(preview->Result());
          });
}

void THistoryFrm::AskUndo(const TUndoResult& preview) {
    IUserDialogs& dialogs = *m_runs->Services().Dialogs;
    if (preview.NothingToDo()) {
        dialogs.ShowInformation(preview.Summary);
        Q_EMIT UndoEnded();
        return;
    }
    if (!dialogs.ConfirmYesNo(UndoQuestion(preview))) {
        Q_EMIT UndoEnded();
        return;
    }
    auto undo =
        std::make_shared<TUndoRun>(TUndoRunOptions{preview.Run.Id, false, DefaultQBBatchSize});
    Start([undo](TRunContext& context) { undo->RunUndo(context); },
          [this, undo](std::exception_ptr failure) {
              if (failure)
                  ShowInErrorDisplay(failure);
              m_refreshWanted = true; // after this run has ended
              Q_EMIT UndoEnded();
          });
}
