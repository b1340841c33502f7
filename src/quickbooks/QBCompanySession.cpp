#include "quickbooks/QBCompanySession.h"

TCompanySession::~TCompanySession() {
    try {
        if (m_begun)
            m_inner->EndSession();
        if (m_open)
            m_inner->CloseConnection();
    } catch (...) {
        // Closing errors must not mask what ended the session's work.
    }
}

class TCompanySession::TBorrowed : public IQBSessionManager {
public:
    explicit TBorrowed(std::shared_ptr<TCompanySession> session) : m_s(std::move(session)) {}
    void OpenConnection2(const QString& appID, const QString& appName, int connType) override {
        if (!m_s->m_open)
            m_s->m_inner->OpenConnection2(appID, appName, connType);
        m_s->m_open = true;
    }
    void BeginSession(const QString& companyFile, int openMode) override {
        if (!m_s->m_begun)
            m_s->m_inner->BeginSession(companyFile, openMode);
        m_s->m_begun = true;
    }
    QString GetCurrentCompanyFileName() override {
        return m_s->m_inner->GetCurrentCompanyFileName();
    }
    QStringList QBXMLVersionsForSession() override {
        return m_s->m_inner->QBXMLVersionsForSession();
    }
    std::unique_ptr<TMsgSetRequest> CreateMsgSetRequest(const QString& country, int major,
                                                        int minor) override {
        return m_s->m_inner->CreateMsgSetRequest(country, major, minor);
    }
    std::unique_ptr<TMsgSetResponse> DoRequests(const TMsgSetRequest& request) override {
        return m_s->m_inner->DoRequests(request);
    }
    std::unique_ptr<TMsgSetResponse> DoRecoveryRequest(const TMsgSetRequest& statusRequest,
                                                       const TMsgSetRequest& lost) override {
        return m_s->m_inner->DoRecoveryRequest(statusRequest, lost);
    }
    void EndSession() override {}
    void CloseConnection() override {}

private:
    std::shared_ptr<TCompanySession> m_s;
};

IQBSessionManagerPtr TCompanySession::Borrow(const std::shared_ptr<TCompanySession>& self) {
    return std::make_unique<TBorrowed>(self);
}
