// orvq-cli runs: the runs of the ledger, newest first, or one run with its
// records.
#include "CliRun.h"

#include "runs/LedgerReport.h"
#include "runs/LedgerRunWriter.h"
#include "runs/UnknownOutcomes.h"

#include <QDir>
#include <QFileInfo>

namespace {

const char* const RunsHelp =
    "usage: orvq-cli runs [--company-file FILE] [--limit N]\n"
    "       orvq-cli runs --show RUN\n"
    "       orvq-cli runs --companies [--remove-pairing KEY]\n"
    "       orvq-cli runs --resolve [RUN] [--company-file FILE]\n"
    "\n"
    "Lists the runs recorded in the run ledger (the alias \"Ledger\" of the program's\n"
    "redirection file), newest first, one a line: id, start time, kind, QuickBooks\n"
    "company, what became of its records, state. A run that ended without saying so\n"
    "reads as interrupted, its unanswered records as state unknown.\n"
    "\n"
    "Options:\n"
    "  --company-file FILE  only the runs into this company file; with --resolve, the\n"
    "                       company file to open\n"
    "  --limit N            at most N runs\n"
    "  --show RUN           the run (its id, or the beginning of it) with every record\n"
    "  --companies          which QuickBooks company each Orvane company (by number) and\n"
    "                       report file (by SHA-256) was posted into, one a line: kind,\n"
    "                       key, name, company, when, run\n"
    "  --remove-pairing KEY with --companies: forget the pairing of this Orvane company\n"
    "                       number or file checksum; its next posting asks as a first one\n"
    "  --resolve [RUN]      look up in QuickBooks the records of state unknown of the runs\n"
    "                       into the company (of RUN only, when given) and settle them:\n"
    "                       added when QuickBooks holds them, not added when it does not;\n"
    "                       each posting and undo does this first\n"
    "  --help               show this help\n"
    "\n"
    "Exit code 0: listed; 1: the ledger cannot be read or the run is not in it; 2: wrong\n"
    "usage.\n";

int Limit(const TCliOptions& options) {
    if (!options.Has(QStringLiteral("--limit")))
        return 0;
    const QString text = options.Value(QStringLiteral("--limit"));
    bool ok = false;
    const int limit = text.trimmed().toInt(&ok);
    if (!ok || limit < 1)
        throw ECliUsageError(
            Format("--limit takes a positive number, not \"%s\"", {text.left(64)}));
    return limit;
}

// --resolve takes a run or none.
bool TakeResolve(QStringList& args, QString& runId) {
    const qsizetype at = args.indexOf(QStringLiteral("--resolve"));
    if (at < 0)
        return false;
    if (at + 1 < args.size() && !args[at + 1].startsWith(u'-'))
        runId = args.takeAt(at + 1);
    args.removeAt(at);
    if (args.contains(QStringLiteral("--resolve")))
        throw ECliUsageError(QStringLiteral("--resolve is given twice"));
    return true;
}

// Settles the records of state unknown in the open company; a line each.
QString Resolve(TRunContext& context, TRunLedger& ledger, const QString& runId) {
    const std::unique_ptr<TQBConnection> qb = context.ConnectQB(context.Logger);
    const TLedgerTarget open = QBCompanyTarget(*qb);
    QString only;
    if (!runId.isEmpty()) {
        const std::optional<TLedgerRun> run = ledger.FindRun(runId);
        if (!run)
            throw EztException(Format("No run with the id \"%s\" is in the ledger.",
                                      {EscapeControlChars(runId.left(64))}));
        if (!SameCompany(run->Target, open))
            throw EztException(Format(
                "Run %s posted into QuickBooks company %s; the open "
                "company is %s.",
                {ShortRunId(run->Id), LedgerTargetText(run->Target), LedgerTargetText(open)}));
        only = run->Id;
    }
    const QString note = QStringLiteral("resolved by orvq-cli runs --resolve");
    const QList<TUnknownOutcome> outcomes =
        TUnknownOutcomeResolver(ledger, *qb, DefaultQBBatchSize).Resolve(open, note, only);
    QString text;
    int left = 0;
    for (const TUnknownOutcome& u : outcomes) {
        text += EscapeControlChars(UnknownOutcomeText(u, note)) + u'\n';
        left += u.Found == loStateUnknown ? 1 : 0;
    }
    return text + Format("%d records settled, %d still of state unknown\n",
                         {int(outcomes.size()) - left, left});
}

} // namespace

