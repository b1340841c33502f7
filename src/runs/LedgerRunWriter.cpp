#include "runs/LedgerRunWriter.h"

#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"

#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>
#include <QLocale>

namespace {

// Sets that change nothing are not committed; the run's lease is renewed
// at least this often all the same.
constexpr qint64 HeartbeatMs = 60 * 1000;

// "1,000": counts read the same on every workstation.
QString Count(int count) {
    return QLocale(QLocale::English, QLocale::UnitedStates).toString(count);
}

QString Records(int count) {
    return Count(count) + u' ' + PluralForm(QStringLiteral("record"), count);
}

} // namespace

template <typename F> void TLedgerRunWriter::Write(F write) {
    try {
        write();
    } catch (const ELedgerError& e) {
        if (m_expected == 0 || m_held == 0)
            throw;
        const int pending = int(m_heldPending.size());
        QString text =
            Format("The run ledger \"%s\" cannot be written. Posting stopped after %s of %s: "
                   "the ledger holds %s",
                   {m_ledger.Location().Display(), Count(m_held), Records(m_expected),
                    m_held == 1 ? QStringLiteral("it") : u"those " + Count(m_held)});
        if (pending > 0)
            text += Format(" (%s without an outcome, which %s as state unknown)",
                           {pending == m_held ? QStringLiteral("all") : Records(pending),
                            pending == 1 ? QStringLiteral("reads") : QStringLiteral("read")});
        text += QStringLiteral("; make the ledger writable, then run again: the records posted "
                               "are found as existing.");
        // The ledger's details follow its message's first empty line.
        const QString details = e.Message().section(QStringLiteral("\n\n"), 1);
        throw ELedgerError(details.isEmpty() ? text : text + u"\n\n" + details);
    }
}

TLedgerRunWriter::TLedgerRunWriter(TRunLedger& ledger, const TLedgerRunStart& start)
    : m_ledger(ledger), m_runId(ledger.BeginRun(start)) {
    m_sinceCommit.start();
}

TLedgerRunWriter::~TLedgerRunWriter() {
    if (m_ended)
        return;
    try {
        Flush({});
        m_ledger.EndRun(m_runId, lrsFailed, QStringLiteral("The run stopped"));
    } catch (...) {
        // The ledger failed before: its error is the run's.
    }
}

void TLedgerRunWriter::Flush(const TExportNotes& intents) {
    QList<TLedgerRecord> records = m_newSettled;
    QList<int> keys = m_newKeys;
    for (const TExportNote& note : intents) {
        if (m_seqs.contains(note.Key) || keys.contains(note.Key))
            continue;
        TLedgerRecord r;
        static_cast<TLedgerRecordIntent&>(r) = note;
        records << r;
        keys << note.Key;
    }
    if (records.isEmpty() && m_outcomes.isEmpty())
        return;
    QList<int> seqs;
    Write([&] { seqs = m_ledger.WriteRecords(m_runId, m_outcomes, records); });
    m_sinceCommit.restart();
    for (const TLedgerRecordOutcome& o : m_outcomes)
        if (o.Outcome != loPending)
            m_heldPending.remove(o.Seq);
    for (qsizetype i = 0; i < keys.size(); ++i) {
        m_seqs.insert(keys[i], seqs[i]);
        if (records[i].Kind == lekClearing)
            continue;
        ++m_held;
        if (records[i].Outcome == loPending)
            m_heldPending.insert(seqs[i]);
    }
    m_outcomes.clear();
    m_newSettled.clear();
    m_newKeys.clear();
}

void TLedgerRunWriter::Sending(const TExportNotes& records) {
    Flush(records);
}

void TLedgerRunWriter::Settled(const TExportNotes& records) {
    for (const TExportNote& note : records) {
        if (m_seqs.contains(note.Key)) {
            m_outcomes << TLedgerRecordOutcome{m_seqs.value(note.Key), note.Outcome, note.TxnID,
                                               note.EditSequence, note.Message};
            continue;
        }
        TLedgerRecord r;
        static_cast<TLedgerRecordIntent&>(r) = note;
        r.Outcome = note.Outcome;
        r.Message = note.Message;
        const qsizetype at = m_newKeys.indexOf(note.Key);
        if (at >= 0) {
            m_newSettled[at] = r;
        } else {
            m_newSettled << r;
            m_newKeys << note.Key;
        }
    }
    if (m_sinceCommit.elapsed() <= HeartbeatMs)
        return;
    if (m_outcomes.isEmpty() && m_newSettled.isEmpty()) {
        Write([&] { m_ledger.Heartbeat(m_runId); });
        m_sinceCommit.restart();
    } else {
        Flush({});
    }
}

void TLedgerRunWriter::End(TLedgerRunState state, const QString& message) {
    m_ended = true;
    Flush({});
    Write([&] { m_ledger.EndRun(m_runId, state, message); });
}

std::unique_ptr<TRunLedger> OpenRunLedger(const TRunContext& context) {
    if (!context.OpenLedger)
        throw ELedgerError(QStringLiteral("No run ledger is set up here. Posting stops: nothing "
                                          "may be posted without a record in the ledger."));
    return context.OpenLedger();
}

TLedgerTarget QBCompanyTarget(TQBConnection& qb) {
    TLedgerTarget target;
    target.CompanyName = qb.QueryCompany().CompanyName.GetValue().trimmed();
    // One spelling of the path, so that runs can be found by their file.
    const QString file = qb.CurrentCompanyFileName();
    target.CompanyFile = file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
    return target;
}

bool SameCompany(const TLedgerTarget& a, const TLedgerTarget& b) {
    return a.CompanyName == b.CompanyName && QFileInfo(a.CompanyFile) == QFileInfo(b.CompanyFile);
}

TLedgerSource FileRunSource(const QString& path) {
    TLedgerSource source;
    source.FileName = QFileInfo(path).absoluteFilePath();
    QFile file(path);
    if (file.open(QIODevice::ReadOnly)) {
        QCryptographicHash hash(QCryptographicHash::Sha256);
        hash.addData(&file);
        source.FileSize = file.size();
        source.FileSha256 = QString::fromLatin1(hash.result().toHex());
    }
    return source;
}

TLedgerSource ServiceRunSource(const TReportSourceOptions& options) {
    TLedgerSource source;
    if (!options.Direct)
        return source;
    const TOrvPayrollsDef& payrolls = options.Direct->Payrolls;
    source.OrvaneCompany = QString::number(payrolls.Company.CoNbr);
    for (const TPrDef& payroll : payrolls.Payrolls)
        source.Payrolls << QString::number(payroll.PrNbr);
    return source;
}

namespace {

QString YesNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

} // namespace

QString ChecksOptionsText(const TQBChecksExportParam& o) {
    return Format("cash account %s; liability account %s; clear %s; direct deposit %s; payee "
                  "names %s; batch size %d",
                  {o.CashAccount.trimmed(), o.LiabilityAccount.trimmed(), YesNo(o.Clear),
                   YesNo(o.IncludeDD), YesNo(o.IncludeEENames), o.BatchSize});
}

QString GLOptionsText(const TQBGLExportParam& o) {
    const char* const tags[] = {"not parsed", "class", "name"};
    const int tag = static_cast<int>(o.GLTagParsing);
    return Format("clear %s; account numbers %s; GL tags %s; batch size %d",
                  {YesNo(o.Clear), YesNo(o.UseAccountNumbers),
                   QString::fromLatin1(tag >= 0 && tag < 3 ? tags[tag] : "not parsed"),
                   o.BatchSize});
}
