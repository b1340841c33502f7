// orvq-cli in a process of its own, for what one process cannot show: a run
// killed mid-way, a user who may not write the ledger. Usage:
//   cli_child FOLDER hold ARGS...    runs orvq-cli ARGS on FOLDER's company.sqlite
//                                    and ledger.sqlite, its ledger clock an hour
//                                    behind (so a killed run reads as interrupted
//                                    at once); once QuickBooks saved the first
//                                    set that changes it, prints "sent" and waits
//                                    to be killed
//   cli_child FOLDER nobody ARGS...  the same as the user "nobody" when started
//                                    as root, without holding
#include "CliSupport.h"
#include "CliTerminalOutput.h"
#include "ForwardingQBProcessor.h"
#include "TestPlatform.h"
#include "company/QBSandboxRequestProcessor.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>

#include <iostream>
#include <string>

namespace {

// The sandbox company, holding the run after the first set that changes it.
class THoldingProcessor : public TForwardingQBProcessor {
public:
    using TForwardingQBProcessor::TForwardingQBProcessor;
    QString ProcessRequest(const QString& ticket, const QString& request) override {
        const QString answer = TForwardingQBProcessor::ProcessRequest(ticket, request);
        if (request.contains(QStringLiteral("newMessageSetID"))) {
            std::cout << "sent" << std::endl;
            std::string line;
            std::getline(std::cin, line); // killed while waiting here
        }
        return answer;
    }
};

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 4 || (args[2] != u"hold" && args[2] != u"nobody")) {
        std::cerr << "usage: cli_child FOLDER hold|nobody ARGS..." << std::endl;
        return 2;
    }
    const QDir folder(args[1]);
    const bool hold = args[2] == u"hold";
    if (!hold && !testsupport::DropRootToNobody())
        return 2;
    TAppCoreOptions options;
    if (hold)
        options.QBProcessor = [](const TQBProcessorConfig& config) {
            return std::make_unique<THoldingProcessor>(CreateSandboxRequestProcessor(config));
        };
    else
        options.QBProcessor = &CreateSandboxRequestProcessor;
    options.Settings = std::make_shared<TztSettingsRegistry>(
        TztSettingsHive::File(folder.filePath(QStringLiteral("orvq.ini"))), QString());
    options.Redirection = [folder]() -> IRedirectionPtr {
        return std::make_shared<TGenericRedirection>(
            TRedirectionEntries(),
            TRedirectionEntries{
                {QStringLiteral("QBCompanyFile"),
                 folder.filePath(QStringLiteral("company.sqlite"))},
                {QStringLiteral("Ledger"), folder.filePath(QStringLiteral("ledger/ledger.sqlite"))},
                {QStringLiteral("Log"), folder.filePath(QStringLiteral("OrvQ.log"))}},
            TRedirectionPlaces(), QString());
    };
    if (hold)
        options.Ledger.Clock = [] { return QDateTime::currentDateTimeUtc().addSecs(-3600); };
    TAppCore core(options);
    TConsoleOutputs console;
    TCliEnvironment env(console.Out(), console.Err(), nullptr, core);
    return RunOrvqCli(args.mid(3), env);
}
