// The "RegionalSettings" group of the settings store: lets a user whose
// reports come in another date or number format override the system's
// regional settings without a rebuild.
//
//   [RegionalSettings]
//   DateOrder=DMY          ; MDY, DMY or YMD
//   DateSeparator=.        ; one punctuation character ("-" too)
//   YearDigits=2           ; 2 or 4: how the short-date format writes the year
//   DecimalSeparator=,     ; one punctuation character, not a sign
//   ThousandSeparator=.    ; one punctuation character or a blank
//
// A missing or invalid value keeps the system's setting for that item.
#pragma once

#include "base/RegionalSettings.h"
#include "settings/ztSettings.h"

// The system settings with the stored group applied over them.
TRegionalSettings ReadRegionalSettings(const IztSettings& settings,
                                       const TRegionalSettings& system);
// At start-up: reads the group over SystemRegionalSettings() and puts the
// result in force (SetRegionalSettings). Never throws.
TRegionalSettings LoadRegionalSettings(const IztSettings& settings);
