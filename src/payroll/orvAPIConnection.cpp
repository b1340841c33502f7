#include "payroll/orvAPIConnection.h"

#include "base/vlxErrorDisplay.h"
#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"
#include "payroll/xmlrpc/XmlRpcDataSet.h"

#include <QElapsedTimer>
#include <QFile>
#include <type_traits>

const QString OrvWrongSessionMessage = QStringLiteral("Wrong session");

namespace {

const QString kComponent = QStringLiteral("Component");
const QString kConnectionComponent = QStringLiteral("Orvane connection");
const QString kTaskId = QStringLiteral("Task Id");

QString BoolText(bool value) {
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

QString OptionName(quint8 value, std::initializer_list<const char*> names) {
    if (value < names.size())
        return QString::fromUtf8(names.begin()[value]);
    return QString::number(value);
}

// Runs one operation inside its log block: the failure is logged there once
// and goes on to the caller.
template <typename Body> auto InBlock(ICommonLogger& logger, const QString& caption, Body&& body) {
    TLogBlockGuard block(logger, caption);
    using TResult = decltype(body());
    if constexpr (std::is_void_v<TResult>) {
        try {
            logger.LogContextItem(kComponent, kConnectionComponent);
            body();
        } catch (...) {
            logger.PassthroughException();
        }
    } else {
        TResult result{};
        try {
            logger.LogContextItem(kComponent, kConnectionComponent);
            result = body();
        } catch (...) {
            logger.PassthroughException();
        }
        return result;
    }
}

bool CarriesBulk(const QString& methodName) {
    return methodName == QLatin1String("orv.taskQueue.getReport") ||
           methodName == QLatin1String("orv.runQBQuery") ||
           methodName == QLatin1String("orv.sb.TCImport") ||
           methodName == QLatin1String("orv.taskQueue.orvXImport");
}

} // namespace

EOrvAPIError::EOrvAPIError(qint32 errorCode, const QString& errorMessage)
    : EztException(Format(QStringLiteral("Orvane server returned error: (%d) %s. %s"),
                          {errorCode, errorMessage, QString()})),
      m_errorCode(errorCode), m_errorMessage(errorMessage) {}

bool IsOrvWrongSession(const EOrvAPIError& error) {
    return error.ErrorCode() == OrvWrongSessionCode &&
           error.ErrorMessage() == OrvWrongSessionMessage;
}

void SplitOrvUsername(const QString& username, QString& user, QString& domain) {
    const QStringList pieces =
        username.isEmpty() ? QStringList() : username.split(u'@', Qt::KeepEmptyParts);
    if (pieces.size() == 2) {
        user = pieces[0];
        domain = pieces[1];
    } else {
        user = username;
        domain.clear();
    }
}

void ShowFailureIn(const TFailureDisplay& display, std::exception_ptr failure) noexcept {
    try {
        if (display) {
            display(failure);
            return;
        }
    } catch (...) {
    }
    PostToErrorDisplay(failure);
}

// ---- TOrvAPIConnection ----

TOrvAPIConnection::TOrvAPIConnection(const TOrvAPIConnectionParam& param, ICommonLoggerPtr logger,
                                     const TOrvAPIEnvironment& environment)
    : m_logger(std::move(logger)), m_cancel(environment.Cancel),
      m_showFailure(environment.ShowFailure), m_callDeadlineMs(environment.CallDeadlineMs),
      m_transferDeadlineMs(environment.TransferDeadlineMs) {
    OrvAssert(m_logger != nullptr);
    LogIn(param, environment);
}

TOrvAPIConnection::~TOrvAPIConnection() {
    try {
        LogOut();
    } catch (...) {
        // Nobody can catch what a destructor throws: the failure is written
        // to the log and shown, so a session left open on the server is known.
        std::exception_ptr failure = std::current_exception();
        try {
            m_logger->StopException();
        } catch (...) {
        }
        ShowFailureIn(m_showFailure, failure);
    }
}

void TOrvAPIConnection::LogIn(const TOrvAPIConnectionParam& param,
                              const TOrvAPIEnvironment& environment) {
    TLogBlockGuard block(*m_logger, QStringLiteral("Connecting to Orvane"));
    try {
        m_logger->LogContextItem(kComponent, kConnectionComponent);
        m_logger->LogContextItem(QStringLiteral("APIServerAddress"), param.APIServerAddress);
        m_logger->LogContextItem(QStringLiteral("APIServerPort"),
                                 QString::number(param.APIServerPort));
        m_logger->LogContextItem(QStringLiteral("Username"), param.Username);
        QString user;
        QString domain;
        SplitOrvUsername(param.Username, user, domain);
        try {
            OrvAssert(environment.Redirection != nullptr);
            const IRedirectionPtr& redirection = environment.Redirection;
            TRpcTransportSettings transport;
            transport.UseTls = true;
            transport.Host = param.APIServerAddress;
            transport.Port = param.APIServerPort;
            transport.CertificateFile = redirection->GetFileName(QStringLiteral("Certificate"));
            // The service's own CA, trusted on top of the system's; a
            // workstation without the alias relies on the system's alone.
            try {
                transport.RootCertificateFile =
                    redirection->GetFileName(QStringLiteral("ServerCA"));
            } catch (const ERedirectionNotFound&) {
            }
            if (environment.IdleTimeoutMs > 0)
                transport.IdleTimeoutMs = environment.IdleTimeoutMs;
            if (const TCancelToken* cancel = environment.Cancel)
                transport.Cancelled = [cancel] { return cancel->Cancelled(); };
            m_caller = std::make_unique<TRpcCaller>(transport);

            m_call = NewRpcFunction();
            m_call->SetMethodName(QStringLiteral("orv.sb.connect"));
            m_logger->LogContextItem(QStringLiteral("API method name"), m_call->MethodName());
            m_call->AddItem(QString());
            m_call->AddItem(user);
            m_call->AddItem(param.Password);
            if (!domain.isEmpty())
                m_call->AddItem(domain);
            const IRpcResultPtr result = Execute();
            const QString session = result->AsStruct()->Key(QStringLiteral("SESSION"))->AsString();
            // Every later call would be refused; fail here, where it is clear.
            if (session.isEmpty())
                throw EztException(QStringLiteral("Orvane server returned an empty session id"));
            m_session = session;
        } catch (...) {
            m_caller.reset();
            throw;
        }
    } catch (...) {
        m_logger->PassthroughException();
    }
}

void TOrvAPIConnection::LogOut() {
    if (m_session.isEmpty() || !m_caller)
        return;
    const QString session = m_session;
    m_session.clear();
    // Logging out is clean-up: it goes through also after a cancel.
    const TCancelShield shield(m_cancel);
    try {
        m_call->Clear();
        m_call->SetMethodName(QStringLiteral("orv.disconnect"));
        m_call->AddItem(session);
        Execute();
    } catch (const EOrvAPIError& e) {
        if (!IsOrvWrongSession(e))
            throw;
    }
}

void TOrvAPIConnection::AbandonSession() {
    try {
        LogOut();
    } catch (const std::exception& e) {
        m_logger->LogDebug(QStringLiteral("Log-out of the replaced session failed"),
                           QString::fromUtf8(e.what()));
    } catch (...) {
    }
}

void TOrvAPIConnection::BeginCall(const QString& methodName) {
    m_call->Clear();
    m_call->SetMethodName(methodName);
    m_logger->LogContextItem(QStringLiteral("API method name"), methodName);
    m_call->AddItem(m_session);
}

void TOrvAPIConnection::LimitCall(TAnswerSize size) {
    m_caller->Settings().MaxResponseBytes =
        size == asLarge ? MaxReportBytes : RpcSmallAnswerMaxBytes;
    const bool bulk = size == asLarge || CarriesBulk(m_call->MethodName());
    m_caller->Settings().DeadlineMs = bulk ? m_transferDeadlineMs : m_callDeadlineMs;
}

IRpcResultPtr TOrvAPIConnection::Execute(TAnswerSize size) {
    LimitCall(size);
    QElapsedTimer timer;
    timer.start();
    IRpcResultPtr result = m_caller->ExecuteCall(m_call);
    LogElapsed(timer);
    CheckResult(result);
    return result;
}

TRpcDataSetAnswer TOrvAPIConnection::ExecuteDataSet() {
    LimitCall(asLarge);
    QElapsedTimer timer;
    timer.start();
    TRpcDataSetAnswer answer = m_caller->ExecuteDataSetCall(m_call);
    LogElapsed(timer);
    if (!answer.Table)
        CheckResult(answer.Result);
    return answer;
}

void TOrvAPIConnection::LogElapsed(const QElapsedTimer& timer) {
    m_logger->LogDebug(
        Format(QStringLiteral("Time elapsed: %.3f sec"), {double(timer.nsecsElapsed()) / 1e9}));
}

void TOrvAPIConnection::CheckResult(const IRpcResultPtr& result) {
    if (!result)
        throw EztException(QStringLiteral("Unexpected error: got nil IRPCResult"));
    if (result->IsError())
        throw EOrvAPIError(result->FaultCode(), result->FaultString());
}

void TOrvAPIConnection::OpenClient(qint32 clNbr) {
    InBlock(*m_logger, QStringLiteral("Opening Orvane client database"), [&] {
        m_logger->LogContextItem(QStringLiteral("Internal Cl#"), QString::number(clNbr));
        BeginCall(QStringLiteral("orv.sb.openClient"));
        m_call->AddItem(clNbr);
        Execute();
    });
}

std::unique_ptr<TMemTable> TOrvAPIConnection::RunQuery(const QString& queryFile,
                                                       const IRpcStructPtr& params) {
    return InBlock(*m_logger, QStringLiteral("Orvane query"), [&] {
        m_logger->LogContextItem(QStringLiteral("Query file"), queryFile);
        BeginCall(QStringLiteral("orv.runQBQuery"));
        QFile file(queryFile);
        if (!file.open(QIODevice::ReadOnly))
            throw EztException(Format(QStringLiteral("Cannot read the query file \"%s\": %s"),
                                      {queryFile, file.errorString()}));
        m_call->AddItemBase64(file.readAll());
        m_call->AddItem(QString());
        if (params)
            m_call->AddItem(params);
        TRpcDataSetAnswer answer = ExecuteDataSet();
        std::unique_ptr<TMemTable> table =
            answer.Table ? std::move(answer.Table) : XmlToDataSet(answer.Result->AsStruct());
        if (!table)
            throw EztException(
                Format(QStringLiteral("The answer of the Orvane query \"%s\" is not a dataset"),
                       {queryFile}));
        // The table is written out for the developer log only when one is attached.
        if (m_logger->WantsMessage(lmDebug))
            m_logger->LogDebug(QStringLiteral("Dataset:"), DataSetToCsv(*table));
        return table;
    });
}

QString TOrvAPIConnection::RunReport(const TOrvReportDef& report) {
    return InBlock(*m_logger, QStringLiteral("Starting Orvane report generation"), [&] {
        m_logger->LogContextItem(QStringLiteral("Report"),
                                 report.ReportType + QString::number(report.ReportNumber));
        BeginCall(QStringLiteral("orv.taskQueue.runReport"));
        m_call->AddItem(report.ReportNumber);
        m_call->AddItem(report.Params ? report.Params : NewRpcStruct());
        m_call->AddItem(report.ReportType);
        const QString taskId = Execute()->AsString();
        // Polling an empty id could never succeed; say so now.
        if (taskId.isEmpty())
            throw EztException(QStringLiteral("Orvane server returned an empty task id"));
        return taskId;
    });
}

bool TOrvAPIConnection::IsTaskFinished(const QString& taskId) {
    return InBlock(*m_logger, QStringLiteral("Querying status of an Orvane task"), [&] {
        m_logger->LogContextItem(kTaskId, taskId);
        OrvAssert(!taskId.isEmpty());
        BeginCall(QStringLiteral("orv.taskQueue.isTaskFinished"));
        m_call->AddItem(taskId);
        return Execute()->AsBoolean();
    });
}

void TOrvAPIConnection::DeleteTask(const QString& taskId) {
    OrvAssert(!taskId.isEmpty());
    InBlock(*m_logger, QStringLiteral("Deleting an Orvane task"), [&] {
        m_logger->LogContextItem(kTaskId, taskId);
        BeginCall(QStringLiteral("orv.taskQueue.deleteTask"));
        m_call->AddItem(taskId);
        Execute();
    });
}

QString TOrvAPIConnection::GetReport(const QString& taskId) {
    OrvAssert(!taskId.isEmpty());
    return InBlock(*m_logger, QStringLiteral("Getting Orvane report"), [&] {
        m_logger->LogContextItem(kTaskId, taskId);
        BeginCall(QStringLiteral("orv.taskQueue.getReport"));
        m_call->AddItem(taskId);
        const IRpcStructPtr answer = Execute(asLarge)->AsStruct();
        const QString type = answer->Key(QStringLiteral("Type"))->AsString();
        const QString text = DecodeReportBytes(answer->Key(QStringLiteral("Report"))->AsBase64());
        if (type == QStringLiteral("ERROR"))
            throw EztException(Format(QStringLiteral("Report finished with errors: %s"), {text}));
        if (type != QStringLiteral("ASCII"))
            throw EztException(Format(QStringLiteral("Unexpected report type: %s"), {type}));
        m_logger->LogDebug(QStringLiteral("Orv report"), text);
        return text;
    });
}

TTimeClockImportResult TOrvAPIConnection::TCImport(const TOrvPayrollBatchDef& batch,
                                                   const TTimeClockImportData& data) {
    return InBlock(*m_logger, QStringLiteral("Executing TC Import"), [&] {
        LogPayrollBatchDef(*m_logger, batch);
        OpenClient(batch.Company.ClNbr);
        BeginCall(QStringLiteral("orv.sb.TCImport"));
        m_logger->LogContextItem(QStringLiteral("Look up employee by"),
                                 OptionName(data.LookupOption, {"Name", "Custom #", "SSN"}));
        m_logger->LogContextItem(QStringLiteral("DBDT match"),
                                 OptionName(data.DBDTOption, {"Full", "Partial"}));
        m_logger->LogContextItem(
            QStringLiteral("File format"),
            OptionName(data.FileFormat, {"Fixed positions", "Comma delimited"}));
        m_logger->LogContextItem(QStringLiteral("Use four digits for year"),
                                 BoolText(data.FourDigitYear));
        m_logger->LogContextItem(QStringLiteral("Auto import job codes"),
                                 BoolText(data.AutoImportJobCodes));
        m_logger->LogContextItem(QStringLiteral("Use employee pay rates"),
                                 BoolText(data.UseEmployeePayRates));
        m_call->AddItem(batch.Company.CoNbr);
        m_call->AddItem(batch.PrNbr);
        m_logger->LogDebug(QStringLiteral("tc import file"), data.FileData);
        m_call->AddItemBase64(data.FileData.toUtf8());
        IRpcStructPtr options = NewRpcStruct();
        options->AddItem(QStringLiteral("LookupOption"), qint32(data.LookupOption));
        options->AddItem(QStringLiteral("DBDTOption"), qint32(data.DBDTOption));
        options->AddItem(QStringLiteral("FourDigitYear"), data.FourDigitYear);
        options->AddItem(QStringLiteral("FileFormat"), qint32(data.FileFormat));
        options->AddItem(QStringLiteral("AutoImportJobCodes"), data.AutoImportJobCodes);
        options->AddItem(QStringLiteral("UseEmployeePayRates"), data.UseEmployeePayRates);
        m_call->AddItem(options);
        m_call->AddItem(batch.BatchNbr);
        const IRpcStructPtr answer = Execute(asLarge)->AsStruct();
        TTimeClockImportResult result;
        result.RejectedRecords = answer->Key(QStringLiteral("RejectedRecords"))->AsInteger();
        result.LogFile = DecodeReportBytes(answer->Key(QStringLiteral("LogFile"))->AsBase64());
        return result;
    });
}

IRpcStructPtr TOrvAPIConnection::PostTableChanges(qint32 clNbr, const IRpcStructPtr& changes) {
    return InBlock(*m_logger, QStringLiteral("Orvane postTableChanges"), [&] {
        OpenClient(clNbr);
        BeginCall(QStringLiteral("orv.legacy.postTableChanges"));
        m_call->AddItem(changes ? changes : NewRpcStruct());
        return Execute()->AsStruct();
    });
}

QString TOrvAPIConnection::OrvXImport(const TOrvXImportInputFiles& files, const QString& mapFile) {
    return InBlock(*m_logger, QStringLiteral("Starting Orvane OrvX import task"), [&] {
        BeginCall(QStringLiteral("orv.taskQueue.orvXImport"));
        m_logger->LogDebug(QStringLiteral("Map file"), mapFile);
        IRpcArrayPtr array = NewRpcArray();
        for (size_t i = 0; i < files.size(); ++i) {
            const TOrvXImportInputFile& file = files[i];
            m_logger->LogDebug(
                Format(QStringLiteral("File data #%d (%s)"), {int(i), file.FileName}),
                file.FileData);
            IRpcStructPtr member = NewRpcStruct();
            member->AddItem(QStringLiteral("fileName"), file.FileName);
            member->AddItemBase64(QStringLiteral("fileData"), file.FileData.toUtf8());
            array->AddItem(member);
        }
        m_call->AddItem(array);
        m_call->AddItemBase64(mapFile.toUtf8());
        const IRpcStructPtr answer = Execute()->AsStruct();
        const QString taskId = answer->Key(QStringLiteral("taskNbr"))->AsString();
        if (taskId == QStringLiteral("-1"))
            throw EztException(Format(QStringLiteral("Failed to create OrvX import task: %s"),
                                      {answer->Key(QStringLiteral("errorLog"))->AsString()}));
        return taskId;
    });
}

TOrvXImportResults TOrvAPIConnection::GetOrvXImportResults(const QString& taskId) {
    OrvAssert(!taskId.isEmpty());
    return InBlock(*m_logger, QStringLiteral("Getting Orvane OrvX import results"), [&] {
        m_logger->LogContextItem(kTaskId, taskId);
        BeginCall(QStringLiteral("orv.taskQueue.getOrvXImportResults"));
        m_call->AddItem(taskId);
        const IRpcArrayPtr answer = Execute(asLarge)->AsArray();
        if (answer->Count() == 0)
            throw EztException(QStringLiteral(
                "OrvX import returned no results at all. The import probably has failed"));
        TOrvXImportResults results;
        for (int i = 0; i < answer->Count(); ++i) {
            const IRpcStructPtr item = answer->Item(i)->AsStruct();
            TOrvXImportResult result;
            result.InputRows = item->Key(QStringLiteral("inputRowsAmount"))->AsInteger();
            result.ImportedRows = item->Key(QStringLiteral("importedRowsAmount"))->AsInteger();
            if (item->KeyExists(QStringLiteral("errorsList")))
                result.ErrorsList =
                    DecodeReportBytes(item->Key(QStringLiteral("errorsList"))->AsBase64());
            result.RealErrors = item->Key(QStringLiteral("realErrorsAmount"))->AsInteger();
            result.Warnings = item->Key(QStringLiteral("warningsAmount"))->AsInteger();
            results.push_back(result);
        }
        return results;
    });
}

// ---- TStableOrvAPIConnection ----

TStableOrvAPIConnection::TStableOrvAPIConnection(const TOrvAPIConnectionParam& param,
                                                 ICommonLoggerPtr logger,
                                                 const TOrvAPIEnvironment& environment)
    : m_param(param), m_logger(std::move(logger)), m_environment(environment) {
    m_inner = std::make_shared<TOrvAPIConnection>(m_param, m_logger, m_environment);
}

QString TStableOrvAPIConnection::Session() const {
    return m_inner ? m_inner->Session() : QString();
}

template <typename Operation> auto TStableOrvAPIConnection::Stable(Operation&& operation) {
    m_reconnections = 0;
    for (;;) {
        try {
            if (!m_inner)
                throw EztException(QStringLiteral(
                    "The connection to Orvane was lost and could not be established again"));
            return operation(*m_inner);
        } catch (...) {
            bool lostSession = false;
            try {
                throw;
            } catch (const EOrvAPIError& e) {
                lostSession = IsOrvWrongSession(e);
            } catch (...) {
            }
            if (m_reconnections != 0 || !lostSession)
                m_logger->PassthroughException();
        }
        m_logger->LogEvent(QStringLiteral("Reconnecting to Orvane"));
        ++m_reconnections;
        std::shared_ptr<TOrvAPIConnection> old = std::move(m_inner);
        old->AbandonSession();
        old.reset();
        m_inner = std::make_shared<TOrvAPIConnection>(m_param, m_logger, m_environment);
        m_logger->LogEvent(QStringLiteral("Reconnected to Orvane"));
    }
}

void TStableOrvAPIConnection::OpenClient(qint32 clNbr) {
    Stable([&](IOrvAPIConnection& c) { c.OpenClient(clNbr); });
}

std::unique_ptr<TMemTable> TStableOrvAPIConnection::RunQuery(const QString& queryFile,
                                                             const IRpcStructPtr& params) {
    return Stable([&](IOrvAPIConnection& c) { return c.RunQuery(queryFile, params); });
}

QString TStableOrvAPIConnection::RunReport(const TOrvReportDef& report) {
    return Stable([&](IOrvAPIConnection& c) { return c.RunReport(report); });
}

bool TStableOrvAPIConnection::IsTaskFinished(const QString& taskId) {
    return Stable([&](IOrvAPIConnection& c) { return c.IsTaskFinished(taskId); });
}

void TStableOrvAPIConnection::DeleteTask(const QString& taskId) {
    Stable([&](IOrvAPIConnection& c) { c.DeleteTask(taskId); });
}

QString TStableOrvAPIConnection::GetReport(const QString& taskId) {
    return Stable([&](IOrvAPIConnection& c) { return c.GetReport(taskId); });
}

TTimeClockImportResult TStableOrvAPIConnection::TCImport(const TOrvPayrollBatchDef& batch,
                                                         const TTimeClockImportData& data) {
    return Stable([&](IOrvAPIConnection& c) { return c.TCImport(batch, data); });
}

IRpcStructPtr TStableOrvAPIConnection::PostTableChanges(qint32 clNbr,
                                                        const IRpcStructPtr& changes) {
    return Stable([&](IOrvAPIConnection& c) { return c.PostTableChanges(clNbr, changes); });
}

QString TStableOrvAPIConnection::OrvXImport(const TOrvXImportInputFiles& files,
                                            const QString& mapFile) {
    return Stable([&](IOrvAPIConnection& c) { return c.OrvXImport(files, mapFile); });
}

TOrvXImportResults TStableOrvAPIConnection::GetOrvXImportResults(const QString& taskId) {
    return Stable([&](IOrvAPIConnection& c) { return c.GetOrvXImportResults(taskId); });
}

IOrvAPIConnectionPtr CreateOrvAPIConnection(const TOrvAPIConnectionParam& param,
                                            ICommonLoggerPtr logger,
                                            const TOrvAPIEnvironment& environment) {
    return std::make_shared<TStableOrvAPIConnection>(param, std::move(logger), environment);
}
