#include "ui/MainForm.h"

#include "base/RegionalSettings.h"
#include "settings/QBDecl.h"
#include "ui/OrvAPIConnectionParamFrame.h"
#include "ui/OrvOptionsFrame.h"
#include "ui/OrvPayrollFilterFrame.h"
#include "ui/QBChecksExportFrame.h"
#include "ui/QBChecksExportParamFrame.h"
#include "ui/QBGLExportFrame.h"
#include "ui/QBGLExportParamFrame.h"

#include <QTabWidget>
#include <QVBoxLayout>

const QString OrvGLExportPayrollFilterKey = QStringLiteral("OrvGLExportPayrollFilter");
const QString OrvChecksExportPayrollFilterKey = QStringLiteral("OrvChecksExportPayrollFilter");

namespace {

template <typename Page> Page* FillWithPage(QWidget* tab, Page* page) {
    auto* layout = new QVBoxLayout(tab);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(page);
    return page;
}

QString DateName(const QString& key, const char* value) {
    return key + u'\\' + QLatin1String(value);
}

// The dates are stored as short-date text of the user's settings; the
// period changes only when both convert (StrToDate throws otherwise). A date
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

TMainFm::TMainFm(TMainWindowOptions options, TExportPageServices pageServices)
    : TOrvAPIClientMainFm(std::move(options)) {
    if (!pageServices.Connect)
        pageServices.Connect = RedirectedQBConnectionFactory(Core().RedirectionFactory());
    if (!pageServices.Redirection)
        pageServices.Redirection = Core().RedirectionFactory();
    PageControl1->setTabText(PageControl1->indexOf(TabSheet2), QStringLiteral("GL Export"));
    TabSheet4 = new QWidget;
    PageControl1->addTab(TabSheet4, QStringLiteral("Checks Export"));
    QBGLExportFrame = FillWithPage(TabSheet2, new TQBGLExportFrm(pageServices));
    QBChecksExportFrame = FillWithPage(TabSheet4, new TQBChecksExportFrm(pageServices));
    QBGLExportFrame->Init(Logger(), *OrvFrame, *this);
    QBChecksExportFrame->Init(Logger(), *OrvFrame, *this);
    LoadOptions();
}

TMainFm::~TMainFm() {
    SaveOptions();
}

void TMainFm::LoadOptions() {
    IztSettings& settings = *Settings();
    RunStep([&] {
        QBGLExportFrame->QBParamFrame->SetParam(LoadGLExportParam(settings, QBGLExportOptionsKey));
    });
    RunStep([&] {
        LoadPeriod(settings, OrvGLExportPayrollFilterKey, *QBGLExportFrame->PayrollFilterFrame);
    });
    RunStep([&] {
        QBChecksExportFrame->QBParamFrame->SetParam(
            LoadChecksExportParam(settings, QBChecksExportOptionsKey));
    });
    RunStep([&] {
        QBChecksExportFrame->OrvOptionsFrame->SetKind(
            LoadChecksReportChoice(settings, OrvChecksExportOptionsKey));
    });
    RunStep([&] {
        LoadPeriod(settings, OrvChecksExportPayrollFilterKey,
                   *QBChecksExportFrame->PayrollFilterFrame);
    });
}

void TMainFm::SaveOptions() {
    IztSettings& settings = *Settings();
    RunStep([&] {
        SaveGLExportParam(QBGLExportFrame->QBParamFrame->GetParam(), settings,
                          QBGLExportOptionsKey);
    });
    RunStep([&] {
        SavePeriod(*QBGLExportFrame->PayrollFilterFrame, settings, OrvGLExportPayrollFilterKey);
    });
    RunStep([&] {
        SaveChecksExportParam(QBChecksExportFrame->QBParamFrame->GetParam(), settings,
                              QBChecksExportOptionsKey);
    });
    RunStep([&] {
        SaveChecksReportChoice(QBChecksExportFrame->OrvOptionsFrame->Kind(), settings,
                               OrvChecksExportOptionsKey);
    });
    RunStep([&] {
        SavePeriod(*QBChecksExportFrame->PayrollFilterFrame, settings,
                   OrvChecksExportPayrollFilterKey);
    });
}
