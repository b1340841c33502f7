#include "reports/orvchecksparser.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"
#include "logging/vlxcommonlogger.h"
#include "reports/ReportFile.h"

namespace {

bool IsEmptyAgencyPlaceholder(const TFieldViews& fields) {
    return fields.Count() == 5 && fields.At(0).isEmpty() && fields.At(1) == u"Payroll Agency" &&
           fields.At(2).isEmpty() && fields.At(3).isEmpty() && fields.At(4).isEmpty();
}

EztException WrongFieldCount(const QString& format, const TFormatArgs& args) {
    return EztException(Format(format, args));
}

// `fields` is the splitter's storage, kept from line to line.
TCheckRecord ParseRecord(ICommonLogger& logger, const QString& line, int fieldCount,
                         int currentYear, int lineNumber, const QString& source,
                         TFieldViews& fields) {
    TLogBlockGuard block(logger, QStringLiteral("Parsing check record"));
    logger.LogContextItem(QStringLiteral("Check record"), line);
    TCheckRecord record;
    try {
        SplitCommaText(line, fields);
        if (fields.Count() != fieldCount)
            throw WrongFieldCount(
                QStringLiteral("Wrong number of fields. Expected %d fields, got %d."),
                {fieldCount, fields.Count()});
        // The agency layout is the employee layout without its name fields.
        int next = 0;
        const auto trimmed = [&] {
            const qsizetype index = next++;
            return fields.Shared(index, TrimControl(fields.At(index)));
        };
        record.IsEmployeeCheck = fieldCount == 7;
        if (record.IsEmployeeCheck) {
            record.FirstName = trimmed();
            record.MiddleInitial = trimmed();
            record.LastName = trimmed();
        } else {
            record.Payee = trimmed();
        }
        record.Memo = fields.Shared(next, fields.At(next));
        ++next;
        record.CheckDate = StrToReportDate(fields.At(next++), RegionalSettings(), currentYear);
        record.CheckNumber = trimmed();
        record.Amount = StrToCurr(fields.At(next++));
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
void CheckFieldCount(ICommonLogger& logger, TReportKind kind, int n) {
    switch (kind) {
    case rkEmployeeChecks:
        if (n != 7)
            throw WrongFieldCount(
                QStringLiteral("Wrong number of fields. Expected 7 fields, got %d."), {n});
        break;
    case rkAgencyChecks:
        if (n != 5)
            throw WrongFieldCount(
                QStringLiteral("Wrong number of fields. Expected 5 fields, got %d."), {n});
        break;
    case rkNone:
    case rkJournal: // never asked for: a checks report is one or the other
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

TCheckRecords ParseChecksReport(ICommonLogger& logger, const QString& reportText, TReportKind kind,
                                const QString& source) {
    const QString text = TextReportOrEmpty(reportText);
    const std::vector<QStringView> lines = ReportLines(text);
    if (lines.empty())
        throw EztException(QStringLiteral("Orvane Checks report is empty"));

    const QString firstLine = lines.front().toString();
    TFieldViews firstFields;
    ParseReportLine(1, firstLine, source, [&] { SplitCommaText(firstLine, firstFields); });
    const int n = static_cast<int>(firstFields.Count());
    ParseReportLine(1, firstLine, source, [&] { CheckFieldCount(logger, kind, n); });
    if (n == 5 && lines.size() == 1 && IsEmptyAgencyPlaceholder(firstFields))
        throw EztException(QStringLiteral("Orvane Agency Checks report is empty"));

    const int currentYear = QDate::currentDate().year();
    TCheckRecords records;
    records.reserve(lines.size());
    TFieldViews fields;
    int lineNumber = 0;
    for (QStringView line : lines)
        records.push_back(
            ParseRecord(logger, line.toString(), n, currentYear, ++lineNumber, source, fields));
    return records;
}

bool IsEmptyAgencyReport(const QString& reportText) {
    const QString text = TextReportOrEmpty(reportText);
    const std::vector<QStringView> lines = ReportLines(text);
    if (lines.size() != 1)
        return false;
    try {
        TFieldViews fields;
        SplitCommaText(lines.front(), fields);
        return IsEmptyAgencyPlaceholder(fields);
    } catch (const EztException&) {
        return false;
    }
}

TCheckRecord ParseCheckRecord(ICommonLogger& logger, const QString& line, int fieldCount) {
    TFieldViews fields;
    return ParseRecord(logger, line, fieldCount, QDate::currentDate().year(), 1, QString(), fields);
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
