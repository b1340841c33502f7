// The settings file of Unix, meant to be edited by hand: "[Section]" lines,
// "Key=Value" lines, and comments as whole lines beginning with ";" or "#".
// A value is the rest of its line exactly as written, blanks around it
// aside: ";", ",", "=" and backslashes are part of it. Only a value that is
// one double-quoted string is read with QSettings' quoting and escapes, so
// files QSettings' INI format wrote read as before; the writer quotes a value
// only when the literal form could not carry it (blanks at either end, line
// breaks and other control characters, a leading double quote). Keys keep
// QSettings' INI escapes ("%20" for a blank, "\" between groups).
#pragma once

#include <QSettings>
#include <QString>
#include <QStringView>

// The format's reader and writer, as QSettings calls them.
bool ReadSettingsFile(QIODevice& device, QSettings::SettingsMap& map);
bool WriteSettingsFile(QIODevice& device, const QSettings::SettingsMap& map);

// The format, registered with QSettings on first use.
QSettings::Format SettingsFileFormat();

// One value: its text as it stands after "=" (or before the line end) and
// the text the writer puts there.
QString SettingsFileValue(QStringView written);
QString SettingsFileValueText(const QString& value);
