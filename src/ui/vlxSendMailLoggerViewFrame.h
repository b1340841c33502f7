// The log page with the run's developer and user logs kept in memory and
// the two buttons that hand them to support: "Send debug log by e-mail..."
// and "Pack debug log and open folder" (TSendMailLogs does the work). A
// failure of either is logged in the click's block and shown by the error
// display.
#pragma once

#include "logkeeper/vlxSendMailLoggerView.h"
#include "ui/vlxCommonLoggerViewFrame.h"

#include <memory>

class QPushButton;

class TSendMailLoggerViewFrame : public TCommonLoggerViewFrame {
    Q_OBJECT
public:
    // services: the redirection, the clock and the commands that reach the
    // mail client and the file manager (tests replace them).
    explicit TSendMailLoggerViewFrame(QWidget* parent = nullptr,
                                      TSendMailLogServices services = {});
    ~TSendMailLoggerViewFrame() override;

    // Starts the in-memory logs.
    void AttachKeeper(TCommonLoggerKeeper& keeper) override;
    // Null until the keeper is attached.
    TSendMailLogs* Logs() const { return m_logs.get(); }
    void SetArchivePassword(const QString& password);
    void SetMailRecipients(const QString& recipients);
    void SetActionsEnabled(bool enabled) override;

    // The buttons' actions; they throw what failed (already logged).
    void BitBtn1Click();
    void BitBtn2Click();

    QPushButton* BitBtn1; // "Send debug log by e-mail..."
    QPushButton* BitBtn2; // "Pack debug log and open folder"

private:
    TSendMailLogServices m_services;
    std::unique_ptr<TSendMailLogs> m_logs;
    QString m_password;
    QString m_recipients;
};

// The log page of tools whose log blocks name their component: an item's
// caption starts with the innermost "Component" context value.
class TUtilityLoggerViewFrm : public TSendMailLoggerViewFrame {
    Q_OBJECT
public:
    explicit TUtilityLoggerViewFrm(QWidget* parent = nullptr, TSendMailLogServices services = {});
};
