#include "logkeeper/vlxSendMail.h"

#include "base/ztFormat.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <cerrno>
#include <cstring>

namespace {

QStringList Lines(const QString& text) {
    QStringList lines;
    for (const QString& line : text.split(QRegularExpression(QStringLiteral("\r\n|\r|\n")))) {
        const QString trimmed = line.trimmed();
        if (!trimmed.isEmpty())
            lines << trimmed;
    }
    return lines;
}

// xdg-email's exit codes as MAPI results, so both systems report alike.
int MapiResultOfXdgEmail(int exitCode) {
    switch (exitCode) {
    case 0:
        return 0;
    case -1: // not installed
    case 3:  // no mail composer found
        return 1;
    case 2: // a file does not exist
        return 11;
    case 5: // no permission to read a file
        return 12;
    default:
        return 2;
    }
}

} // namespace

void CheckMapiResult(int result) {
    if (result == 0)
        return;
    const QString message = MapiResultMessage(result);
    if (!message.isEmpty())
        throw EMapiError(result, message);
    throw EztException(Format("Sending the mail failed with result %d", {result}));
}

void SendMail(const QString& recipients, const QString& subject, const QString& body,
              const QString& attachments, const TCommandRunner& runner) {
    TShellCommand command{QStringLiteral("xdg-email"), {QStringLiteral("--utf8")}};
    command.Arguments << QStringLiteral("--subject") << subject;
    if (!body.isEmpty())
        command.Arguments << QStringLiteral("--body") << body;
    for (const QString& file : Lines(attachments))
        command.Arguments << QStringLiteral("--attach") << file;
    command.Arguments << Lines(recipients);
    const int exitCode = runner ? runner(command) : RunShellCommand(command);
    CheckMapiResult(MapiResultOfXdgEmail(exitCode));
}

bool MailClientHasTakenAttachments() {
    return false;
}

void ShowFileInExplorer(const QString& fileName, const TCommandRunner& runner) {
    const TCommandRunner run = runner ? runner : TCommandRunner(RunShellCommand);
    const QString absolute = QFileInfo(fileName).absoluteFilePath();
    // A GVariant string list; a quote inside the URI would end the literal.
    QString uri = QString::fromUtf8(QUrl::fromLocalFile(absolute).toEncoded());
    uri.replace(u'\'', QStringLiteral("%27"));
    const TShellCommand showItems{
        QStringLiteral("gdbus"),
        {QStringLiteral("call"), QStringLiteral("--session"), QStringLiteral("--dest"),
         QStringLiteral("org.freedesktop.FileManager1"), QStringLiteral("--object-path"),
         QStringLiteral("/org/freedesktop/FileManager1"), QStringLiteral("--method"),
         QStringLiteral("org.freedesktop.FileManager1.ShowItems"),
         QStringLiteral("['") + uri + QStringLiteral("']"), QStringLiteral("")}};
    if (run(showItems) == 0)
        return;
    // No file manager on the session bus: at least open the folder.
    const TShellCommand openFolder{QStringLiteral("xdg-open"),
                                   {QFileInfo(absolute).absolutePath()}};
    const int exitCode = run(openFolder);
    if (exitCode != 0)
        throw EztException(Format("Cannot show the file <%s>: neither the file manager nor "
                                  "xdg-open could be started (exit code %d)",
                                  {QDir::toNativeSeparators(absolute), exitCode}));
}
