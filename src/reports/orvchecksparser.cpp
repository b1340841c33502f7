#include "reports/orvchecksparser.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"
#include "logging/vlxcommonlogger.h"

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
                         int currentYear, TFieldViews& fields) {
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
        record.CheckDate = StrToDate(fields.At(next++), RegionalSettings(), currentYear);
        record.CheckNumber = trimmed();
        record.Amount = StrToCurr(fields.At(next++));
    } catch (...) {
        logger.PassthroughException();
    }
    return record;
}

} // namespace

TCheckRecords ParseChecksReport(ICommonLogger& logger, const QString& reportText,
                                TChecksReportKind kind) {
    const QString text = TextReportOrEmpty(reportText);
    std::vector<QStringView> lines = SplitTextLines(text);
    while (!lines.empty() && IsBlankText(lines.back()))
        lines.pop_back();
    if (lines.empty())
        throw EztException(QStringLiteral("Orvane Checks report is empty"));

    TFieldViews firstFields;
    SplitCommaText(lines.front(), firstFields);
    const int n = static_cast<int>(firstFields.Count());
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
    if (n == 5 && lines.size() == 1 && IsEmptyAgencyPlaceholder(firstFields))
        throw EztException(QStringLiteral("Orvane Agency Checks report is empty"));

    const int currentYear = QDate::currentDate().year();
    TCheckRecords records;
    records.reserve(lines.size());
    TFieldViews fields;
    for (QStringView line : lines)
        records.push_back(ParseRecord(logger, line.toString(), n, currentYear, fields));
    return records;
}

TCheckRecord ParseCheckRecord(ICommonLogger& logger, const QString& line, int fieldCount) {
    TFieldViews fields;
    return ParseRecord(logger, line, fieldCount, QDate::currentDate().year(), fields);
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
