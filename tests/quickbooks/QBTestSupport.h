// Shared by the QuickBooks tests: a captured log and a processor with
// canned answers.
#pragma once

#include "logging/vlxLoggerChain.h"
#include "quickbooks/QBRequestProcessor.h"

#include <QStringList>
#include <optional>

// "Block caption | Kind: message" for every message logged.
class TCapturedLog : public TLoggerEventSink {
public:
    void OnMessage(const TLogState& state) override {
        const TLogBlock& block = state.Innermost();
        const TLogMessage& m = block.Messages.back();
        Lines << block.Caption + u" | " + LogMessageKindName(m.Kind) + u": " + m.Message;
        Details << m.Details;
    }
    QStringList Lines;
    QStringList Details;
};

struct TTestLogger {
    TLoggerChain Chain = CreateLoggerChain();
    std::shared_ptr<TCapturedLog> Log = std::make_shared<TCapturedLog>();
    TScopedSink Scoped{Chain.Stateful, Log};
    ICommonLoggerPtr Logger() const { return Chain.Common; }
};

// What a canned processor was asked and what it answers; it outlives the
// processor, which the session manager owns.
struct TCannedState {
    QStringList Versions{QStringLiteral("7.0")};
    QString Answer;
    std::optional<EQBProcessorError> OpenError;
    std::optional<EQBProcessorError> BeginError;
    QStringList Calls;
    QString CompanyFile; // the file BeginSession was asked to open
    QString LastRequest;
    QStringList Requests;
    // Thrown by the next ProcessRequest instead of answering.
    std::optional<EQBProcessorError> FailNext;
};

class TCannedProcessor : public IQBRequestProcessor {
public:
    explicit TCannedProcessor(std::shared_ptr<TCannedState> state) : m_state(std::move(state)) {}
    void OpenConnection(const QString&, const QString&) override {
        m_state->Calls << QStringLiteral("Open");
        if (m_state->OpenError)
            throw *m_state->OpenError;
    }
    QString BeginSession(const QString& companyFile, int) override {
        m_state->Calls << QStringLiteral("Begin");
        m_state->CompanyFile = companyFile;
        if (m_state->BeginError)
            throw *m_state->BeginError;
        return QStringLiteral("ticket");
    }
    QString GetCurrentCompanyFileName(const QString&) override { return m_state->CompanyFile; }
    QStringList QBXMLVersionsForSession(const QString&) override { return m_state->Versions; }
    QString ProcessRequest(const QString&, const QString& request) override {
        m_state->LastRequest = request;
        m_state->Requests << request;
        if (m_state->FailNext) {
            const EQBProcessorError error = *m_state->FailNext;
            m_state->FailNext.reset();
            throw error;
        }
        return m_state->Answer;
    }
    void EndSession(const QString&) override { m_state->Calls << QStringLiteral("End"); }
    void CloseConnection() override { m_state->Calls << QStringLiteral("Close"); }

private:
    std::shared_ptr<TCannedState> m_state;
};
