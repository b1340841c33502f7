// orvq-cli in process: usage errors and help, the bundled samples exported
// into a fresh sandbox company and run again, saved options and their
// overrides, exit codes, the developer log and the redirected company.
#include "CliSupport.h"
#include "CliTerminalOutput.h"
#include "TestSupport.h"
#include "base/vlxTextUtils.h"
#include "company/QBSandboxCompany.h"
#include "company/QBSandboxLists.h"
#include "company/QBSandboxRequestProcessor.h"
#include "settings/QBDecl.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

QString SourceDir() {
    return qEnvironmentVariable("ORVQ_SOURCE_DIR");
}

QString Sample(const QString& name) {
    return SourceDir() + u"/data/samples/"_s + name;
}

const QStringList DemoAccounts{u"--cash-account"_s, u"Payroll Checking"_s, u"--liability-account"_s,
                               u"Payroll Liabilities:Net Pay Clearing"_s};

struct TCli {
    QTemporaryDir Dir;
    QString OutText;
    QString ErrText;
    QTextStream Out{&OutText};
    QTextStream Err{&ErrText};
    IztSettingsPtr Settings;
    QString Company;
    bool RedirectionMissing = false;
    std::optional<QString> Password; // ORVQ_PASSWORD
    std::unique_ptr<TAppCore> Core;

    TCli() {
        Settings = std::make_shared<TztSettingsRegistry>(
            TztSettingsHive::File(Dir.filePath(u"orvq.ini"_s)), QString());
        Company = Dir.filePath(u"company.sqlite"_s);
        CreateSandboxCompany(Company, SourceDir() + u"/data/demo"_s);
        TAppCoreOptions options;
        options.Settings = Settings;
        options.QBProcessor = &CreateSandboxRequestProcessor;
        options.Redirection = [this]() -> IRedirectionPtr {
            if (RedirectionMissing)
                throw ERedirectionFileNotFound(u"Cannot find redirection file"_s);
            return std::make_shared<TGenericRedirection>(
                TRedirectionEntries(),
                TRedirectionEntries{{u"QBCompanyFile"_s, Company},
                                    {u"Ledger"_s, Dir.filePath(u"ledger.sqlite"_s)},
                                    {u"Log"_s, Dir.filePath(u"OrvQ.log"_s)}},
                TRedirectionPlaces(), QString());
        };
        Core = std::make_unique<TAppCore>(options);
    }

    int Run(const QStringList& args) {
        OutText.clear();
        ErrText.clear();
        TCliEnvironment env{Out, Err, nullptr, *Core};
        env.PasswordVariable = Password;
        const int code = RunOrvqCli(args, env);
        Out.flush();
        Err.flush();
        return code;
    }
    QString LastLine() const {
        const QStringList lines = OutText.split(u'\n', Qt::SkipEmptyParts);
        return lines.isEmpty() ? QString() : lines.last();
    }
    // Reference numbers of the company's checks.
    QStringList Checks() const {
        TQBSandboxCompany company(Company, false);
        TSbTxnFilter filter;
        filter.Type = u"Check"_s;
        QStringList refs;
        for (const TSbTxn& t : company.Txns(filter))
            refs << t.RefNumber;
        return refs;
    }
};

} // namespace

class TestOrvqCli : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void usageErrors_data();
    void usageErrors();
    void help();
    void samplesThenEverythingExists_data();
    void samplesThenEverythingExists();
    void savedOptionsAndOverrides();
    void failedRecordsExitOne();
    void accountsInAnySpelling();
    void failedRunExitOne();
    void devLogHoldsQbXml_data();
    void devLogHoldsQbXml();
    void controlCharactersShownEscaped();
    void terminalShowsHostileTextEscaped();
    void redirectedCompany();
    void consoleQuestions_data();
    void consoleQuestions();
    void connectionSavedOnlyWhenAsked();
    void demoExportsIntoTheRedirectedCompany();
};

