#include "ConsoleTerminal.h"

#include <QCoreApplication>
#include <QMetaObject>
#include <QPointer>
#include <atomic>
#include <cstdio>
#include <cwchar>
#include <io.h>
#include <windows.h>

bool StdinIsTerminal() {
    return _isatty(_fileno(stdin)) != 0;
}

std::optional<QString> ReadHiddenLine(const QString& prompt) {
    std::fputws(reinterpret_cast<const wchar_t*>(prompt.utf16()), stderr);
    std::fflush(stderr);
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    DWORD savedMode = 0;
    const bool console = GetConsoleMode(input, &savedMode) != 0;
    if (!console)
        return std::nullopt;
    SetConsoleMode(input, (savedMode & ~DWORD(ENABLE_ECHO_INPUT)) | ENABLE_LINE_INPUT);
    QString line;
    bool gotLine = false;
    for (;;) {
        wchar_t c = 0;
        DWORD read = 0;
        if (!ReadConsoleW(input, &c, 1, &read, nullptr) || read == 0)
            break;
        gotLine = true;
        if (c == L'\n')
            break;
        if (c != L'\r')
            line.append(QChar(c));
    }
    SetConsoleMode(input, savedMode);
    std::fputs("\n", stderr);
    if (!gotLine)
        return std::nullopt;
    return line;
}

// The console's control handler runs on a thread of its own; the call is
// handed to the message loop.
namespace {
std::atomic<bool> g_armed{false};
std::function<void()>* g_onInterrupt = nullptr;

BOOL WINAPI OnCtrl(DWORD type) {
    if (type != CTRL_C_EVENT || !g_armed.exchange(false))
        return FALSE; // a second Ctrl+C ends the program
    QMetaObject::invokeMethod(
        QCoreApplication::instance(),
        [] {
            if (g_onInterrupt && *g_onInterrupt)
                (*g_onInterrupt)();
        },
        Qt::QueuedConnection);
    return TRUE;
}
} // namespace

struct TConsoleInterrupt::TState {
    std::function<void()> OnInterrupt;
    bool Installed = false;
};

TConsoleInterrupt::TConsoleInterrupt(std::function<void()> onInterrupt) : m_state(new TState) {
    m_state->OnInterrupt = std::move(onInterrupt);
    if (g_onInterrupt || !QCoreApplication::instance())
        return;
    g_onInterrupt = &m_state->OnInterrupt;
    g_armed = true;
    m_state->Installed = SetConsoleCtrlHandler(&OnCtrl, TRUE) != 0;
}

TConsoleInterrupt::~TConsoleInterrupt() {
    if (g_onInterrupt == &m_state->OnInterrupt) {
        g_armed = false;
        if (m_state->Installed)
            SetConsoleCtrlHandler(&OnCtrl, FALSE);
        g_onInterrupt = nullptr;
    }
    delete m_state;
}
