// A run's record in the run ledger: begun once QuickBooks is open and before
// anything is sent, each request set's records written ahead of it through
// the exports' observer seam, ended with the run. One ledger run per report
// posted ("All Checks" makes two) and per undo.
#pragma once

#include "export/ExportObserver.h"
#include "ledger/RunLedger.h"
#include "quickbooks/QBConnection.h"
#include "runs/RunContext.h"
#include "settings/QBDecl.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>

class TLedgerRunWriter : public IExportObserver {
public:
    // Begins the run. Throws ELedgerError.
    TLedgerRunWriter(TRunLedger& ledger, const TLedgerRunStart& start);
    // A run that did not End is ended as failed; when the ledger fails
    // then too, the run reads as interrupted once its lease is over.
    ~TLedgerRunWriter() override;
    TLedgerRunWriter(const TLedgerRunWriter&) = delete;
    TLedgerRunWriter& operator=(const TLedgerRunWriter&) = delete;

    const QString& RunId() const { return m_runId; }

    // Intents are committed before their set is sent, together with the
    // outcomes settled since the last set (a record that needed no change
    // written then with its outcome): one commit per set. Outcomes of the
    // last set are committed by End, or after a minute without a commit (a
    // run of sets that change nothing), which renews the run's lease.
    // Throws ELedgerError.
    void Sending(const TExportNotes& records) override;
    void Settled(const TExportNotes& records) override;
    // Records still pending become state unknown. Throws ELedgerError.
    void End(TLedgerRunState state, const QString& message = QString());
    // The report's record count: a ledger that fails once records are held
    // then says how many of them were posted and what to do next.
    void ExpectRecords(int count) { m_expected = count; }

private:
    // Commits what was settled since the last commit and the intents.
    void Flush(const TExportNotes& intents);
    // Runs a write of the ledger, its failure told in the run's terms.
    template <typename F> void Write(F write);

    TRunLedger& m_ledger;
    QString m_runId;
    QHash<int, int> m_seqs; // the export's key -> the ledger's sequence number
    // Settled, not committed yet: outcomes of written records, and records
    // never sent (with their keys).
    QList<TLedgerRecordOutcome> m_outcomes;
    QList<TLedgerRecord> m_newSettled;
    QList<int> m_newKeys;
    QElapsedTimer m_sinceCommit;
    bool m_ended = false;
    int m_expected = 0;
    // The report's records the ledger holds (clearings are not counted),
    // and of them those held without their outcome.
    int m_held = 0;
    QSet<int> m_heldPending;
};

// The context's ledger, opened now. Throws ELedgerError ("Posting stops")
// when there is none or it cannot be opened.
std::unique_ptr<TRunLedger> OpenRunLedger(const TRunContext& context);

// The company the connection has open, as QuickBooks names it.
TLedgerTarget QBCompanyTarget(TQBConnection& qb);
// The same name, and file names the platform takes for one file.
bool SameCompany(const TLedgerTarget& a, const TLedgerTarget& b);
// A file run's source: the file's name, size and SHA-256.
TLedgerSource FileRunSource(const QString& path);
// A service run's source: the Orvane company and its payrolls.
TLedgerSource ServiceRunSource(const TReportSourceOptions& source);
// What a run's options were, as the user would read them.
QString ChecksOptionsText(const TQBChecksExportParam& options);
QString GLOptionsText(const TQBGLExportParam& options);
