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
#include "ui/GridRows.h"
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

// The state names the run that undid a run, so it reads the whole list.
TTableColumns<TLedgerRun> RunColumns(const QList<TLedgerRun>& runs) {
    return {
        {"Started", fkDateTime, [](const TLedgerRun& run) { return run.Started.toLocalTime(); }},
        {"Kind", fkString, LedgerRunKindText},
        {"State", fkString,
         [&runs](const TLedgerRun& run) { return LedgerRunStateText(run, runs); }},
        {"Payrolls or report file", fkString, LedgerSourceShortText, "Source"},
        {"QuickBooks company", fkString,
         [](const TLedgerRun& run) { return run.Target.CompanyName; }, "Company"},
        {"Records", fkString, [](const TLedgerRun& run) { return LedgerCountsText(run.Counts); }},
        {"Amount", fkCurrency, LedgerRunAmount},
        {"Company file", fkString, [](const TLedgerRun& run) { return run.Target.CompanyFile; },
         "CompanyFile"},
        {"User", fkString,
         [](const TLedgerRun& run) {
             return QString(run.Identity.OsUser + QStringLiteral(" on ") + run.Identity.Computer);
         }},
        {"Run", fkString, [](const TLedgerRun& run) { return run.Id; }}};
}

const TTableColumns<TLedgerRecord>& RecordColumns() {
    static const TTableColumns<TLedgerRecord> columns{
        {"#", fkInteger, [](const TLedgerRecord& r) { return r.Seq; }, "Seq"},
        {"Kind", fkString, [](const TLedgerRecord& r) { return LedgerText(r.Kind); }},
        {"Number", fkString, [](const TLedgerRecord& r) { return r.Number; }},
        {"Date", fkDate, [](const TLedgerRecord& r) { return r.Date; }},
        {"Payee", fkString, [](const TLedgerRecord& r) { return r.Payee; }},
        {"Amount", fkCurrency, [](const TLedgerRecord& r) { return r.Amount; }},
        {"Outcome", fkString, [](const TLedgerRecord& r) { return LedgerText(r.Outcome); }},
        {"TxnID", fkString, [](const TLedgerRecord& r) { return r.TxnID; }},
        // The first paragraph: what went wrong, without the details.
        {"Message", fkString,
         [](const TLedgerRecord& r) { return r.Message.section(QStringLiteral("\n\n"), 0, 0); }},
        {"Note", fkString, [](const TLedgerRecord& r) { return r.Note; }}};
    return columns;
}

const TTableColumns<TLedgerPairing>& PairingColumns() {
    static const TTableColumns<TLedgerPairing> columns{
        {"Posted by", fkString, [](const TLedgerPairing& p) { return LedgerText(p.Kind); }, "Kind"},
        {"Number or checksum", fkString, [](const TLedgerPairing& p) { return p.Key; }, "Key"},
        {"Name", fkString, [](const TLedgerPairing& p) { return p.Label; }, "Label"},
        {"QuickBooks company", fkString,
         [](const TLedgerPairing& p) { return p.Target.CompanyName; }, "Company"},
        {"Company file", fkString, [](const TLedgerPairing& p) { return p.Target.CompanyFile; },
         "CompanyFile"},
        {"Since", fkDateTime, [](const TLedgerPairing& p) { return p.Recorded.toLocalTime(); },
         "Recorded"}};
    return columns;
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

    m_runsTable = NewMemTable(this, RunColumns(m_ledgerRuns));
    m_recordsTable = NewMemTable(this, RecordColumns());
    RunsGrid = new TReDBGrid;
    RunsGrid->SetTable(m_runsTable);
    RecordsGrid = new TReDBGrid;
    RecordsGrid->SetTable(m_recordsTable);
    m_pairingsTable = NewMemTable(this, PairingColumns());
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
    return CurrentRow(*m_runsTable, m_ledgerRuns);
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
    return CurrentRow(*m_pairingsTable, m_pairings);
}

void THistoryFrm::ShowPairings(const QList<TLedgerPairing>& pairings) {
    m_pairings = pairings;
    ShowRows(*PairingsGrid, m_pairingsTable, PairingColumns(), m_pairings);
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
    ShowRows(*RunsGrid, m_runsTable, RunColumns(m_ledgerRuns), m_ledgerRuns);
    connect(m_runsTable, &TMemTable::CurrentChanged, this, &THistoryFrm::LoadRecords);
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
    ShowRows(*RecordsGrid, m_recordsTable, RecordColumns(), m_records);
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
