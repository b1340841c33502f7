// How the exports send their changes: requests of many records in one
// request set, answered one by one, and each answer sorted for its owner:
// done, refused by QuickBooks, or without an answer because the set had
// none (its answer lost for good, or the set failed whole).
#pragma once

#include "quickbooks/QBConnection.h"

#include <exception>
#include <memory>
#include <vector>

enum TQBAnswerState {
    qasDone,    // QuickBooks did it (a status of severity Info or Warn)
    qasRefused, // QuickBooks answered with a status of severity Error
    qasFailed,  // the set failed before QuickBooks could do any of it
    qasUnknown, // the set's answer was lost and QuickBooks keeps none: it may be done
};

// QuickBooks' answer to one request of a set, or what kept the set from
// being answered.
class TQBAnswer {
public:
    TQBAnswer(std::shared_ptr<const TMsgSetResponse> set, int index);
    TQBAnswer(std::exception_ptr failure, bool stateUnknown);

    TQBAnswerState State() const { return m_state; }
    // The response; null when the set had none.
    const TQBResponse* Response() const;
    // "QB: [code] message" of the response, or the set's failure.
    QString Text() const;
    // The response of a request done, its status logged as QuickBooks'
    // severity asks. Otherwise throws what kept it from being done:
    // EQBStatusError for a refusal, the set's failure (EQBStateUnknown when
    // its answer was lost).
    const TQBResponse& Take(ICommonLogger& logger) const;

private:
    TQBAnswerState m_state;
    std::shared_ptr<const TMsgSetResponse> m_set;
    int m_index = 0;
    std::exception_ptr m_failure;
};
using TQBAnswers = std::vector<TQBAnswer>;

class TQBRequestPipeline {
public:
    // Sets hold up to batchSize requests (clamped to what QuickBooks takes).
    TQBRequestPipeline(TQBConnection& connection, int batchSize);

    int BatchSize() const { return m_batchSize; }
    TQBConnection& Connection() const { return m_connection; }

    // Sends the requests as one set (at most BatchSize of them) and answers
    // each, in order. With continueOnError a refusal leaves the requests
    // after it to be done; stopOnError suits requests that name what an
    // earlier one creates. A lost answer is asked of QuickBooks again (see
    // TQBConnection::SendBatch) and sorted as if it had arrived. Only
    // failures outside QuickBooks' layer (a cancel, a bug) leave here.
    TQBAnswers Send(std::vector<TQBRequest> requests, TQBOnError onError = oeContinueOnError);

private:
    TQBConnection& m_connection;
    int m_batchSize;
};
