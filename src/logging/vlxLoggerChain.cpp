#include "logging/vlxLoggerChain.h"

TLoggerChain CreateLoggerChain() {
    TLoggerChain chain;
    chain.Stateful = CreateStatefulLogger(QStringLiteral("Orvane QB Export"));
    chain.Exceptions = CreateExceptionLogger(chain.Stateful);
    chain.Common = CreateCommonLogger(chain.Exceptions);
    return chain;
}
