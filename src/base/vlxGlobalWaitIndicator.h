// The process-wide wait indicator, through which every part reports busy
// steps without knowing the main window. User-interface thread only.
#pragma once

#include "base/vlxClasses.h"

IWaitIndicator& WaitIndicator();
// Replaces the inner indicator; none gives a fresh hourglass indicator.
void SetWaitIndicator(IWaitIndicatorPtr indicator = nullptr);
