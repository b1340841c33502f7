// The GL journal S348 in both layouts: any bytes, read as a report file is,
// parsed with each way of splitting GL tags under each regional setting.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "base/vlxTextUtils.h"
#include "base/ztExceptions.h"
#include "reports/OrvGLParser.h"

ORVQ_FUZZ_TARGET(gljournal) {
    const QString text = DecodeReportBytes(fuzz::Bytes(data, size));
    int settingsCount = 0;
    const TRegionalSettings* settings = fuzz::FuzzRegionalSettings(settingsCount);
    struct TSplit {
        TGLTagParsing Parsing;
        const char* Delimiter;
    };
    const TSplit splits[] = {
        {gtpDontParse, ""}, {gtpAssignClass, "-"}, {gtpAssignName, ""}, {gtpAssignClass, "::"}};
    for (int s = 0; s < settingsCount; ++s) {
        TRegionalSettingsOverride regional(settings[s]);
        for (const TSplit& split : splits) {
            TQBGLExportParam param;
            param.GLTagParsing = split.Parsing;
            param.DelimiterInGLTag = QString::fromLatin1(split.Delimiter);
            fuzz::TFuzzLogger logs;
            try {
                const TGLRecordArray records = ParseGLJournal(logs.Logger(), text, param);
                FUZZ_CHECK(!records.empty());
                int line = 0;
                for (const TGLRecord& record : records) {
                    FUZZ_CHECK(record.LineNumber == ++line);
                    FUZZ_CHECK(record.JournalDate.isValid());
                    FUZZ_CHECK(record.NetAmount == record.Debit - record.Credit);
                    if (split.Parsing == gtpDontParse)
                        FUZZ_CHECK(record.ClassOrName.isEmpty());
                }
            } catch (const EztException&) {
                // The user's message; anything else escapes and is a finding.
            }
            FUZZ_CHECK(logs.Depth() == 1);
        }
    }
}
