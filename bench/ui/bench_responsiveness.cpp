// How the window's thread fares while runs work (offscreen): the real main
// window exports 1,000 checks into the sandbox company, which answers each
// request set after 500 ms, then posts a journal, then waits for a slow
// report of the sandbox payroll service; meanwhile a 10 ms timer of the
// window's thread notes how late it comes. Prints the longest stall and the
// stalls over 50 ms of each phase, and how long Cancel takes to stop an
// export. Prints figures only.
#include "OrvTestSupport.h"

#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "settings/OrvConnectionParam.h"
#include "settings/ztSettings.h"
#include "ui/FileOpenFrame.h"
#include "ui/MainForm.h"
#include "ui/OrvPayrollFilterFrame.h"
#include "ui/OrvWaitForm.h"
#include "ui/OrvaneMultiplePayrollFrame.h"
#include "ui/OrvqApplication.h"
#include "ui/QBChecksExportFrame.h"
#include "ui/QBChecksExportParamFrame.h"
#include "ui/QBGLExportFrame.h"
#include "ui/UserDialogBoxes.h"

#include <QAction>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {

constexpr int TickMs = 10;
constexpr int StallMs = 50;
constexpr int SetLatencyMs = 500;

// The lateness of a 10 ms timer of the window's thread.
class TStallMeter : public QObject {
public:
    TStallMeter() {
        m_since.start();
        m_timer.setTimerType(Qt::PreciseTimer);
        connect(&m_timer, &QTimer::timeout, this, [this] { Tick(); });
        m_timer.start(TickMs);
    }
    void Reset() {
        m_longest = 0;
        m_stalls = 0;
        m_since.restart();
    }
    qint64 Longest() const { return m_longest; }
    int Stalls() const { return m_stalls; }

private:
    void Tick() {
        const qint64 late = m_since.restart() - TickMs;
        m_longest = qMax(m_longest, late);
        if (late > StallMs)
            ++m_stalls;
    }
    QTimer m_timer;
    QElapsedTimer m_since;
    qint64 m_longest = 0;
    int m_stalls = 0;
};

// Runs the loop until the page's run is over.
void WaitForRun(TQBExportBaseFrm& page) {
    QEventLoop loop;
    QObject::connect(&page, &TQBExportBaseFrm::RunEnded, &loop, &QEventLoop::quit);
    loop.exec();
}

void Report(const char* phase, const TStallMeter& meter, const QElapsedTimer& took) {
    std::printf("%-44s %8.1f s   longest stall %5lld ms   stalls over %d ms: %d\n", phase,
                double(took.elapsed()) / 1000.0, static_cast<long long>(meter.Longest()), StallMs,
                meter.Stalls());
    std::fflush(stdout);
}

