// The sandbox company as a qbXML request processor: answers every request
// kind the program sends the way QuickBooks does, over a company file.
#pragma once

#include "company/QBSandboxCompany.h"
#include "company/QBSandboxXml.h"
#include "quickbooks/QBRequestProcessor.h"

#include <map>

class TQBSandboxProcessor : public IQBRequestProcessor {
public:
    struct TOptions {
        QString CompanyFile;
        // Demo data for a company file that does not exist yet; empty: the
        // missing file is an error.
        QString DemoDataDir;
        TQBSandboxCompany::TClock Clock;
    };

    explicit TQBSandboxProcessor(TOptions options);
    ~TQBSandboxProcessor() override;

    void OpenConnection(const QString& appID, const QString& appName) override;
    // A company file named opens that file; a missing or unreadable one
    // fails with qbhr::CannotOpenFile. Empty: the configured file, made from
    // the demo data when missing.
    QString BeginSession(const QString& companyFile, int openMode) override;
    // The absolute path of the session's company file.
    QString GetCurrentCompanyFileName(const QString& ticket) override;
    QStringList QBXMLVersionsForSession(const QString& ticket) override;
    QString ProcessRequest(const QString& ticket, const QString& request) override;
    void EndSession(const QString& ticket) override;
    void CloseConnection() override;

private:
    TQBSandboxCompany& Session(const QString& ticket);
    QString Process(TQBSandboxCompany& company, const TSbMessageSet& set);
    // The answer to a status request: the answer kept under the ID, or a
    // message-set status saying there is none.
    QString StatusAnswer(TQBSandboxCompany& company, const QString& id);

    TOptions m_options;
    bool m_connected = false;
    QString m_application;
    std::map<QString, std::unique_ptr<TQBSandboxCompany>> m_sessions;
};

// The processor's message for a parse rejection.
extern const QString SandboxParseErrorMessage;
