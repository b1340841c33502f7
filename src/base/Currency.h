// Money as a signed 64-bit count of ten-thousandths: exact, never a double
// until the amount is handed to QuickBooks.
#pragma once

#include <QString>
#include <QtGlobal>

class Currency {
public:
    static constexpr qint64 Scale = 10000;

    constexpr Currency() = default;
    static constexpr Currency FromRaw(qint64 tenThousandths) { return Currency(tenThousandths); }
    static constexpr Currency FromUnits(qint64 units) { return Currency(units * Scale); }

    // Parses an optional sign and digits with one optional decimal separator;
    // surrounding white space is ignored. The value is rounded half away from
    // zero to four decimals. Returns false for anything else (an exponent, a
    // thousands separator, a blank inside), and for values beyond the 64-bit
    // range.
    static bool TryParse(QStringView text, QChar decimalSeparator, Currency& result);

    constexpr qint64 Raw() const { return m_raw; }
    double ToDouble() const { return static_cast<double>(m_raw) / Scale; }
    // Rounds half away from zero to the given number of decimals (0..4).
    Currency Rounded(int decimals) const;

    // Shortest text: "125.5", "-0.0001", "0".
    QString ToString(QChar decimalSeparator = u'.') const;
    // Exactly `decimals` decimals (0..4): ToFixed(2) of 125.5 is "125.50".
    QString ToFixed(int decimals, QChar decimalSeparator = u'.') const;
    // Money as people read it: two decimals, the units in groups of three,
    // "-1,068.90".
    QString ToMoney(QChar decimalSeparator, QChar thousandSeparator) const;

    constexpr bool IsZero() const { return m_raw == 0; }
    constexpr bool IsNegative() const { return m_raw < 0; }
    // Callers stay far below the range of 922 trillion.
    constexpr Currency operator-() const { return Currency(-m_raw); }
    constexpr Currency operator+(Currency o) const { return Currency(m_raw + o.m_raw); }
    constexpr Currency operator-(Currency o) const { return Currency(m_raw - o.m_raw); }
    Currency& operator+=(Currency o) {
        m_raw += o.m_raw;
        return *this;
    }
    Currency& operator-=(Currency o) {
        m_raw -= o.m_raw;
        return *this;
    }
    constexpr Currency Abs() const { return Currency(m_raw < 0 ? -m_raw : m_raw); }

    friend constexpr bool operator==(Currency a, Currency b) { return a.m_raw == b.m_raw; }
    friend constexpr bool operator!=(Currency a, Currency b) { return a.m_raw != b.m_raw; }
    friend constexpr bool operator<(Currency a, Currency b) { return a.m_raw < b.m_raw; }
    friend constexpr bool operator>(Currency a, Currency b) { return a.m_raw > b.m_raw; }
    friend constexpr bool operator<=(Currency a, Currency b) { return a.m_raw <= b.m_raw; }
    friend constexpr bool operator>=(Currency a, Currency b) { return a.m_raw >= b.m_raw; }

private:
    constexpr explicit Currency(qint64 raw) : m_raw(raw) {}
    qint64 m_raw = 0;
};
