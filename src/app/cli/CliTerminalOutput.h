// What orvq-cli writes to the console passes here: text from reports, the
// ledger, QuickBooks and the payroll service reaches the terminal with its
// control and bidirectional characters escaped (EscapeTerminalText), so a
// payee cannot move the cursor, recolour the terminal or reorder a line.
#pragma once

#include <QFile>
#include <QIODevice>
#include <QStringDecoder>
#include <QTextStream>

class TTerminalOutput : public QIODevice {
public:
    // console: open for writing; a file device is flushed after each write,
    // so what a command flushes shows at once.
    explicit TTerminalOutput(QIODevice& console);
    ~TTerminalOutput() override;
    TTerminalOutput(const TTerminalOutput&) = delete;
    TTerminalOutput& operator=(const TTerminalOutput&) = delete;

    // The stream the commands write to (TCliEnvironment::Out, Err).
    QTextStream& Stream() { return m_stream; }

protected:
    qint64 readData(char* data, qint64 maxSize) override;
    qint64 writeData(const char* data, qint64 size) override;

private:
    QIODevice& m_console;
    // Keeps a character split between two writes.
    QStringDecoder m_decoder{QStringDecoder::Utf8};
    QString m_pendingCr;
    QTextStream m_stream;
};

// The process's standard output and error, each through a TTerminalOutput:
// what orvq-cli and the tests' child of it write to.
class TConsoleOutputs {
public:
    TConsoleOutputs();
    QTextStream& Out() { return m_out.Stream(); }
    QTextStream& Err() { return m_err.Stream(); }

private:
    QFile m_stdout;
    QFile m_stderr;
    TTerminalOutput m_out{m_stdout};
    TTerminalOutput m_err{m_stderr};
};
