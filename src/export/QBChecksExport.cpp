#include "export/QBChecksExport.h"

#include "base/vlxTextUtils.h"
#include "export/QBCheckDecider.h"
#include "export/QBNameIndex.h"

#include <deque>

bool IsDirectDepositCheck(const TCheckRecord& record) {
    return record.CheckNumber.size() == 8 || record.CheckNumber.contains(u'-');
}

namespace {

// One pass of the export over the records: the requests of the records'
// steps travel in request sets, and the log and the observer hear of the
// records in report order.
class TChecksExporter {
public:
    TChecksExporter(TQBConnection& connection, const TQBChecksExportParam& options,
                    const TRunWatch& watch, IExportObserver* observer,
                    const TProgramTransactions* ours)
        : m_logger(connection.Logger()), m_pipeline(connection, options.BatchSize),
          m_options(options), m_watch(watch), m_observer(observer), m_ours(ours) {}

    TChecksExportResult Run(const TCheckRecords& records) {
        TLogBlockGuard block(m_logger, QStringLiteral("Exporting Checks/Deposits to QB"));
        std::unique_ptr<TQBExistingIndex> existing;
        try {
            OrvAssert(!records.empty());
            ResolveAccounts();
            existing =
                std::make_unique<TQBExistingIndex>(m_pipeline.Connection(), records, m_options);
        } catch (...) {
            m_logger.PassthroughException();
        }
        TCheckDecider decider(*existing, m_options, m_ours, m_pipeline.Connection().PreviewOnly(),
                              m_observer != nullptr);
        m_works = std::vector<TCheckWork>(records.size());
        for (size_t i = 0; i < records.size(); ++i) {
            m_works[i].Record = &records[i];
            m_works[i].Index = static_cast<int>(i);
        }
        ExportRecords(decider);
        if (m_observerFailure) {
            try {
                std::rethrow_exception(m_observerFailure);
            } catch (...) {
                m_logger.PassthroughException();
            }
        }
        return decider.Result();
    }

private:
    // QuickBooks takes an account name in any letter case when it adds a
    // check, but the existence tests compare names exactly: the options are
    // turned into QuickBooks' own spelling first, so a re-run finds what an
    // earlier one added however the names were typed. A name QuickBooks
    // does not have stops the export before anything is posted.
    void ResolveAccounts() {
        const TQBNameIndex accounts = QBFullNameIndex(m_pipeline.Connection().QueryAccounts());
        QStringList missing;
        const auto resolve = [&](QString& name, const char* role) {
            const QString found = accounts.Find(name);
            if (found.isNull())
                missing << Format("%s <%s> doesn't exist in QB",
                                  {role, ShortenedText(name.trimmed(), 256)});
            else
                name = found;
        };
        resolve(m_options.CashAccount, "Cash account");
        resolve(m_options.LiabilityAccount, "Liability account");
        if (!missing.isEmpty())
            throw EQBError(missing.join(u"; "));
    }

    // Requests of many records share a set of up to BatchSize requests,
    // answered one by one (continueOnError). A set carries, in this order:
    // the requests earlier answers made necessary (voids, deposits and
    // clearings, oldest record first), then the requests of records not yet
    // started, in report order. QuickBooks handles a set's requests in
    // order, so a record's void query sees everything earlier records
    // changed, as it does with one request a set; a record whose check
    // number has a void query in the set waits for the next one.
    // A cancel is taken before a set is built: records begun are finished,
    // no other record is begun. The observer hears of a set's changes
    // before it is sent and of what became of records after; when it fails,
    // nothing more is sent.
    void ExportRecords(TCheckDecider& decider) {
        TChecksExportResult& result = decider.Result();
        const int batchSize = m_pipeline.BatchSize();
        const int total = static_cast<int>(m_works.size());
        size_t next = 0;
        size_t logged = 0;
        std::deque<size_t> waiting;
        m_watch.SetProgress(0, total);
        while (logged < m_works.size()) {
            if (!result.Cancelled && next < m_works.size() && m_watch.StopHere())
                result.Cancelled = true;
            if (result.Cancelled && waiting.empty())
                break;
            std::vector<size_t> owners;
            const auto place = [&](size_t index) {
                if (const TExportNote* note = m_works[index].InFlight)
                    m_sending << *note;
                owners.push_back(index);
            };
            while (!waiting.empty() && static_cast<int>(owners.size()) < batchSize) {
                place(waiting.front());
                waiting.pop_front();
            }
            QSet<QString> querying;
            while (!result.Cancelled && next < m_works.size() &&
                   static_cast<int>(owners.size()) < batchSize) {
                TCheckWork& w = m_works[next];
                const QString key = CheckNumberKey(*w.Record);
                if (w.Record->Amount.IsNegative() && querying.contains(key))
                    break;
                decider.Start(w);
                if (w.Stage == TCheckWork::rsQuery)
                    querying.insert(key);
                if (w.Request)
                    place(next);
                ++next;
            }
            if (!Tell(&IExportObserver::Sending, m_sending))
                break;
            if (!owners.empty())
                SendSet(decider, owners, waiting);
            while (logged < m_works.size() && m_works[logged].Stage == TCheckWork::rsDone)
                m_works[logged++].Log.Replay(m_logger);
            if (!Tell(&IExportObserver::Settled, decider.Settled()))
                break;
            // Records finished, in any order: a record waiting for its
            // deposit does not hold back the count of those after it.
            m_watch.SetProgress(decider.Finished(), total);
        }
        // Begun records are all done: the log of the last ones is replayed.
        while (logged < next && m_works[logged].Stage == TCheckWork::rsDone)
            m_works[logged++].Log.Replay(m_logger);
        result.NotExported = total - static_cast<int>(next);
    }

