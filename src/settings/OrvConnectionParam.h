// The connection settings of the payroll service, kept in the settings
// store below "OrvaneConnection", with the password protected.
#pragma once

#include "logging/vlxcommonlogger.h"
#include "settings/ztSettings.h"

#include <QString>

struct TOrvAPIConnectionParam {
    static constexpr int DefaultPort = 9943;

    QString APIServerAddress;
    int APIServerPort = DefaultPort;
    QString Username;
    QString Password; // plain text in memory only
    bool SavePassword = false;

    friend bool operator==(const TOrvAPIConnectionParam& a, const TOrvAPIConnectionParam& b) {
        return a.APIServerAddress == b.APIServerAddress && a.APIServerPort == b.APIServerPort &&
               a.Username == b.Username && a.Password == b.Password &&
               a.SavePassword == b.SavePassword;
    }
};

// The key string of the stored password.
extern const QByteArray OrvPasswordKey;

// The "PasswordHex" text of a password: its UTF-8 bytes under AES-128 ECB,
// as upper-case hex; empty for an empty password.
QString ProtectPassword(const QString& password);
// The reverse. Bytes that are not UTF-8 were written by a version that kept
// text in the Windows ANSI code page and are read as Windows-1252. Throws
// ECryptError or EConvertError for a damaged value.
QString UnprotectPassword(const QString& hex);

// Fills param field by field; a field whose value cannot be read is logged
// through StopException and keeps what param held. Never throws.
void LoadConnectionParam(ICommonLogger& logger, const IztSettings& settings, const QString& root,
                         TOrvAPIConnectionParam& param);
// Writes param; the password only when SavePassword is set, and any old
// plain-text "Password" value is removed. Throws what the store throws.
void SaveConnectionParam(const TOrvAPIConnectionParam& param, IztSettings& settings,
                         const QString& root);
