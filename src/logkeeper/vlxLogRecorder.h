// Recording the user log of one run, for the export pages' "Print Log".
#pragma once

#include "logging/vlxLoggerImpl.h"

#include <QString>
#include <QStringList>
#include <functional>

class ILogRecorder {
public:
    virtual ~ILogRecorder() = default;
    // Starts capturing the user log; starting twice is a programming error.
    // Creating the HTML writer may raise (template folder, redirection).
    virtual void StartRecording(bool asHtml) = 0;
    // Stops capturing and returns the captured records, each followed by
    // CR LF. The text stays available until the next StartRecording.
    virtual QString StopRecording() = 0;
};

// The recorder the main window offers its pages: a user log writer on a
// string list, attached to the logger for the duration of one run.
class TLogRecorder : public ILogRecorder {
public:
    // templateDir gives the HTML templates' folder (the program's
    // "HTMLTemplates" alias) when an HTML recording starts.
    TLogRecorder(IStatefulLoggerPtr logger, QString applicationTitle,
                 std::function<QString()> templateDir);
    ~TLogRecorder() override;
    TLogRecorder(const TLogRecorder&) = delete;
    TLogRecorder& operator=(const TLogRecorder&) = delete;

    void StartRecording(bool asHtml) override;
    QString StopRecording() override;
    bool IsRecording() const { return m_writer != nullptr; }

private:
    IStatefulLoggerPtr m_logger;
    QString m_applicationTitle;
    std::function<QString()> m_templateDir;
    QStringList m_captured;
    ILoggerEventSinkPtr m_writer;
};
