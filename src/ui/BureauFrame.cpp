#include "ui/BureauFrame.h"

#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "runs/BureauReport.h"
#include "runs/LedgerRunWriter.h"
#include "ui/ActionButton.h"
#include "ui/DocumentPrinting.h"
#include "ui/MemTableColumns.h"
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

namespace {

TMemTable* MapTable(QObject* parent) {
    return NewMemTable(parent, {{"Company", fkString, "Orvane company"},
                                {"CompanyFile", fkString, "QuickBooks company file"},
                                {"CashAccount", fkString, "Cash account"},
                                {"LiabilityAccount", fkString, "Liability account"},
                                {"Checks", fkString, "Checks"},
                                {"GL", fkString, "GL"},
                                {"Clear", fkString, "Clear"},
                                {"DD", fkString, "Create Direct Deposit Checks"},
                                {"PayeeNames", fkString, "Include Payee Names"},
                                {"Index", fkInteger, ""}});
}

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
    AddCompanyAction = new QAction(QStringLiteral("Add current company"), this);
    BrowseFileAction = new QAction(QStringLiteral("Browse…"), this);
    FetchAccountsAction = new QAction(QStringLiteral("Get Account list"), this);
    SaveRowAction = new QAction(QStringLiteral("Save row"), this);
    RemoveRowAction = new QAction(QStringLiteral("Remove row"), this);
    RunAction = new QAction(QStringLiteral("Run bureau"), this);
    PreviewAction = new QAction(QStringLiteral("Preview bureau"), this);
    PrintReportAction = new QAction(QStringLiteral("Print Report"), this);
    connect(RefreshAction, &QAction::triggered, this, UserAction([this] { Refresh(); }));
    connect(AddCompanyAction, &QAction::triggered, this,
            UserAction([this] { AddCurrentCompany(); }));
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
    m_mapTable = MapTable(this);
    MapGrid = new TReDBGrid;
    MapGrid->SetTable(m_mapTable);

    edCompany = new QLineEdit;
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
    editor->addRow(QStringLiteral("Orvane company (internal number)"), edCompany);
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
    rowButtons->addWidget(ActionButton(AddCompanyAction, 130));
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
    const bool edited =
        !edCompany->text().trimmed().isEmpty() && !edCompanyFile->text().trimmed().isEmpty();
    Enable(RefreshAction, free);
    Enable(AddCompanyAction, m_sources.CurrentCompany && m_sources.CurrentCompany().has_value());
    Enable(FetchAccountsAction, free && !edCompanyFile->text().trimmed().isEmpty());
    Enable(SaveRowAction, free && edited);
    Enable(RemoveRowAction, free && !edCompany->text().trimmed().isEmpty());
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

void TBureauFrm::ShowMap(const QList<TBureauMapEntry>& map) {
    m_map = map;
    TMemTable* table = MapTable(this);
    for (qsizetype i = 0; i < map.size(); ++i) {
        const TBureauMapEntry& e = map[i];
        table->Append();
        PutString(*table, "Company", e.OrvaneCompany);
        PutString(*table, "CompanyFile", e.CompanyFile);
        PutString(*table, "CashAccount", e.CashAccount);
        PutString(*table, "LiabilityAccount", e.LiabilityAccount);
        PutString(*table, "Checks", LedgerText(e.ChecksKind));
        PutString(*table, "GL", YesNo(e.PostGL));
        PutString(*table, "Clear", YesNo(e.Clear));
        PutString(*table, "DD", YesNo(e.IncludeDD));
        PutString(*table, "PayeeNames", YesNo(e.PayeeNames));
        table->SetInteger(table->FieldByName(QStringLiteral("Index")), int(i));
        table->Post();
    }
    table->First();
    MapGrid->SetTable(table);
    MapGrid->resizeColumnsToContents();
    m_mapTable->deleteLater();
    m_mapTable = table;
    // The selected row goes into the editor.
    connect(table, &TMemTable::CurrentChanged, this, [this] {
        const int index = m_mapTable->IsEmpty() ? -1 : m_mapTable->Value("Index").toInt();
        if (index >= 0 && index < m_map.size())
            EditRow(m_map[index]);
    });
    UpdateActions();
    Q_EMIT MapLoaded();
}

void TBureauFrm::EditRow(const TBureauMapEntry& e) {
    edCompany->setText(e.OrvaneCompany);
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
    e.OrvaneCompany = edCompany->text().trimmed();
    const QString file = edCompanyFile->text().trimmed();
    e.CompanyFile = file.isEmpty() ? file : QFileInfo(file).absoluteFilePath();
    e.CashAccount = cbCashAccount->currentText().trimmed();
    e.LiabilityAccount = cbLiabilityAccount->currentText().trimmed();
    e.ChecksKind = TBureauChecksKind(cbChecksKind->currentIndex());
    e.PostGL = chkPostGL->isChecked();
    e.Clear = chkClear->isChecked();
    e.IncludeDD = chkIncludeDD->isChecked();
    e.PayeeNames = chkPayeeNames->isChecked();
    return e;
}

void TBureauFrm::AddCurrentCompany() {
    const std::optional<TOrvCompanyDef> company =
        m_sources.CurrentCompany ? m_sources.CurrentCompany() : std::nullopt;
    if (!company)
        return;
    TBureauMapEntry e;
    e.OrvaneCompany = QString::number(company->CoNbr);
    EditRow(e);
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
    Start(
        [row = EditedRow(), quickBooks](TRunContext& context) mutable {
            row.CompanyName = CheckBureauMapEntry(context, quickBooks, row);
            const std::unique_ptr<TRunLedger> ledger = OpenRunLedger(context);
            if (ledger->MapEntry(row.OrvaneCompany))
                ledger->UpdateMapEntry(row);
            else
                ledger->AddMapEntry(row);
        },
        [this](std::exception_ptr failure) {
            if (failure)
                ShowInErrorDisplay(failure);
            m_refreshWanted = true; // after this run has ended
            Q_EMIT RowEnded();
        });
}

void TBureauFrm::RemoveRow() {
    const QString company = edCompany->text().trimmed();
    Start([company](TRunContext& context) { OpenRunLedger(context)->RemoveMapEntry(company); },
          [this](std::exception_ptr failure) {
              if (failure)
                  ShowInErrorDisplay(failure);
              m_refreshWanted = true;
              Q_EMIT RowEnded();
          });
}

QString RunBureauQuestion(int companies) {
    return Format("Post the new payrolls of %d %s into their QuickBooks files?",
                  {companies, PluralForm(QStringLiteral("company"), companies)});
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
