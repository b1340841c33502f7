#include "reports/ReportFile.h"

#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"

#include <QFile>

QString ReadReportFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EztException(
            Format(QStringLiteral("Cannot open file \"%s\". %s"), {fileName, file.errorString()}));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EztException(
            Format(QStringLiteral("Cannot read file \"%s\". %s"), {fileName, file.errorString()}));
    return DecodeReportBytes(bytes);
}

QString ReportLineMessage(const QString& message, int lineNumber, QStringView line,
                          const QString& source) {
    if (source.isEmpty())
        return message;
    // A hostile report's megabyte line must not end up whole in a box.
    constexpr qsizetype MaxShownLength = 256;
    return Format(QStringLiteral("%s (line %d of %s: <%s>)"),
                  {message, lineNumber, source,
                   EscapeControlCharsInLine(ShortenedText(line.toString(), MaxShownLength))});
}

void RethrowNamingLine(int lineNumber, QStringView line, const QString& source) {
    try {
        throw;
    } catch (const EztException& e) {
        if (source.isEmpty())
            throw;
        throw EztException(ReportLineMessage(e.Message(), lineNumber, line, source));
    }
}

void PassthroughReportLineError(ICommonLogger& logger, int lineNumber, QStringView line,
                                const QString& source) {
    try {
        RethrowNamingLine(lineNumber, line, source);
    } catch (...) {
        logger.PassthroughException();
    }
}
