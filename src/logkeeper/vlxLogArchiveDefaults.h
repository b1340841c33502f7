// The archive password and the support recipient of the log mail. The
// program carries both only scrambled; a bureau with its own support
// mailbox (and password agreed with it) overrides them in the settings
// store.
#pragma once

#include <QString>
#include <cstddef>

class IztSettings;

// Settings values that override the built-in ones when not blank.
inline const QString LogArchivePasswordSetting = QStringLiteral("SupportLog\\ArchivePassword");
// Addresses separated by line breaks, ";" or ",".
inline const QString LogMailRecipientsSetting = QStringLiteral("SupportLog\\Recipients");

// Each byte XOR-ed with key.
QString UnscrambleText(const unsigned char* data, std::size_t size, unsigned char key);

// The built-in values.
QString DefaultLogArchivePassword();
QString DefaultLogMailRecipients();

// The values to hand to the log page: the settings' when set, else the
// built-in ones. settings may be null. Recipients one address a line.
QString LogArchivePassword(const IztSettings* settings);
QString LogMailRecipients(const IztSettings* settings);
