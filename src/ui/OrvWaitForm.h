// The wait window of a run: the run's stages in a bold panel (the report
// wait's "Please wait while Orvane generates ... report", the count of
// "Creating QuickBooks Transactions: 350 of 1,000") and a centred "Cancel"
// below. It is shown while a run works on the worker thread and never holds
// up the window: Cancel (Esc, the close box) asks "Cancel?", and Yes stops
// the run's step at its next safe point; while the question is open the run
// posts nothing more. After Yes the window says what the run is finishing,
// and Cancel is off until the run ends or goes on with a stage of its own.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QPushButton;
class TRunThread;

class TOrvWaitFm : public QDialog {
    Q_OBJECT
public:
    // Centred on owner's window; listens to the runs of runs.
    TOrvWaitFm(QWidget* owner, TRunThread& runs);

    // The stages open, outermost first; the count goes with the innermost.
    void ShowStages(const QStringList& stages);
    void ShowProgress(int done, int total);
    // What the panel shows, lines joined by CR LF.
    QString Text() const;
    // Yes was answered to "Cancel?" and the stage cancelled is still going.
    bool IsCancelling() const { return m_cancelledStage >= 0; }

    QLabel* MessagePanel;
    QPushButton* CancelButton;

protected:
    // Cancel, Esc and the close box only ask.
    void reject() override;
    void closeEvent(QCloseEvent* event) override;

private:
    void AskCancel();
    void EndCancelling();
    void ShowText();

    TRunThread& m_runs;
    QStringList m_stages;
    int m_done = 0;
    int m_total = -1;
    bool m_asking = false;
    // While cancelling: the stages when Yes was answered; the index of the
    // one cancelled, -1 when not cancelling.
    QStringList m_stagesCancelled;
    qsizetype m_cancelledStage = -1;
    QString m_cancelNote;
};

// "Creating QuickBooks Transactions: 350 of 1,000"; without a count the
// stage alone.
QString StageText(const QString& stage, int done, int total);
