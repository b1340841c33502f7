#include "base/ztExceptions.h"
#include "settings/vlxCrypt.h"

#include <QProcess>
#include <QStandardPaths>
#include <QtTest>

namespace {

const QByteArray ProgramKey = QByteArrayLiteral("Pane.Widget");

// The stored format computed by the openssl command line tool: the key
// string zero-padded to 16 bytes, the data zero-padded to whole blocks,
// no PKCS padding.
QString OpensslEncrypt(const QByteArray& keyString, QByteArray plain) {
    QByteArray key = keyString.left(16);
    key.append(16 - key.size(), '\0');
    if (plain.size() % 16)
        plain.append(16 - plain.size() % 16, '\0');
    QProcess openssl;
    openssl.start(QStringLiteral("openssl"),
                  {QStringLiteral("enc"), QStringLiteral("-aes-128-ecb"), QStringLiteral("-nopad"),
                   QStringLiteral("-K"), QString::fromLatin1(key.toHex())});
    if (!openssl.waitForStarted())
        return QString();
    openssl.write(plain);
    openssl.closeWriteChannel();
    if (!openssl.waitForFinished() || openssl.exitCode() != 0)
        return QString();
    return QString::fromLatin1(openssl.readAllStandardOutput().toHex().toUpper());
}

} // namespace

class TestVlxCrypt : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void fips197Vector() {
        const QByteArray key = QByteArray::fromHex("000102030405060708090a0b0c0d0e0f");
        const QByteArray plain = QByteArray::fromHex("00112233445566778899aabbccddeeff");
        QCOMPARE(StrToHex(EncryptString(plain, key)),
                 QStringLiteral("69C4E0D86A7B0430D8CDB78070B4C55A"));
        // The plain text starts with a zero byte, so the reading side cuts
        // it to nothing: the padding rule, not a broken cipher.
        QCOMPARE(DecryptString(QByteArray::fromHex("69c4e0d86a7b0430d8cdb78070b4c55a"), key),
                 QByteArray());
    }

    void matchesOpensslCommandLine_data() {
        QTest::addColumn<QByteArray>("plain");
        QTest::newRow("one char") << QByteArrayLiteral("a");
        QTest::newRow("fifteen") << QByteArrayLiteral("fifteen chars!!");
        QTest::newRow("exactly one block") << QByteArrayLiteral("sixteen chars!!!");
        QTest::newRow("seventeen") << QByteArrayLiteral("seventeen chars!!");
        QTest::newRow("utf-8 bytes") << QStringLiteral("Pässwörd€").toUtf8();
        QTest::newRow("high 8-bit bytes") << QByteArray("\xe4\xf6\xfc\xff\x80", 5);
    }
    void matchesOpensslCommandLine() {
        QFETCH(QByteArray, plain);
        if (QStandardPaths::findExecutable(QStringLiteral("openssl")).isEmpty())
            QSKIP("openssl command line tool not installed");
        const QString expected = OpensslEncrypt(ProgramKey, plain);
        QVERIFY(!expected.isEmpty());
        QCOMPARE(StrToHex(EncryptString(plain, ProgramKey)), expected);
        QCOMPARE(DecryptString(HexToStr(expected), ProgramKey), plain);
    }

    void cipherLength_data() {
        QTest::addColumn<int>("plainLength");
        QTest::addColumn<int>("hexDigits");
        QTest::newRow("empty") << 0 << 0;
        QTest::newRow("1") << 1 << 32;
        QTest::newRow("16, no padding block") << 16 << 32;
        QTest::newRow("17") << 17 << 64;
        QTest::newRow("32") << 32 << 64;
        QTest::newRow("33") << 33 << 96;
    }
    void cipherLength() {
        QFETCH(int, plainLength);
        QFETCH(int, hexDigits);
        const QByteArray plain(plainLength, 'x');
        const QString hex = StrToHex(EncryptString(plain, ProgramKey));
        QCOMPARE(hex.size(), hexDigits);
        QCOMPARE(DecryptString(HexToStr(hex), ProgramKey), plain);
    }

    void longKeyUsesFirstSixteenBytes() {
        const QByteArray plain = QByteArrayLiteral("data");
        QCOMPARE(EncryptString(plain, QByteArrayLiteral("0123456789abcdefEXTRA")),
                 EncryptString(plain, QByteArrayLiteral("0123456789abcdef")));
        QVERIFY(EncryptString(plain, QByteArrayLiteral("0123456789abcdeX")) !=
                EncryptString(plain, QByteArrayLiteral("0123456789abcdef")));
    }

    void decryptRejectsPartialBlocks_data() {
        QTest::addColumn<int>("size");
        QTest::newRow("1 byte") << 1;
        QTest::newRow("15 bytes") << 15;
        QTest::newRow("17 bytes") << 17;
    }
    void decryptRejectsPartialBlocks() {
        QFETCH(int, size);
        try {
            DecryptString(QByteArray(size, 'x'), ProgramKey);
            QFAIL("no exception");
        } catch (const ECryptError& e) {
            QCOMPARE(e.Message(), QStringLiteral("Invalid buffer size for decryption"));
        }
    }

    void hexText_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("empty") << QString() << QByteArray();
        QTest::newRow("upper") << QStringLiteral("00FF7A") << QByteArray("\x00\xff\x7a", 3);
        QTest::newRow("lower accepted") << QStringLiteral("abcd") << QByteArray("\xab\xcd", 2);
        QTest::newRow("single trailing digit")
            << QStringLiteral("ABC") << QByteArray("\xab\x0c", 2);
    }
    void hexText() {
        QFETCH(QString, text);
        QFETCH(QByteArray, bytes);
        QCOMPARE(HexToStr(text), bytes);
        if (text.size() % 2 == 0)
            QCOMPARE(StrToHex(bytes), text.toUpper());
    }

    void hexTextErrors_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("message");
        QTest::newRow("letters") << QStringLiteral("ZZ")
                                 << QStringLiteral("'0xZZ' is not a valid integer value");
        QTest::newRow("second pair")
            << QStringLiteral("00G1") << QStringLiteral("'0xG1' is not a valid integer value");
        QTest::newRow("blank") << QStringLiteral("0 ")
                               << QStringLiteral("'0x0 ' is not a valid integer value");
        QTest::newRow("trailing single")
            << QStringLiteral("00x") << QStringLiteral("'0xx' is not a valid integer value");
        QTest::newRow("non-ascii")
            << QStringLiteral("ä0") << QStringLiteral("'0xä0' is not a valid integer value");
    }
    void hexTextErrors() {
        QFETCH(QString, text);
        QFETCH(QString, message);
        try {
            HexToStr(text);
            QFAIL("no exception");
        } catch (const EConvertError& e) {
            QCOMPARE(e.Message(), message);
        }
    }
};

QTEST_GUILESS_MAIN(TestVlxCrypt)
#include "tst_vlxcrypt.moc"
