// The program's exception hierarchy: every exception the program throws
// derives from EztException and carries the message the user reads.
#pragma once

#include <QString>
#include <exception>

class EztException : public std::exception {
public:
    explicit EztException(QString message);
    ~EztException() override;

    // The user's message; details may follow the first empty line.
    const QString& Message() const noexcept { return m_message; }
    const char* what() const noexcept override { return m_utf8.constData(); }

private:
    QString m_message;
    QByteArray m_utf8;
};

// A programming error (broken contract), never caused by ordinary input.
class EAssertionFailed : public EztException {
public:
    EAssertionFailed();
    // "Assertion failure", and in the details where and what failed.
    EAssertionFailed(const char* file, int line, const char* condition);
};

// A text that does not convert to a date or number.
class EConvertError : public EztException {
public:
    using EztException::EztException;
};

[[noreturn]] void ThrowAssertionFailed(const char* file, int line, const char* condition);

// Throws EAssertionFailed naming the source file, the line and the
// condition when the condition does not hold.
#define OrvAssert(...)                                                                             \
    ((__VA_ARGS__) ? void() : ThrowAssertionFailed(__FILE__, __LINE__, #__VA_ARGS__))

// The type of an exception as a reader knows it: "std::out_of_range".
QString ExceptionTypeName(const std::exception& exception);
