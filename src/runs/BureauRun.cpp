#include "runs/BureauRun.h"

#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "payroll/OrvPayrollLists.h"
#include "quickbooks/QBCompanySession.h"
#include "quickbooks/QBSessionManager.h"
#include "runs/ChecksExportRun.h"
#include "runs/ClaimKeeper.h"
#include "runs/GLExportRun.h"
#include "runs/LedgerReport.h"

#include <QHash>
#include <QSet>

namespace {

const QString BureauRunName = QStringLiteral("Orvane Bureau Run");

// The company number a map row names; the map may hold anything.
qint32 CompanyNumber(const TBureauMapEntry& entry) {
    bool ok = false;
    const qint32 number = entry.OrvaneCompany.trimmed().toInt(&ok);
    if (!ok || number <= 0)
        throw EztException(Format("The company map names the Orvane company \"%s\", which is not "
                                  "an internal company number",
                                  {EscapeControlChars(entry.OrvaneCompany.left(64))}));
    return number;
}

// QuickBooks is asked to open the row's file; the sandbox company's
// processor opens it itself.
TQBConnectionConfig CompanyFileConfig(TQBConnectionConfig config, const QString& companyFile) {
    config.CompanyFile = companyFile;
    config.Processor.CompanyFile = companyFile;
    return config;
}

} // namespace

// The run's progress without the company each export finds open: that line
// of the window tells where its own pages post, never a map row's file
// (the stages name the company).
class TBureauRun::TProgressOfRows : public IRunProgress {
public:
    explicit TProgressOfRows(IRunProgressPtr run) : m_run(std::move(run)) {}
    void StartWait(const QString& message) override { m_run->StartWait(message); }
    void StartReportWait(const QString& message) override { m_run->StartReportWait(message); }
    void EndWait() override { m_run->EndWait(); }
    void SetProgress(int done, int total) override { m_run->SetProgress(done, total); }

private:
    IRunProgressPtr m_run;
};

QList<TReportKind> BureauReportKinds(const TBureauMapEntry& entry) {
    QList<TReportKind> kinds = ChosenChecksReports(entry.ChecksKind);
    if (entry.PostGL)
        kinds << rkJournal;
    return kinds;
}

TBureauTotals BureauTotals(const QList<TBureauCompanyResult>& companies) {
    TBureauTotals t;
    for (const TBureauCompanyResult& company : companies) {
        ++t.Companies;
        if (company.NeedsAttention())
            ++t.CompaniesNeedingAttention;
        QSet<QString> payrolls;
        for (const TBureauExport& e : company.Exports) {
            if (e.State == besHeld)
                ++t.Held;
            if (e.State != besExported)
                continue;
            payrolls.insert(e.Payroll);
            t.ChecksAdded += e.Checks.ChecksAdded;
            t.ChecksExisted += e.Checks.ChecksExisted;
            t.ChecksFailed += e.Checks.Errors;
            t.DepositsAdded += e.Checks.DepositsAdded;
            t.Voids += e.Checks.ChecksVoided;
            t.JournalEntries += e.JournalEntries;
            t.NetPay += e.NetPay;
            t.Journal += e.Journal;
        }
        t.PayrollsExported += payrolls.size();
    }
    return t;
}

TBureauRun::TBureauRun(TBureauRunOptions options) : m_options(std::move(options)) {}

bool TBureauRun::AllWentThrough() const {
    return m_stopped.isEmpty() && BureauTotals(m_companies).CompaniesNeedingAttention == 0;
}

