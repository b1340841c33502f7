// orvq-cli map: the bureau's company map in the run ledger, listed, added to
// (after the company file was asked for the accounts) and removed from.
#include "CliRun.h"

#include "runs/BureauRun.h"
#include "runs/LedgerRunWriter.h"

#include <QFileInfo>

namespace {

const char* const MapHelp =
    "usage: orvq-cli map list\n"
    "       orvq-cli map add --company CO_NBR --company-file FILE --cash-account NAME\n"
    "                        --liability-account NAME [--kind all|employee|agency] [--gl]\n"
    "                        [--clear] [--include-dd] [--payee-names]\n"
    "       orvq-cli map remove --company CO_NBR\n"
    "\n"
    "The bureau's company map, kept in the run ledger: for each Orvane company that\n"
    "'orvq-cli bureau' exports, its QuickBooks company file, the accounts and which\n"
    "reports. A row is added only when the company file holds both accounts.\n"
    "\n"
    "Options of add:\n"
    "  --company CO_NBR            the internal number of the Orvane company\n"
    "  --company-file FILE         its QuickBooks company file\n"
    "  --cash-account NAME         full name of the bank account the checks are drawn on\n"
    "  --liability-account NAME    full name of the account of the expense and deposit lines\n"
    "  --kind all|employee|agency  which checks (default all)\n"
    "  --gl                        also post the GL journal\n"
    "  --clear                     mark what is created as cleared\n"
    "  --include-dd                also export direct-deposit checks\n"
    "  --payee-names               set the payee on checks and deposit lines\n"
    "\n"
    "Exit code 0: done; 1: the row was refused or the ledger failed; 2: wrong usage.\n";

QString YesNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QString MapLine(const TBureauMapEntry& e) {
    if (!e.Problem.isEmpty())
        return EscapeControlChars(e.OrvaneCompany + QStringLiteral("  ") + e.CompanyFile +
                                  QStringLiteral("  ") + e.Problem);
    const QString changed =
        e.ChangedBy.isEmpty()
            ? QStringLiteral("not recorded")
            : e.Changed.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
                  QStringLiteral(" by ") + e.ChangedBy;
    return EscapeControlChars(
        Format("%s  %s  company: %s  cash: %s  liability: %s  checks: %s  gl: %s  clear: %s  dd: "
               "%s  payee names: %s  changed: %s",
               {e.OrvaneCompany, e.CompanyFile,
                e.CompanyName.isEmpty() ? QStringLiteral("not recorded") : e.CompanyName,
                e.CashAccount, e.LiabilityAccount, LedgerText(e.ChecksKind), YesNo(e.PostGL),
                YesNo(e.Clear), YesNo(e.IncludeDD), YesNo(e.PayeeNames), changed}));
}

QString RequiredValue(const TCliOptions& options, const QString& name, const QString& what) {
    const QString value = options.Value(name).trimmed();
    if (value.isEmpty())
        throw ECliUsageError(Format("%s is missing: %s", {what, name}));
    return value;
}

TBureauMapEntry EntryOf(const TCliOptions& options) {
    TBureauMapEntry e;
    e.OrvaneCompany =
        RequiredValue(options, QStringLiteral("--company"), QStringLiteral("the Orvane company"));
    e.CompanyFile = QFileInfo(RequiredValue(options, QStringLiteral("--company-file"),
                                            QStringLiteral("the company file")))
                        .absoluteFilePath();
    e.CashAccount = RequiredValue(options, QStringLiteral("--cash-account"),
                                  QStringLiteral("the cash account"));
    e.LiabilityAccount = RequiredValue(options, QStringLiteral("--liability-account"),
                                       QStringLiteral("the liability account"));
    if (options.Has(QStringLiteral("--kind")) &&
        !ParseLedgerText(options.Value(QStringLiteral("--kind")), e.ChecksKind))
        throw ECliUsageError(Format("--kind takes all, employee or agency, not \"%s\"",
                                    {options.Value(QStringLiteral("--kind")).left(64)}));
    e.PostGL = options.Has(QStringLiteral("--gl"));
    e.Clear = options.Has(QStringLiteral("--clear"));
    e.IncludeDD = options.Has(QStringLiteral("--include-dd"));
    e.PayeeNames = options.Has(QStringLiteral("--payee-names"));
    return e;
}

} // namespace

int RunMapCommand(TCliEnvironment& env, const QStringList& args) {
    const QString action = args.value(0);
    std::unique_ptr<TCliOptions> options;
    TBureauMapEntry entry;
    try {
        options = std::make_unique<TCliOptions>(
            args.mid(1),
            QStringList{"--company", "--company-file", "--cash-account", "--liability-account",
                        "--kind"},
            QStringList{"--gl", "--clear", "--include-dd", "--payee-names", "--help"});
        if (action == u"--help" || options->Has(QStringLiteral("--help"))) {
            env.Out << MapHelp;
            return cecSuccess;
        }
        if (action == u"add")
            entry = EntryOf(*options);
        else if (action == u"remove")
            entry.OrvaneCompany = RequiredValue(*options, QStringLiteral("--company"),
                                                QStringLiteral("the Orvane company"));
        else if (action != u"list")
            throw ECliUsageError(Format("list, add or remove, not \"%s\"", {action.left(64)}));
        if (action != u"add" && !args.mid(action == u"list" ? 1 : 3).isEmpty())
            throw ECliUsageError(Format("%s takes no other option", {action}));
    } catch (const ECliUsageError& e) {
        return ShowUsageError(env.Err, QStringLiteral("map"), e.Message());
    }

    TConsoleUserDialogs dialogs(env.Out, env.Err, env.In);
    TCliRunHost host(env, dialogs, CliConnectionFactory(env, *options));
    QString text;
    const std::exception_ptr failure = host.Run([&](TRunContext& context) {
        const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);
        if (action == u"list") {
            for (const TBureauMapEntry& e : ledger->CompanyMap())
                text += MapLine(e) + u'\n';
            if (text.isEmpty())
                text = QStringLiteral(
                    "The company map is empty: 'orvq-cli map add' adds a company.\n");
        } else if (action == u"remove") {
            if (!ledger->RemoveMapEntry(entry.OrvaneCompany))
                throw EztException(Format("Orvane company %s is not in the company map.",
                                          {EscapeControlChars(entry.OrvaneCompany.left(64))}));
            text =
                Format("Orvane company %s removed from the company map.\n", {entry.OrvaneCompany});
        } else {
            TQBConnectionConfig quickBooks;
            quickBooks.SdkDownloadAddress = QBSdkDownloadAddress;
            quickBooks.Processor.Factory = env.Core.QBProcessor();
            text = MapLine(AddBureauMapEntry(context, *ledger, quickBooks, entry)) + u'\n';
        }
    });
    if (ShowRunFailure(dialogs, failure))
        return cecFailed;
    env.Out << text;
    env.Out.flush();
    return cecSuccess;
}
