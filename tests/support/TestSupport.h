// Small helpers shared by the tests.
#pragma once

#include <QByteArray>
#include <QString>

namespace testsupport {

// Path of a fixture below tests/data.
QString DataPath(const QString& relative);
QByteArray ReadFile(const QString& path);

} // namespace testsupport
