#include "logkeeper/vlxLogArchiveDefaults.h"

#include "settings/ztSettings.h"

#include <QRegularExpression>
#include <QStringList>

namespace {

constexpr unsigned char ScrambleKey = 0xA7;
constexpr unsigned char ScrambledPassword[] = {0xF6, 0xD1, 0x90, 0x84, 0xD7,
                                               0xEB, 0x95, 0xDF, 0xC2};
constexpr unsigned char ScrambledRecipient[] = {0xD4, 0xD2, 0xD7, 0xD7, 0xC8, 0xD5, 0xD3, 0xE7,
                                                0xC8, 0xD5, 0xD1, 0xC6, 0xC9, 0xC2, 0x89, 0xC2,
                                                0xDF, 0xC6, 0xCA, 0xD7, 0xCB, 0xC2};

} // namespace

QString UnscrambleText(const unsigned char* data, std::size_t size, unsigned char key) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(size));
    for (std::size_t i = 0; i < size; ++i)
        bytes.append(static_cast<char>(data[i] ^ key));
    return QString::fromLatin1(bytes);
}

QString DefaultLogArchivePassword() {
    return UnscrambleText(ScrambledPassword, sizeof ScrambledPassword, ScrambleKey);
}

QString DefaultLogMailRecipients() {
    return UnscrambleText(ScrambledRecipient, sizeof ScrambledRecipient, ScrambleKey);
}

QString LogArchivePassword(const IztSettings* settings) {
    // Surrounding blanks count as part of a password: only a blank value
    // falls back.
    const QString stored = settings ? settings->GetAsString(LogArchivePasswordSetting) : QString();
    return stored.trimmed().isEmpty() ? DefaultLogArchivePassword() : stored;
}

QString LogMailRecipients(const IztSettings* settings) {
    const QString stored = settings ? settings->GetAsString(LogMailRecipientsSetting) : QString();
    QStringList addresses;
    for (const QString& part : stored.split(QRegularExpression(QStringLiteral("[\r\n;,]")))) {
        if (!part.trimmed().isEmpty())
            addresses << part.trimmed();
    }
    return addresses.isEmpty() ? DefaultLogMailRecipients() : addresses.join(u'\n');
}
