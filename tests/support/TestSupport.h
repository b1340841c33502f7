// Small helpers shared by the tests.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testsupport {

// Path of a fixture below tests/data.
QString DataPath(const QString& relative);
QByteArray ReadFile(const QString& path);
// The golden file below tests/data, for QCOMPARE(actual, Golden(...)). When
// they differ the actual text is written beside the build's temporary files
// (or over the golden file with ORVQ_UPDATE_GOLDEN=1) for a diff.
QString Golden(const QString& relative, const QString& actual);
// Group's and others' access to a file or folder as Unix mode digits: "0"
// for none, "44" for read access; "missing" when it is not there.
QString OthersAccess(const QString& path);
// The indented example of README.md that begins with the line firstLine, as
// a user copies it: without the indent, lines ending with LF.
QByteArray ReadmeExample(const QString& firstLine);

// Runs the openssl program in dir; on failure error names the step.
bool RunOpenssl(const QString& dir, const QStringList& args, QString* error);
// Makes in dir, with the openssl program, a test CA (ca.pem, ca.key), a
// server certificate it signs for the subjectAltName text `serverAltNames`
// (server.pem, server.key) and a client certificate (client.pem, client.key,
// and client-bundle.pem holding both, as the program is given it).
bool MakeTestCertificates(const QString& dir, const QString& serverAltNames, QString* error);

} // namespace testsupport
