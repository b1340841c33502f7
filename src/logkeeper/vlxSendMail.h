// Handing a file to the desktop: mail it through the workstation's mail
// client, show it in the file manager. One interface, one implementation a
// system: vlxSendMail_win.cpp (Simple MAPI, Explorer), vlxSendMail_unix.cpp
// (xdg-email, the file manager over D-Bus).
#pragma once

#include "base/ztExceptions.h"

#include <QString>
#include <QStringList>
#include <functional>

// A failed Simple MAPI call; Result is the MAPI result code.
class EMapiError : public EztException {
public:
    EMapiError(int result, const QString& message) : EztException(message), m_result(result) {}
    int Result() const { return m_result; }

private:
    int m_result;
};

// A program started for the desktop (on Unix the mail composer and the
// file manager are reached this way).
struct TShellCommand {
    QString Program;
    QStringList Arguments;
};
// Runs a command to its end; returns its exit code, or -1 when it could not
// be started. Tests pass their own to see the command without running it.
using TCommandRunner = std::function<int(const TShellCommand&)>;
int RunShellCommand(const TShellCommand& command);

// The message of a Simple MAPI result; empty for 0 and for codes without a
// message of their own.
QString MapiResultMessage(int result);
// Throws EMapiError for a result with a message of its own, EztException
// with the system's last error for any other failure; returns on 0.
void CheckMapiResult(int result);

// Opens the mail client's compose window with the message prepared:
// recipients and attachments one a line, blank lines ignored. A machine
// without a mail client behaves as if the user cancelled (MAPI result 1).
// Windows: MAPISendMail with MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG.
// Unix: xdg-email; runner defaults to RunShellCommand.
void SendMail(const QString& recipients, const QString& subject, const QString& body,
              const QString& attachments, const TCommandRunner& runner = {});

// True when the mail client has its own copy of the attachments by the time
// SendMail returns (Simple MAPI: the compose window has closed), so the
// files may be deleted. xdg-email returns while the composer may still read
// them later.
bool MailClientHasTakenAttachments();

// Shows the file selected in the file manager (Explorer /select on
// Windows; on Unix the file manager's ShowItems over D-Bus, else the folder
// opened by xdg-open). Throws EztException when nothing could be started.
void ShowFileInExplorer(const QString& fileName, const TCommandRunner& runner = {});
