#include "ui/QBExportBaseFrame.h"

#include "base/RegionalSettings.h"
#include "base/vlxErrorDisplay.h"
#include "runs/PayrollListsRun.h"
#include "ui/ActionButton.h"
#include "ui/FileOpenFrame.h"
#include "ui/OrvAPIConnectionParamFrame.h"
#include "ui/OrvPayrollFilterFrame.h"
#include "ui/OrvaneMultiplePayrollFrame.h"
#include "ui/OrvqApplication.h"
#include "ui/PlainTextLabel.h"
#include "ui/PlainTextPrinting.h"
#include "ui/RunPreviewDialog.h"

#include <QAbstractEventDispatcher>
#include <QAction>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString DateName(const QString& key, const char* value) {
    return key + u'\\' + QLatin1String(value);
}

// StrToDate throws when a date does not convert: the period stays. A date
// never stored (a first start) keeps the panel's default without a word.
void LoadPeriod(const IztSettings& settings, const QString& key, TOrvPayrollFilterFrm& filter) {
    TOrvPayrollPeriod period = filter.Period();
    const auto stored = [&](const char* name, const QDate& fallback) {
        const QString text = settings.GetAsString(DateName(key, name));
        return text.isEmpty() ? fallback : StrToDate(text);
    };
    const QDate from = stored("DateFrom", period.From.date());
    const QDate to = stored("DateTo", period.To.date());
    period.From.setDate(from);
    period.To.setDate(to);
    filter.SetPeriod(period);
}

void SavePeriod(const TOrvPayrollFilterFrm& filter, IztSettings& settings, const QString& key) {
    const TOrvPayrollPeriod period = filter.Period();
    settings.SetAsString(DateName(key, "DateFrom"), DateToStr(period.From.date()));
    settings.SetAsString(DateName(key, "DateTo"), DateToStr(period.To.date()));
}

} // namespace

TQBExportBaseFrm::TQBExportBaseFrm(const QString& caption, const QString& fileHint,
                                   const QString& printReportCaption, QString periodKey,
                                   QWidget* parent)
    : QWidget(parent), m_periodKey(std::move(periodKey)) {
    RunAction = new QAction(QStringLiteral("Run"), this);
    PrintReportAction = new QAction(printReportCaption, this);
    PrintLogAction = new QAction(QStringLiteral("Print Log"), this);
    ConnectToOrv = new QAction(QStringLiteral("Get Orvane payroll list"), this);
    PreviewAction = new QAction(QStringLiteral("Preview"), this);
    connect(RunAction, &QAction::triggered, this, UserAction([this] { Run(); }));
    connect(PreviewAction, &QAction::triggered, this, UserAction([this] { Preview(); }));
    connect(PrintReportAction, &QAction::triggered, this, UserAction([this] { PrintReport(); }));
    connect(PrintLogAction, &QAction::triggered, this, UserAction([this] { PrintLog(); }));
    connect(ConnectToOrv, &QAction::triggered, this, UserAction([this] { GetPayrollList(); }));

    lblCaption = new QLabel(caption);
    lblCaption->setMinimumHeight(25);
    QFont bold = lblCaption->font();
    bold.setBold(true);
    lblCaption->setFont(bold);

    pgSource = new QTabWidget;
    tsDirect = new QWidget;
    tsFile = new QWidget;
    pgSource->addTab(tsDirect, QStringLiteral("Direct connection"));
    pgSource->addTab(tsFile, QStringLiteral("File"));

    PayrollFilterFrame = new TOrvPayrollFilterFrm;
    PayrollFilterFrame->setMinimumWidth(314);
    btnConnectToOrv = ActionButton(ConnectToOrv, 153);
    auto* strip = new QWidget;
    strip->setMinimumHeight(65);
    auto* stripLayout = new QHBoxLayout(strip);
    stripLayout->setContentsMargins(0, 0, 0, 0);
    stripLayout->addWidget(PayrollFilterFrame);
    stripLayout->addWidget(btnConnectToOrv, 0, Qt::AlignVCenter);
    stripLayout->addStretch();
    PayrollFrame = new TOrvaneMultiplePayrollFrm;
    m_directLayout = new QVBoxLayout(tsDirect);
    m_directLayout->addWidget(strip);
    m_directLayout->addWidget(PayrollFrame, 1);

    lblFileHint = new QLabel(fileHint);
    lblFileHint->setMinimumHeight(17);
    lblFileHint->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    FileOpenFrame = new TFileOpenFrm;
    auto* fileLayout = new QVBoxLayout(tsFile);
    fileLayout->addWidget(lblFileHint);
    fileLayout->addWidget(FileOpenFrame);
    fileLayout->addStretch();

    btnRun = ActionButton(RunAction, 75);
    btnPreview = ActionButton(PreviewAction, 75);
    lblCompany = new QLabel;
    lblCompany->setTextInteractionFlags(Qt::TextSelectableByMouse);
    btnPrintReport = ActionButton(PrintReportAction, 81);
    btnPrintLog = ActionButton(PrintLogAction, 81);
    auto* buttons = new QWidget;
    buttons->setMinimumHeight(38);
    auto* buttonLayout = new QHBoxLayout(buttons);
    buttonLayout->addWidget(btnRun);
    buttonLayout->addWidget(btnPreview);
    buttonLayout->addWidget(btnPrintReport);
    buttonLayout->addWidget(btnPrintLog);
    buttonLayout->addStretch();

    m_layout = new QVBoxLayout(this);
    m_layout->setContentsMargins(0, 0, 0, 0);
    m_layout->addWidget(lblCaption);
    m_layout->addWidget(pgSource, 1);
    m_layout->addWidget(lblCompany);
    m_layout->addWidget(buttons);

    connect(QAbstractEventDispatcher::instance(), &QAbstractEventDispatcher::aboutToBlock, this,
            &TQBExportBaseFrm::UpdateActions);
    UpdateActions();
}

