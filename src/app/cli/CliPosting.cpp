#include "CliPosting.h"

const QStringList CliPostingOptions{QStringLiteral("--csv"), QStringLiteral("--confirm-company")};
const QStringList CliPostingSwitches{QStringLiteral("--preview"),
                                     QStringLiteral("--remember-company")};

const char* const CliPostingOptionsHelp =
    "  --preview            do everything up to posting and print what each record would\n"
    "                       become; nothing in QuickBooks changes (recorded in the ledger\n"
    "                       as a preview)\n"
    "  --csv FILE           with --preview: also write the preview to FILE as CSV\n"
    "  --confirm-company NAME\n"
    "                       post even though the ledger paired this Orvane company (or\n"
    "                       report file) with another QuickBooks company, or the open\n"
    "                       company with another Orvane company; NAME must be the open\n"
    "                       company's name exactly (another name stops the run even\n"
    "                       when nothing is to confirm). Posts this run only: the\n"
    "                       pairing stays\n"
    "  --remember-company   with --confirm-company: from now on post this Orvane\n"
    "                       company (or report file) into the open company\n";

TPostingOptions CliPostingChoice(const TCliOptions& options) {
    TPostingOptions posting;
    posting.Preview = options.Has(QStringLiteral("--preview"));
    if (options.Has(QStringLiteral("--csv")) && !posting.Preview)
        throw ECliUsageError(QStringLiteral("--csv goes with --preview"));
    posting.ConfirmCompany = options.Value(QStringLiteral("--confirm-company"));
    if (options.Has(QStringLiteral("--confirm-company")) && posting.ConfirmCompany->isEmpty())
        throw ECliUsageError(QStringLiteral("--confirm-company takes the company's name"));
    posting.RememberCompany = options.Has(QStringLiteral("--remember-company"));
    if (posting.RememberCompany && posting.ConfirmCompany->isEmpty())
        throw ECliUsageError(QStringLiteral("--remember-company goes with --confirm-company"));
    return posting;
}

int FinishCliPreview(TCliEnvironment& env, IUserDialogs& dialogs, const TCliOptions& options,
                     const QList<TRunPreview>& previews) {
    env.Out << FormatPreviewTable(previews);
    env.Out.flush();
    if (options.Has(QStringLiteral("--csv"))) {
        const QString path = options.Value(QStringLiteral("--csv"));
        try {
            WriteWholeFile(path, PreviewCsv(previews),
                           "The preview could not be written to %s: %s");
        } catch (const EztException& e) {
            dialogs.ShowError(e.Message());
            return cecFailed;
        }
    }
    for (const TRunPreview& p : previews)
        if (p.Problems() > 0 || !p.CompanyQuestion.isEmpty())
            return cecFailed;
    return cecSuccess;
}