void TestOrvqCli::usageErrors_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    const QString file = Sample(u"s1910-sample.txt"_s);
    QTest::newRow("no command") << QStringList() << u"usage: orvq-cli COMMAND"_s;
    QTest::newRow("unknown command") << QStringList(u"gl2"_s) << u"unknown command \"gl2\""_s;
    QTest::newRow("no file") << QStringList(u"checks"_s) << u"--file PATH"_s;
    QTest::newRow("file without value")
        << QStringList({u"checks"_s, u"--file"_s}) << u"--file needs a value"_s;
    QTest::newRow("unknown option")
        << QStringList({u"checks"_s, u"--file"_s, file, u"--fast"_s}) << u"unknown option --fast"_s;
    QTest::newRow("stray argument") << QStringList({u"checks"_s, file}) << u"unexpected argument"_s;
    QTest::newRow("option twice") << QStringList(
                                         {u"checks"_s, u"--file"_s, file, u"--file"_s, file})
                                  << u"--file is given twice"_s;
    QTest::newRow("both switches")
        << (QStringList({u"checks"_s, u"--file"_s, file, u"--clear"_s, u"--no-clear"_s}) +
            DemoAccounts)
        << u"--clear and --no-clear exclude each other"_s;
    QTest::newRow("no cash account")
        << QStringList({u"checks"_s, u"--file"_s, file}) << u"--cash-account NAME"_s;
    QTest::newRow("no liability account")
        << QStringList({u"checks"_s, u"--file"_s, file, u"--cash-account"_s, u"Checking"_s})
        << u"--liability-account NAME"_s;
    QTest::newRow("control characters in the command line")
        << QStringList({u"checks"_s, u"--fa\u0001st"_s}) << u"unknown option --fa\\x01st"_s;
    QTest::newRow("control character in a command")
        << QStringList(u"gl\u001b"_s) << u"unknown command \"gl\\x1B\""_s;
    QTest::newRow("batch size 0")
        << (QStringList({u"checks"_s, u"--file"_s, file, u"--batch-size"_s, u"0"_s}) + DemoAccounts)
        << u"--batch-size takes a number from 1 to 500, not \"0\""_s;
    QTest::newRow("gl batch size not a number")
        << QStringList({u"gl"_s, u"--file"_s, file, u"--batch-size"_s, u"lots"_s})
        << u"--batch-size takes a number from 1 to 500, not \"lots\""_s;
    QTest::newRow("developer log not writable")
        << (QStringList({u"checks"_s, u"--file"_s, file, u"--dev-log"_s,
                         u"/nonexistent-folder/dev.log"_s}) +
            DemoAccounts)
        << u"cannot write the developer log file"_s;
}

void TestOrvqCli::usageErrors() {
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    TCli cli;
    QCOMPARE(cli.Run(args), int(cecUsage));
    QVERIFY2(cli.ErrText.contains(message), qPrintable(cli.ErrText));
    QCOMPARE(cli.Checks(), QStringList());
}

void TestOrvqCli::help() {
    TCli cli;
    QCOMPARE(cli.Run({u"--help"_s}), int(cecSuccess));
    QVERIFY(cli.OutText.contains(u"  checks      export the checks"_s));
    QVERIFY2(cli.OutText.contains(u"3 (gl): the journal entry was created but\ncould not be "
                                  u"marked cleared"_s),
             qPrintable(cli.OutText));
    QCOMPARE(cli.Run({u"checks"_s, u"--help"_s}), int(cecSuccess));
    for (const QString& option :
         {u"--file PATH"_s, u"--cash-account NAME"_s, u"--liability-account NAME"_s,
          u"--no-clear"_s, u"--no-include-dd"_s, u"--no-payee-names"_s, u"--company-file FILE"_s,
          u"--dev-log FILE"_s, u"--batch-size N"_s, u"Exit code 0"_s})
        QVERIFY2(cli.OutText.contains(option), qPrintable(option));
}

void TestOrvqCli::samplesThenEverythingExists_data() {
    QTest::addColumn<QString>("sample");
    QTest::addColumn<QString>("recognized");
    QTest::addColumn<QString>("first");
    QTest::addColumn<QString>("second");
    QTest::newRow("S1910") << u"s1910-sample.txt"_s << u"S1910 Employee Checks Report"_s
                           << u"2 checks added, 0 checks voided, 1 deposit added, 0 checks already "
                              u"existed, 0 checks were already voided, 0 deposits already "
                              u"existed"_s
                           << u"0 checks added, 0 checks voided, 0 deposits added, 2 checks "
                              u"already existed, 0 checks were already voided, 1 deposit already "
                              u"existed"_s;
    QTest::newRow("S1911") << u"s1911-sample.txt"_s << u"S1911 Agency Checks Report"_s
                           << u"4 checks added, 0 checks voided, 0 deposits added, 0 checks "
                              u"already existed, 0 checks were already voided, 0 deposits already "
                              u"existed"_s
                           << u"0 checks added, 0 checks voided, 0 deposits added, 4 checks "
                              u"already existed, 0 checks were already voided, 0 deposits already "
                              u"existed"_s;
}

