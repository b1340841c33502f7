// A run context for tests that run a run on their own thread: the test's
// logger, scripted boxes, a sandbox company and, where given, a fake report
// source and a progress that records the stages.
#pragma once

#include "runs/RunContext.h"

#include <QStringList>
#include <QTemporaryDir>

namespace runtest {

// Employee check lines of the demo company's employees.
inline const QString Maria =
    QStringLiteral("\"Maria\",A,\"Lopez\",\"Pay\",3/8/2024,1001,1250.10\r\n");
inline const QString James =
    QStringLiteral("\"James\",T,\"Okafor\",\"Pay\",3/8/2024,1002,980.29\r\n");

// Not owned: the test's object outlives the run.
template <typename T> std::shared_ptr<T> Borrowed(T& object) {
    return std::shared_ptr<T>(&object, [](T*) {});
}

// "start <stage>", "end", "done/total" in order.
class TRecordingProgress : public IRunProgress {
public:
    QStringList Marks;
    // Called with each count, e.g. to cancel in the middle of an export.
    std::function<void(int done, int total)> OnProgress;

    void StartWait(const QString& message) override { Marks << QStringLiteral("start ") + message; }
    void EndWait() override { Marks << QStringLiteral("end"); }
    void SetProgress(int done, int total) override {
        Marks << QStringLiteral("%1/%2").arg(done).arg(total);
        if (OnProgress)
            OnProgress(done, total);
    }
    // The stage marks without the counts.
    QStringList Stages() const {
        QStringList stages;
        for (const QString& mark : Marks)
            if (!mark.contains(u'/'))
                stages << mark;
        return stages;
    }
};

// A run ledger in a temporary folder of its own, which lives as long as the
// factory.
inline TLedgerFactory TemporaryLedger() {
    auto dir = std::make_shared<QTemporaryDir>();
    return [dir] {
        TLedgerLocation location;
        location.FilePath = dir->filePath(QStringLiteral("ledger.sqlite"));
        return std::make_unique<TRunLedger>(location, TLedgerOptions{});
    };
}

inline TRunContext Context(ICommonLoggerPtr logger, IUserDialogs& dialogs,
                           TQBConnectionFactory connect, IRunProgressPtr progress = nullptr,
                           IDirectReportSource* direct = nullptr) {
    TRunContext context;
    context.Logger = std::move(logger);
    context.Dialogs = Borrowed(dialogs);
    context.ConnectQB = std::move(connect);
    context.OpenLedger = TemporaryLedger();
    if (progress)
        context.Progress = std::move(progress);
    if (direct)
        context.DirectSource = [direct](const TDirectSourceOptions&, TRunContext&) {
            return Borrowed(*direct);
        };
    return context;
}

// A source for the direct tab: the payrolls do not matter to a fake.
inline TReportSourceOptions Source(TReportSourceTab tab, const QString& file, bool direct = false) {
    TReportSourceOptions source;
    source.Tab = tab;
    source.FileName = file;
    if (direct)
        source.Direct = TDirectSourceOptions{};
    return source;
}

} // namespace runtest
