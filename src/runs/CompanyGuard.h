// The company guard: before a run posts anything it names the QuickBooks
// company it posts into, and the ledger's pairings say whether that is the
// company the same Orvane company (service runs) or the same report file
// (file runs) went to before. Posting elsewhere, or posting an Orvane
// company for the first time into a company file that received another
// one, goes ahead only when the user says so, and moves the pairing only
// when the user asks for that too; a first posting records the pairing. Previews ask nothing and
// record nothing: they report what posting would ask.
#pragma once

#include "runs/RunContext.h"

#include <optional>

// What a run's questions get.
enum TQuestionPolicy {
    qpAsk,      // the run's dialogs ask
    qpAnswerNo, // nobody watches: every question is answered No, and every
                // box of an error and every question is one of the result's
                // problems instead
};

// How a run posts, besides the export's own options.
struct TPostingOptions {
    // Everything up to posting, and nothing that changes QuickBooks; the
    // run is recorded as a preview.
    bool Preview = false;
    TQuestionPolicy Questions = qpAsk;
    // The command line's answer to the guard: the name of the company it
    // means to post into, compared exactly (a name that is not the open
    // company's stops the run even where nothing is to ask); empty: none
    // named. None: the user is asked.
    std::optional<QString> ConfirmCompany;
    // With ConfirmCompany: the guard's pairing moves to the open company.
    bool RememberCompany = false;
    // A report with nothing to post is recorded as a finished run into
    // this company file, so that its payroll counts as exported; empty: it
    // is not recorded.
    QString RecordNothingToPostInto;
};

// The guard stopped a run; nothing was posted.
class ECompanyGuardRefused : public EztException {
public:
    using EztException::EztException;
};

// "Harbor Lane Bakery (Orvane 34)", "The report file s1910.txt".
QString PairingLabel(const TLedgerPairing& pairing, bool sentenceStart = true);
// "QuickBooks company: Harbor Lane Bakery — C:\Books\harbor.qbw"
QString OpenCompanyText(const TLedgerTarget& open);
// The company the connection has open, logged and shown to the watcher of
// the run (the window's status bar).
TLedgerTarget ShowOpenCompany(TRunContext& context, TQBConnection& qb);
// "Harbor Lane Bakery (Orvane 34)", or "Orvane company 34" without a name.
QString OrvaneCompanyLabel(const TReportSourceOptions& source);

class TCompanyGuard {
public:
    // label: the Orvane company as OrvaneCompanyLabel names it (service
    // runs). A source without an Orvane company or a file checksum is not
    // guarded.
    TCompanyGuard(TRunLedger& ledger, const TLedgerSource& source, const QString& label,
                  const TLedgerTarget& open);

    // What posting asks, "... Post anyway?"; empty when nothing is to ask.
    const QString& Question() const { return m_question; }
    // "From now on post Harbor Lane Bakery (Orvane 34) into this company":
    // the question's check box; empty when nothing is to ask.
    QString RememberText() const;
    // Asks through dialogs, or compares the name the options confirm.
    // Throws ECompanyGuardRefused when the answer is No, or when the options
    // confirm another company than the open one.
    void Confirm(ICommonLogger& logger, IUserDialogs& dialogs, const TPostingOptions& posting);
    // Once the run is begun: records the pairing unless it stands already
    // or the user posted past the question this once; tells the user of a
    // first posting.
    void Record(ICommonLogger& logger, const QString& runId);

private:
    TRunLedger& m_ledger;
    QString m_openName;
    std::optional<TLedgerPairing> m_pairing; // to record; none: not guarded
    bool m_first = false;
    bool m_standing = false;
    QString m_question;
    // Yes to the question, without moving the pairing.
    bool m_thisOnce = false;
};
