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
};

// A text that does not convert to a date or number.
class EConvertError : public EztException {
public:
    using EztException::EztException;
};

// Throws EAssertionFailed when the condition does not hold.
inline void OrvAssert(bool condition) {
    if (!condition)
        throw EAssertionFailed();
}
