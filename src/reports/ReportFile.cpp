#include "reports/ReportFile.h"

#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"

#include <QFile>
#include <QFileInfo>

QString ReadReportFile(const QString& fileName) {
    // A pipe would block the run and a device never end: only a regular
    // file has its size known before it is read.
    const auto notRegular = [&] {
        return EztException(Format(
            QStringLiteral("Cannot read file \"%s\". It is not a regular file."), {fileName}));
    };
    const QFileInfo info(fileName);
    if (info.exists() && !info.isFile())
        throw notRegular();
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EztException(
            Format(QStringLiteral("Cannot open file \"%s\". %s"), {fileName, file.errorString()}));
    if (file.isSequential())
        throw notRegular();
    const auto tooLarge = [&](qint64 size) {
        return EztException(Format(QStringLiteral("Cannot read file \"%s\". It has %d bytes, more "
                                                  "than the %d MB a report can have."),
                                   {fileName, size, MaxReportBytes / (1024 * 1024)}));
    };
    const qint64 size = file.size();
    if (size > MaxReportBytes)
        throw tooLarge(size);
    QByteArray bytes;
    bytes.reserve(qsizetype(size));
    // In pieces, so a file that grows while it is read stays within the bound.
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    qint64 n = 0;
    while ((n = file.read(piece.data(), piece.size())) > 0) {
        if (bytes.size() + n > MaxReportBytes)
            throw tooLarge(bytes.size() + n);
        bytes.append(piece.constData(), qsizetype(n));
    }
    if (n < 0 || file.error() != QFileDevice::NoError)
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
