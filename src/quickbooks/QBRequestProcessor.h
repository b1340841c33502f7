// The request processor: the channel that carries qbXML text to a QuickBooks
// company and back. The program entry names the processor of its platform
// (QuickBooks' own on Windows, the sandbox company where QuickBooks does not
// exist) in the configuration every connection is opened with, so the
// library never links a stand-in. The session manager of the SDK seam sits
// on top.
#pragma once

#include "base/ErrorAdvice.h"
#include "base/ztExceptions.h"

#include <QString>
#include <QStringList>

#include <functional>
#include <memory>

// A failure of the processor itself (no answer at all), with the HRESULT the
// SDK would report and a message a bookkeeper can act on; for the failures
// users meet most, a line that says what to do follows.
class EQBProcessorError : public EztException {
public:
    EQBProcessorError(quint32 hresult, const QString& message)
        : EztException(WithErrorAdvice(message, asQBProcessor, hresult)), m_hresult(hresult),
          m_reason(message) {}
    quint32 HResult() const { return m_hresult; }
    // The processor's own text, without the advice.
    const QString& Reason() const { return m_reason; }

private:
    quint32 m_hresult;
    QString m_reason;
};

// The HRESULTs the processor reports.
namespace qbhr {
constexpr quint32 ParseError = 0x80040400;     // malformed or out-of-order message set
constexpr quint32 CannotAccess = 0x80040401;   // could not reach QuickBooks
constexpr quint32 CannotOpenFile = 0x80040403; // the company file named cannot be opened
constexpr quint32 OtherFileOpen = 0x80040409;  // QuickBooks has another company file open
constexpr quint32 NotRunning = 0x80040416;     // QuickBooks not running, no company named
constexpr quint32 AccessDenied = 0x80040420;   // the QuickBooks user refused the application
constexpr quint32 NotInstalled = 0x80040154;   // class not registered: the SDK is missing
} // namespace qbhr

// What a bookkeeper is told happened for a processor failure; what to do
// follows from the one table of advice (ErrorAdvice) when EQBProcessorError
// is made. Empty for other codes.
QString QBProcessorMessage(quint32 hresult);

class IQBRequestProcessor {
public:
    virtual ~IQBRequestProcessor() = default;
    virtual void OpenConnection(const QString& appID, const QString& appName) = 0;
    // An empty company file means the one configured (the file open in QuickBooks).
    virtual QString BeginSession(const QString& companyFile, int openMode) = 0;
    // The full path of the company file the session has open.
    virtual QString GetCurrentCompanyFileName(const QString& ticket) = 0;
    virtual QStringList QBXMLVersionsForSession(const QString& ticket) = 0;
    virtual QString ProcessRequest(const QString& ticket, const QString& request) = 0;
    virtual void EndSession(const QString& ticket) = 0;
    virtual void CloseConnection() = 0;
};
using IQBRequestProcessorPtr = std::unique_ptr<IQBRequestProcessor>;

struct TQBProcessorConfig;
using TQBRequestProcessorFactory =
    std::function<IQBRequestProcessorPtr(const TQBProcessorConfig& config)>;

struct TQBProcessorConfig {
    // Makes the processor; the program entry's (TAppCore), a test's own.
    TQBRequestProcessorFactory Factory;
    // The company file (alias "QBCompanyFile"); used by the sandbox company.
    QString CompanyFile;
    // Where the demo data set lies; empty: the folder "demo" beside the program.
    QString DemoDataDir;
};

// A processor of the configuration's factory; creating it never talks to
// QuickBooks yet. Without a factory it fails as a workstation without the
// SDK does.
IQBRequestProcessorPtr CreateQBRequestProcessor(const TQBProcessorConfig& config);

// QuickBooks' own processor (QBRequestProcessor_win.cpp); Windows only.
IQBRequestProcessorPtr CreateQBXMLRP2Processor(const TQBProcessorConfig& config);
