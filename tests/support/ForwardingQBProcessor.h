// A QuickBooks request processor that hands everything to another one; a
// test overrides what it watches or breaks (ProcessRequest, mostly).
#pragma once

#include "quickbooks/QBRequestProcessor.h"

class TForwardingQBProcessor : public IQBRequestProcessor {
public:
    explicit TForwardingQBProcessor(IQBRequestProcessorPtr inner) : m_inner(std::move(inner)) {}
    void OpenConnection(const QString& id, const QString& name) override {
        m_inner->OpenConnection(id, name);
    }
    QString BeginSession(const QString& file, int mode) override {
        return m_inner->BeginSession(file, mode);
    }
    QString GetCurrentCompanyFileName(const QString& ticket) override {
        return m_inner->GetCurrentCompanyFileName(ticket);
    }
    QStringList QBXMLVersionsForSession(const QString& ticket) override {
        return m_inner->QBXMLVersionsForSession(ticket);
    }
    QString ProcessRequest(const QString& ticket, const QString& request) override {
        return m_inner->ProcessRequest(ticket, request);
    }
    void EndSession(const QString& ticket) override { m_inner->EndSession(ticket); }
    void CloseConnection() override { m_inner->CloseConnection(); }

private:
    IQBRequestProcessorPtr m_inner;
};
