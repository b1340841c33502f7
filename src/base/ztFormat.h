// printf-like formatting of the program's messages ("%s", "%d", "%9.3f").
#pragma once

#include <QString>
#include <initializer_list>
#include <variant>
#include <vector>

class TFormatArg {
public:
    TFormatArg(int v) : m_value(static_cast<qint64>(v)) {}
    TFormatArg(unsigned v) : m_value(static_cast<qint64>(v)) {}
    TFormatArg(long v) : m_value(static_cast<qint64>(v)) {}
    TFormatArg(long long v) : m_value(static_cast<qint64>(v)) {}
    TFormatArg(unsigned long v) : m_value(static_cast<qint64>(v)) {}
    TFormatArg(double v) : m_value(v) {}
    TFormatArg(const QString& v) : m_value(v) {}
    TFormatArg(const char* v) : m_value(QString::fromUtf8(v)) {}

    const std::variant<qint64, double, QString>& Value() const { return m_value; }

private:
    std::variant<qint64, double, QString> m_value;
};
using TFormatArgs = std::vector<TFormatArg>;

// Conversions: %s (text), %d/%i/%u (integer), %x/%X (hex), %f/%e/%g (float),
// %% (percent), each with optional flags "-+ 0", width and precision.
// A conversion that does not match its argument, or a missing argument,
// throws EAssertionFailed: formats are written by developers, not users.
QString Format(const QString& format, const TFormatArgs& args);
