// Text helpers of the XML-RPC layer: escaping, ISO 8601 date-times, base64
// and the number forms written on the wire.
#pragma once

#include "base/ztExceptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>

// Every error of the XML-RPC value layer.
class EXmlRpcError : public EztException {
public:
    using EztException::EztException;
};

// "&" first so that the entities it introduces are not escaped twice.
QString XmlEscape(const QString& text);
// "&amp;" last, so "&amp;lt;" becomes "&lt;" and not "<".
QString XmlUnescape(const QString& text);

// "yyyymmddThh:mm:ss".
QString FormatIso8601(const QDateTime& value);
// Fixed positions: year 1-4, month 5-6, day 7-8, hour 10-11, minute 13-14,
// second 16-17. Throws EConvertError for a text that is not such a date.
QDateTime ParseIso8601(const QString& text);

// RFC 2045 base64 with CR LF between lines of 76 characters.
QString EncodeBase64(const QByteArray& content);
// Skips every character outside the base64 alphabet.
QByteArray DecodeBase64(const QString& encoded);

// Up to 15 significant digits, "." whatever the locale, "E" exponent only
// where the plain form would be too long.
QString FormatRpcDouble(double value);

// Conversions of received text; each throws EConvertError naming the text.
qint32 RpcTextToInteger(const QString& text);
double RpcTextToDouble(const QString& text);
bool RpcTextToBoolean(const QString& text);
