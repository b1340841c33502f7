// The log page's developer and user logs of the program run, kept in
// memory, and its two actions: pack the logs into a password-protected 7z
// archive and show it, or pack them and mail the archive to support. The
// widget frame with the message list and the buttons sits on top of this.
#pragma once

#include "logkeeper/vlxLoggerKeeper.h"
#include "logkeeper/vlxSendMail.h"

#include <QBuffer>
#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <functional>

// Everything the actions reach outside the logger; tests replace them.
struct TSendMailLogServices {
    // The program's redirection file (the core's), read anew on each call.
    TRedirectionFactory Redirection;
    // Local time; default the clock.
    std::function<QDateTime()> Now;
    // Name of the program file without extension; default the running one.
    QString ProgramName;
    QString ApplicationTitle = QStringLiteral("Orvane QB Export");
    // Starts the mail composer and the file manager; default real processes.
    TCommandRunner Runner;
    // The wait indicator while packing; either may be empty.
    std::function<void(const QString&)> StartWait;
    std::function<void()> EndWait;
};

class TSendMailLogs {
public:
    // Attaches the in-memory developer writer, then the user writer, to the
    // keeper's logger; they record from here on and are never cleared.
    // Destroy it before the keeper, which checks that every sink has left.
    explicit TSendMailLogs(TCommonLoggerKeeper& keeper, TSendMailLogServices services = {});
    ~TSendMailLogs();
    TSendMailLogs(const TSendMailLogs&) = delete;
    TSendMailLogs& operator=(const TSendMailLogs&) = delete;

    void SetArchivePassword(const QString& password) { m_password = password; }
    // One address a line.
    void SetMailRecipients(const QString& recipients) { m_recipients = recipients; }
    const QString& MailRecipients() const { return m_recipients; }

    QByteArray DeveloperLog() const { return m_developerLog.data(); }
    QByteArray UserLog() const { return m_userLog.data(); }

    // Packs the user log file (when one is written), "session-user.log" and
    // "session-debug.log" into folder/<program>-debug-log-yyyy-MM-dd-HHmm.7z,
    // replacing an archive of that name; returns its path. Raises on every
    // failure and then leaves no archive behind.
    QString PackLogs(const QString& folder, const QDateTime& time);

    // "Pack debug log and open folder": packs into the "LogArchives" folder
    // and shows the archive; returns its path. The archive stays.
    QString PackAndShow(const QString& buttonCaption);
    // "Send debug log by e-mail...": packs, hands the archive to the mail
    // composer, then deletes it (unless the composer may still read it).
    void PackAndSendMail(const QString& buttonCaption);

private:
    IRedirectionPtr Redirection() const;

    TCommonLoggerKeeper& m_keeper;
    TSendMailLogServices m_services;
    QBuffer m_developerLog;
    QBuffer m_userLog;
    ILoggerEventSinkPtr m_developerWriter;
    ILoggerEventSinkPtr m_userWriter;
    QString m_password;
    QString m_recipients;
};
