// The SDK's session manager over a request processor: request sets become
// qbXML text, the processor's answer becomes typed responses.
#pragma once

#include "quickbooks/QBFC7Lib.h"
#include "quickbooks/QBRequestProcessor.h"

class TQBSessionManager : public IQBSessionManager {
public:
    explicit TQBSessionManager(IQBRequestProcessorPtr processor);
    ~TQBSessionManager() override;

    void OpenConnection2(const QString& appID, const QString& appName, int connType) override;
    void BeginSession(const QString& companyFile, int openMode) override;
    QString GetCurrentCompanyFileName() override;
    QStringList QBXMLVersionsForSession() override;
    std::unique_ptr<TMsgSetRequest> CreateMsgSetRequest(const QString& country, int major,
                                                        int minor) override;
    std::unique_ptr<TMsgSetResponse> DoRequests(const TMsgSetRequest& request) override;
    std::unique_ptr<TMsgSetResponse> DoRecoveryRequest(const TMsgSetRequest& statusRequest,
                                                       const TMsgSetRequest& lost) override;
    void EndSession() override;
    void CloseConnection() override;

private:
    IQBRequestProcessorPtr m_processor;
    QString m_ticket;
    bool m_connected = false;
};

// The session manager of the platform's request processor.
IQBSessionManagerPtr CreateQBSessionManager(const TQBProcessorConfig& config);