void TestOrvqCli::samplesThenEverythingExists() {
    QFETCH(QString, sample);
    QFETCH(QString, recognized);
    QFETCH(QString, first);
    QFETCH(QString, second);
    TCli cli;
    const QStringList args =
        QStringList({u"checks"_s, u"--file"_s, Sample(sample), u"--company-file"_s, cli.Company}) +
        DemoAccounts;
    QCOMPARE(cli.Run(args), int(cecSuccess));
    // The user log as its file holds it, records one empty line apart, then
    // the summary with the counts, once besides its record.
    const QString context =
        u"Context:\nOrvane Checks Export\nOrvane Checks file: "_s + Sample(sample) + u'\n';
    const QString done = u"Orvane Checks Export successfully completed"_s;
    // The company is named before anything is posted; the file's first
    // posting says where it went.
    const QString company = TQBSandboxCompany(cli.Company, false).CompanyName();
    const QString guard = u"Event: QuickBooks company: "_s + company + u" \u2014 "_s +
                          QDir::toNativeSeparators(QFileInfo(cli.Company).absoluteFilePath()) +
                          u'\n' + context + u"\nEvent: First posting of the report file "_s +
                          sample + u": it goes into QuickBooks company '"_s + company +
                          u"'; posting it into another company will ask first.\n"_s + context +
                          u'\n';
    QCOMPARE(cli.OutText, u"Event: Orvane Checks Export started\n\n"_s +
                              u"Event: Report recognized as "_s + recognized + u'\n' + context +
                              u'\n' + guard + u"Event: "_s + done + u": "_s + first + u'\n' +
                              context + u'\n' + done + u": "_s + first + u'\n');
    QCOMPARE(cli.ErrText, QString());
    QCOMPARE(cli.Run(args), int(cecSuccess));
    QCOMPARE(cli.LastLine(), u"Orvane Checks Export successfully completed: "_s + second);
}

void TestOrvqCli::savedOptionsAndOverrides() {
    TCli cli;
    TQBChecksExportParam saved;
    saved.CashAccount = u"Payroll Checking"_s;
    saved.LiabilityAccount = u"Payroll Liabilities:Net Pay Clearing"_s;
    saved.IncludeDD = true;
    SaveChecksExportParam(saved, *cli.Settings, QBChecksExportOptionsKey);
    const QStringList base{u"checks"_s, u"--file"_s, Sample(u"s1910-sample.txt"_s)};
    // The saved options include the direct-deposit check.
    QCOMPARE(cli.Run(base), int(cecSuccess));
    QCOMPARE(cli.Checks(), QStringList({u"10234"_s, u"00012345"_s, u"10235"_s}));
    // Another cash account, given by flag, sees none of them.
    QCOMPARE(cli.Run(base + QStringList({u"--cash-account"_s, u"Checking"_s, u"--no-include-dd"_s,
                                         u"--no-payee-names"_s})),
             int(cecSuccess));
    QVERIFY2(cli.LastLine().contains(u"2 checks added"_s), qPrintable(cli.LastLine()));
    TQBSandboxCompany company(cli.Company, false);
    TSbTxnFilter filter;
    filter.Type = u"Check"_s;
    const auto checks = company.Txns(filter);
    QCOMPARE(checks.size(), size_t(5));
    QVERIFY(checks.back().PayeeID.isEmpty());
    // Flags never change the saved options.
    QCOMPARE(LoadChecksExportParam(*cli.Settings, QBChecksExportOptionsKey), saved);
}

