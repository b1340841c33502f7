#include "ui/BureauFrame.h"

#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "runs/BureauReport.h"
#include "runs/LedgerRunWriter.h"
#include "runs/PayrollListsRun.h"
#include "ui/ActionButton.h"
#include "ui/DocumentPrinting.h"
#include "ui/GridRows.h"
#include "ui/OrvPayrollFilterFrame.h"
#include "ui/OrvqApplication.h"
#include "ui/UserDialogBoxes.h"
#include "ui/dbcomp.h"

#include <QAbstractEventDispatcher>
#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QFileInfo>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QSplitter>
#include <QTextBrowser>
#include <QVBoxLayout>
#include <algorithm>

namespace {

QString YesNo(bool value) {
    return value ? QStringLiteral("yes") : QStringLiteral("no");
}

QComboBox* AccountBox() {
    auto* box = new QComboBox;
    box->setEditable(true);
    box->setInsertPolicy(QComboBox::NoInsert);
    box->setMinimumContentsLength(30);
    return box;
}

void SetAccount(QComboBox* box, const QString& name) {
    box->setCurrentText(name);
}

} // namespace

TBureauFrm::TBureauFrm(QWidget* parent) : TRunTab(parent) {
    RefreshAction = new QAction(QStringLiteral("Refresh"), this);
    GetCompaniesAction = new QAction(QStringLiteral("Get Orvane company list"), this);
    BrowseFileAction = new QAction(QStringLiteral("Browse…"), this);
    FetchAccountsAction = new QAction(QStringLiteral("Get Account list"), this);
    SaveRowAction = new QAction(QStringLiteral("Save row"), this);
    RemoveRowAction = new QAction(QStringLiteral("Remove row"), this);
    RunAction = new QAction(QStringLiteral("Run bureau"), this);
    PreviewAction = new QAction(QStringLiteral("Preview bureau"), this);
    PrintReportAction = new QAction(QStringLiteral("Print Report"), this);
    connect(RefreshAction, &QAction::triggered, this, UserAction([this] { Refresh(); }));
    connect(GetCompaniesAction, &QAction::triggered, this,
            UserAction([this] { FetchCompanies(); }));
    connect(BrowseFileAction, &QAction::triggered, this,
            UserAction([this] { BrowseCompanyFile(); }));
    connect(FetchAccountsAction, &QAction::triggered, this,
            UserAction([this] { FetchAccounts(); }));
    connect(SaveRowAction, &QAction::triggered, this, UserAction([this] { SaveRow(); }));
    connect(RemoveRowAction, &QAction::triggered, this, UserAction([this] { RemoveRow(); }));
    connect(RunAction, &QAction::triggered, this, UserAction([this] { RunBureau(false); }));
    connect(PreviewAction, &QAction::triggered, this, UserAction([this] { RunBureau(true); }));
    connect(PrintReportAction, &QAction::triggered, this, UserAction([this] { PrintReport(); }));

    auto* caption = new QLabel(
        QStringLiteral("Companies the bureau exports, each into its own QuickBooks company file"));
    QFont bold = caption->font();
    bold.setBold(true);
    caption->setFont(bold);
    m_mapTable = NewMemTable(this, MapColumns());
    MapGrid = new TReDBGrid;
    MapGrid->SetTable(m_mapTable);

    cbCompany = new QComboBox;
    cbCompany->setMinimumContentsLength(40);
    // Picking a company starts a new row for it.
    connect(cbCompany, &QComboBox::activated, this,
            UserAction([this] { StartRow(cbCompany->currentData().toString()); }));
    edCompanyFile = new QLineEdit;
    cbCashAccount = AccountBox();
    cbLiabilityAccount = AccountBox();
    cbChecksKind = new QComboBox;
    cbChecksKind->addItems({QStringLiteral("All Checks"), QStringLiteral("Employee Checks"),
                            QStringLiteral("Agency Checks")});
    chkPostGL = new QCheckBox(QStringLiteral("Post the GL journal too"));
    chkClear = new QCheckBox(QStringLiteral("Clear"));
    chkIncludeDD = new QCheckBox(QStringLiteral("Create Direct Deposit Checks"));
    chkPayeeNames = new QCheckBox(QStringLiteral("Include Payee Names"));
    auto* editor = new QFormLayout;
    auto* companyRow = new QHBoxLayout;
    companyRow->addWidget(cbCompany, 1);
    companyRow->addWidget(ActionButton(GetCompaniesAction, 150));
    editor->addRow(QStringLiteral("Orvane company"), companyRow);
    auto* fileRow = new QHBoxLayout;
    fileRow->addWidget(edCompanyFile, 1);
    fileRow->addWidget(ActionButton(BrowseFileAction, 75));
    editor->addRow(QStringLiteral("QuickBooks company file"), fileRow);
    editor->addRow(QStringLiteral("Cash account"), cbCashAccount);
    editor->addRow(QStringLiteral("Liability account"), cbLiabilityAccount);
    editor->addRow(QStringLiteral("Checks"), cbChecksKind);
    auto* switches = new QHBoxLayout;
    for (QCheckBox* box : {chkPostGL, chkClear, chkIncludeDD, chkPayeeNames})
        switches->addWidget(box);
    switches->addStretch();
    editor->addRow(QString(), switches);
    auto* rowButtons = new QHBoxLayout;
    rowButtons->addWidget(ActionButton(RefreshAction, 75));
    rowButtons->addWidget(ActionButton(FetchAccountsAction, 110));
    rowButtons->addWidget(ActionButton(SaveRowAction, 81));
    rowButtons->addWidget(ActionButton(RemoveRowAction, 81));
    rowButtons->addStretch();

    edFrom = CheckDatePicker();
    edFrom->setDate(QDate::currentDate().addDays(-7));
    edTo = CheckDatePicker();
    edTo->setDate(QDate::currentDate());
    auto* runButtons = new QHBoxLayout;
    runButtons->addWidget(new QLabel(QStringLiteral("Check dates from")));
    runButtons->addWidget(edFrom);
    runButtons->addWidget(new QLabel(QStringLiteral("to")));
    runButtons->addWidget(edTo);
    runButtons->addWidget(ActionButton(PreviewAction, 100));
    runButtons->addWidget(ActionButton(RunAction, 90));
    runButtons->addWidget(ActionButton(PrintReportAction, 81));
    runButtons->addStretch();
    ReportView = new QTextBrowser;

    auto* top = new QWidget;
    auto* topLayout = new QVBoxLayout(top);
    topLayout->setContentsMargins(0, 0, 0, 0);
    topLayout->addWidget(caption);
    topLayout->addWidget(MapGrid, 1);
    topLayout->addLayout(editor);
    topLayout->addLayout(rowButtons);
    topLayout->addLayout(runButtons);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(top);
    splitter->addWidget(ReportView);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(splitter);

    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TBureauFrm::UpdateActions);
    UpdateActions();
}

