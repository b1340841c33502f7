#include "quickbooks/QBSessionManager.h"

#include "quickbooks/QBXml.h"

TQBSessionManager::TQBSessionManager(IQBRequestProcessorPtr processor)
    : m_processor(std::move(processor)) {
    OrvAssert(m_processor != nullptr);
}

TQBSessionManager::~TQBSessionManager() {
    // A session left open by a failing caller is closed quietly.
    try {
        EndSession();
        CloseConnection();
    } catch (...) {
    }
}

void TQBSessionManager::OpenConnection2(const QString& appID, const QString& appName,
                                        int connType) {
    // Only a local QuickBooks (connection type 1) is reachable.
    OrvAssert(connType == 1);
    m_processor->OpenConnection(appID, appName);
    m_connected = true;
}

void TQBSessionManager::BeginSession(const QString& companyFile, int openMode) {
    OrvAssert(m_connected && m_ticket.isEmpty());
    m_ticket = m_processor->BeginSession(companyFile, openMode);
}

QString TQBSessionManager::GetCurrentCompanyFileName() {
    OrvAssert(!m_ticket.isEmpty());
    return m_processor->GetCurrentCompanyFileName(m_ticket);
}

QStringList TQBSessionManager::QBXMLVersionsForSession() {
    OrvAssert(!m_ticket.isEmpty());
    return m_processor->QBXMLVersionsForSession(m_ticket);
}

std::unique_ptr<TMsgSetRequest> TQBSessionManager::CreateMsgSetRequest(const QString& country,
                                                                       int major, int minor) {
    return std::make_unique<TMsgSetRequest>(country, major, minor);
}

std::unique_ptr<TMsgSetResponse> TQBSessionManager::DoRequests(const TMsgSetRequest& request) {
    OrvAssert(!m_ticket.isEmpty());
    const QString answer = m_processor->ProcessRequest(m_ticket, request.ToXMLString());
    return ReadQBResponseSet(answer, request);
}

std::unique_ptr<TMsgSetResponse>
TQBSessionManager::DoRecoveryRequest(const TMsgSetRequest& statusRequest,
                                     const TMsgSetRequest& lost) {
    OrvAssert(!m_ticket.isEmpty() && !statusRequest.OldMessageSetID().isEmpty());
    const QString answer = m_processor->ProcessRequest(m_ticket, statusRequest.ToXMLString());
    return ReadQBStoredResponseSet(answer, lost);
}

void TQBSessionManager::EndSession() {
    if (m_ticket.isEmpty())
        return;
    const QString ticket = m_ticket;
    m_ticket.clear();
    m_processor->EndSession(ticket);
}

void TQBSessionManager::CloseConnection() {
    if (!m_connected)
        return;
    m_connected = false;
    m_processor->CloseConnection();
}

IQBSessionManagerPtr CreateQBSessionManager(const TQBProcessorConfig& config) {
    return std::make_unique<TQBSessionManager>(CreateQBRequestProcessor(config));
}
