// The "History" tab: the runs of the run ledger in a grid (newest first,
// sorted and filtered as every grid is), the selected run's records below,
// its report printed, and "Undo run…", which shows what the undo would do
// and asks before it changes anything. Below, which QuickBooks company each
// Orvane company and report file was posted into, where a pairing can be
// removed (the next posting then asks as a first one). The ledger is read,
// and every undo runs, on the window's run thread; the frame only shows
// what they give.
#pragma once

#include "records/LedgerTypes.h"
#include "runs/RunThread.h"
#include "ui/RunTab.h"

#include <QWidget>

class QAction;
class QPushButton;
class TMemTable;
class TReDBGrid;
struct TUndoResult;

class THistoryFrm : public TRunTab {
    Q_OBJECT
public:
    explicit THistoryFrm(QWidget* parent = nullptr);
    ~THistoryFrm() override;

    // The runs' thread (not owned); its dialogs ask the undo's question.
    void Init(TRunThread& runs);

    // Reads the runs again; once the run thread is free when it is busy.
    void Refresh() override;
    // The selected run with its records, printed as a document.
    void PrintReport();
    // Previews the selected run's undo, asks, then undoes it.
    void UndoRun();
    // Asks, then removes the selected pairing and reads the ledger again.
    void RemovePairing();
    void UpdateActions() override;

    // The selected run; null when there is none.
    const TLedgerRun* SelectedRun() const;
    // The selected run's records, as read last.
    const QList<TLedgerRecord>& Records() const { return m_records; }
    // The pairings, as read last, and the selected one (null: none).
    const QList<TLedgerPairing>& Pairings() const { return m_pairings; }
    const TLedgerPairing* SelectedPairing() const;

    TReDBGrid* RunsGrid;
    TReDBGrid* RecordsGrid;
    TReDBGrid* PairingsGrid;
    QAction* RefreshAction;
    QAction* PrintReportAction;
    QAction* UndoAction;
    QAction* RemovePairingAction;
    QPushButton* btnRefresh;
    QPushButton* btnPrintReport;
    QPushButton* btnUndo;
    QPushButton* btnRemovePairing;

Q_SIGNALS:
    // The runs, or the selected run's records, were read and are shown.
    void RunsLoaded();
    void RecordsLoaded();
    // An undo asked was answered and, if Yes, is over.
    void UndoEnded();
    // A removal asked was answered and, if Yes, is over.
    void PairingRemoved();

private:
    void LoadRecords();
    void ShowRuns(const QList<TLedgerRun>& runs);
    void ShowPairings(const QList<TLedgerPairing>& pairings);
    void ShowRecords(const QString& runId, const QList<TLedgerRecord>& records);
    void AskUndo(const TUndoResult& preview);

    TMemTable* m_runsTable;
    TMemTable* m_recordsTable;
    TMemTable* m_pairingsTable;
    QList<TLedgerPairing> m_pairings;
    QList<TLedgerRun> m_ledgerRuns;
    QString m_recordsOf; // the run whose records are shown
    QList<TLedgerRecord> m_records;
};