QString ChecksFile(const QString& path, int first, int count) {
    QFile out(path);
    if (!out.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(path));
    for (int i = 0; i < count; ++i)
        out.write(QStringLiteral("\"Maria\",A,\"Lopez\",\"Pay\",3/8/2024,%1,%2.%3\r\n")
                      .arg(first + i)
                      .arg(100 + i % 900)
                      .arg(i % 100, 2, 10, QChar(u'0'))
                      .toUtf8());
    return path;
}

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The sandbox payroll service is started from the sources.
    if (!qEnvironmentVariableIsSet("ORVQ_SOURCE_DIR"))
        qputenv("ORVQ_SOURCE_DIR", ORVQ_SOURCE_DIR_DEFAULT);
    TOrvqApplication app(argc, argv);
    QTemporaryDir dir;
    const QString companyFile = dir.filePath(QStringLiteral("company.qbsb"));
    CreateSandboxCompany(companyFile,
                         QCoreApplication::applicationDirPath() + QStringLiteral("/demo"));
    TQBSandboxCompany(companyFile, false).SetLatencyMs(SetLatencyMs);

    orvtest::TSandboxService service;
    QString error;
    const bool direct = service.Start(&error);
    if (!direct)
        std::printf("(no payroll service: %s; the report wait is left out)\n", qPrintable(error));

    const IztSettingsPtr store = std::make_shared<TztSettingsRegistry>(
        TztSettingsHive{dir.filePath(QStringLiteral("orvq.ini")), QSettings::IniFormat}, QString());
    if (direct) {
        TOrvAPIConnectionParam connection = service.Param();
        connection.SavePassword = true;
        SaveConnectionParam(connection, *store, QString());
    }
    TMainWindowOptions options;
    options.Core.Settings = store;
    options.Core.QBProcessor = &CreateSandboxRequestProcessor;
    options.Core.Redirection = [&dir, companyFile] {
        TRedirectionEntries files;
        files.append({QStringLiteral("Log"), dir.filePath(QStringLiteral("OrvQ.log"))});
        files.append({QStringLiteral("QBCompanyFile"), companyFile});
        files.append({QStringLiteral("Ledger"), dir.filePath(QStringLiteral("ledger.sqlite"))});
        return std::make_shared<TGenericRedirection>(TRedirectionEntries(), files,
                                                     TRedirectionPlaces(), QString());
    };
    options.LogServices.Runner = [](const TShellCommand&) { return 0; };
    TExportPageServices services;
    if (direct) {
        const IRedirectionPtr certificates = service.Environment().Redirection;
        services.Redirection = [certificates] { return certificates; };
    }
    services.ReportPollIntervalMs = 500;

    TPreAnsweredDialogs boxes;
    TMainFm window(options, services);
    window.show();
    TQBChecksExportFrm& checks = *window.QBChecksExportFrame;
    TQBGLExportFrm& gl = *window.QBGLExportFrame;
    // The account list at start, fetched like any run.
    {
        QEventLoop loop;
        QObject::connect(&checks, &TQBChecksExportFrm::AccountListEnded, &loop, &QEventLoop::quit);
        loop.exec();
    }
    TQBChecksExportParam checksOptions{false, QStringLiteral("Payroll Checking"),
                                       QStringLiteral("Payroll Liabilities:Net Pay Clearing"),
                                       false, false};
    checksOptions.BatchSize = 50;
    checks.QBParamFrame->SetParam(checksOptions);

    std::printf("Request sets answered after %d ms each; a %d ms timer on the window's thread\n",
                SetLatencyMs, TickMs);
    TStallMeter meter;
    QElapsedTimer took;

    // 1,000 checks in 20 sets.
    checks.pgSource->setCurrentIndex(rstFile);
    checks.FileOpenFrame->SetFileName(
        ChecksFile(dir.filePath(QStringLiteral("thousand.csv")), 8000001, 1000));
    checks.UpdateActions();
    meter.Reset();
    took.start();
    checks.RunAction->trigger();
    WaitForRun(checks);
    Report("Checks export, 1,000 checks", meter, took);

    // One journal entry.
    gl.pgSource->setCurrentIndex(rstFile);
    gl.FileOpenFrame->SetFileName(QCoreApplication::applicationDirPath() +
                                  QStringLiteral("/samples/s348-journal.csv"));
    gl.UpdateActions();
    meter.Reset();
    took.restart();
    gl.RunAction->trigger();
    WaitForRun(gl);
    Report("GL export, one journal entry", meter, took);

    // A report that takes the service 3 s, polled every 500 ms.
    if (direct) {
        gl.pgSource->setCurrentIndex(rstDirectConnection);
        gl.PayrollFilterFrame->SetPeriod({QDateTime(QDate(2024, 3, 8), QTime(0, 0)),
                                          QDateTime(QDate(2024, 3, 8), QTime(23, 59))});
        gl.UpdateActions();
        gl.ConnectToOrv->trigger();
        WaitForRun(gl);
        service.Control(QStringLiteral("sandbox.setTaskDelay"),
                        [](IRpcFunction& f) { f.AddItem(3); });
        boxes.AnswerNextBox(QMessageBox::Yes); // the duplicate date: post again
        gl.UpdateActions();
        meter.Reset();
        took.restart();
        gl.RunAction->trigger();
        WaitForRun(gl);
        Report("GL export, a report that takes 3 s", meter, took);
    }

    // Cancel in the middle of 1,000 more checks.
    checks.FileOpenFrame->SetFileName(
        ChecksFile(dir.filePath(QStringLiteral("more.csv")), 8100001, 1000));
    checks.UpdateActions();
    boxes.AnswerNextBox(QMessageBox::Yes);
    QElapsedTimer sinceCancel;
    QTimer press;
    QObject::connect(&press, &QTimer::timeout, [&] {
        TOrvWaitFm* wait = window.RunWindow();
        if (!sinceCancel.isValid() && wait && wait->isVisible() &&
            wait->Text().contains(QStringLiteral("Creating QuickBooks Transactions: 100 of"))) {
            sinceCancel.start();
            wait->CancelButton->click();
        }
    });
    press.start(TickMs);
    meter.Reset();
    took.restart();
    checks.RunAction->trigger();
    WaitForRun(checks);
    press.stop();
    Report("Checks export cancelled after 100 checks", meter, took);
    if (sinceCancel.isValid())
        std::printf("Cancel stopped the run after %lld ms (one request set takes %d ms)\n",
                    static_cast<long long>(sinceCancel.elapsed()), SetLatencyMs);
    std::printf("Boxes: %s\n", qPrintable(boxes.BoxTexts().join(QStringLiteral(" | "))));
    return 0;
}