TBureauFrm::~TBureauFrm() = default;

void TBureauFrm::Init(TRunThread& runs, TBureauTabSources sources) {
    m_sources = std::move(sources);
    InitRuns(runs);
}

void TBureauFrm::UpdateActions() {
    const bool free = RunsFree();
    const bool company = !cbCompany->currentData().toString().isEmpty();
    const bool edited = company && !edCompanyFile->text().trimmed().isEmpty();
    Enable(RefreshAction, free);
    Enable(GetCompaniesAction, free);
    Enable(FetchAccountsAction, free && !edCompanyFile->text().trimmed().isEmpty());
    Enable(SaveRowAction, free && edited);
    Enable(RemoveRowAction, free && !m_editedRow.isEmpty());
    Enable(RunAction, free && !m_map.isEmpty() && edFrom->date() <= edTo->date());
    Enable(PreviewAction, RunAction->isEnabled());
    Enable(PrintReportAction, !m_lastRun.isEmpty());
}

void TBureauFrm::Refresh() {
    auto map = std::make_shared<QList<TBureauMapEntry>>();
    m_refreshWanted =
        !Start([map](TRunContext& context) { *map = OpenRunLedger(context)->CompanyMap(); },
               [this, map](std::exception_ptr failure) {
                   if (failure) {
                       ShowInErrorDisplay(failure);
                       return;
                   }
                   ShowMap(*map);
               });
}

TTableColumns<TBureauMapEntry> TBureauFrm::MapColumns() const {
    return {{"Orvane company", fkString,
             [this](const TBureauMapEntry& e) { return CompanyText(e.OrvaneCompany); }, "Company"},
            {"QuickBooks company", fkString, [](const TBureauMapEntry& e) { return e.CompanyName; },
             "QBCompany"},
            {"QuickBooks company file", fkString,
             [](const TBureauMapEntry& e) { return e.CompanyFile; }, "CompanyFile"},
            {"Cash account", fkString, [](const TBureauMapEntry& e) { return e.CashAccount; },
             "CashAccount"},
            {"Liability account", fkString,
             [](const TBureauMapEntry& e) { return e.LiabilityAccount; }, "LiabilityAccount"},
            {"Checks", fkString, [](const TBureauMapEntry& e) { return LedgerText(e.ChecksKind); }},
            {"GL", fkString, [](const TBureauMapEntry& e) { return YesNo(e.PostGL); }},
            {"Clear", fkString, [](const TBureauMapEntry& e) { return YesNo(e.Clear); }},
            {"Create Direct Deposit Checks", fkString,
             [](const TBureauMapEntry& e) { return YesNo(e.IncludeDD); }, "DD"},
            {"Include Payee Names", fkString,
             [](const TBureauMapEntry& e) { return YesNo(e.PayeeNames); }, "PayeeNames"}};
}

