// Shared by the GL export tests: a sandbox company file with the demo data
// in a temporary folder, connections to it that keep a copy of every journal
// entry request sent, and the journal entries the company holds.
#pragma once

#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "quickbooks/QBConnection.h"
#include "quickbooks/QBSessionManager.h"

#include <QTemporaryDir>
#include <QtTest>

// What the journal entry requests asked for, in the order sent.
struct TSentJournals {
    std::vector<TQBJournalEntryAdd> Adds;
    int RequestSets = 0;
    // Answers of journal entry adds lose the entry, as a broken answer would.
    bool DropAddedEntry = false;
};

class TRecordingSessionManager : public IQBSessionManager {
public:
    TRecordingSessionManager(IQBSessionManagerPtr inner, std::shared_ptr<TSentJournals> sent)
        : m_inner(std::move(inner)), m_sent(std::move(sent)) {}
    void OpenConnection2(const QString& appID, const QString& appName, int connType) override {
        m_inner->OpenConnection2(appID, appName, connType);
    }
    void BeginSession(const QString& companyFile, int openMode) override {
        m_inner->BeginSession(companyFile, openMode);
    }
    QString GetCurrentCompanyFileName() override { return m_inner->GetCurrentCompanyFileName(); }
    QStringList QBXMLVersionsForSession() override { return m_inner->QBXMLVersionsForSession(); }
    std::unique_ptr<TMsgSetRequest> CreateMsgSetRequest(const QString& country, int major,
                                                        int minor) override {
        return m_inner->CreateMsgSetRequest(country, major, minor);
    }
    std::unique_ptr<TMsgSetResponse> DoRequests(const TMsgSetRequest& request) override {
        ++m_sent->RequestSets;
        for (int i = 0; i < request.Count(); ++i)
            if (const auto* add = std::get_if<TQBJournalEntryAdd>(&request.At(i).Body))
                m_sent->Adds.push_back(*add);
        auto response = m_inner->DoRequests(request);
        if (!m_sent->DropAddedEntry)
            return response;
        std::vector<TQBResponse> responses = response->ResponseList();
        for (TQBResponse& r : responses)
            if (r.Kind == TQBRequestKind::JournalEntryAdd)
                r.Detail = std::monostate();
        return std::make_unique<TMsgSetResponse>(response->ToXMLString(), std::move(responses));
    }
    std::unique_ptr<TMsgSetResponse> DoRecoveryRequest(const TMsgSetRequest& statusRequest,
                                                       const TMsgSetRequest& lost) override {
        return m_inner->DoRecoveryRequest(statusRequest, lost);
    }
    void EndSession() override { m_inner->EndSession(); }
    void CloseConnection() override { m_inner->CloseConnection(); }

private:
    IQBSessionManagerPtr m_inner;
    std::shared_ptr<TSentJournals> m_sent;
};

// A journal line as the company file holds it, references as full names.
struct TStoredLine {
    QString Kind; // "Debit" or "Credit"
    QString Account;
    QString Amount;
    QString Memo;
    QString Class;
    QString Entity;

    friend bool operator==(const TStoredLine& a, const TStoredLine& b) {
        return a.Kind == b.Kind && a.Account == b.Account && a.Amount == b.Amount &&
               a.Memo == b.Memo && a.Class == b.Class && a.Entity == b.Entity;
    }
};

inline char* toString(const TStoredLine& l) {
    return QTest::toString(l.Kind + u' ' + l.Account + u' ' + l.Amount + u" memo=" + l.Memo +
                           u" class=" + l.Class + u" entity=" + l.Entity);
}

class TGLSandbox {
public:
    TGLSandbox() {
        QVERIFY(m_dir.isValid());
        Config.Processor.Factory = &CreateSandboxRequestProcessor;
        Config.Processor.CompanyFile = m_dir.filePath(QStringLiteral("company.qbsb"));
        Config.Processor.DemoDataDir = DemoDir();
        CreateSandboxCompany(Config.Processor.CompanyFile, DemoDir());
    }

    static QString DemoDir() { return qEnvironmentVariable("ORVQ_SOURCE_DIR") + u"/data/demo"; }

    QString CompanyFile() const { return Config.Processor.CompanyFile; }

    std::unique_ptr<TQBConnection> Connect(ICommonLoggerPtr logger) {
        return std::make_unique<TQBConnection>(std::move(logger),
                                               std::make_unique<TRecordingSessionManager>(
                                                   CreateQBSessionManager(Config.Processor), Sent),
                                               QString());
    }

    void SetFaults(const TSbFaults& faults) {
        TQBSandboxCompany company(CompanyFile(), false);
        company.Begin();
        company.SetFaults(faults);
        company.Commit();
    }

    // Adds list elements in one transaction.
    void AddElements(const std::vector<TSbNewListElement>& elements) {
        TQBSandboxCompany company(CompanyFile(), false);
        company.Begin();
        for (const TSbNewListElement& e : elements)
            AddSandboxListElement(company, e);
        company.Commit();
    }

    std::vector<TSbTxn> JournalEntries() {
        TQBSandboxCompany company(CompanyFile(), false);
        TSbTxnFilter filter;
        filter.Type = QStringLiteral("JournalEntry");
        filter.IncludeLines = true;
        return company.Txns(filter);
    }

    std::vector<TStoredLine> StoredLines(const TSbTxn& txn) {
        TQBSandboxCompany company(CompanyFile(), false);
        const QHash<QString, QString> names = company.FullNames();
        std::vector<TStoredLine> lines;
        for (const TSbTxnLine& l : txn.Lines) {
            const qint64 cents = l.Cents.value_or(0);
            lines.push_back({l.Kind, names.value(l.AccountID),
                             QString::number(cents / 100) + u'.' +
                                 QStringLiteral("%1").arg(cents % 100, 2, 10, QChar(u'0')),
                             l.Memo, names.value(l.ClassID), names.value(l.EntityID)});
        }
        return lines;
    }

    TQBConnectionConfig Config;
    std::shared_ptr<TSentJournals> Sent = std::make_shared<TSentJournals>();

private:
    QTemporaryDir m_dir;
};