void TestOrvqCli::failedRecordsExitOne() {
    TCli cli;
    const QString report = cli.Dir.filePath(u"s1911.txt"_s);
    QFile file(report);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("\"Internal Revenue Service\",\"Federal tax deposit\",3/8/2024,2001,4520.33\r\n"
               "\"Internal Revenue Service\",\"Penalty\",3/8/2024,123456789012345,10.00\r\n");
    file.close();
    const int code =
        cli.Run(QStringList({u"checks"_s, u"--file"_s, report, u"--company-file"_s, cli.Company}) +
                DemoAccounts);
    QCOMPARE(code, int(cecFailed));
    QVERIFY2(cli.LastLine().startsWith(
                 u"Orvane Checks Export partially completed: 1 error occured, 1 check added"_s),
             qPrintable(cli.LastLine()));
    QVERIFY(cli.ErrText.startsWith(u"Error: Orvane Checks Export partially completed"_s));
    QCOMPARE(cli.Checks(), QStringList(u"2001"_s));
}

void TestOrvqCli::accountsInAnySpelling() {
    // QuickBooks finds an account whatever the case; the export must find
    // what it added the same way, or every run adds the checks again.
    TCli cli;
    const QStringList base{u"checks"_s, u"--file"_s, Sample(u"s1910-sample.txt"_s),
                           u"--company-file"_s, cli.Company};
    const QStringList spelled{u"--cash-account"_s, u"payroll checking "_s, u"--liability-account"_s,
                              u"PAYROLL LIABILITIES:Net Pay Clearing"_s};
    for (int run = 0; run < 3; ++run) {
        QCOMPARE(cli.Run(base + spelled), int(cecSuccess));
        QCOMPARE(cli.Checks(), QStringList({u"10234"_s, u"10235"_s}));
    }
}

void TestOrvqCli::failedRunExitOne() {
    TCli cli;
    const QString missing = cli.Dir.filePath(u"none.txt"_s);
    QCOMPARE(
        cli.Run(QStringList({u"checks"_s, u"--file"_s, missing, u"--company-file"_s, cli.Company}) +
                DemoAccounts),
        int(cecFailed));
    QVERIFY(cli.ErrText.startsWith(u"Error: "_s));
    QVERIFY2(cli.ErrText.contains(u"none.txt"_s), qPrintable(cli.ErrText));
    QVERIFY(cli.OutText.contains(u"Warning: Orvane Checks Export failed\n"_s));
}

void TestOrvqCli::devLogHoldsQbXml_data() {
    QTest::addColumn<QStringList>("batchSize");
    QTest::addColumn<int>("sets");
    // The company's name for the run ledger, 4 queries, then 4 adds: alone
    // with --batch-size 1, in one set by default.
    QTest::newRow("one request a set") << QStringList{u"--batch-size"_s, u"1"_s} << 9;
    QTest::newRow("default") << QStringList() << 6;
}

void TestOrvqCli::devLogHoldsQbXml() {
    QFETCH(QStringList, batchSize);
    QFETCH(int, sets);
    TCli cli;
    const QString devLog = cli.Dir.filePath(u"dev.log"_s);
    QFile stale(devLog);
    QVERIFY(stale.open(QIODevice::WriteOnly));
    stale.write("an older run\n");
    stale.close();
    QCOMPARE(cli.Run(QStringList({u"checks"_s, u"--file"_s, Sample(u"s1911-sample.txt"_s),
                                  u"--company-file"_s, cli.Company, u"--dev-log"_s, devLog}) +
                     DemoAccounts + batchSize),
             int(cecSuccess));
    QFile file(devLog);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString text = QString::fromUtf8(file.readAll());
    QVERIFY(!text.contains(u"an older run"_s));
    QCOMPARE(text.count(u"qbXML request sent"_s), sets);
    QCOMPARE(text.count(u"<CheckAddRq"_s), 4);
    QVERIFY(text.contains(u"<Amount>4520.33</Amount>"_s));
    QVERIFY(!cli.OutText.contains(u"qbXML"_s)); // the user log leaves debug messages out
}

