#include "export/QBRequestPipeline.h"

#include "settings/QBDecl.h"

#include <algorithm>

TQBAnswer::TQBAnswer(std::shared_ptr<const TMsgSetResponse> set, int index)
    : m_state(TQBConnection::IsErrorStatus(set->At(index)) ? qasRefused : qasDone),
      m_set(std::move(set)), m_index(index) {}

TQBAnswer::TQBAnswer(std::exception_ptr failure, bool stateUnknown)
    : m_state(stateUnknown ? qasUnknown : qasFailed), m_failure(std::move(failure)) {}

const TQBResponse* TQBAnswer::Response() const {
    return m_set ? &m_set->At(m_index) : nullptr;
}

QString TQBAnswer::Text() const {
    if (m_set)
        return TQBConnection::StatusText(*Response());
    try {
        std::rethrow_exception(m_failure);
    } catch (const EztException& e) {
        return e.Message();
    }
}

const TQBResponse& TQBAnswer::Take(ICommonLogger& logger) const {
    if (!m_set)
        std::rethrow_exception(m_failure);
    TQBConnection::CheckResponseStatus(logger, *Response());
    return *Response();
}

TQBRequestPipeline::TQBRequestPipeline(TQBConnection& connection, int batchSize)
    : m_connection(connection), m_batchSize(std::clamp(batchSize, 1, MaxQBBatchSize)) {}

TQBAnswers TQBRequestPipeline::Send(std::vector<TQBRequest> requests, TQBOnError onError) {
    OrvAssert(!requests.empty() && static_cast<int>(requests.size()) <= m_batchSize);
    auto set = m_connection.NewRequestSet();
    set->SetOnError(onError);
    for (TQBRequest& request : requests)
        set->AppendRequest(std::move(request));
    const auto unanswered = [&](bool stateUnknown) {
        return TQBAnswers(requests.size(), TQBAnswer(std::current_exception(), stateUnknown));
    };
    std::shared_ptr<const TMsgSetResponse> response;
    try {
        response = m_connection.SendBatch(*set);
        // The reader holds QuickBooks to one response a request; a set
        // answered short must not be read past its end all the same.
        if (response->Count() != set->Count())
            throw EQBResponseError(QStringLiteral("QuickBooks did not answer the request"));
    } catch (const EQBStateUnknown&) {
        return unanswered(true);
    } catch (const EQBError&) {
        return unanswered(false);
    } catch (const EQBProcessorError&) {
        return unanswered(false);
    }
    TQBAnswers answers;
    answers.reserve(requests.size());
    for (int i = 0; i < response->Count(); ++i)
        answers.emplace_back(response, i);
    return answers;
}
