// The checks reports S1910 and S1911: any bytes, read as a report file is,
// parsed as each kind under each regional setting.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "reports/orvchecksparser.h"

ORVQ_FUZZ_TARGET(checksreport) {
    const QString text = DecodeReportBytes(fuzz::Bytes(data, size));
    int settingsCount = 0;
    const TRegionalSettings* settings = fuzz::FuzzRegionalSettings(settingsCount);
    for (int s = 0; s < settingsCount; ++s) {
        TRegionalSettingsOverride regional(settings[s]);
        for (const TReportKind kind : {rkEmployeeChecks, rkAgencyChecks, rkNone}) {
            fuzz::TFuzzLogger logs;
            try {
                const TCheckRecords records = ParseChecksReport(logs.Logger(), text, kind);
                FUZZ_CHECK(!records.empty());
                const bool employee = records.front().IsEmployeeCheck;
                for (const TCheckRecord& record : records) {
                    FUZZ_CHECK(record.IsEmployeeCheck == employee);
                    FUZZ_CHECK(record.CheckDate.isValid());
                    FUZZ_CHECK(employee ? record.Payee.isEmpty() : record.FirstName.isEmpty());
                }
                const TCheckDateRange range = GetCheckDateRange(records);
                FUZZ_CHECK(range.FromDate <= range.ToDate);
            } catch (const EztException&) {
                // The user's message; anything else escapes and is a finding.
            }
            FUZZ_CHECK(logs.Depth() == 1);
        }
    }
}