// A NUL in a memo, a control character in a GL tag or a file name: shown
// escaped on the console and in the developer log, never raw.
void TestOrvqCli::controlCharactersShownEscaped() {
    TCli cli;
    const auto write = [&cli](const QString& name, const QByteArray& bytes) {
        QFile file(cli.Dir.filePath(name));
        if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
            qFatal("cannot write %s", qPrintable(name));
        return file.fileName();
    };
    const QString devLog = cli.Dir.filePath(u"dev.log"_s);
    const QStringList common{u"--company-file"_s, cli.Company, u"--dev-log"_s, devLog};
    const auto raw = [](const QString& text) {
        return std::any_of(text.cbegin(), text.cend(), [](QChar c) {
            return (c.unicode() < 0x20 && c != u'\t' && c != u'\n' && c != u'\r') ||
                   (c.unicode() >= 0x7f && c.unicode() <= 0x9f);
        });
    };
    const auto checkRun = [&](const QStringList& args, const QString& shown) {
        QCOMPARE(cli.Run(args + common), int(cecFailed));
        const QString dev = QString::fromUtf8(testsupport::ReadFile(devLog));
        QVERIFY(!raw(cli.OutText) && !raw(cli.ErrText) && !raw(dev));
        QVERIFY2(cli.OutText.contains(shown), qPrintable(cli.OutText));
        QVERIFY2(dev.contains(shown), qPrintable(shown));
    };

    static const char withNul[] = "\"Maria\",A,\"Lopez\",\"Pay\0day\",3/8/2024,1001,1250.10\r\n";
    const QString report = write(u"s1910.txt"_s, QByteArray(withNul, sizeof withNul - 1));
    checkRun(QStringList({u"checks"_s, u"--file"_s, report}) + DemoAccounts, u"Pay\\x00day"_s);
    const QString journal =
        write(u"s348.csv"_s, "HLB1,20240308,PR0311,WK10,,65\x01"
                             "10,100.00,100.00,\r\n"
                             "HLB1,20240308,PR0311,WK10,,6510,-100.00,,100.00\r\n");
    checkRun({u"gl"_s, u"--file"_s, journal}, u"65\\x0110"_s);
    checkRun(QStringList({u"checks"_s, u"--file"_s, cli.Dir.filePath(u"no\u0001ne.txt"_s)}) +
                 DemoAccounts,
             u"no\\x01ne.txt"_s);
    QVERIFY2(cli.ErrText.startsWith(u"Error: "_s) && cli.ErrText.contains(u"no\\x01ne.txt"_s),
             qPrintable(cli.ErrText));
}

// Everything orvq-cli prints goes through the terminal output: a payee's
// escape sequences and right-to-left override arrive as text, also in the
// log lines and the error line; the CSV written beside it evaluates nothing.
void TestOrvqCli::terminalShowsHostileTextEscaped() {
    TCli cli;
    const QString report = cli.Dir.filePath(u"s1911.txt"_s);
    {
        QFile file(report);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("\"-2+3+HYPERLINK(\"\"http://evil.example\"\")\",\"m\",3/8/2024,2001,2.00\r\n"
                   "\"IRS\x1b]0;owned\x07\x1b[2J\",\"m\",3/8/2024,2002,3.00\r\n"
                   "\"\xe2\x80\xae"
                   "exe.SRI\",\"\xe2\x81\xa6m\",3/8/2024,2003,4.00\r\n");
    }
    const QString csv = cli.Dir.filePath(u"preview.csv"_s);
    QBuffer console;
    QVERIFY(console.open(QIODevice::WriteOnly));
    {
        TTerminalOutput out(console);
        TCliEnvironment env{out.Stream(), out.Stream(), nullptr, *cli.Core};
        RunOrvqCli(QStringList{u"checks"_s, u"--file"_s, report, u"--preview"_s, u"--csv"_s, csv} +
                       DemoAccounts,
                   env);
        // An error line, with the file named as typed.
        RunOrvqCli(QStringList{u"checks"_s, u"--file"_s, cli.Dir.filePath(u"\u202eno.txt"_s)} +
                       DemoAccounts,
                   env);
    }
    const QString shown = QString::fromUtf8(console.data());
    QVERIFY2(shown.contains(u"IRS\\x1B]0;owned\\x07\\x1B[2J"_s) &&
                 shown.contains(u"\\u202Eexe.SRI"_s),
             qPrintable(shown));
    QVERIFY2(shown.contains(u"Error: "_s) && shown.contains(u"\\u202Eno.txt"_s), qPrintable(shown));
    QVERIFY2(std::none_of(shown.cbegin(), shown.cend(),
                          [](QChar c) {
                              return (IsControlChar(c) && c != u'\t' && c != u'\n') ||
                                     IsBidiControlChar(c);
                          }),
             qPrintable(shown));
    const QString written = QString::fromUtf8(testsupport::ReadFile(csv));
    QVERIFY2(written.contains(u",\"'-2+3+HYPERLINK(\"\"http://evil.example\"\")\","_s),
             qPrintable(written));
}

