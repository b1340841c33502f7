#include "CliTerminalOutput.h"

#include "base/vlxTextUtils.h"

#include <QFileDevice>

TTerminalOutput::TTerminalOutput(QIODevice& console) : m_console(console) {
    open(QIODevice::WriteOnly);
    m_stream.setDevice(this);
}

TTerminalOutput::~TTerminalOutput() {
    m_stream.flush();
}

qint64 TTerminalOutput::readData(char*, qint64) {
    return -1;
}

qint64 TTerminalOutput::writeData(const char* data, qint64 size) {
    const QString text = m_decoder.decode(QByteArrayView(data, qsizetype(size)));
    const QByteArray bytes = EscapeTerminalText(text).toUtf8();
    if (m_console.write(bytes) != bytes.size())
        return -1;
    if (auto* file = qobject_cast<QFileDevice*>(&m_console))
        file->flush();
    return size;
}
