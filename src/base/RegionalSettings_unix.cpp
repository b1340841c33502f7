#include "base/RegionalSettings.h"

// No workstation settings here: the payroll service's US reports.
TRegionalSettings SystemRegionalSettings() {
    return TRegionalSettings();
}