void TBureauFrm::ShowMap(const QList<TBureauMapEntry>& map) {
    m_map = map;
    ShowRows(*MapGrid, m_mapTable, MapColumns(), m_map);
    // The selected row goes into the editor; so does the first, unless the
    // editor holds a row already.
    const auto editCurrent = [this] {
        if (const TBureauMapEntry* current = CurrentRow(*m_mapTable, m_map))
            EditRow(*current, true);
    };
    connect(m_mapTable, &TMemTable::CurrentChanged, this, editCurrent);
    if (std::none_of(map.begin(), map.end(),
                     [this](const TBureauMapEntry& e) { return e.OrvaneCompany == m_editedRow; }))
        m_editedRow.clear(); // removed meanwhile
    if (m_editedRow.isEmpty() && cbCompany->currentData().toString().isEmpty())
        editCurrent();
    UpdateActions();
    Q_EMIT MapLoaded();
}

QString TBureauFrm::CompanyText(const QString& orvaneCompany) const {
    const QString name = m_companyNames.value(orvaneCompany).trimmed();
    return name.isEmpty() ? orvaneCompany : Format("%s (Orvane %s)", {name, orvaneCompany});
}

void TBureauFrm::SelectCompany(const QString& orvaneCompany) {
    int index = orvaneCompany.isEmpty() ? -1 : cbCompany->findData(orvaneCompany);
    if (index < 0 && !orvaneCompany.isEmpty()) {
        cbCompany->addItem(CompanyText(orvaneCompany), orvaneCompany);
        index = cbCompany->count() - 1;
    }
    cbCompany->setCurrentIndex(index);
}

void TBureauFrm::EditRow(const TBureauMapEntry& e, bool replacing) {
    m_editedRow = replacing ? e.OrvaneCompany : QString();
    SelectCompany(e.OrvaneCompany);
    edCompanyFile->setText(e.CompanyFile);
    SetAccount(cbCashAccount, e.CashAccount);
    SetAccount(cbLiabilityAccount, e.LiabilityAccount);
    cbChecksKind->setCurrentIndex(int(e.ChecksKind));
    chkPostGL->setChecked(e.PostGL);
    chkClear->setChecked(e.Clear);
    chkIncludeDD->setChecked(e.IncludeDD);
    chkPayeeNames->setChecked(e.PayeeNames);
}

TBureauMapEntry TBureauFrm::EditedRow() const {
    TBureauMapEntry e;
    e.OrvaneCompany = cbCompany->currentData().toString();
    const QString file = edCompanyFile->text().trimmed();
    e.CompanyFile = file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
    e.CashAccount = cbCashAccount->currentText().trimmed();
    e.LiabilityAccount = cbLiabilityAccount->currentText().trimmed();
    e.ChecksKind = TChecksReportChoice(cbChecksKind->currentIndex());
    e.PostGL = chkPostGL->isChecked();
    e.Clear = chkClear->isChecked();
    e.IncludeDD = chkIncludeDD->isChecked();
    e.PayeeNames = chkPayeeNames->isChecked();
    return e;
}

void TBureauFrm::FetchCompanies() {
    const TOrvAPIConnectionParam connection = m_sources.Connection();
    auto companies = std::make_shared<QList<TOrvCompanyDef>>();
    Start([connection, companies](
              TRunContext& context) { *companies = LoadOrvaneCompanies(context, connection); },
          [this, companies](std::exception_ptr failure) {
              if (failure) {
                  if (!IsCancel(failure))
                      ShowInErrorDisplay(failure);
                  return;
              }
              const QString chosen = cbCompany->currentData().toString();
              cbCompany->clear();
              for (const TOrvCompanyDef& company : *companies) {
                  const QString number = QString::number(company.CoNbr);
                  m_companyNames.insert(number, company.CompanyName);
                  cbCompany->addItem(CompanyText(number), number);
              }
              SelectCompany(chosen);
              ShowMap(m_map);
              Q_EMIT CompaniesLoaded();
          });
}

