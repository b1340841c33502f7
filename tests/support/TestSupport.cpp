#include "TestSupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
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

QString Golden(const QString& relative, const QString& actual) {
    const QString path = DataPath(relative);
    QFile file(path);
    const QString expected =
        file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
    file.close();
    if (actual != expected) {
        QFile out(qEnvironmentVariableIsSet("ORVQ_UPDATE_GOLDEN")
                      ? path
                      : QDir::temp().filePath(QFileInfo(path).fileName()));
        if (out.open(QIODevice::WriteOnly))
            out.write(actual.toUtf8());
        qWarning("Actual text of %s written to %s", qPrintable(relative),
                 qPrintable(out.fileName()));
    }
    return expected;
}

QString OthersAccess(const QString& path) {
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("missing");
    // Qt's group and other bits sit where the mode's octal digits do.
    return QString::number(int(info.permissions()) & 0x77, 16);
}

QByteArray ReadmeExample(const QString& firstLine) {
    const QString readme = QString::fromUtf8(
        ReadFile(qEnvironmentVariable("ORVQ_SOURCE_DIR") + QStringLiteral("/README.md")));
    const QString indent(4, u' ');
    QByteArray example;
    for (const QString& line : readme.split(u'\n')) {
        if (example.isEmpty() && line != indent + firstLine)
            continue;
        if (!line.startsWith(indent))
            break;
        example += line.mid(indent.size()).toUtf8() + '\n';
    }
    if (example.isEmpty())
        qFatal("README.md has no example beginning with %s", qPrintable(firstLine));
    return example;
}

bool RunOpenssl(const QString& dir, const QStringList& args, QString* error) {
    QProcess p;
    p.setWorkingDirectory(dir);
    p.start(QStringLiteral("openssl"), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        *error = QStringLiteral("openssl ") + args.join(u' ') + QStringLiteral(": ") +
                 QString::fromUtf8(p.readAllStandardError());
        return false;
    }
    return true;
}

namespace {

bool WriteFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

} // namespace

bool MakeTestCertificates(const QString& dir, const QString& serverAltNames, QString* error) {
    const QDir folder(dir);
    if (!WriteFile(folder.filePath(QStringLiteral("server.ext")),
                   "subjectAltName=" + serverAltNames.toUtf8() +
                       "\nextendedKeyUsage=serverAuth\n") ||
        !WriteFile(folder.filePath(QStringLiteral("client.ext")),
                   "extendedKeyUsage=clientAuth\n")) {
        *error = QStringLiteral("cannot write the certificate extensions");
        return false;
    }
    const QStringList ec{"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};
    const QList<QStringList> steps{
        QStringList{"req", "-x509"} + ec +
            QStringList{"-keyout", "ca.key", "-out", "ca.pem", "-days", "2", "-subj",
                        "/CN=OrvQ Test CA", "-addext", "basicConstraints=critical,CA:TRUE",
                        "-addext", "keyUsage=critical,keyCertSign,cRLSign"},
        QStringList{"req"} + ec +
            QStringList{"-keyout", "server.key", "-out", "server.csr", "-subj", "/CN=localhost"},
        QStringList{"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                    "-CAcreateserial", "-out", "server.pem", "-days", "2", "-extfile",
                    "server.ext"},
        QStringList{"req"} + ec +
            QStringList{"-keyout", "client.key", "-out", "client.csr", "-subj",
                        "/CN=OrvQ Test Client"},
        QStringList{"x509", "-req", "-in", "client.csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                    "-CAcreateserial", "-out", "client.pem", "-days", "2", "-extfile",
                    "client.ext"},
    };
    for (const QStringList& step : steps) {
        if (!RunOpenssl(dir, step, error))
            return false;
    }
    const QByteArray bundle = ReadFile(folder.filePath(QStringLiteral("client.pem"))) +
                              ReadFile(folder.filePath(QStringLiteral("client.key")));
    if (!WriteFile(folder.filePath(QStringLiteral("client-bundle.pem")), bundle)) {
        *error = QStringLiteral("cannot write the client bundle");
        return false;
    }
    return true;
}

} // namespace testsupport
