#include "reports/OrvGLParser.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"
#include "logging/vlxcommonlogger.h"
#include "reports/ReportFile.h"

#include <algorithm>

namespace {

// Column starts (0-based) and widths of the fixed-width layout.
constexpr int FixedStart[GLFieldCount] = {0, 4, 12, 18, 24, 30, 45, 59, 73};
constexpr int FixedWidth[GLFieldCount] = {4, 8, 6, 6, 6, 15, 14, 14, 14};
static_assert(FixedStart[GLFieldCount - 1] + FixedWidth[GLFieldCount - 1] == GLFixedLineLength);

// Messages quote the offending text; a hostile journal's megabyte field must
// not end up whole in a message box. Real journal lines are far shorter.
constexpr qsizetype MaxQuotedLength = 256;

QString Quoted(QStringView text) {
    return ShortenedText(text.toString(), MaxQuotedLength);
}

// ASCII digits only: a sign or a blank would let a shorter date than
// YYYYMMDD through ("2024+3+8"). The parts are at most four characters, so
// no overflow.
int ParseDatePart(QStringView part) {
    int value = 0;
    for (const QChar c : part) {
        if (c < u'0' || c > u'9')
            throw EConvertError(
                Format(QStringLiteral("'%s' is not a valid integer value"), {part.toString()}));
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

enum class TGLLayout { CommaSeparated, FixedWidth };

void SplitGLLine(QStringView line, TGLLayout layout, TFieldViews& fields) {
    if (layout == TGLLayout::CommaSeparated)
        SplitGLCsvLine(line, GLFieldCount, fields);
    else
        SplitGLFixedLine(line, fields);
}

// Comma-separated wins when the first line fits both layouts.
TGLLayout DetectLayout(QStringView firstLine) {
    QString csvError;
    TFieldViews fields;
    try {
        SplitGLCsvLine(firstLine, GLFieldCount, fields);
        return TGLLayout::CommaSeparated;
    } catch (const EztException& e) {
        csvError = e.Message();
    }
    try {
        SplitGLFixedLine(firstLine, fields);
        return TGLLayout::FixedWidth;
    } catch (const EztException& e) {
        throw EztException(
            QStringLiteral("Wrong format of Orvane Journal file. The file is neither "
                           "comma-separated nor fixed-width Orvane Journal file.\r\n"
                           "Error messages are:\r\n") +
            csvError + QStringLiteral("\r\n") + e.Message());
    }
}

struct TTagSplit {
    bool Enabled = false;
    QString Delimiter;
};

// `fields` is the splitter's storage, kept from line to line.
TGLRecord ParseRecord(ICommonLogger& logger, const QString& line, int lineNumber, TGLLayout layout,
                      const TTagSplit& split, const QString& source, TFieldViews& fields) {
    TLogBlockGuard block(logger, QStringLiteral("Parsing GL record"));
    logger.LogContextItem(QStringLiteral("GL record"), line);
    TGLRecord record;
    try {
        SplitGLLine(line, layout, fields);
        record.CompanyCode = fields.Shared(0, fields.At(0));
        record.JournalDate = ParseGLDate(fields.At(1));
        record.Extra1 = fields.Shared(2, fields.At(2));
        record.Extra2 = fields.Shared(3, fields.At(3));
        record.Extra3 = fields.Shared(4, fields.At(4));
        record.GLTag = fields.Shared(5, fields.At(5));
        record.Amount = ParseGLAmount(fields.At(6));
        record.Debit = ParseGLAmount(fields.At(7));
        record.Credit = ParseGLAmount(fields.At(8));
        record.LineNumber = lineNumber;
        // Each amount fits the 64-bit range, their difference need not: a
        // wrapped net amount would be a wrong posting, not a parse.
        qint64 net = 0;
        if (__builtin_sub_overflow(record.Debit.Raw(), record.Credit.Raw(), &net))
            throw EztException(
                Format(QStringLiteral("Net amount of debit %s and credit %s is out of range"),
                       {CurrToStr(record.Debit), CurrToStr(record.Credit)}));
        record.NetAmount = Currency::FromRaw(net);

        QString account = TrimControl(record.GLTag);
        QString classOrName;
        if (split.Enabled) {
            const qsizetype at = account.indexOf(split.Delimiter);
            if (at >= 0) {
                const qsizetype after = at + split.Delimiter.size();
                if (account.indexOf(split.Delimiter, after) >= 0)
                    logger.LogWarningFmt(QStringLiteral("Multiple occurences of delimiter \"%s\" "
                                                        "in GL tag (\"%s\"). Using the leftmost "
                                                        "one."),
                                         {split.Delimiter, account});
                classOrName = account.left(at);
                account = account.mid(after);
            }
        }
        record.ClassOrName = NormalizeFullName(classOrName);
        record.AccountTag = NormalizeFullName(account);
    } catch (...) {
        PassthroughReportLineError(logger, lineNumber, line, source);
    }
    return record;
}

} // namespace

TGLRecordArray ParseGLJournal(ICommonLogger& logger, const QString& reportText,
                              const TQBGLExportParam& param, const QString& source) {
    TLogBlockGuard block(logger, QStringLiteral("Parsing GL records"));
    TGLRecordArray records;
    try {
        TTagSplit split;
        split.Enabled = param.GLTagParsing != gtpDontParse;
        split.Delimiter =
            param.DelimiterInGLTag.isEmpty() ? QStringLiteral(" ") : param.DelimiterInGLTag;

        const QString text = TextReportOrEmpty(reportText);
        std::vector<QStringView> lines = SplitTextLines(text);
        while (!lines.empty() && IsBlankText(lines.back()))
            lines.pop_back();
        if (lines.empty())
            throw EztException(QStringLiteral("Orvane Journal is empty"));

        const QString firstLine = lines.front().toString();
        const TGLLayout layout =
            ParseReportLine(1, firstLine, source, [&] { return DetectLayout(firstLine); });
        records.reserve(lines.size());
        int lineNumber = 0;
        TFieldViews fields;
        for (QStringView line : lines)
            records.push_back(
                ParseRecord(logger, line.toString(), ++lineNumber, layout, split, source, fields));
    } catch (...) {
        logger.PassthroughException();
    }
    return records;
}

QStringList SplitGLCsvLine(const QString& line, int count) {
    TFieldViews fields;
    SplitGLCsvLine(line, count, fields);
    return fields.ToList();
}

void SplitGLCsvLine(QStringView line, int count, TFieldViews& fields) {
    fields.Clear();
    const auto room = [&] {
        if (fields.Count() >= count)
            throw EztException(
                Format(QStringLiteral("Wrong number of fields. Got more than %d fields while "
                                      "parsing <%s>"),
                       {count, Quoted(line)}));
    };
    const QChar* p = line.data();
    const QChar* const end = p + line.size();
    while (p < end) {
        room();
        if (*p == u'"') {
            fields.AppendQuoted(p, end);
        } else {
            const QChar* start = p;
            while (p < end && *p != u',')
                ++p;
            fields.Append(QStringView(start, p - start));
        }
        // Text right after a closing quote starts the next field without a comma.
        if (p < end && *p == u',') {
            ++p;
            if (p == end) {
                room();
                fields.Append(QStringView());
            }
        }
    }
    if (fields.Count() < count)
        throw EztException(Format(QStringLiteral("Wrong number of fields. Expected %d fields, "
                                                 "got %d."),
                                  {count, fields.Count()}));
}

QStringList SplitGLFixedLine(const QString& line) {
    TFieldViews fields;
    SplitGLFixedLine(line, fields);
    return fields.ToList();
}

void SplitGLFixedLine(QStringView line, TFieldViews& fields) {
    fields.Clear();
    // Columns count characters: a character outside the Basic Multilingual
    // Plane is two UTF-16 units and must neither lengthen the line nor be cut.
    const bool pairs =
        std::any_of(line.begin(), line.end(), [](QChar c) { return c.isHighSurrogate(); });
    if (!pairs) {
        if (line.size() != GLFixedLineLength)
            throw EztException(
                Format(QStringLiteral("Wrong length of fixed width record. Expected %d, got %d."),
                       {GLFixedLineLength, CharacterCount(line)}));
        for (int i = 0; i < GLFieldCount; ++i)
            fields.Append(line.mid(FixedStart[i], FixedWidth[i]));
        return;
    }
    const std::vector<qsizetype> at = CharacterOffsets(line);
    const qsizetype length = static_cast<qsizetype>(at.size()) - 1;
    if (length != GLFixedLineLength)
        throw EztException(
            Format(QStringLiteral("Wrong length of fixed width record. Expected %d, got %d."),
                   {GLFixedLineLength, length}));
    for (int i = 0; i < GLFieldCount; ++i) {
        const qsizetype from = at[static_cast<size_t>(FixedStart[i])];
        fields.Append(
            line.mid(from, at[static_cast<size_t>(FixedStart[i] + FixedWidth[i])] - from));
    }
}

QDate ParseGLDate(QStringView text) {
    const QStringView trimmed = TrimControl(text);
    if (trimmed.size() != 8)
        throw EConvertError(Format(QStringLiteral("Wrong date: %s"), {Quoted(text)}));
    const int year = ParseDatePart(trimmed.mid(0, 4));
    const int month = ParseDatePart(trimmed.mid(4, 2));
    const int day = ParseDatePart(trimmed.mid(6, 2));
    // The journal's calendar runs from 1 to 9999, as four digits write it.
    const QDate date(year, month, day);
    if (year < 1 || !date.isValid())
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return date;
}

Currency ParseGLAmount(QStringView text) {
    const QStringView trimmed = TrimControl(text);
    if (trimmed.isEmpty())
        return Currency();
    Currency value;
    if (!Currency::TryParse(trimmed, RegionalSettings().DecimalSeparator, value))
        throw EConvertError(
            Format(QStringLiteral("'%s' is not a valid floating point value"), {Quoted(trimmed)}));
    return value;
}

QString NormalizeFullName(const QString& text) {
    if (!text.contains(u':'))
        return TrimControl(text);
    QStringList parts = text.split(u':');
    for (QString& part : parts)
        part = TrimControl(part);
    return parts.join(u':');
}
