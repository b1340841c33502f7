#include "records/LedgerTypes.h"

#include "records/LedgerWorkstation.h"

#include <QSysInfo>
#include <iterator>

namespace {

// Indexed by the enumeration's values. These texts are stored in every
// ledger: a new value gets a new text, an old text never changes.
const char* const RunKindTexts[] = {"checks", "gl", "undo", "preview"};
const char* const RunStateTexts[] = {"running", "finished", "failed", "interrupted"};
const char* const ReportKindTexts[] = {"", "employee checks", "agency checks", "journal"};
const char* const RecordKindTexts[] = {"check",         "void",     "deposit",
                                       "journal entry", "clearing", "deletion"};
const char* const OutcomeTexts[] = {"pending", "added",       "voided",        "already existed",
                                    "differs", "failed",      "state unknown", "skipped",
                                    "deleted", "not deleted", "would add",     "would void",
                                    "invalid", "cleared",     "not added"};
const char* const PairingKindTexts[] = {"orvane company", "report file"};
const char* const ChecksKindTexts[] = {"all", "employee", "agency"};

template <typename TEnum> struct TTexts;
template <> struct TTexts<TLedgerRunKind> { static constexpr auto& Of = RunKindTexts; };
template <> struct TTexts<TLedgerRunState> { static constexpr auto& Of = RunStateTexts; };
template <> struct TTexts<TReportKind> { static constexpr auto& Of = ReportKindTexts; };
template <> struct TTexts<TLedgerRecordKind> { static constexpr auto& Of = RecordKindTexts; };
template <> struct TTexts<TLedgerOutcome> { static constexpr auto& Of = OutcomeTexts; };
template <> struct TTexts<TLedgerPairingKind> { static constexpr auto& Of = PairingKindTexts; };
template <> struct TTexts<TChecksReportChoice> { static constexpr auto& Of = ChecksKindTexts; };

} // namespace

template <typename TEnum> QString TLedgerWords<TEnum>::Text(TEnum value) {
    const auto& texts = TTexts<TEnum>::Of;
    const auto index = static_cast<std::size_t>(value);
    OrvAssert(index < std::size(texts));
    return QString::fromLatin1(texts[index]);
}

template <typename TEnum> bool TLedgerWords<TEnum>::Parse(const QString& text, TEnum& value) {
    const auto& texts = TTexts<TEnum>::Of;
    for (std::size_t i = 0; i < std::size(texts); ++i) {
        if (text == QLatin1String(texts[i])) {
            value = static_cast<TEnum>(i);
            return true;
        }
    }
    return false;
}

template struct TLedgerWords<TLedgerRunKind>;
template struct TLedgerWords<TLedgerRunState>;
template struct TLedgerWords<TReportKind>;
template struct TLedgerWords<TLedgerRecordKind>;
template struct TLedgerWords<TLedgerOutcome>;
template struct TLedgerWords<TLedgerPairingKind>;
template struct TLedgerWords<TChecksReportChoice>;

TLedgerIdentity TLedgerIdentity::ThisWorkstation(const QString& programVersion) {
    return TLedgerIdentity{OsUserName(), QSysInfo::machineHostName(), programVersion,
                           ThisOsProcess()};
}

namespace {

QString ClockText(const QDateTime& utc) {
    return utc.toLocalTime().toString(QStringLiteral("HH:mm"));
}

} // namespace

QString ClaimHolderText(const TLedgerClaim& claim) {
    return u"being exported by " + claim.Workstation + u" since " + ClockText(claim.Since);
}

QString RunLeaseText(const TLedgerRun& run) {
    return u"Run " + run.Id.left(8) + u" on " + run.Identity.Computer + u" last wrote at " +
           ClockText(run.Heartbeat) + u"; it counts as interrupted from " +
           ClockText(run.LeaseEnds) + u" unless it writes again";
}
