// Small text routines shared by the log writers, the parsers and the views.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>
#include <vector>

// Level x 4 blanks before the text and after every LF; empty text stays empty.
QString IndentText(const QString& text, int level);
// A value with a CR starts on its own line, indented by 4 blanks.
QString FormatContextValue(const QString& value);
// "&", "<", ">", '"', "'" as entities, then CR LF as "<br/>".
QString EscapeHtmlText(const QString& text);
// English plural of a non-empty word unless count is 1: "check" -> "checks",
// "entry" -> "entries", "box" -> "boxes".
QString PluralForm(const QString& word, qint64 count);
// The count and the word in its form for it: "1 company", "3 companies".
QString Counted(qint64 count, const char* word);
// Empty text for a stored component stream (begins with "TPF0"), else the text.
QString TextReportOrEmpty(const QString& data);
// The fields of a line as views: into the line, or into copies of their own
// where a quoted field held doubled quotes. Filled line after line, it keeps
// its storage, so splitting a report allocates next to nothing.
class TFieldViews {
public:
    void Clear();
    void Append(QStringView field) { m_fields.push_back(field); }
    // Reads the double-quoted field that starts at p (on its opening quote)
    // and leaves p after the closing quote; "" inside stands for one quote,
    // and without a closing quote the field runs to end.
    void AppendQuoted(const QChar*& p, const QChar* end);
    qsizetype Count() const { return qsizetype(m_fields.size()); }
    QStringView At(qsizetype index) const { return m_fields[size_t(index)]; }
    QStringList ToList() const;
    // A text taken from field `index` as a string. One equal to the text the
    // same field gave on the line before shares that copy: a pay period, a
    // company code, a date repeat down a report.
    QString Shared(qsizetype index, QStringView text);

private:
    std::vector<QStringView> m_fields;
    std::vector<QString> m_recent;   // by field position
    std::vector<QString> m_unquoted; // moving a QString keeps its characters in place
    size_t m_unquotedUsed = 0;
};

// Strict comma text: white space (codes 1..32) around fields dropped, double
// quotes enclose fields with doubled quotes inside. Throws EztException
// "Invalid delimited text" for text after a field that is not a comma.
QStringList SplitCommaText(const QString& line);
void SplitCommaText(QStringView line, TFieldViews& fields);
// The position of the first CR or LF, -1 when there is none; short texts
// are searched four characters at a time.
qsizetype FindLineBreak(QStringView text);
// The lines of a text ending with CR LF, CR or LF; the views point into text.
std::vector<QStringView> SplitTextLines(const QString& text);
// True when every character has a code up to 32 (control characters, blank).
bool IsBlankText(QStringView text);
// Removes leading and trailing characters with codes up to 32.
QString TrimControl(const QString& text);
QStringView TrimControl(QStringView text);
// A whole number in decimal, with an optional sign. Throws EConvertError
// "'%s' is not a valid integer value".
int StrToInt(const QString& text);
// The UTF-16 offset of every character (code point) of the text, followed by
// the text's size: a surrogate pair is one character, a lone surrogate too.
std::vector<qsizetype> CharacterOffsets(QStringView text);
// The number of characters (code points), as a reader counts them.
qsizetype CharacterCount(QStringView text);
// The text when it has at most `count` characters, else its first `count`
// characters and "...": how messages quote values that may be huge. Never
// splits a surrogate pair.
QString ShortenedText(const QString& text, qsizetype count);
// The most bytes a report may have, read from a file or answered by the
// payroll service: far beyond any payroll's, and what memory can afford.
constexpr qint64 MaxReportBytes = qint64(256) * 1024 * 1024;
// Decodes report bytes: UTF-8 when they are valid UTF-8, else Windows-1252.
QString DecodeReportBytes(const QByteArray& bytes);
// The value of a hexadecimal digit; -1 for any other character.
int HexDigitValue(QChar c);
// C0 and C1 control characters and DEL.
bool IsControlChar(QChar c);
// The marks and overrides of bidirectional text (U+061C, U+200E, U+200F,
// U+202A to U+202E, U+2066 to U+2069): shown raw, they reorder what
// follows them, so a payee could make a line read otherwise.
bool IsBidiControlChar(QChar c);
// Every control character (C0, DEL, C1) as "\xNN" and every bidirectional
// control as "\uNNNN", so that text taken from input never reaches a log
// or the screen raw; TAB, LF and CR stay, as text of several lines is laid
// out with them.
QString EscapeControlChars(const QString& text);
// The same for text shown on one line: TAB, LF and CR escaped too.
QString EscapeControlCharsInLine(const QString& text);
// The same for what a terminal shows: TAB and LF stay (columns and lines),
// CR LF too; a lone CR, which would let text overwrite its line, is
// escaped.
QString EscapeTerminalText(const QString& text);
// Every CR LF, CR and LF as CR LF.
QString NormaliseLineBreaks(const QString& text);
