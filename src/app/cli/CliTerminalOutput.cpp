#include "CliTerminalOutput.h"

#include "base/vlxTextUtils.h"

#include <QFileDevice>

TTerminalOutput::TTerminalOutput(QIODevice& console) : m_console(console) {
    open(QIODevice::WriteOnly);
    m_stream.setDevice(this);
}

TTerminalOutput::~TTerminalOutput() {
    m_stream.flush();
    if (!m_pendingCr.isEmpty())
        m_console.write(EscapeTerminalText(m_pendingCr).toUtf8());
}

qint64 TTerminalOutput::readData(char*, qint64) {
    return -1;
}

qint64 TTerminalOutput::writeData(const char* data, qint64 size) {
    QString text = m_pendingCr;
    text += QString(m_decoder.decode(QByteArrayView(data, qsizetype(size))));
    // A CR at the end may begin a CR LF that the next write completes.
    m_pendingCr = text.endsWith(u'\r') ? QStringLiteral("\r") : QString();
    if (!m_pendingCr.isEmpty())
        text.chop(1);
    const QByteArray bytes = EscapeTerminalText(text).toUtf8();
    if (m_console.write(bytes) != bytes.size())
        return -1;
    if (auto* file = qobject_cast<QFileDevice*>(&m_console))
        file->flush();
    return size;
}

TConsoleOutputs::TConsoleOutputs() {
    m_stdout.open(stdout, QIODevice::WriteOnly);
    m_stderr.open(stderr, QIODevice::WriteOnly);
}
