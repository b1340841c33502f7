#include "base/ztExceptions.h"

#include <cstdlib>
#include <memory>
#include <typeinfo>

#if __has_include(<cxxabi.h>)
#include <cxxabi.h>
#define ORVQ_HAS_CXXABI 1
#endif

EztException::EztException(QString message)
    : m_message(std::move(message)), m_utf8(m_message.toUtf8()) {}

EztException::~EztException() = default;

EAssertionFailed::EAssertionFailed() : EztException(QStringLiteral("Assertion failure")) {}

EAssertionFailed::EAssertionFailed(const char* file, int line, const char* condition)
    : EztException(QStringLiteral("Assertion failure\r\n\r\nFile: %1\r\nLine: %2\r\nCondition: %3")
                       // One pass: a condition may hold "%1" itself.
                       .arg(QString::fromUtf8(file).section(u'/', -1).section(u'\\', -1),
                            QString::number(line), QString::fromUtf8(condition))) {}

void ThrowAssertionFailed(const char* file, int line, const char* condition) {
    throw EAssertionFailed(file, line, condition);
}

QString ExceptionTypeName(const std::exception& exception) {
    const char* name = typeid(exception).name();
#ifdef ORVQ_HAS_CXXABI
    // GCC and Clang give the mangled name.
    int status = 0;
    const std::unique_ptr<char, void (*)(void*)> readable(
        abi::__cxa_demangle(name, nullptr, nullptr, &status), std::free);
    if (status == 0 && readable)
        return QString::fromUtf8(readable.get());
#endif
    return QString::fromUtf8(name);
}
