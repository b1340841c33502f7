// Shared by the checks export tests: a demo sandbox company in a temporary
// folder, connections to it, and what it holds afterwards.
#pragma once

#include "RecordingLogSink.h"
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "export/QBChecksExport.h"
#include "export/QBConnectionFactory.h"
#include "reports/orvchecksparser.h"

#include <QTemporaryDir>
#include <QtTest>

namespace checkstest {

inline QString DemoDir() {
    return qEnvironmentVariable("ORVQ_SOURCE_DIR") + QStringLiteral("/data/demo");
}

inline TQBChecksExportParam DemoOptions() {
    TQBChecksExportParam p;
    p.CashAccount = QStringLiteral("Payroll Checking");
    p.LiabilityAccount = QStringLiteral("Payroll Liabilities:Net Pay Clearing");
    p.IncludeDD = false;
    p.IncludeEENames = true;
    return p;
}

// One transaction of the company as the tests compare it.
struct TTxnView {
    QString Type;
    QString RefNumber;
    QString Account;
    QString Payee;
    qint64 Cents = 0;
    QString Memo;
    QString Cleared;
    QStringList Lines; // "account|cents|memo|checkNumber|entity"
};

class TDemoCompany {
public:
    TDemoCompany() {
        QVERIFY(m_dir.isValid());
        m_file = m_dir.filePath(QStringLiteral("company.sqlite"));
        CreateSandboxCompany(m_file, DemoDir());
    }

    QString FileName() const { return m_file; }

    TQBConnectionConfig Config() const {
        TQBConnectionConfig c;
        c.Processor.Factory = &CreateSandboxRequestProcessor;
        c.Processor.CompanyFile = m_file;
        c.SdkDownloadAddress = QBSdkDownloadAddress;
        return c;
    }
    TQBConnectionFactory Factory() const { return QBConnectionFactory(Config()); }
    std::unique_ptr<TQBConnection> Connect(const ICommonLoggerPtr& logger) const {
        return TQBConnection::Create(logger, Config());
    }

    void SetFaults(const TSbFaults& faults) {
        TQBSandboxCompany company(m_file, false);
        company.Begin();
        company.SetFaults(faults);
        company.Commit();
    }

    // Checks, then deposits, each in QuickBooks' order.
    std::vector<TTxnView> Txns(const QString& type = QString()) const {
        TQBSandboxCompany company(m_file, false);
        const QHash<QString, QString> names = company.FullNames();
        std::vector<TSbTxn> txns;
        for (const QString& t : {QStringLiteral("Check"), QStringLiteral("Deposit")}) {
            if (!type.isEmpty() && type != t)
                continue;
            TSbTxnFilter filter;
            filter.Type = t;
            filter.IncludeLines = true;
            for (TSbTxn& txn : company.Txns(filter))
                txns.push_back(std::move(txn));
        }
        std::vector<TTxnView> result;
        for (const TSbTxn& t : txns) {
            TTxnView v{t.Type,
                       t.RefNumber,
                       names.value(t.AccountID),
                       names.value(t.PayeeID),
                       t.Cents,
                       t.Memo,
                       t.Cleared,
                       {}};
            for (const TSbTxnLine& l : t.Lines)
                v.Lines << names.value(l.AccountID) + u'|' + QString::number(l.Cents.value_or(-1)) +
                               u'|' + l.Memo + u'|' + l.CheckNumber + u'|' +
                               names.value(l.EntityID);
            result.push_back(v);
        }
        return result;
    }

    // "Check 1001 125000" per transaction, in the company's order.
    QStringList Summary(const QString& type = QString()) const {
        QStringList lines;
        for (const TTxnView& t : Txns(type)) {
            const QString number = t.Type == u"Deposit" && !t.Lines.isEmpty()
                                       ? t.Lines.first().section(u'|', 3, 3)
                                       : t.RefNumber;
            lines << t.Type + u' ' + number + u' ' + QString::number(t.Cents);
        }
        return lines;
    }

private:
    QTemporaryDir m_dir;
    QString m_file;
};

// Keeps the qbXML of every request set sent.
class TRequestSets : public TLoggerEventSink {
public:
    QStringList Sets;
    void OnMessage(const TLogState& state) override {
        const TLogMessage& m = state.Innermost().Messages.back();
        if (m.Message == u"qbXML request sent")
            Sets << m.Details;
    }
};

// Records of report text, parsed the way the run parses them.
inline TCheckRecords Records(TRecordingLogger& log, const QStringList& lines,
                             TReportKind kind = rkNone) {
    return ParseChecksReport(log.Logger(), lines.join(QStringLiteral("\r\n")), kind);
}

inline QStringList Messages(const TRecordingLogSink& sink, TLogMessageKind kind) {
    QStringList result;
    for (const TRecordedMessage& m : sink.OfKind(kind))
        result << m.Message;
    return result;
}

} // namespace checkstest

Q_DECLARE_METATYPE(TChecksExportResult)
Q_DECLARE_METATYPE(TSbFaults)
