#include "base/ztExceptions.h"

EztException::EztException(QString message)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

EztException::~EztException() = default;

EAssertionFailed::EAssertionFailed() : EztException(QStringLiteral("Assertion failure")) {}
