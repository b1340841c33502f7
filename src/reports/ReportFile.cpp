#include "reports/ReportFile.h"

#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "base/ztFormat.h"

#include <QFile>

QString ReadReportFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw EztException(
            Format(QStringLiteral("Cannot open file \"%s\". %s"), {fileName, file.errorString()}));
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw EztException(
            Format(QStringLiteral("Cannot read file \"%s\". %s"), {fileName, file.errorString()}));
    return DecodeReportBytes(bytes);
}