void TBureauRun::Run(TRunContext& context) {
    OrvAssert(context.Logger != nullptr);
    ICommonLogger& logger = *context.Logger;
    m_companies.clear();
    m_stopped.clear();
    TLogBlockGuard block(logger, BureauRunName);
    try {
        logger.LogEvent(BureauRunName + QStringLiteral(" started"));
        const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);
        const QList<TBureauMapEntry> map = ledger->CompanyMap();
        if (map.isEmpty())
            throw EztException(QStringLiteral(
                "The company map is empty: add the companies the bureau exports on the Bureau "
                "tab or with 'orvq-cli map add'."));
        // One log-in for the whole run rather than one per payroll's report;
        // the session logs out here as the run ends, however it ends.
        const auto logIn = [&] {
            return std::make_shared<TStableOrvAPIConnection>(m_options.Connection, context.Logger,
                                                             context.OrvaneEnvironment());
        };
        const std::shared_ptr<void> loggingOut(nullptr, [this](void*) { m_orvane.reset(); });
        m_orvane = logIn();
        TOrvPayrollLists lists(context.Orvane.Redirection);
        lists.LoadPayrollList(m_options.Connection, context.Logger, *context.Progress,
                              m_options.From, m_options.To, context.OrvaneEnvironment(), m_orvane);
        for (const TBureauMapEntry& entry : map) {
            context.Cancel->CheckPoint();
            TBureauCompanyResult& company = m_companies.emplace_back();
            company.Entry = entry;
            const QString position =
                Format("Company %d of %d", {int(m_companies.size()), int(map.size())});
            TLogBlockGuard companyBlock(logger, position);
            try {
                // A session the service dropped and that could not be logged
                // in again fails one company, not all that follow.
                if (m_orvane->Session().isEmpty())
                    m_orvane = logIn();
                RunCompany(context, *ledger, lists, company, position);
            } catch (const EOperationCancelled&) {
                throw;
            } catch (...) {
                // What is not a run's failure (a bad row, a ledger that
                // fails) was not logged yet.
                const QString message = ProblemMessage(std::current_exception());
                company.Problems << message;
                logger.LogWarning(Format("%s: %s", {position, message}));
            }
        }
        const TBureauTotals totals = BureauTotals(m_companies);
        logger.LogEvent(Format(
            m_options.Preview ? "%s preview completed: %s, %s to export, %d need attention"
                              : "%s completed: %s, %s exported, %d need attention",
            {BureauRunName, Counted(totals.Companies, "company"),
             Counted(totals.PayrollsExported, "payroll"), totals.CompaniesNeedingAttention}));
    } catch (const EOperationCancelled&) {
        m_stopped = QStringLiteral("the run was cancelled");
        LogRunCancelled(logger, BureauRunName);
        throw;
    } catch (...) {
        m_stopped = QStringLiteral("the run failed: ") +
                    ProblemMessage(std::current_exception()).section(u'\n', 0, 0).trimmed();
        logger.PassthroughExceptionAndWarnFmt(QStringLiteral("%s failed"), {BureauRunName});
    }
}

void TBureauRun::RunCompany(TRunContext& context, TRunLedger& ledger, TOrvPayrollLists& lists,
                            TBureauCompanyResult& company, const QString& position) {
    const TBureauMapEntry& entry = company.Entry;
    if (!entry.Problem.isEmpty())
        throw EztException(entry.Problem);
    const qint32 coNbr = CompanyNumber(entry);
    if (entry.CompanyFile.trimmed().isEmpty())
        throw EztException(QStringLiteral("The company map names no QuickBooks company file"));
    const TOrvPayrollsDef payrolls = lists.CompanyPayrolls(coNbr);
    company.CompanyName = payrolls.Company.CompanyName;
    context.Logger->LogEvent(
        Format("%s: %s %s", {position, entry.OrvaneCompany, company.CompanyName}));

    // Read once: a payroll exported meanwhile elsewhere is caught when it is
    // claimed.
    const QList<TReportKind> kinds = BureauReportKinds(entry);
    QHash<TReportKind, QStringList> exported;
    for (const TReportKind kind : kinds)
        exported[kind] = ledger.ExportedPayrolls(entry.OrvaneCompany, kind);
    // Opened by the first run that connects, closed when the company is done.
    const TQBProcessorConfig processor =
        CompanyFileConfig(m_options.QuickBooks, entry.CompanyFile).Processor;
    m_session = std::make_shared<TCompanySession>(CreateQBSessionManager(processor));
    const std::shared_ptr<void> closing(nullptr, [this](void*) { m_session.reset(); });
    m_fileChecked = false;
    for (const TPrDef& payroll : payrolls.Payrolls) {
        for (const TReportKind kind : kinds) {
            if (exported[kind].contains(QString::number(payroll.PrNbr)))
                continue;
            context.Cancel->CheckPoint();
            TBureauExport& out = company.Exports.emplace_back();
            out.Payroll = QString::number(payroll.PrNbr);
            out.Caption = PayrollCaption(payroll.CheckDate, payroll.RunNumber);
            out.Kind = kind;
            const QString stage =
                Format("%s (%s): payroll %s, %s",
                       {position, company.CompanyName, out.Caption, LedgerText(kind)});
            TWaitGuard wait(*context.Progress, stage);
            context.Logger->LogEvent(stage);
            if (!ExportPayroll(context, ledger, company, {payrolls.Company, {payroll}}, kind, out))
                return;
        }
    }
}

