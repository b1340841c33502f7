// The protection of stored secrets: AES-128 in ECB mode under a key string,
// with zero padding, and the hexadecimal text the settings store holds.
// The format is fixed by values that earlier installations wrote.
#pragma once

#include "base/ztExceptions.h"

#include <QByteArray>
#include <QString>

// A cipher failure ("Invalid buffer size for decryption").
class ECryptError : public EztException {
public:
    using EztException::EztException;
};

// Key = the first 16 bytes of keyString, padded with zero bytes to 16. The
// data is cut into 16-byte blocks, a final partial block padded with zero
// bytes; empty data gives empty cipher bytes.
QByteArray EncryptString(const QByteArray& data, const QByteArray& keyString);
// The reverse, cut at the first zero byte (which drops the padding). Throws
// ECryptError when the data is not a whole number of blocks.
QByteArray DecryptString(const QByteArray& data, const QByteArray& keyString);

// Two upper-case hexadecimal digits per byte.
QString StrToHex(const QByteArray& data);
// Pairs of hexadecimal digits to bytes; a single trailing digit is one byte.
// Throws EConvertError "'0x..' is not a valid integer value" for a pair
// that is not hexadecimal.
QByteArray HexToStr(const QString& text);
