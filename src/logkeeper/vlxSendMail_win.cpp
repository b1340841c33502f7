#include "logkeeper/vlxSendMail.h"

#include "base/ztFormat.h"

#include <QDir>
#include <QRegularExpression>
#include <string>
#include <vector>

// windows.h first: the SDK headers after it use its types without including it.
#include <windows.h>

#include <mapi.h>

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

QString SystemErrorText(DWORD error) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, error, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text;
    if (length && buffer)
        text = QString::fromWCharArray(buffer, static_cast<int>(length)).trimmed();
    if (buffer)
        ::LocalFree(buffer);
    return Format("System Error.  Code: %d.\r\n%s", {static_cast<long long>(error), text});
}

// Simple MAPI takes 8-bit text in the system code page.
std::string Ansi(const QString& text) {
    return text.toLocal8Bit().toStdString();
}

} // namespace

void CheckMapiResult(int result) {
    if (result == 0)
        return;
    const QString message = MapiResultMessage(result);
    if (!message.isEmpty())
        throw EMapiError(result, message);
    throw EztException(SystemErrorText(::GetLastError()));
}

void SendMail(const QString& recipients, const QString& subject, const QString& body,
              const QString& attachments, const TCommandRunner&) {
    HMODULE mapi = ::LoadLibraryW(L"MAPI32.DLL");
    auto sendMail = mapi ? reinterpret_cast<LPMAPISENDMAIL>(
                               reinterpret_cast<void (*)()>(::GetProcAddress(mapi, "MAPISendMail")))
                         : nullptr;
    if (!sendMail) {
        if (mapi)
            ::FreeLibrary(mapi);
        CheckMapiResult(MAPI_E_USER_ABORT); // no mail client: as if cancelled
        return;
    }

    const QStringList to = Lines(recipients);
    const QStringList files = Lines(attachments);
    std::vector<std::string> names, addresses, paths;
    for (const QString& line : to) {
        names.push_back(Ansi(line));
        addresses.push_back(Ansi(QStringLiteral("SMTP:") + line));
    }
    for (const QString& file : files)
        paths.push_back(Ansi(QDir::toNativeSeparators(file)));

    std::vector<MapiRecipDesc> recipientList(names.size());
    for (size_t i = 0; i < names.size(); ++i) {
        recipientList[i] = MapiRecipDesc{};
        recipientList[i].ulRecipClass = MAPI_TO;
        recipientList[i].lpszName = names[i].data();
        recipientList[i].lpszAddress = addresses[i].data();
    }
    std::vector<MapiFileDesc> fileList(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        fileList[i] = MapiFileDesc{};
        fileList[i].nPosition = static_cast<ULONG>(-1);
        fileList[i].lpszPathName = paths[i].data();
    }
    std::string subjectText = Ansi(subject);
    std::string bodyText = Ansi(body);
    MapiMessage message{};
    message.lpszSubject = subjectText.data();
    message.lpszNoteText = bodyText.data();
    message.nRecipCount = static_cast<ULONG>(recipientList.size());
    message.lpRecips = recipientList.empty() ? nullptr : recipientList.data();
    message.nFileCount = static_cast<ULONG>(fileList.size());
    message.lpFiles = fileList.empty() ? nullptr : fileList.data();

    // The compose window, always: MAPI_LOGON_UI | MAPI_NEW_SESSION | MAPI_DIALOG | 0x40.
    const ULONG result =
        sendMail(0, reinterpret_cast<ULONG_PTR>(::GetActiveWindow()), &message, 0x4B, 0);
    ::FreeLibrary(mapi);
    CheckMapiResult(static_cast<int>(result));
}

bool MailClientHasTakenAttachments() {
    return true;
}

void ShowFileInExplorer(const QString& fileName, const TCommandRunner&) {
    std::wstring commandLine =
        Format("explorer.exe /select, \"%s\"", {QDir::toNativeSeparators(fileName)}).toStdWString();
    STARTUPINFOW startup{};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process{};
    if (!::CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                          &startup, &process))
        throw EztException(SystemErrorText(::GetLastError()));
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
}
