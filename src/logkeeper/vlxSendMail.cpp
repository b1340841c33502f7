#include "logkeeper/vlxSendMail.h"

#include <QProcess>

int RunShellCommand(const TShellCommand& command) {
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.setInputChannelMode(QProcess::ForwardedInputChannel);
    process.start(command.Program, command.Arguments);
    if (!process.waitForStarted(-1))
        return -1;
    process.waitForFinished(-1);
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    return process.exitCode();
}

QString MapiResultMessage(int result) {
    switch (result) {
    case 1:
        return QStringLiteral("The user canceled one of the dialog boxes; no message was sent.");
    case 2:
        return QStringLiteral("One or more unspecified errors occurred; no message was sent.");
    case 3:
        return QStringLiteral(
            "There was no default logon, and the user failed to log on successfully when the "
            "logon dialog box was displayed. No message was sent.");
    case 5:
        return QStringLiteral("There was insufficient memory to proceed. No message was sent.");
    case 9:
        return QStringLiteral("There were too many file attachments; no message was sent.");
    case 10:
        return QStringLiteral("There were too many recipients; no message was sent.");
    case 11:
        return QStringLiteral("The specified attachment was not found. No message was sent.");
    case 12:
        return QStringLiteral("The specified attachment could not be open; no message was sent.");
    case 14:
        return QStringLiteral("A recipient did not appear in the address list; no message was "
                              "sent.");
    case 15:
        return QStringLiteral("The type of a recipient was not MAPI_TO, MAPI_CC, or MAPI_BCC. No "
                              "message was sent.");
    case 18:
        return QStringLiteral("The text in the message was too large to sent; the message was "
                              "not sent.");
    case 21:
        return QStringLiteral("A recipient matched more than one of the recipient descriptor "
                              "structures and MAPI_DIALOG was not set. No message was sent.");
    default:
        return QString();
    }
}
