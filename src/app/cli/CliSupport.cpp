#include "CliSupport.h"

#include "base/OwnerOnlyFiles.h"
#include "base/vlxTextUtils.h"
#include "logging/vlxLogWriters.h"
#include "settings/vlxPlatformPaths.h"
#include "settings/vlxRedir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

const char* const CliCommonOptionsHelp =
    "  --company-file FILE  the sandbox QuickBooks company file to use; default: the file of\n"
    "                       the alias \"QBCompanyFile\" in the program's redirection file\n"
    "                       (created with the demo company on first use; a file named\n"
    "                       here must exist)\n"
    "  --dev-log FILE       also write the developer log, with every qbXML request and\n"
    "                       response, to FILE (replaced)\n"
    "  --batch-size N       send up to N requests to QuickBooks in one request set, 1 to\n"
    "                       500 (default: the saved value, else 50); each set is one\n"
    "                       round trip. 1 sends every request alone\n"
    "  --help               show this help\n";

int CliBatchSize(const TCliOptions& options, int saved) {
    if (!options.Has(QStringLiteral("--batch-size")))
        return saved;
    const QString text = options.Value(QStringLiteral("--batch-size"));
    bool ok = false;
    const int size = text.trimmed().toInt(&ok);
    if (!ok || size < 1 || size > MaxQBBatchSize)
        throw ECliUsageError(Format("--batch-size takes a number from 1 to %d, not \"%s\"",
                                    {MaxQBBatchSize, text.left(64)}));
    return size;
}

TCliOptions::TCliOptions(const QStringList& args, const QStringList& valued,
                         const QStringList& flags) {
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString& arg = args[i];
        if (Has(arg))
            throw ECliUsageError(Format("%s is given twice", {arg}));
        if (valued.contains(arg)) {
            if (i + 1 >= args.size() || args[i + 1].startsWith(QStringLiteral("--")))
                throw ECliUsageError(Format("%s needs a value", {arg}));
            m_values.insert(arg, args[++i]);
        } else if (flags.contains(arg)) {
            m_flags.insert(arg);
        } else if (arg.startsWith(u'-')) {
            throw ECliUsageError(Format("unknown option %s", {arg}));
        } else {
            throw ECliUsageError(Format("unexpected argument \"%s\"", {arg}));
        }
    }
}

bool TCliOptions::Switch(const QString& name, bool fallback) const {
    const QString no = QStringLiteral("--no-") + name.mid(2);
    if (m_flags.contains(name) && m_flags.contains(no))
        throw ECliUsageError(Format("%s and %s exclude each other", {name, no}));
    if (m_flags.contains(name))
        return true;
    if (m_flags.contains(no))
        return false;
    return fallback;
}

void TTextStreamLogOutput::WriteLine(const QString& text) {
    // As in the log file, a line break follows each record, so the records
    // of the user log (each ending with its own) stand one empty line apart;
    // the console's lines end with LF.
    QString lines = NormaliseLineBreaks(text + QLatin1String("\r\n"));
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    m_stream << lines;
    m_stream.flush();
}

TCliLogSession::TCliLogSession(TCliEnvironment& env, QTextStream& out, const QString& devLogFile)
    : m_logger(env.Core.Logger()) {
    const IStatefulLoggerPtr& logger = env.Core.Keeper().StatefulLogger();
    if (!devLogFile.isEmpty()) {
        // Checked here: the log output itself never reports a failure.
        QFile file(devLogFile);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            throw ECliUsageError(Format("cannot write the developer log file %s: %s",
                                        {devLogFile, file.errorString()}));
        platform::KeepToOwner(file);
        file.close();
        m_dev = std::make_unique<TScopedSink>(
            logger,
            std::make_shared<TPlainTextDevLogWriter>(std::make_shared<TFileLogOutput>(devLogFile)));
    }
    m_user = std::make_unique<TScopedSink>(
        logger,
        std::make_shared<TPlainTextUserLogWriter>(std::make_shared<TTextStreamLogOutput>(out)));
    if (!env.ProgramLogStarted) {
        env.ProgramLogStarted = true;
        env.Core.StartUserLogFile();
        env.Core.LogStartupInfo(ProgramCaption(ApplicationTitle, ProgramVersion()),
                                QDateTime::currentDateTime());
    }
}

TCliLogSession::~TCliLogSession() = default;

void TConsoleUserDialogs::DoShowInformation(const QString& message) {
    m_out << message << '\n';
    m_out.flush();
}

void TConsoleUserDialogs::DoShowError(const QString& message) {
    m_err << "Error: " << message << '\n';
    m_err.flush();
}

TQuestionAnswer TConsoleUserDialogs::DoAsk(const TQuestion& question) {
    const bool yesFirst = question.Default == daYes;
    m_out << question.Text << (yesFirst ? " [Y/n] " : " [y/N] ");
    m_out.flush();
    const QString answer = m_in ? m_in->readLine().trimmed().toLower() : QString();
    const bool yes = answer == u"y" || answer == u"yes" || (yesFirst && m_in && answer.isEmpty());
    m_out << (m_in ? "" : "(no input: No)") << '\n';
    m_out.flush();
    return {yes};
}

QString CliCompanyFile(const TCliEnvironment& env) {
    return env.Core.Redirection()->GetFileName(QStringLiteral("QBCompanyFile"));
}

TQBConnectionConfig CliConnectionConfig(const TCliEnvironment& env, const TCliOptions& options) {
    TQBConnectionConfig config;
    config.SdkDownloadAddress = QBSdkDownloadAddress;
    config.Processor.Factory = env.Core.QBProcessor();
    if (options.Has(QStringLiteral("--company-file"))) {
        // Named to QuickBooks, which refuses a file that is not there
        // instead of making one.
        config.CompanyFile = options.Value(QStringLiteral("--company-file"));
        config.Processor.CompanyFile = config.CompanyFile;
    } else {
        config.Processor.CompanyFile = CliCompanyFile(env);
        // The redirected file lies in the program's data folder, which a
        // fresh workstation does not have yet.
        platform::MakeOwnerOnlyPath(QFileInfo(config.Processor.CompanyFile).absolutePath());
    }
    return config;
}

TQBConnectionFactory CliConnectionFactory(const TCliEnvironment& env, const TCliOptions& options) {
    return [&env, &options](const ICommonLoggerPtr& logger) {
        return TQBConnection::Create(logger, CliConnectionConfig(env, options));
    };
}

int ShowUsageError(QTextStream& err, const QString& command, const QString& message) {
    // The message quotes the command line, which may hold anything.
    err << "orvq-cli " << command << ": " << EscapeControlChars(message) << "\nTry 'orvq-cli "
        << command << " --help'.\n";
    return cecUsage;
}

QString MainProgramFilePath() {
    // "orvq-cli" -> "orvq", "orvq-cli.exe" -> "orvq.exe".
    const QFileInfo self(platform::ProgramFilePath());
    const QString suffix = self.suffix();
    return self.absolutePath() + QStringLiteral("/orvq") +
           (suffix.isEmpty() ? QString() : u'.' + suffix);
}

void WriteWholeFile(const QString& path, const QString& text, const char* failure) {
    QSaveFile file(path);
    const QByteArray bytes = text.toUtf8();
    const bool opened = file.open(QIODevice::WriteOnly);
    if (opened)
        platform::KeepToOwner(file);
    if (!opened || file.write(bytes) != bytes.size() || !file.commit())
        throw EztException(Format(failure, {path, file.errorString()}));
}
