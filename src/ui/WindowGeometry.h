// Where a window was left, kept in the settings store across starts. What
// the store holds is untrusted: a value that does not read as a rectangle,
// or one that no screen shows enough of to grab, is ignored.
#pragma once

#include "settings/ztSettings.h"

class QWidget;

// The window's normal geometry and whether it is maximized, below key.
void SaveWindowGeometry(IztSettings& settings, const QString& key, const QWidget& window);
// Puts the window where it was saved; leaves it alone when nothing usable
// was.
void RestoreWindowGeometry(const IztSettings& settings, const QString& key, QWidget& window);
