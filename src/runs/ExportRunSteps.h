// Steps both export runs take the same way.
#pragma once

#include "runs/RunContext.h"

// The payroll service as the report source of the options, or "Reports
// cannot be fetched from Orvane here. ..." when they have none.
IDirectReportSourcePtr OpenDirectReportSource(TRunContext& context,
                                              const TReportSourceOptions& source);

// A run stopped by the user before it posted anything: "User cancelled
// operation", then run name + " failed", as a cancelled report says it.
void LogRunCancelled(ICommonLogger& logger, const QString& runName);