TQBExportBaseFrm::~TQBExportBaseFrm() = default;

void TQBExportBaseFrm::LoadOptions(const IztSettings& settings, const TOptionStep& step) {
    LoadPanelOptions(settings, step);
    step([&] { LoadPeriod(settings, m_periodKey, *PayrollFilterFrame); });
}

void TQBExportBaseFrm::SaveOptions(IztSettings& settings, const TOptionStep& step) const {
    SavePanelOptions(settings, step);
    step([&] { SavePeriod(*PayrollFilterFrame, settings, m_periodKey); });
}

void TQBExportBaseFrm::SetParamFrame(QWidget* frame) {
    m_layout->insertWidget(m_layout->count() - 1, frame);
}

void TQBExportBaseFrm::AddToDirectTab(QWidget* widget) {
    m_directLayout->addWidget(widget);
}

void TQBExportBaseFrm::Init(ICommonLoggerPtr logger, TOrvAPIConnectionParamFrm& connection,
                            ILogRecorder& recorder, TRunThread& runs) {
    m_logger = std::move(logger);
    m_connection = &connection;
    m_recorder = &recorder;
    m_runs = &runs;
    connect(&runs, &TRunThread::CompanyShown, lblCompany,
            [label = lblCompany](const QString& company) { SetPlainText(*label, company); });
    pgSource->setCurrentIndex(connection.IsComplete() ? rstDirectConnection : rstFile);
    UpdateActions();
}

bool TQBExportBaseFrm::IsSourceReady() const {
    if (SourceTab() == rstFile)
        return FileOpenFrame->HasFile();
    return m_connection && m_connection->IsComplete() && PayrollFrame->IsReady();
}

TReportSourceTab TQBExportBaseFrm::SourceTab() const {
    return pgSource->currentIndex() == rstFile ? rstFile : rstDirectConnection;
}

QString TQBExportBaseFrm::FileName() const {
    return FileOpenFrame->FileName();
}

