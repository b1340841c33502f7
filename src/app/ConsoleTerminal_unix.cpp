#include "ConsoleTerminal.h"

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <memory>
#include <string>
#include <termios.h>
#include <unistd.h>

bool StdinIsTerminal() {
    return isatty(STDIN_FILENO) == 1;
}

std::optional<QString> ReadHiddenLine(const QString& prompt) {
    std::fputs(prompt.toLocal8Bit().constData(), stderr);
    std::fflush(stderr);
    termios saved{};
    const bool terminal = tcgetattr(STDIN_FILENO, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    std::string line;
    bool gotLine = false;
    for (int c = std::fgetc(stdin); c != EOF; c = std::fgetc(stdin)) {
        gotLine = true;
        if (c == '\n')
            break;
        line.push_back(char(c));
    }
    if (terminal)
        tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
    std::fputs("\n", stderr);
    if (!gotLine)
        return std::nullopt;
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return QString::fromLocal8Bit(line.data(), qsizetype(line.size()));
}

// The signal handler only writes a byte into a pipe; the notifier hands it to
// the message loop, where anything may be done.
namespace {
int g_interruptPipe[2] = {-1, -1};

void OnSigint(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t written = write(g_interruptPipe[1], &byte, 1);
    std::signal(SIGINT, SIG_DFL); // a second Ctrl+C ends the program
    errno = saved;
}
} // namespace

struct TConsoleInterrupt::TState {
    std::function<void()> OnInterrupt;
    std::unique_ptr<QSocketNotifier> Notifier;
    struct sigaction Previous {};
    bool Installed = false;
};

TConsoleInterrupt::TConsoleInterrupt(std::function<void()> onInterrupt) : m_state(new TState) {
    m_state->OnInterrupt = std::move(onInterrupt);
    // One at a time: a nested one leaves the outer in charge.
    if (g_interruptPipe[0] >= 0 || pipe(g_interruptPipe) != 0)
        return;
    fcntl(g_interruptPipe[0], F_SETFL, O_NONBLOCK);
    fcntl(g_interruptPipe[1], F_SETFL, O_NONBLOCK);
    m_state->Notifier =
        std::make_unique<QSocketNotifier>(g_interruptPipe[0], QSocketNotifier::Read);
    TState* state = m_state;
    QObject::connect(state->Notifier.get(), &QSocketNotifier::activated, [state] {
        char byte = 0;
        while (read(g_interruptPipe[0], &byte, 1) > 0) {
        }
        if (state->OnInterrupt)
            state->OnInterrupt();
    });
    struct sigaction action {};
    action.sa_handler = &OnSigint;
    sigemptyset(&action.sa_mask);
    m_state->Installed = sigaction(SIGINT, &action, &m_state->Previous) == 0;
}

TConsoleInterrupt::~TConsoleInterrupt() {
    if (m_state->Notifier) {
        if (m_state->Installed)
            sigaction(SIGINT, &m_state->Previous, nullptr);
        m_state->Notifier.reset();
        close(g_interruptPipe[0]);
        close(g_interruptPipe[1]);
        g_interruptPipe[0] = g_interruptPipe[1] = -1;
    }
    delete m_state;
}
