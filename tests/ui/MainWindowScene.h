// A main window of the export tests over a settings file and a redirection
// in a test folder, with the sandbox QuickBooks company made from the demo
// data as its QuickBooks.
#pragma once

#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "export/QBConnectionFactory.h"
#include "settings/ztSettings.h"
#include "ui/MainForm.h"
#include "ui/vlxCommonLoggerViewFrame.h"
#include "ui/vlxLoggerRichViewFrame.h"

#include <QTemporaryDir>

struct TWindowScene {
    QTemporaryDir Dir;

    QString StoreFile() const { return Dir.filePath(QStringLiteral("orvq.ini")); }
    QString CompanyFile() const { return Dir.filePath(QStringLiteral("company.qbsb")); }
    QString LedgerFile() const { return Dir.filePath(QStringLiteral("ledger.sqlite")); }
    IztSettingsPtr Store() const {
        return std::make_shared<TztSettingsRegistry>(
            TztSettingsHive{StoreFile(), QSettings::IniFormat}, QString());
    }
    void CreateCompany() const {
        CreateSandboxCompany(CompanyFile(), qEnvironmentVariable("ORVQ_SOURCE_DIR") +
                                                QStringLiteral("/data/demo"));
    }
    // The redirection names the company file, the run ledger and the user
    // log file.
    TMainWindowOptions Options() const {
        TMainWindowOptions options;
        options.Core.Settings = Store();
        options.Core.QBProcessor = &CreateSandboxRequestProcessor;
        options.Core.Redirection = [this] {
            TRedirectionEntries files;
            files.append({QStringLiteral("Log"), Dir.filePath(QStringLiteral("OrvQ.log"))});
            files.append({QStringLiteral("QBCompanyFile"), CompanyFile()});
            files.append({QStringLiteral("Ledger"), LedgerFile()});
            return std::make_shared<TGenericRedirection>(TRedirectionEntries(), files,
                                                         TRedirectionPlaces(), QString());
        };
        options.LogServices.Runner = [](const TShellCommand&) { return 0; };
        options.Version = QStringLiteral("1.4");
        return options;
    }
};

// The captions on the log page.
inline QStringList LoggedCaptions(TOrvAPIClientMainFm& window) {
    QStringList listed;
    for (const TLogViewItem& item :
         static_cast<TCommonLoggerViewFrame*>(window.LogView)->LoggerRichView->Items())
        listed << item.Caption;
    return listed;
}
