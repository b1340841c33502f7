#include "reports/OrvGLParser.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"
#include "logging/vlxcommonlogger.h"
#include "reports/ReportFile.h"

namespace {

// Column starts (0-based) and widths of the fixed-width layout.
constexpr int FixedStart[GLFieldCount] = {0, 4, 12, 18, 24, 30, 45, 59, 73};
constexpr int FixedWidth[GLFieldCount] = {4, 8, 6, 6, 6, 15, 14, 14, 14};
static_assert(FixedStart[GLFieldCount - 1] + FixedWidth[GLFieldCount - 1] == GLFixedLineLength);

// Messages quote the offending text; a hostile journal's megabyte field must
// not end up whole in a message box. Real journal lines are far shorter.
constexpr qsizetype MaxQuotedLength = 256;

QString Quoted(const QString& text) {
    return ShortenedText(text, MaxQuotedLength);
}

// An optional sign and one or more ASCII digits; the parts are at most four
// characters, so no overflow.
int ParseDatePart(const QString& part) {
    qsizetype i = 0;
    const bool negative = !part.isEmpty() && part[0] == u'-';
    if (!part.isEmpty() && (part[0] == u'-' || part[0] == u'+'))
        ++i;
    if (i == part.size())
        throw EConvertError(Format(QStringLiteral("'%s' is not a valid integer value"), {part}));
    int value = 0;
    for (; i < part.size(); ++i) {
        const QChar c = part[i];
        if (c < u'0' || c > u'9')
            throw EConvertError(
                Format(QStringLiteral("'%s' is not a valid integer value"), {part}));
        value = value * 10 + (c.unicode() - u'0');
    }
    return negative ? -value : value;
}

enum class TGLLayout { CommaSeparated, FixedWidth };

QStringList SplitGLLine(const QString& line, TGLLayout layout) {
    return layout == TGLLayout::CommaSeparated ? SplitGLCsvLine(line, GLFieldCount)
                                               : SplitGLFixedLine(line);
}

// Comma-separated wins when the first line fits both layouts.
TGLLayout DetectLayout(const QString& firstLine) {
    QString csvError;
    try {
        SplitGLCsvLine(firstLine, GLFieldCount);
        return TGLLayout::CommaSeparated;
    } catch (const EztException& e) {
        csvError = e.Message();
    }
    try {
        SplitGLFixedLine(firstLine);
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

TGLRecord ParseRecord(ICommonLogger& logger, const QString& line, int lineNumber, TGLLayout layout,
                      const TTagSplit& split, const QString& source) {
    TLogBlockGuard block(logger, QStringLiteral("Parsing GL record"));
    logger.LogContextItem(QStringLiteral("GL record"), line);
    TGLRecord record;
    try {
        const QStringList fields = SplitGLLine(line, layout);
        record.CompanyCode = fields[0];
        record.JournalDate = ParseGLDate(fields[1]);
        record.Extra1 = fields[2];
        record.Extra2 = fields[3];
        record.Extra3 = fields[4];
        record.GLTag = fields[5];
        record.Amount = ParseGLAmount(fields[6]);
        record.Debit = ParseGLAmount(fields[7]);
        record.Credit = ParseGLAmount(fields[8]);
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
        for (QStringView line : lines)
            records.push_back(
                ParseRecord(logger, line.toString(), ++lineNumber, layout, split, source));
    } catch (...) {
        logger.PassthroughException();
    }
    return records;
}

QStringList SplitGLCsvLine(const QString& line, int count) {
    QStringList fields;
    const auto store = [&](QString field) {
        if (fields.size() >= count)
            throw EztException(
                Format(QStringLiteral("Wrong number of fields. Got more than %d fields while "
                                      "parsing <%s>"),
                       {count, Quoted(line)}));
        fields.append(std::move(field));
    };
    const QChar* p = line.constData();
    const QChar* const end = p + line.size();
    while (p < end) {
        QString field;
        if (*p == u'"') {
            field = ReadQuotedField(p, end);
        } else {
            const QChar* start = p;
            while (p < end && *p != u',')
                ++p;
            field = QString(start, p - start);
        }
        store(std::move(field));
        // Text right after a closing quote starts the next field without a comma.
        if (p < end && *p == u',') {
            ++p;
            if (p == end)
                store(QString());
        }
    }
    if (fields.size() < count)
        throw EztException(Format(QStringLiteral("Wrong number of fields. Expected %d fields, "
                                                 "got %d."),
                                  {count, fields.size()}));
    return fields;
}

QStringList SplitGLFixedLine(const QString& line) {
    // Columns count characters: a character outside the Basic Multilingual
    // Plane is two UTF-16 units and must neither lengthen the line nor be cut.
    const std::vector<qsizetype> at = CharacterOffsets(line);
    const qsizetype length = static_cast<qsizetype>(at.size()) - 1;
    if (length != GLFixedLineLength)
        throw EztException(
            Format(QStringLiteral("Wrong length of fixed width record. Expected %d, got %d."),
                   {GLFixedLineLength, length}));
    QStringList fields;
    fields.reserve(GLFieldCount);
    for (int i = 0; i < GLFieldCount; ++i) {
        const qsizetype from = at[static_cast<size_t>(FixedStart[i])];
        fields.append(
            line.mid(from, at[static_cast<size_t>(FixedStart[i] + FixedWidth[i])] - from));
    }
    return fields;
}

QDate ParseGLDate(const QString& text) {
    const QString trimmed = TrimControl(text);
    if (trimmed.size() != 8)
        throw EConvertError(Format(QStringLiteral("Wrong date: %s"), {Quoted(text)}));
    const int year = ParseDatePart(trimmed.mid(0, 4));
    const int month = ParseDatePart(trimmed.mid(4, 2));
    const int day = ParseDatePart(trimmed.mid(6, 2));
    // QDate knows negative years; the journal's calendar runs from 1 to 9999.
    const QDate date(year, month, day);
    if (year < 1 || year > 9999 || !date.isValid())
        throw EConvertError(QStringLiteral("Invalid argument to date encode"));
    return date;
}

Currency ParseGLAmount(const QString& text) {
    const QString trimmed = TrimControl(text);
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