bool TBureauRun::ExportPayroll(TRunContext& context, TRunLedger& ledger,
                               TBureauCompanyResult& company, const TOrvPayrollsDef& payroll,
                               TReportKind kind, TBureauExport& out) {
    const TBureauMapEntry& entry = company.Entry;
    // A preview posts nothing, so it claims nothing.
    std::optional<TClaimKeeper> keeper;
    if (!m_options.Preview) {
        const TLedgerClaim claim =
            ledger.Claim(entry.OrvaneCompany, out.Payroll, kind, m_options.ClaimSeconds);
        if (!claim.Granted) {
            out.State = besHeld;
            out.Note = ClaimHolderText(claim);
            context.Logger->LogEvent(Format("Payroll %s: %s", {out.Caption, out.Note}));
            return true;
        }
        keeper.emplace(ledger, context.OpenLedger, claim, m_options.ClaimSeconds);
        // Another workstation may have finished it since the list was read.
        if (ledger.ExportedPayrolls(entry.OrvaneCompany, kind).contains(out.Payroll)) {
            company.Exports.removeLast();
            return true;
        }
        if (!claim.TakenOverFrom.isEmpty())
            out.Note = Format("taken up from %s, whose claim had expired", {claim.TakenOverFrom});
    }

    TRunContext run = context;
    QStringList problems;
    // Nobody watches a bureau run: a failed poll of the report (a call past
    // its deadline, say) is the payroll's problem, not a box.
    run.ShowFailure = [&problems](std::exception_ptr failure) {
        problems << ProblemMessage(failure);
    };
    run.Progress = std::make_shared<TProgressOfRows>(context.Progress);
    run.ConnectQB = [session = m_session,
                     config = CompanyFileConfig(m_options.QuickBooks, entry.CompanyFile)](
                        const ICommonLoggerPtr& logger) {
        return std::make_unique<TQBConnection>(logger, session->Borrow(session),
                                               config.SdkDownloadAddress, config.CompanyFile);
    };
    try {
        // Once per company, before its first export sends anything.
        if (!m_fileChecked)
            CheckCompanyFile(run, entry);
        m_fileChecked = true;
    } catch (const EOperationCancelled&) {
        throw;
    } catch (...) {
        out.State = besFailed;
        problems << ProblemMessage(std::current_exception());
    }
    if (out.State != besFailed) {
        const TPostResult result = RunExport(run, entry, payroll, kind);
        // A cancel the export took stops the bureau run too.
        context.Cancel->CheckPoint();
        problems << result.Problems;
        out.Checks = result.Counts.Checks;
        out.JournalEntries = result.Counts.JournalEntriesAdded;
        out.NetPay = result.Counts.NetPay;
        out.Journal = result.Counts.Journal;
        if (result.State == psFailed) {
            out.State = besFailed;
        } else if (result.State == psNoReport) {
            out.State = besFailed;
            if (problems.isEmpty())
                problems << Format("The Orvane %s report was not fetched", {LedgerText(kind)});
        }
    }
    if (keeper && keeper->Lost())
        problems << QStringLiteral(
            "The claim on this payroll expired while it was exported and another workstation "
            "took it up: compare the company file with the ledger's runs of this payroll.");
    for (const QString& problem : problems)
        company.Problems << Format("Payroll %s, %s: %s", {out.Caption, LedgerText(kind), problem});
    if (out.State == besFailed) {
        out.Note = problems.value(0);
        company.Problems << (m_options.Preview
                                 ? QStringLiteral("The company's remaining payrolls were not "
                                                  "previewed: a bureau run stops the company "
                                                  "here.")
                                 : QStringLiteral("The company's remaining payrolls were not "
                                                  "exported; the next bureau run takes them up."));
        return false;
    }
    return true;
}

