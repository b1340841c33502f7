#include "reports/orvchecksparser.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"
#include "logging/vlxcommonlogger.h"
#include "reports/ReportFile.h"

namespace {

bool IsEmptyAgencyPlaceholder(const QStringList& fields) {
    return fields.size() == 5 && fields[0].isEmpty() && fields[1] == u"Payroll Agency" &&
           fields[2].isEmpty() && fields[3].isEmpty() && fields[4].isEmpty();
}

EztException WrongFieldCount(const QString& format, const TFormatArgs& args) {
    return EztException(Format(format, args));
}

TCheckRecord ParseRecord(ICommonLogger& logger, const QString& line, int fieldCount,
                         int currentYear, int lineNumber, const QString& source) {
    TLogBlockGuard block(logger, QStringLiteral("Parsing check record"));
    logger.LogContextItem(QStringLiteral("Check record"), line);
    TCheckRecord record;
    try {
        const QStringList fields = SplitCommaText(line);
        if (fields.size() != fieldCount)
            throw WrongFieldCount(
                QStringLiteral("Wrong number of fields. Expected %d fields, got %d."),
                {fieldCount, fields.size()});
        // The agency layout is the employee layout without its name fields.
        int next = 0;
        record.IsEmployeeCheck = fieldCount == 7;
        if (record.IsEmployeeCheck) {
            record.FirstName = TrimControl(fields[next++]);
            record.MiddleInitial = TrimControl(fields[next++]);
            record.LastName = TrimControl(fields[next++]);
        } else {
            record.Payee = TrimControl(fields[next++]);
        }
        record.Memo = fields[next++];
        record.CheckDate = StrToDate(fields[next++], RegionalSettings(), currentYear);
        record.CheckNumber = TrimControl(fields[next++]);
        record.Amount = StrToCurr(fields[next++]);
    } catch (...) {
        PassthroughReportLineError(logger, lineNumber, line, source);
    }
    return record;
}

// The report's lines without the blank ones at its end.
std::vector<QStringView> ReportLines(const QString& text) {
    std::vector<QStringView> lines = SplitTextLines(text);
    while (!lines.empty() && IsBlankText(lines.back()))
        lines.pop_back();
    return lines;
}

// The first line's field count against the kind asked for.
void CheckFieldCount(ICommonLogger& logger, TChecksReportKind kind, int n) {
    switch (kind) {
    case crkEmployee:
        if (n != 7)
            throw WrongFieldCount(
                QStringLiteral("Wrong number of fields. Expected 7 fields, got %d."), {n});
        break;
    case crkAgency:
        if (n != 5)
            throw WrongFieldCount(
                QStringLiteral("Wrong number of fields. Expected 5 fields, got %d."), {n});
        break;
    case crkEither:
        if (n != 5 && n != 7)
            throw WrongFieldCount(
                QStringLiteral("Wrong number of fields. Expected 5 (for Agency Checks) or 7 fields "
                               "(for Employee Checks), got %d."),
                {n});
        logger.LogEvent(n == 5
                            ? QStringLiteral("Report recognized as S1911 Agency Checks Report")
                            : QStringLiteral("Report recognized as S1910 Employee Checks Report"));
        break;
    }
}

} // namespace

TCheckRecords ParseChecksReport(ICommonLogger& logger, const QString& reportText,
                                TChecksReportKind kind, const QString& source) {
    const QString text = TextReportOrEmpty(reportText);
    const std::vector<QStringView> lines = ReportLines(text);
    if (lines.empty())
        throw EztException(QStringLiteral("Orvane Checks report is empty"));

    const QString firstLine = lines.front().toString();
    const QStringList firstFields =
        ParseReportLine(1, firstLine, source, [&] { return SplitCommaText(firstLine); });
    const int n = static_cast<int>(firstFields.size());
    ParseReportLine(1, firstLine, source, [&] { CheckFieldCount(logger, kind, n); });
    if (n == 5 && lines.size() == 1 && IsEmptyAgencyPlaceholder(firstFields))
        throw EztException(QStringLiteral("Orvane Agency Checks report is empty"));

    const int currentYear = QDate::currentDate().year();
    TCheckRecords records;
    records.reserve(lines.size());
    int lineNumber = 0;
    for (QStringView line : lines)
        records.push_back(
            ParseRecord(logger, line.toString(), n, currentYear, ++lineNumber, source));
    return records;
}

bool IsEmptyAgencyReport(const QString& reportText) {
    const QString text = TextReportOrEmpty(reportText);
    const std::vector<QStringView> lines = ReportLines(text);
    if (lines.size() != 1)
        return false;
    try {
        return IsEmptyAgencyPlaceholder(SplitCommaText(lines.front().toString()));
    } catch (const EztException&) {
        return false;
    }
}

TCheckRecord ParseCheckRecord(ICommonLogger& logger, const QString& line, int fieldCount) {
    return ParseRecord(logger, line, fieldCount, QDate::currentDate().year(), 1, QString());
}

TCheckDateRange GetCheckDateRange(const TCheckRecords& records) {
    OrvAssert(!records.empty());
    TCheckDateRange range{QDate(2100, 1, 1), QDate(1900, 1, 1)};
    for (const TCheckRecord& record : records) {
        if (record.CheckDate < range.FromDate)
            range.FromDate = record.CheckDate;
        if (record.CheckDate > range.ToDate)
            range.ToDate = record.CheckDate;
    }
    return range;
}
