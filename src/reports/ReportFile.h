// Reading a saved report file as text, and naming a line of a report in a
// parser's message.
#pragma once

#include "base/ztExceptions.h"
#include "logging/vlxcommonlogger.h"

#include <QString>
#include <QStringView>

// The whole file as text: UTF-8 when it is valid UTF-8, else Windows-1252.
// Throws EztException naming the file and the reason when it cannot be read,
// when it is no regular file (a pipe, a device, a folder) and, before
// reading it, when it has more than MaxReportBytes.
QString ReadReportFile(const QString& fileName);

// The message of a failing report line with the line named, when source
// (a file's path, or the report's name) is given:
// "<message> (line 3 of <source>: <the line, control characters escaped>)";
// a long line is shortened. Without a source the message is unchanged.
QString ReportLineMessage(const QString& message, int lineNumber, QStringView line,
                          const QString& source);

// Inside the handler of a report line's failure: throws it again, an
// EztException with the line named in its message (ReportLineMessage).
[[noreturn]] void RethrowNamingLine(int lineNumber, QStringView line, const QString& source);

// Inside the handler of a report line's failure, in the line's log block:
// logs it there once, its message naming the line, and passes it on.
[[noreturn]] void PassthroughReportLineError(ICommonLogger& logger, int lineNumber,
                                             QStringView line, const QString& source);

// Runs parse; an EztException it throws leaves with the line named in its
// message.
template <typename Parse>
auto ParseReportLine(int lineNumber, QStringView line, const QString& source, Parse parse)
    -> decltype(parse()) {
    try {
        return parse();
    } catch (...) {
        RethrowNamingLine(lineNumber, line, source);
    }
}