    // Hands the observer what was gathered; false when it failed.
    bool Tell(void (IExportObserver::*event)(const TExportNotes&), TExportNotes& notes) {
        if (!m_observer || notes.isEmpty())
            return true;
        try {
            (m_observer->*event)(notes);
        } catch (...) {
            m_observerFailure = std::current_exception();
        }
        notes.clear();
        return !m_observerFailure;
    }

    // A set without an answer fails every record in it with the reason, and
    // none of them is sent again.
    void SendSet(TCheckDecider& decider, const std::vector<size_t>& owners,
                 std::deque<size_t>& waiting) {
        std::vector<TQBRequest> requests;
        requests.reserve(owners.size());
        for (size_t index : owners)
            requests.push_back(*m_works[index].Request);
        const TQBAnswers answers = m_pipeline.Send(std::move(requests));
        for (size_t i = 0; i < owners.size(); ++i) {
            TCheckWork& w = m_works[owners[i]];
            decider.Answer(w, answers[i]);
            if (w.Stage != TCheckWork::rsDone)
                waiting.push_back(owners[i]);
        }
    }

    ICommonLogger& m_logger;
    TQBRequestPipeline m_pipeline;
    TQBChecksExportParam m_options; // accounts in QuickBooks' spelling once resolved
    TRunWatch m_watch;
    IExportObserver* m_observer;
    const TProgramTransactions* m_ours;
    // What the observer is to hear next, and why it stopped the export.
    TExportNotes m_sending;
    std::exception_ptr m_observerFailure;
    std::vector<TCheckWork> m_works;
};

QString Phrase(int count, const QString& noun, const QString& verb) {
    return Format("%d %s %s", {count, PluralForm(noun, count), verb});
}

} // namespace

TChecksExportResult ExportChecks(TQBConnection& connection, const TCheckRecords& records,
                                 const TQBChecksExportParam& options, const TRunWatch& watch,
                                 IExportObserver* observer, const TProgramTransactions* ours) {
    return TChecksExporter(connection, options, watch, observer, ours).Run(records);
}

QString FormatChecksExportResult(const TChecksExportResult& r) {
    QStringList phrases;
    if (r.Errors > 0)
        phrases << Phrase(r.Errors, QStringLiteral("error"), QStringLiteral("occured"));
    const QString check = QStringLiteral("check");
    const QString deposit = QStringLiteral("deposit");
    phrases << Phrase(r.ChecksAdded, check, QStringLiteral("added"))
            << Phrase(r.ChecksVoided, check, QStringLiteral("voided"))
            << Phrase(r.DepositsAdded, deposit, QStringLiteral("added"))
            << Phrase(r.ChecksExisted, check, QStringLiteral("already existed"))
            << Phrase(r.ChecksAlreadyVoided, check,
                      r.ChecksAlreadyVoided == 1 ? QStringLiteral("was already voided")
                                                 : QStringLiteral("were already voided"))
            << Phrase(r.DepositsExisted, deposit, QStringLiteral("already existed"));
    const int done = r.ChecksAdded + r.ChecksExisted + r.ChecksVoided + r.ChecksAlreadyVoided +
                     r.DepositsAdded + r.DepositsExisted;
    const QString prefix =
        r.Cancelled     ? Format("cancelled, %s not exported: ",
                                 {Phrase(r.NotExported, QStringLiteral("record"), QString()).trimmed()})
        : r.Errors == 0 ? QStringLiteral("successfully completed: ")
        : done < 1      ? QStringLiteral("failed: ")
                        : QStringLiteral("partially completed: ");
    return prefix + phrases.join(QStringLiteral(", "));
}