void TestOrvqCli::redirectedCompany() {
    TCli cli;
    const QStringList args =
        QStringList({u"checks"_s, u"--file"_s, Sample(u"s1911-sample.txt"_s)}) + DemoAccounts;
    QCOMPARE(cli.Run(args), int(cecSuccess));
    QCOMPARE(cli.Checks().size(), 4);
    cli.RedirectionMissing = true;
    QCOMPARE(cli.Run(args), int(cecFailed));
    QVERIFY2(cli.ErrText.contains(u"Cannot find redirection file"_s), qPrintable(cli.ErrText));
    QVERIFY(cli.OutText.contains(u"Warning: Orvane Checks Export failed\n"_s));
}

void TestOrvqCli::consoleQuestions_data() {
    QTest::addColumn<QString>("input"); // null: no input stream at all
    QTest::addColumn<bool>("answer");
    QTest::newRow("y") << u"y\n"_s << true;
    QTest::newRow("Yes with blanks") << u"  Yes \n"_s << true;
    QTest::newRow("n") << u"n\n"_s << false;
    QTest::newRow("empty line") << u"\n"_s << false;
    QTest::newRow("anything else") << u"sure\n"_s << false;
    QTest::newRow("end of input") << u""_s << false;
    QTest::newRow("no input stream") << QString() << false;
}

void TestOrvqCli::consoleQuestions() {
    QFETCH(QString, input);
    QFETCH(bool, answer);
    QString out;
    QString err;
    QString in = input;
    QTextStream outStream(&out);
    QTextStream errStream(&err);
    QTextStream inStream(&in);
    TConsoleUserDialogs dialogs(outStream, errStream, input.isNull() ? nullptr : &inStream);
    QCOMPARE(dialogs.ConfirmYesNo(u"Journal Entry exists.Continue?"_s), answer);
    QVERIFY(out.startsWith(u"Journal Entry exists.Continue? [y/N] "_s));
    dialogs.ShowError(u"It failed"_s);
    QCOMPARE(err, u"Error: It failed\n"_s);
}

void TestOrvqCli::connectionSavedOnlyWhenAsked() {
    TCli cli;
    const auto saved = [&cli] {
        TOrvAPIConnectionParam param;
        LoadConnectionParam(*cli.Core->Logger(), *cli.Settings, QString(), param);
        return param;
    };
    const QStringList sandbox{u"connection"_s,     u"--if-none-saved"_s, u"--server"_s,
                              u"127.0.0.1"_s,      u"--user"_s,          u"demo"_s,
                              u"--save-password"_s};
    // No password to save: nothing is written.
    QCOMPARE(cli.Run(sandbox), int(cecUsage));
    QCOMPARE(saved().APIServerAddress, QString());

    cli.Password = u"demo"_s;
    QCOMPARE(cli.Run(sandbox), int(cecSuccess));
    QCOMPARE(saved(), (TOrvAPIConnectionParam{u"127.0.0.1"_s, 9943, u"demo"_s, u"demo"_s, true}));
    QVERIFY(cli.OutText.contains(u"Password: saved"_s));
    // A saved connection is the user's: never replaced on a later start.
    QCOMPARE(cli.Run(QStringList(sandbox).replaceInStrings(u"127.0.0.1"_s, u"other"_s)),
             int(cecSuccess));
    QCOMPARE(saved().APIServerAddress, u"127.0.0.1"_s);
    QCOMPARE(cli.Run({u"connection"_s, u"--port"_s, u"9944"_s, u"--no-save-password"_s}),
             int(cecSuccess));
    QCOMPARE(saved(), (TOrvAPIConnectionParam{u"127.0.0.1"_s, 9944, u"demo"_s, QString(), false}));
}

void TestOrvqCli::demoExportsIntoTheRedirectedCompany() {
    TCli cli;
    QCOMPARE(cli.Run({u"demo"_s, Sample(u"s1911-sample.txt"_s)}), int(cecSuccess));
    QVERIFY(cli.OutText.startsWith(u"Orvane QB Export: exporting "_s));
    QCOMPARE(cli.Checks().size(), 4);
    // The user log file of the redirection has the run.
    QVERIFY(testsupport::ReadFile(cli.Dir.filePath(u"OrvQ.log"_s)).contains("4 checks added"));
}

QTEST_GUILESS_MAIN(TestOrvqCli)
#include "tst_orvqcli.moc"