void TBureauRun::CheckCompanyFile(TRunContext& context, const TBureauMapEntry& entry) {
    const QString again = QStringLiteral(
        " Nothing of the company was exported. If the file is the right one, add the row again "
        "(remove it and 'orvq-cli map add', or save it on the Bureau tab): adding records the "
        "company the file holds.");
    if (entry.CompanyName.isEmpty())
        throw EztException(Format("The company map's row of Orvane company %s records no "
                                  "QuickBooks company to check the file %s against.",
                                  {entry.OrvaneCompany, entry.CompanyFile}) +
                           again);
    const TQBConnectionConfig config = CompanyFileConfig(m_options.QuickBooks, entry.CompanyFile);
    const QString held = QBCompanyTarget(*std::make_unique<TQBConnection>(
                                             context.Logger, m_session->Borrow(m_session),
                                             config.SdkDownloadAddress, config.CompanyFile))
                             .CompanyName;
    if (held != entry.CompanyName)
        throw EztException(Format("The company file %s is refused: the map says \"%s\", the "
                                  "file holds \"%s\".",
                                  {entry.CompanyFile, EscapeControlChars(entry.CompanyName),
                                   EscapeControlChars(held.left(200))}) +
                           again);
}

TPostResult TBureauRun::RunExport(TRunContext& run, const TBureauMapEntry& entry,
                                  const TOrvPayrollsDef& payroll, TReportKind kind) {
    TReportSourceOptions source;
    source.Tab = rstDirectConnection;
    source.Direct = TDirectSourceOptions{m_options.Connection, payroll, m_orvane};
    TPostingOptions posting;
    posting.Preview = m_options.Preview;
    posting.Questions = qpAnswerNo;
    // A payroll without agency checks posts nothing; recorded as exported
    // all the same, so later runs do not fetch it again.
    posting.RecordNothingToPostInto = entry.CompanyFile;
    if (kind == rkJournal)
        return TGLExportRun({source, m_options.GL, posting}).RunGLExport(run);
    TChecksRunOptions options;
    options.Source = source;
    options.CheckKindChoice = kind == rkAgencyChecks ? crcAgencyChecks : crcEmployeeChecks;
    options.Checks = m_options.Checks;
    options.Checks.CashAccount = entry.CashAccount;
    options.Checks.LiabilityAccount = entry.LiabilityAccount;
    options.Checks.Clear = entry.Clear;
    options.Checks.IncludeDD = entry.IncludeDD;
    options.Checks.IncludeEENames = entry.PayeeNames;
    options.Posting = posting;
    return TChecksExportRun(options).RunChecksExport(run).value(0);
}

QString CheckBureauMapEntry(TRunContext& context, const TQBConnectionConfig& quickBooks,
                            const TBureauMapEntry& entry) {
    CompanyNumber(entry);
    if (entry.CompanyFile.trimmed().isEmpty())
        throw EztException(QStringLiteral("The row names no QuickBooks company file."));
    QStringList names;
    QString company;
    {
        const std::unique_ptr<TQBConnection> qb =
            TQBConnection::Create(context.Logger, CompanyFileConfig(quickBooks, entry.CompanyFile));
        qb->GetAccountFullNames(names);
        company = QBCompanyTarget(*qb).CompanyName;
    }
    QStringList reasons;
    const auto check = [&](const QString& role, const QString& account) {
        if (account.trimmed().isEmpty())
            reasons << Format("no %s account is given", {role});
        else if (!names.contains(account, Qt::CaseInsensitive))
            reasons << Format("the %s account \"%s\" is not in the company file %s",
                              {role, EscapeControlChars(account.left(200)), entry.CompanyFile});
    };
    check(QStringLiteral("cash"), entry.CashAccount);
    check(QStringLiteral("liability"), entry.LiabilityAccount);
    if (!reasons.isEmpty())
        throw EztException(Format("The row of Orvane company %s is refused: %s.",
                                  {entry.OrvaneCompany, reasons.join(QStringLiteral("; "))}));
    if (company.isEmpty())
        throw EztException(Format("The row of Orvane company %s is refused: the company file %s "
                                  "gives no company name to check it by later.",
                                  {entry.OrvaneCompany, entry.CompanyFile}));
    return company;
}

TBureauMapEntry AddBureauMapEntry(TRunContext& context, TRunLedger& ledger,
                                  const TQBConnectionConfig& quickBooks, TBureauMapEntry entry) {
    entry.CompanyName = CheckBureauMapEntry(context, quickBooks, entry);
    ledger.AddMapEntry(entry);
    return *ledger.MapEntry(entry.OrvaneCompany);
}

void ReplaceBureauMapEntry(TRunContext& context, TRunLedger& ledger,
                           const TQBConnectionConfig& quickBooks, TBureauMapEntry entry) {
    entry.CompanyName = CheckBureauMapEntry(context, quickBooks, entry);
    ledger.UpdateMapEntry(entry);
}
