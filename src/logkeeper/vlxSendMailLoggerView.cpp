#include "logkeeper/vlxSendMailLoggerView.h"

#include "base/OwnerOnlyFiles.h"
#include "base/ztFormat.h"
#include "logkeeper/vlxSevenZip.h"
#include "settings/vlxPlatformPaths.h"
#include "settings/vlxRedir.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace {

class TWaitScope {
public:
    TWaitScope(const TSendMailLogServices& services, const QString& caption)
        : m_services(services) {
        if (m_services.StartWait)
            m_services.StartWait(caption);
    }
    ~TWaitScope() {
        try {
            if (m_services.EndWait)
                m_services.EndWait();
        } catch (...) {
        }
    }
    TWaitScope(const TWaitScope&) = delete;
    TWaitScope& operator=(const TWaitScope&) = delete;

private:
    const TSendMailLogServices& m_services;
};

QString ClickCaption(const QString& buttonCaption) {
    return Format("User clicked \"%s\"", {buttonCaption});
}

} // namespace

IRedirectionPtr TSendMailLogs::Redirection() const {
    OrvAssert(m_services.Redirection != nullptr);
    return m_services.Redirection();
}

TSendMailLogs::TSendMailLogs(TCommonLoggerKeeper& keeper, TSendMailLogServices services)
    : m_keeper(keeper), m_services(std::move(services)) {
    if (!m_services.Now)
        m_services.Now = [] { return QDateTime::currentDateTime(); };
    if (m_services.ProgramName.isEmpty())
        m_services.ProgramName = platform::ProgramName(platform::ProgramFilePath());
    m_developerLog.open(QIODevice::ReadWrite);
    m_userLog.open(QIODevice::ReadWrite);
    m_developerWriter = std::make_shared<TPlainTextDevLogWriter>(
        std::make_shared<TStreamLogOutput>(&m_developerLog));
    m_userWriter =
        std::make_shared<TPlainTextUserLogWriter>(std::make_shared<TStreamLogOutput>(&m_userLog));
    m_keeper.StatefulLogger()->AddSink(m_developerWriter);
    m_keeper.StatefulLogger()->AddSink(m_userWriter);
}

TSendMailLogs::~TSendMailLogs() {
    m_keeper.StatefulLogger()->RemoveSink(m_userWriter);
    m_keeper.StatefulLogger()->RemoveSink(m_developerWriter);
}

QString TSendMailLogs::PackLogs(const QString& folder, const QDateTime& time) {
    TWaitScope wait(m_services, QStringLiteral("Packing log files"));
    OrvAssert(!m_password.isEmpty());
    if (folder.trimmed().isEmpty())
        throw EztException(QStringLiteral("No folder is given for the log archives"));

    const QString libraryPath = Redirection()->GetFileName(QStringLiteral("SevenZipDll"));
    TSevenZipArchive archive(libraryPath);
    archive.SetCompressionLevel(5);
    archive.SetPassword(m_password);

    const QString userLogFile = m_keeper.UserLogFileName();
    if (!userLogFile.isEmpty()) {
        // Complete on disk; the next record opens it again.
        m_keeper.CloseUserLogFile();
        archive.AddFile(userLogFile, QFileInfo(userLogFile).fileName());
    }
    const QDateTime packed = QDateTime::currentDateTimeUtc();
    archive.AddData(m_userLog.data(), QStringLiteral("session-user.log"), packed);
    archive.AddData(m_developerLog.data(), QStringLiteral("session-debug.log"), packed);

    if (!platform::MakeOwnerOnlyPath(folder))
        throw EztException(
            Format("Cannot create the folder <%s>", {QDir::toNativeSeparators(folder)}));
    const QString fileName = QDir(folder).filePath(
        m_services.ProgramName + QStringLiteral("-debug-log-") +
        time.toString(QStringLiteral("yyyy-MM-dd-HHmm")) + QStringLiteral(".7z"));
    archive.WriteTo(fileName);
    return fileName;
}

QString TSendMailLogs::PackAndShow(const QString& buttonCaption) {
    ICommonLogger& log = *m_keeper.Logger();
    TLogBlockGuard block(log, ClickCaption(buttonCaption));
    QString fileName;
    try {
        const QString folder = Redirection()->GetDirectory(QStringLiteral("LogArchives"));
        fileName = PackLogs(folder, m_services.Now());
        ShowFileInExplorer(fileName, m_services.Runner);
    } catch (...) {
        log.PassthroughException();
    }
    return fileName;
}

void TSendMailLogs::PackAndSendMail(const QString& buttonCaption) {
    ICommonLogger& log = *m_keeper.Logger();
    TLogBlockGuard block(log, ClickCaption(buttonCaption));
    try {
        const QDateTime time = m_services.Now();
        const QString folder = Redirection()->GetDirectory(QStringLiteral("LogArchives"));
        const QString fileName = PackLogs(folder, time);
        try {
            const QString subject =
                Format("Debug log - %s, %s", {m_services.ApplicationTitle,
                                              time.toString(QStringLiteral("yyyy.MM.dd HH:mm"))});
            SendMail(m_recipients, subject, QString(), fileName, m_services.Runner);
        } catch (...) {
            QFile::remove(fileName);
            throw;
        }
        // A composer that reads the attachment only when the mail goes out
        // must still find it.
        if (MailClientHasTakenAttachments())
            QFile::remove(fileName);
        else
            log.LogDebug(QStringLiteral("Archive kept for the mail client: ") +
                         QDir::toNativeSeparators(fileName));
    } catch (...) {
        log.PassthroughException();
    }
}