void TBureauFrm::StartRow(const QString& orvaneCompany) {
    TBureauMapEntry e;
    e.OrvaneCompany = orvaneCompany;
    EditRow(e, false);
    edCompanyFile->setFocus();
}

void TBureauFrm::BrowseCompanyFile() {
    const QString current = edCompanyFile->text().trimmed();
    const QString chosen = GetOpenFileName(
        this, QStringLiteral("QuickBooks company file"),
        current.isEmpty() ? QString() : QFileInfo(current).absolutePath(),
        QStringLiteral("QuickBooks company files (*.qbw *.qbsb *.sqlite);;All files (*)"));
    if (!chosen.isEmpty())
        edCompanyFile->setText(QDir::toNativeSeparators(chosen));
}

void TBureauFrm::FetchAccounts() {
    const TBureauMapEntry row = EditedRow();
    const TQBConnectionConfig quickBooks = m_sources.Defaults().QuickBooks;
    auto names = std::make_shared<QStringList>();
    Start(
        [row, quickBooks, names](TRunContext& context) {
            TQBConnectionConfig config = quickBooks;
            config.CompanyFile = row.CompanyFile;
            config.Processor.CompanyFile = row.CompanyFile;
            TQBConnection::Create(context.Logger, config)->GetAccountFullNames(*names);
        },
        [this, names](std::exception_ptr failure) {
            if (failure) {
                ShowInErrorDisplay(failure);
                return;
            }
            for (QComboBox* box : {cbCashAccount, cbLiabilityAccount}) {
                const QString chosen = box->currentText();
                box->clear();
                box->addItems(*names);
                box->setCurrentText(chosen);
            }
            Q_EMIT AccountsLoaded();
        });
}

void TBureauFrm::SaveRow() {
    const TQBConnectionConfig quickBooks = m_sources.Defaults().QuickBooks;
    const TBureauMapEntry row = EditedRow();
    Start(
        [row, replacing = m_editedRow == row.OrvaneCompany, quickBooks](TRunContext& context) {
            const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);
            if (replacing)
                ReplaceBureauMapEntry(context, *ledger, quickBooks, row);
            else
                AddBureauMapEntry(context, *ledger, quickBooks, row);
        },
        [this, company = row.OrvaneCompany](std::exception_ptr failure) {
            if (failure)
                ShowInErrorDisplay(failure);
            else
                m_editedRow = company; // saved: the editor shows its row now
            m_refreshWanted = true;    // after this run has ended
            Q_EMIT RowEnded();
        });
}

void TBureauFrm::RemoveRow() {
    const QString company = m_editedRow;
    Start([company](TRunContext& context) { OpenRunLedger(context)->RemoveMapEntry(company); },
          [this](std::exception_ptr failure) {
              if (failure)
                  ShowInErrorDisplay(failure);
              m_refreshWanted = true;
              Q_EMIT RowEnded();
          });
}

QString RunBureauQuestion(int companies) {
    return Format("Post the new payrolls of %s into their QuickBooks files?",
                  {Counted(companies, "company")});
}

void TBureauFrm::RunBureau(bool preview) {
    if (!RunsFree())
        return;
    // A preview posts nothing, so only posting asks.
    if (!preview && !m_runs->Services().Dialogs->ConfirmYesNo(RunBureauQuestion(int(m_map.size()))))
        return;
    TBureauRunOptions options = m_sources.Defaults();
    options.Connection = m_sources.Connection();
    options.From = edFrom->date();
    options.To = edTo->date();
    options.Preview = preview;
    auto run = std::make_shared<TBureauRun>(options);
    Start([run](TRunContext& context) { run->Run(context); },
          [this, run, options](std::exception_ptr failure) {
              m_lastRun = run->Companies();
              for (const TBureauCompanyResult& company : m_lastRun)
                  if (!company.CompanyName.isEmpty())
                      m_companyNames.insert(company.Entry.OrvaneCompany, company.CompanyName);
              m_reportHtml =
                  BureauReportHtml(BureauReportHeader(options, run->Stopped()), m_lastRun);
              ReportView->setHtml(m_reportHtml);
              if (failure)
                  ShowInErrorDisplay(failure);
              Q_EMIT BureauEnded();
          });
}

void TBureauFrm::PrintReport() {
    if (!m_lastRun.isEmpty())
        PrintDocument(this, m_reportHtml, QStringLiteral("Orvane bureau run"));
}
