#include "logging/vlxLogger.h"

QString LogMessageKindName(TLogMessageKind kind) {
    switch (kind) {
    case lmException:
        return QStringLiteral("Exception");
    case lmError:
        return QStringLiteral("Error");
    case lmWarning:
        return QStringLiteral("Warning");
    case lmEvent:
        return QStringLiteral("Event");
    case lmDebug:
        return QStringLiteral("Debug");
    }
    // A value read from outside (a stored state) must not crash a writer.
    return QStringLiteral("Unknown");
}
