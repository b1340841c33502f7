// Dates and amounts in the regional formats, and the fixed forms of the
// journal and of QuickBooks: any text converts or is refused, and what
// converts is written back to text that converts to the same value.
#include "FuzzSupport.h"
#include "FuzzTarget.h"
#include "base/ztExceptions.h"
#include "quickbooks/QBXml.h"
#include "reports/OrvGLParser.h"

ORVQ_FUZZ_TARGET(regional) {
    const QString text = QString::fromUtf8(fuzz::Bytes(data, size));
    int settingsCount = 0;
    const TRegionalSettings* settings = fuzz::FuzzRegionalSettings(settingsCount);
    for (int s = 0; s < settingsCount; ++s) {
        TRegionalSettingsOverride regional(settings[s]);
        try {
            const QDate date = StrToDate(text, settings[s], 2026);
            FUZZ_CHECK(date.isValid());
            FUZZ_CHECK(StrToDate(DateToStr(date), settings[s], 2026) == date);
        } catch (const EConvertError&) {
        }
        try {
            const Currency amount = StrToCurr(text);
            FUZZ_CHECK(StrToCurr(CurrToStr(amount)) == amount);
            FUZZ_CHECK(ParseGLAmount(text) == amount);
        } catch (const EConvertError&) {
        }
    }
    try {
        const QDate date = ParseGLDate(text);
        FUZZ_CHECK(date.isValid());
        FUZZ_CHECK(ParseGLDate(date.toString(u"yyyyMMdd")) == date);
    } catch (const EConvertError&) {
    }
    Currency amount;
    if (QBTextToAmount(text, amount) && amount.Raw() % 100 == 0) {
        try {
            Currency back;
            FUZZ_CHECK(QBTextToAmount(QBAmountToText(amount), back) && back == amount);
        } catch (const EQBError&) {
            // Beyond what QuickBooks stores.
        }
    }
}