int RunRunsCommand(TCliEnvironment& env, const QStringList& givenArgs) {
    std::unique_ptr<TCliOptions> options;
    TLedgerRunFilter filter;
    QStringList args = givenArgs;
    QString resolveRun;
    bool resolve = false;
    try {
        resolve = TakeResolve(args, resolveRun);
        options = std::make_unique<TCliOptions>(
            args, QStringList{"--company-file", "--limit", "--show", "--remove-pairing"},
            QStringList{"--help", "--companies"});
        if (resolve &&
            (options->Has(QStringLiteral("--show")) || options->Has(QStringLiteral("--limit")) ||
             options->Has(QStringLiteral("--companies"))))
            throw ECliUsageError(QStringLiteral("--resolve takes no other option but "
                                                "--company-file"));
        if (options->Has(QStringLiteral("--help"))) {
            env.Out << RunsHelp;
            return cecSuccess;
        }
        if (options->Has(QStringLiteral("--show")) &&
            (options->Has(QStringLiteral("--limit")) ||
             options->Has(QStringLiteral("--company-file"))))
            throw ECliUsageError(QStringLiteral("--show takes no other option"));
        if (options->Has(QStringLiteral("--companies")) &&
            (options->Has(QStringLiteral("--show")) || options->Has(QStringLiteral("--limit")) ||
             options->Has(QStringLiteral("--company-file"))))
            throw ECliUsageError(QStringLiteral("--companies takes no other option but "
                                                "--remove-pairing"));
        if (!options->Has(QStringLiteral("--companies")) &&
            options->Has(QStringLiteral("--remove-pairing")))
            throw ECliUsageError(QStringLiteral("--remove-pairing goes with --companies"));
        filter.Limit = Limit(*options);
        if (options->Has(QStringLiteral("--company-file")))
            filter.CompanyFile =
                QFileInfo(options->Value(QStringLiteral("--company-file"))).absoluteFilePath();
    } catch (const ECliUsageError& e) {
        return ShowUsageError(env.Err, QStringLiteral("runs"), e.Message());
    }

    TConsoleUserDialogs dialogs(env.Out, env.Err, env.In);
    TCliRunHost host(env, dialogs, CliConnectionFactory(env, *options));
    QString text;
    const std::exception_ptr failure = host.Run([&](TRunContext& context) {
        const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);
        if (resolve) {
            text = Resolve(context, *ledger, resolveRun);
            return;
        }
        if (options->Has(QStringLiteral("--remove-pairing"))) {
            const QString key = options->Value(QStringLiteral("--remove-pairing")).trimmed();
            if (!ledger->RemovePairing(lpaOrvaneCompany, key) &&
                !ledger->RemovePairing(lpaReportFile, key.toLower()))
                throw EztException(Format("No pairing with the key \"%s\" is in the ledger.",
                                          {EscapeControlChars(key.left(64))}));
            text = Format("Pairing %s removed; its next posting asks as a first one.\n", {key});
            return;
        }
        if (options->Has(QStringLiteral("--companies"))) {
            for (const TLedgerPairing& pairing : ledger->Pairings())
                text += LedgerPairingLine(pairing) + u'\n';
            if (text.isEmpty())
                text = QStringLiteral("No pairing is recorded in the ledger.\n");
            return;
        }
        if (!options->Has(QStringLiteral("--show"))) {
            for (const TLedgerRun& run : ledger->Runs(filter))
                text += LedgerRunLine(run) + u'\n';
            if (text.isEmpty())
                text = filter.CompanyFile.isEmpty()
                           ? QStringLiteral("No run is recorded in the ledger.\n")
                           : Format("No run into %s is recorded in the ledger.\n",
                                    {QDir::toNativeSeparators(filter.CompanyFile)});
            return;
        }
        const QString id = options->Value(QStringLiteral("--show"));
        const std::optional<TLedgerRun> run = ledger->FindRun(id);
        if (!run)
            throw EztException(Format("No run with the id \"%s\" is in the ledger.",
                                      {EscapeControlChars(id.left(64))}));
        text = LedgerRunReport(*run, ledger->Records(run->Id));
    });
    if (ShowRunFailure(dialogs, failure))
        return cecFailed;
    env.Out << text;
    env.Out.flush();
    return cecSuccess;
}
