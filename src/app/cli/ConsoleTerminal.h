// Whether the program's standard input is an interactive terminal, so a
// question may be asked there; piped or redirected input never answers one.
#pragma once

#include <QString>
#include <functional>
#include <optional>

bool StdinIsTerminal();

// Reads one line from the terminal without echoing it, after writing the
// prompt to standard error; nothing at the end of input.
std::optional<QString> ReadHiddenLine(const QString& prompt);

// While it lives, the first Ctrl+C calls onInterrupt on the thread of the
// message loop instead of ending the program; a second one ends it as usual.
class TConsoleInterrupt {
public:
    explicit TConsoleInterrupt(std::function<void()> onInterrupt);
    ~TConsoleInterrupt();
    TConsoleInterrupt(const TConsoleInterrupt&) = delete;
    TConsoleInterrupt& operator=(const TConsoleInterrupt&) = delete;

private:
    struct TState;
    TState* m_state;
};