TReportSourceOptions TQBExportBaseFrm::SourceOptions() const {
    TReportSourceOptions source;
    source.Tab = SourceTab();
    source.FileName = FileName();
    if (source.Tab == rstDirectConnection)
        source.Direct =
            TDirectSourceOptions{m_connection->GetParam(), PayrollFrame->GetSelectedPayrolls()};
    return source;
}

void TQBExportBaseFrm::UpdateActions() {
    const auto enable = [](QAction* action, bool on) {
        if (action->isEnabled() != on)
            action->setEnabled(on);
    };
    enable(RunAction, m_logger && m_runs && CanRun());
    enable(PreviewAction, m_logger && m_runs && CanRun());
    enable(PrintReportAction, !m_reportText.isEmpty());
    enable(PrintLogAction, !m_logText.isEmpty());
    enable(ConnectToOrv, m_connection && m_connection->IsComplete());
}

void TQBExportBaseFrm::Run() {
    StartPosting({});
}

void TQBExportBaseFrm::Preview() {
    TPostingOptions posting;
    posting.Preview = true;
    StartPosting(posting);
}

void TQBExportBaseFrm::StartPosting(const TPostingOptions& posting) {
    if (m_runs->Busy())
        return;
    if (m_previewDialog)
        m_previewDialog->close();
    m_reportText.clear();
    m_logText.clear();
    UpdateActions();
    RunExport(posting);
}

TRunPreviewDlg* TQBExportBaseFrm::PreviewDialog() const {
    return m_previewDialog;
}

void TQBExportBaseFrm::ShowPreview(const QList<TRunPreview>& previews) {
    auto* dialog = new TRunPreviewDlg(previews, this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // Post runs the export as the controls choose it now, as Run would.
    connect(dialog, &QDialog::accepted, this, [this] { Run(); });
    m_previewDialog = dialog;
    dialog->open();
    Q_EMIT PreviewShown();
}

void TQBExportBaseFrm::StartExport(TPosting post) {
    m_recorder->StartRecording(false);
    auto results = std::make_shared<QList<TPostResult>>();
    try {
        m_runs->Start(
            [post = std::move(post), results](TRunContext& context) {
                *results = post(context);
                RethrowPostFailure(*results);
            },
            [this, results](std::exception_ptr failure) {
                m_reportText = PrintedReports(*results);
                m_logText = m_recorder->StopRecording();
                UpdateActions();
                if (failure)
                    ShowInErrorDisplay(failure);
                const QList<TRunPreview> found = PostPreviews(*results);
                Q_EMIT RunEnded();
                if (!failure && !found.isEmpty())
                    ShowPreview(found);
            });
    } catch (...) {
        m_logText = m_recorder->StopRecording();
        throw;
    }
}

void TQBExportBaseFrm::GetPayrollList() {
    if (m_runs->Busy())
        return;
    const TOrvPayrollPeriod period = PayrollFilterFrame->Period();
    auto run = std::make_shared<TPayrollListsRun>(
        TPayrollListsOptions{m_connection->GetParam(), period.From.date(), period.To.date()});
    m_runs->Start([run](TRunContext& context) { run->LoadPayrollList(context); },
                  [this, run](std::exception_ptr failure) {
                      // A cancelled load keeps the lists shown; a failed one
                      // leaves none.
                      if (!IsCancel(failure)) {
                          PayrollFrame->Lists().Adopt(run->TakeTables());
                          if (!failure)
                              ConnectToOrv->setText(QStringLiteral("Refresh Orvane payroll list"));
                      }
                      UpdateActions();
                      if (failure && !IsCancel(failure))
                          ShowInErrorDisplay(failure);
                      Q_EMIT RunEnded();
                  });
}

void TQBExportBaseFrm::PrintReport() {
    PrintText(this, m_reportText);
}

void TQBExportBaseFrm::PrintLog() {
    PrintText(this, m_logText);
}
