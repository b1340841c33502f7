#include "settings/vlxCrypt.h"

#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"

#include <openssl/evp.h>

#include <memory>

namespace {

constexpr int BlockSize = 16;

struct CipherCtxFree {
    void operator()(EVP_CIPHER_CTX* ctx) const { EVP_CIPHER_CTX_free(ctx); }
};

QByteArray CipherKey(const QByteArray& keyString) {
    QByteArray key = keyString.left(BlockSize);
    key.append(BlockSize - key.size(), '\0');
    return key;
}

// One pass of AES-128 ECB over whole blocks, OpenSSL's padding off: the
// stored format pads with zero bytes, done by the caller.
QByteArray RunCipher(const QByteArray& data, const QByteArray& keyString, bool encrypt) {
    if (data.isEmpty())
        return QByteArray();
    const QByteArray key = CipherKey(keyString);
    std::unique_ptr<EVP_CIPHER_CTX, CipherCtxFree> ctx(EVP_CIPHER_CTX_new());
    if (!ctx ||
        EVP_CipherInit_ex(ctx.get(), EVP_aes_128_ecb(), nullptr,
                          reinterpret_cast<const unsigned char*>(key.constData()), nullptr,
                          encrypt ? 1 : 0) != 1 ||
        EVP_CIPHER_CTX_set_padding(ctx.get(), 0) != 1)
        throw ECryptError(QStringLiteral("Cannot initialise the AES cipher"));
    QByteArray out(data.size() + BlockSize, Qt::Uninitialized);
    int written = 0;
    int finalWritten = 0;
    auto* outBytes = reinterpret_cast<unsigned char*>(out.data());
    if (EVP_CipherUpdate(ctx.get(), outBytes, &written,
                         reinterpret_cast<const unsigned char*>(data.constData()),
                         static_cast<int>(data.size())) != 1 ||
        EVP_CipherFinal_ex(ctx.get(), outBytes + written, &finalWritten) != 1)
        throw ECryptError(QStringLiteral("AES cipher failed"));
    out.truncate(written + finalWritten);
    return out;
}

} // namespace

QByteArray EncryptString(const QByteArray& data, const QByteArray& keyString) {
    QByteArray plain = data;
    if (const auto rest = plain.size() % BlockSize)
        plain.append(BlockSize - rest, '\0');
    return RunCipher(plain, keyString, true);
}

QByteArray DecryptString(const QByteArray& data, const QByteArray& keyString) {
    if (data.size() % BlockSize != 0)
        throw ECryptError(QStringLiteral("Invalid buffer size for decryption"));
    QByteArray plain = RunCipher(data, keyString, false);
    const auto zero = plain.indexOf('\0');
    if (zero >= 0)
        plain.truncate(zero);
    return plain;
}

QString StrToHex(const QByteArray& data) {
    return QString::fromLatin1(data.toHex().toUpper());
}

QByteArray HexToStr(const QString& text) {
    QByteArray result;
    result.reserve(text.size() / 2 + 1);
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const QString pair = text.mid(i, 2);
        int value = 0;
        for (const QChar c : pair) {
            const int digit = HexDigitValue(c);
            if (digit < 0)
                throw EConvertError(Format(QStringLiteral("'%s' is not a valid integer value"),
                                           {QString(QStringLiteral("0x") + pair)}));
            value = value * 16 + digit;
        }
        result.append(static_cast<char>(value));
    }
    return result;
}
