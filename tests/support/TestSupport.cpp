#include "TestSupport.h"

#include <QFile>
#include <QtTest>

namespace testsupport {

QString DataPath(const QString& relative) {
    return qEnvironmentVariable("ORVQ_TEST_DATA") + u'/' + relative;
}

QByteArray ReadFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(path));
    return file.readAll();
}

} // namespace testsupport
