// The payroll journal report S348 (general-ledger postings) as records, in
// either of its two layouts: comma-separated or fixed-width.
#pragma once

#include "base/Currency.h"
#include "base/vlxTextUtils.h"
#include "settings/QBDecl.h"

#include <QDate>
#include <QString>
#include <QStringList>
#include <vector>

struct TGLRecord {
    QString CompanyCode;
    QDate JournalDate;
    QString Extra1;
    QString Extra2;
    QString Extra3;
    QString GLTag;
    Currency Amount;
    Currency Debit;
    Currency Credit;
    int LineNumber = 0; // 1-based line of the report
    Currency NetAmount; // Debit - Credit
    QString AccountTag;
    QString ClassOrName; // empty when the tag is not split
};
using TGLRecordArray = std::vector<TGLRecord>;

// One record per journal line, in line order; GL tags are split into class
// or customer and account as `param.GLTagParsing` and `DelimiterInGLTag` say.
// Throws EztException with the user's message; a failing line is logged in
// its own block first, and no partial result survives. Given the source (the
// file's path, or the report's name), the message of a line that fails names
// it and the line (ReportLineMessage).
TGLRecordArray ParseGLJournal(ICommonLogger& logger, const QString& reportText,
                              const TQBGLExportParam& param, const QString& source = QString());

// Nine fields per journal line in both layouts.
constexpr int GLFieldCount = 9;
constexpr int GLFixedLineLength = 87;

// Exactly `count` fields of a comma-separated line: quoted fields with
// doubled quotes inside, unquoted ones keep their spaces. Throws EztException
// for more or fewer fields.
QStringList SplitGLCsvLine(const QString& line, int count);
void SplitGLCsvLine(QStringView line, int count, TFieldViews& fields);
// The nine fields of an 87-character line, cut by columns, spaces included.
QStringList SplitGLFixedLine(const QString& line);
void SplitGLFixedLine(QStringView line, TFieldViews& fields);
// YYYYMMDD, blanks around it allowed.
QDate ParseGLDate(QStringView text);
inline QDate ParseGLDate(const QString& text) {
    return ParseGLDate(QStringView(text));
}
// Decimal number in the regional format, rounded to four decimals; blank is 0.
Currency ParseGLAmount(QStringView text);
inline Currency ParseGLAmount(const QString& text) {
    return ParseGLAmount(QStringView(text));
}
// "Payroll Expenses : Wages " -> "Payroll Expenses:Wages": every part of a
// colon-separated full name trimmed, empty parts kept.
QString NormalizeFullName(const QString& text);
