#include "runs/CompanyGuard.h"

#include "base/ztFormat.h"
#include "runs/LedgerRunWriter.h"

#include <QDir>
#include <QFileInfo>

namespace {

const QString PostAnyway = QStringLiteral(" Post anyway?");

// 'Harbor Lane Bakery', with the file when the other company has the same
// name.
QString CompanyText(const TLedgerTarget& company, const TLedgerTarget& other) {
    QString text = u'\'' + company.CompanyName + u'\'';
    if (company.CompanyName == other.CompanyName && !company.CompanyFile.isEmpty())
        text += QStringLiteral(" (") + QDir::toNativeSeparators(company.CompanyFile) + u')';
    return text;
}

} // namespace

QString PairingLabel(const TLedgerPairing& p, bool sentenceStart) {
    if (p.Kind == lpaReportFile)
        return (sentenceStart ? QStringLiteral("The") : QStringLiteral("the")) +
               QStringLiteral(" report file ") + p.Label;
    return p.Label.isEmpty() ? QStringLiteral("Orvane company ") + p.Key
                             : Format("%s (Orvane %s)", {p.Label, p.Key});
}

QString OpenCompanyText(const TLedgerTarget& open) {
    QString text = QStringLiteral("QuickBooks company: ") + open.CompanyName;
    if (!open.CompanyFile.isEmpty())
        text += QStringLiteral(" \u2014 ") + QDir::toNativeSeparators(open.CompanyFile);
    return text;
}

TLedgerTarget ShowOpenCompany(TRunContext& context, TQBConnection& qb) {
    const TLedgerTarget open = QBCompanyTarget(qb);
    const QString text = OpenCompanyText(open);
    context.Logger->LogEvent(text);
    context.Progress->ShowCompany(text);
    return open;
}

QString OrvaneCompanyLabel(const TReportSourceOptions& source) {
    if (!source.Direct)
        return QString();
    const TOrvCompanyDef& company = source.Direct->Payrolls.Company;
    return company.CompanyName.trimmed();
}

TCompanyGuard::TCompanyGuard(TRunLedger& ledger, const TLedgerSource& source, const QString& label,
                             const TLedgerTarget& open)
    : m_ledger(ledger), m_openName(open.CompanyName) {
    TLedgerPairing pairing;
    if (!source.OrvaneCompany.isEmpty()) {
        pairing.Kind = lpaOrvaneCompany;
        pairing.Key = source.OrvaneCompany;
        pairing.Label = label;
    } else if (!source.FileSha256.isEmpty()) {
        pairing.Kind = lpaReportFile;
        pairing.Key = source.FileSha256;
        pairing.Label = QFileInfo(source.FileName).fileName();
    } else {
        return;
    }
    pairing.Target = open;
    m_pairing = pairing;

    const std::optional<TLedgerPairing> before = ledger.FindPairing(pairing.Kind, pairing.Key);
    if (before && SameCompany(before->Target, open)) {
        m_standing = true;
        return;
    }
    if (before) {
        m_question = Format("%s was posted into QuickBooks company %s before; the open company "
                            "is %s.",
                            {PairingLabel(pairing), CompanyText(before->Target, open),
                             CompanyText(open, before->Target)}) +
                     PostAnyway;
        return;
    }
    m_first = true;
    if (pairing.Kind != lpaOrvaneCompany)
        return;
    // A company file that holds another Orvane company's payroll is as
    // likely the wrong one.
    for (const TLedgerPairing& other : ledger.PairingsOfCompanyFile(open.CompanyFile)) {
        if (other.Kind == lpaOrvaneCompany && other.Key != pairing.Key &&
            SameCompany(other.Target, open)) {
            const QString company = QStringLiteral("'%1'").arg(open.CompanyName);
            m_question = Format("QuickBooks company %s received %s before; %s was never posted "
                                "into it.",
                                {company, PairingLabel(other), PairingLabel(pairing)}) +
                         PostAnyway;
            return;
        }
    }
}

QString TCompanyGuard::RememberText() const {
    if (m_question.isEmpty())
        return QString();
    return Format("From now on post %s into this company", {PairingLabel(*m_pairing, false)});
}

void TCompanyGuard::Confirm(ICommonLogger& logger, IUserDialogs& dialogs,
                            const TPostingOptions& posting) {
    const QString open = m_openName;
    const QString confirmed = posting.ConfirmCompany.value_or(QString());
    // A name that is not the open company's means the user expects another
    // company, whether or not the guard has anything to ask.
    if (m_question.isEmpty()) {
        if (!confirmed.isEmpty() && confirmed != open)
            throw ECompanyGuardRefused(
                Format("--confirm-company names '%s', but the open QuickBooks company is '%s'. "
                       "Nothing was posted.",
                       {confirmed, open}));
        return;
    }
    const QString stated = m_question.chopped(PostAnyway.size());
    if (posting.ConfirmCompany) {
        if (confirmed != open)
            throw ECompanyGuardRefused(
                stated + Format(" Nothing was posted. To post into '%s' all the same, add "
                                "--confirm-company \"%s\" (and --remember-company to post "
                                "there from now on).",
                                {open, open}));
        logger.LogWarning(stated +
                          Format(" Posting goes ahead: --confirm-company names '%s'.", {open}));
        m_thisOnce = !posting.RememberCompany;
        return;
    }
    logger.LogWarning(m_question);
    const TQuestionAnswer answer = dialogs.Ask({m_question, daNo, RememberText()});
    if (!answer.Yes)
        throw ECompanyGuardRefused(stated + QStringLiteral(" Nothing was posted."));
    m_thisOnce = !answer.Checked;
}

void TCompanyGuard::Record(ICommonLogger& logger, const QString& runId) {
    if (!m_pairing || m_standing)
        return;
    if (m_thisOnce) {
        logger.LogEvent(Format("Posted into QuickBooks company '%s' this once; the pairing of "
                               "%s stays as it was.",
                               {m_pairing->Target.CompanyName, PairingLabel(*m_pairing, false)}));
        return;
    }
    m_pairing->RunId = runId;
    m_ledger.RecordPairing(*m_pairing);
    m_standing = true;
    if (m_first)
        logger.LogEvent(Format("First posting of %s: it goes into QuickBooks company '%s'; "
                               "posting it into another company will ask first.",
                               {PairingLabel(*m_pairing, false), m_pairing->Target.CompanyName}));
}
