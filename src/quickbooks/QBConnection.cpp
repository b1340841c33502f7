#include "quickbooks/QBConnection.h"

#include "quickbooks/QBSessionManager.h"

#include <QUuid>

const QString QBApplicationTitle = QStringLiteral("Orvane QB Export");

namespace {

constexpr int ConnectionTypeLocal = 1;
constexpr int OpenModeDoNotCare = 2;

int VersionPart(const QString& text) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < 0)
        throw EConvertError(Format("'%s' is not a valid integer value", {text}));
    return value;
}

} // namespace

int TQBConnection::ChooseQBXMLVersion(const QStringList& versions) {
    int best = 0;
    for (const QString& version : versions) {
        const qsizetype dot = version.indexOf(u'.');
        // The list comes from QuickBooks: a malformed entry is a clear error,
        // not an assertion.
        if (dot < 0)
            throw EQBError(Format("QuickBooks reported the qbXML version '%s', which has no "
                                  "minor number.",
                                  {version}));
        const int major = VersionPart(version.left(dot));
        const int minor = VersionPart(version.mid(dot + 1));
        // A minor number of 1000 or more would pass for a higher major one.
        if (minor >= 1000 || major > 1000000)
            throw EQBError(Format("QuickBooks reported the qbXML version '%s', which is out of "
                                  "range.",
                                  {version}));
        best = std::max(best, major * 1000 + minor);
    }
    return best;
}

std::unique_ptr<TQBConnection> TQBConnection::Create(ICommonLoggerPtr logger,
                                                     const TQBConnectionConfig& config) {
    return std::make_unique<TQBConnection>(std::move(logger),
                                           CreateQBSessionManager(config.Processor),
                                           config.SdkDownloadAddress, config.CompanyFile);
}

TQBConnection::TQBConnection(ICommonLoggerPtr logger, IQBSessionManagerPtr sessionManager,
                             const QString& sdkDownloadAddress, const QString& companyFile)
    : m_logger(std::move(logger)), m_sessionManager(std::move(sessionManager)),
      m_messageSetPrefix(QUuid::createUuid().toString(QUuid::Id128).left(12)) {
    OrvAssert(m_logger && m_sessionManager);
    Open(sdkDownloadAddress, companyFile);
}

void TQBConnection::Open(const QString& sdkDownloadAddress, const QString& companyFile) {
    TLogBlockGuard block(*m_logger, QStringLiteral("Connecting to QB"));
    if (!companyFile.isEmpty())
        m_logger->LogContextItem(QStringLiteral("Company file"), companyFile);
    try {
        try {
            m_sessionManager->OpenConnection2(QString(), QBApplicationTitle, ConnectionTypeLocal);
        } catch (const EQBProcessorError&) {
            m_logger->StopException();
            throw EQBAccessError(
                u"Cannot access QuickBooks. Most likely the QuickBooks QBFC library is not "
                u"installed. Please download QBFC7_0Installer.exe from " +
                sdkDownloadAddress);
        }
        try {
            m_sessionManager->BeginSession(companyFile, OpenModeDoNotCare);
        } catch (...) {
            try {
                m_sessionManager->CloseConnection();
            } catch (...) {
                // The session error is the one the user needs to see.
            }
            throw;
        }
        try {
            const QStringList versions = m_sessionManager->QBXMLVersionsForSession();
            const int key = ChooseQBXMLVersion(versions);
            // Without any version no request set can be made.
            if (key == 0)
                throw EQBError(QStringLiteral("QuickBooks reported no qbXML version it supports."));
            m_majorVersion = key / 1000;
            m_minorVersion = key % 1000;
            m_logger->LogDebug(QStringLiteral("The following qbXML versions are supported by the "
                                              "user's version of QuickBooks: ") +
                               versions.join(u", "));
        } catch (...) {
            try {
                m_sessionManager->EndSession();
                m_sessionManager->CloseConnection();
            } catch (...) {
            }
            throw;
        }
    } catch (...) {
        m_logger->PassthroughException();
    }
}

TQBConnection::~TQBConnection() {
    try {
        m_sessionManager->EndSession();
        m_sessionManager->CloseConnection();
    } catch (...) {
        // Destroy runs on failure paths too; closing errors must not mask them.
    }
}

std::unique_ptr<TMsgSetRequest> TQBConnection::NewRequestSet() {
    auto set =
        m_sessionManager->CreateMsgSetRequest(QStringLiteral("US"), m_majorVersion, m_minorVersion);
    set->SetOnError(oeStopOnError);
    return set;
}

QString TQBConnection::StatusText(const TQBResponse& rs) {
    return Format("QB: [%d] %s", {rs.StatusCode, rs.StatusMessage});
}

bool TQBConnection::IsErrorStatus(const TQBResponse& rs) {
    return rs.StatusSeverity.toUpper() == u"ERROR";
}

void TQBConnection::CheckResponseStatus(ICommonLogger& logger, const TQBResponse& rs) {
    const QString text = StatusText(rs);
    const QString severity = rs.StatusSeverity.toUpper();
    if (severity == u"INFO") {
        if (rs.StatusCode != qbstatus::Ok)
            logger.LogDebug(text);
    } else if (severity == u"WARN") {
        logger.LogWarning(text);
    } else if (IsErrorStatus(rs)) {
        throw EQBStatusError(rs.StatusCode, text);
    } else {
        logger.LogWarningFmt(QStringLiteral("QB %s: [%d] %s"),
                             {rs.StatusSeverity, rs.StatusCode, rs.StatusMessage});
    }
}

std::unique_ptr<TMsgSetResponse> TQBConnection::SendRequestSet(TMsgSetRequest& requestSet) {
    auto response = Exchange(requestSet);
    for (const TQBResponse& rs : response->ResponseList())
        CheckResponseStatus(*m_logger, rs);
    return response;
}

std::unique_ptr<TMsgSetResponse> TQBConnection::SendBatch(TMsgSetRequest& requestSet) {
    return Exchange(requestSet);
}

std::unique_ptr<TMsgSetResponse> TQBConnection::Exchange(TMsgSetRequest& requestSet) {
    const bool changes = requestSet.ChangesData();
    if (changes && m_previewOnly)
        throw EQBError(QStringLiteral("A preview changes nothing in QuickBooks: a request set "
                                      "that would change data was not sent."));
    if (changes)
        requestSet.SetNewMessageSetID(m_messageSetPrefix + u'-' +
                                      QString::number(++m_messageSetCount));
    // A set is written out for the developer log only when one is attached.
    if (m_logger->WantsMessage(lmDebug))
        m_logger->LogDebug(QStringLiteral("qbXML request sent"), requestSet.ToXMLString());
    std::unique_ptr<TMsgSetResponse> response;
    try {
        response = m_sessionManager->DoRequests(requestSet);
    } catch (const EQBProcessorError& e) {
        // A set QuickBooks could not parse was refused whole: nothing of it
        // was done, and there is nothing to recover.
        if (!changes || e.HResult() == qbhr::ParseError)
            throw;
        return Recover(requestSet, e.Message());
    } catch (const EQBResponseError& e) {
        if (!changes)
            throw;
        return Recover(requestSet, e.Message());
    }
    if (m_logger->WantsMessage(lmDebug))
        m_logger->LogDebug(QStringLiteral("qbXML response received"), response->ToXMLString());
    return response;
}

std::unique_ptr<TMsgSetResponse> TQBConnection::Recover(const TMsgSetRequest& lost,
                                                        const QString& failure) {
    const QString id = lost.NewMessageSetID();
    m_logger->LogWarningFmt(QStringLiteral("The answer of QuickBooks to request set %s did not "
                                           "arrive; asking QuickBooks for the answer it kept"),
                            {id}, failure);
    const auto unknown = [&](const QString& why) {
        m_logger->LogWarningFmt(
            QStringLiteral("No answer of QuickBooks to request set %s could be recovered: what "
                           "QuickBooks did with it is unknown"),
            {id}, why);
        return EQBStateUnknown(Format("The answer of QuickBooks to request set %s was lost and "
                                      "QuickBooks keeps no copy of it: state unknown: check "
                                      "QuickBooks",
                                      {id}));
    };
    // Nothing else may reach QuickBooks before this question: a later set
    // would replace the answer kept.
    auto status =
        m_sessionManager->CreateMsgSetRequest(QStringLiteral("US"), m_majorVersion, m_minorVersion);
    status->SetOnError(oeContinueOnError);
    status->SetOldMessageSetID(id);
    if (m_logger->WantsMessage(lmDebug))
        m_logger->LogDebug(QStringLiteral("qbXML request sent"), status->ToXMLString());
    std::unique_ptr<TMsgSetResponse> response;
    try {
        response = m_sessionManager->DoRecoveryRequest(*status, lost);
    } catch (const EQBError& e) {
        throw unknown(e.Message());
    } catch (const EQBProcessorError& e) {
        throw unknown(e.Message());
    }
    if (m_logger->WantsMessage(lmDebug))
        m_logger->LogDebug(QStringLiteral("qbXML response received"), response->ToXMLString());
    if (response->Count() == 0)
        throw unknown(QString());
    m_logger->LogEventFmt(
        QStringLiteral("The answer of QuickBooks to request set %s was recovered"), {id});
    return response;
}

void TQBConnection::MarkCleared(const QString& txnID) {
    auto set = NewRequestSet();
    TQBClearedStatusMod& mod = set->AppendClearedStatusModRq();
    mod.TxnID.SetValue(txnID);
    mod.ClearedStatus.SetValue(csCleared);
    SendRequestSet(*set);
}

TQBTxnDelRet TQBConnection::DeleteTransaction(TQBTxnDelType type, const QString& txnID) {
    auto set = NewRequestSet();
    TQBTxnDel& del = set->AppendTxnDelRq();
    del.TxnDelType.SetValue(type);
    del.TxnID.SetValue(txnID);
    const auto response = SendRequestSet(*set);
    const TQBTxnDelRet* deleted = response->At(0).DetailAs<TQBTxnDelRet>();
    // Success without saying what was deleted is not an answer to rely on.
    if (!deleted)
        throw EQBResponseError(
            QStringLiteral("The answer from QuickBooks could not be read: it does not say "
                           "which transaction was deleted."));
    return *deleted;
}

QString TQBConnection::CurrentCompanyFileName() {
    return m_sessionManager->GetCurrentCompanyFileName();
}

// ---- Lists and lookups ----------------------------------------------------

template <typename List, typename Append>
List TQBConnection::QueryList(const QString& caption, Append append) {
    TLogBlockGuard block(*m_logger, caption);
    List result;
    try {
        auto set = NewRequestSet();
        append(*set);
        auto response = SendRequestSet(*set);
        if (response->Count() > 0)
            if (const List* list = response->At(0).template DetailAs<List>())
                result = *list;
    } catch (...) {
        m_logger->PassthroughException();
    }
    return result;
}

TQBAccountRetList TQBConnection::QueryAccounts() {
    return QueryList<TQBAccountRetList>(QStringLiteral("Getting QuickBooks Account list"),
                                        [](TMsgSetRequest& s) { s.AppendAccountQueryRq(); });
}

TQBClassRetList TQBConnection::QueryClasses() {
    return QueryList<TQBClassRetList>(QStringLiteral("Getting QuickBooks Class list"),
                                      [](TMsgSetRequest& s) { s.AppendClassQueryRq(); });
}

TQBCustomerRetList TQBConnection::QueryCustomers() {
    return QueryList<TQBCustomerRetList>(QStringLiteral("Getting QuickBooks Customer list"),
                                         [](TMsgSetRequest& s) { s.AppendCustomerQueryRq(); });
}

TQBEmployeeRetList TQBConnection::QueryEmployees() {
    return QueryList<TQBEmployeeRetList>(QStringLiteral("Getting QuickBooks Employee list"),
                                         [](TMsgSetRequest& s) { s.AppendEmployeeQueryRq(); });
}

namespace {

void SetDateRange(TQBTxnQuery& q, const QDate& fromDate, const QDate& toDate, bool lineItems) {
    q.TxnDateRangeFilter.FromTxnDate.SetValue(fromDate);
    q.TxnDateRangeFilter.ToTxnDate.SetValue(toDate);
    if (lineItems)
        q.IncludeLineItems.SetValue(true);
}

} // namespace

TQBDepositRetList TQBConnection::QueryDeposits(const QDate& fromDate, const QDate& toDate) {
    return QueryList<TQBDepositRetList>(
        QStringLiteral("Getting QuickBooks Deposit list"),
        [&](TMsgSetRequest& s) { SetDateRange(s.AppendDepositQueryRq(), fromDate, toDate, true); });
}

TQBCheckRetList TQBConnection::QueryChecks(const QDate& fromDate, const QDate& toDate) {
    return QueryList<TQBCheckRetList>(
        QStringLiteral("Getting QuickBooks Check list"),
        [&](TMsgSetRequest& s) { SetDateRange(s.AppendCheckQueryRq(), fromDate, toDate, true); });
}

TQBJournalEntryRetList TQBConnection::QueryJournalEntries(const QDate& fromDate,
                                                          const QDate& toDate, bool lineItems) {
    return QueryList<TQBJournalEntryRetList>(
        QStringLiteral("Getting QuickBooks Journal Entry list"), [&](TMsgSetRequest& s) {
            SetDateRange(s.AppendJournalEntryQueryRq(), fromDate, toDate, lineItems);
        });
}

TQBCheckRetList TQBConnection::QueryChecksByNumber(const QString& checkNumber) {
    return QueryList<TQBCheckRetList>(
        QStringLiteral("Querying QuickBooks Check"),
        [&](TMsgSetRequest& s) { s.AppendCheckQueryRq().RefNumbers.append(checkNumber); });
}

TQBCheckRetList TQBConnection::QueryChecksByNumbers(const QStringList& checkNumbers) {
    if (checkNumbers.isEmpty())
        return {};
    return QueryList<TQBCheckRetList>(QStringLiteral("Querying QuickBooks Checks by number"),
                                      [&](TMsgSetRequest& s) {
                                          TQBTxnQuery& q = s.AppendCheckQueryRq();
                                          q.RefNumbers = checkNumbers;
                                          q.IncludeLineItems.SetValue(true);
                                      });
}

// An empty TxnID list would be a query without a filter: every transaction.
template <typename List, typename Append>
List TQBConnection::QueryByTxnID(const QString& caption, const QStringList& txnIDs, Append append) {
    if (txnIDs.isEmpty())
        return List();
    return QueryList<List>(caption, [&](TMsgSetRequest& s) { append(s).TxnIDs = txnIDs; });
}

TQBCheckRetList TQBConnection::QueryChecksByTxnID(const QStringList& txnIDs) {
    return QueryByTxnID<TQBCheckRetList>(
        QStringLiteral("Querying QuickBooks Checks by TxnID"), txnIDs,
        [](TMsgSetRequest& s) -> TQBTxnQuery& { return s.AppendCheckQueryRq(); });
}

TQBDepositRetList TQBConnection::QueryDepositsByTxnID(const QStringList& txnIDs) {
    return QueryByTxnID<TQBDepositRetList>(
        QStringLiteral("Querying QuickBooks Deposits by TxnID"), txnIDs,
        [](TMsgSetRequest& s) -> TQBTxnQuery& { return s.AppendDepositQueryRq(); });
}

TQBJournalEntryRetList TQBConnection::QueryJournalEntriesByTxnID(const QStringList& txnIDs) {
    return QueryByTxnID<TQBJournalEntryRetList>(
        QStringLiteral("Querying QuickBooks Journal Entries by TxnID"), txnIDs,
        [](TMsgSetRequest& s) -> TQBTxnQuery& { return s.AppendJournalEntryQueryRq(); });
}

TQBCompanyRet TQBConnection::QueryCompany() {
    const TQBCompanyRet company =
        QueryList<TQBCompanyRet>(QStringLiteral("Getting QuickBooks company"),
                                 [](TMsgSetRequest& s) { s.AppendCompanyQueryRq(); });
    // The company guard compares names: an unnamed company must not pass for one.
    if (!company.CompanyName.IsSet() || company.CompanyName.GetValue().trimmed().isEmpty())
        throw EQBResponseError(QStringLiteral("The answer from QuickBooks could not be read: it "
                                              "does not name the open company."));
    return company;
}

void TQBConnection::GetAccountFullNames(QStringList& strings) {
    strings.clear();
    for (const TQBAccountRet& a : QueryAccounts())
        strings.append(a.FullName.GetValue());
}

void TQBConnection::GetAccountNumbers(QStringList& strings) {
    strings.clear();
    for (const TQBAccountRet& a : QueryAccounts())
        if (a.AccountNumber.IsSet())
            strings.append(a.AccountNumber.GetValue());
}

void TQBConnection::GetClassFullNames(QStringList& strings) {
    strings.clear();
    for (const TQBClassRet& c : QueryClasses())
        if (c.FullName.IsSet())
            strings.append(c.FullName.GetValue());
}

void TQBConnection::GetCustomerFullNames(QStringList& strings) {
    strings.clear();
    for (const TQBCustomerRet& c : QueryCustomers())
        if (c.FullName.IsSet())
            strings.append(c.FullName.GetValue());
}

bool TQBConnection::JournalEntryExists(const QDate& date) {
    return !QueryJournalEntries(date, date).empty();
}

TQBEEName TQBConnection::GetEmployeeName(const TQBEmployeeRet* employee) {
    TQBEEName name;
    if (!employee)
        return name;
    name.FirstName = employee->FirstName.GetValueOr(QString()).trimmed();
    name.MiddleInitial = employee->MiddleName.GetValueOr(QString()).trimmed();
    name.LastName = employee->LastName.GetValueOr(QString()).trimmed();
    // QuickBooks often holds "A." where the reports write "A".
    if (name.MiddleInitial.size() > 1 && name.MiddleInitial.endsWith(u'.'))
        name.MiddleInitial.chop(1);
    return name;
}

const TQBEmployeeRet& TQBConnection::FindEmployeeByName(const TQBEmployeeRetList& employees,
                                                        const TQBEEName& name) {
    for (const TQBEmployeeRet& e : employees)
        if (GetEmployeeName(&e) == name)
            return e;
    throw EQBEmployeeNotFound(
        Format("Cannot find QB employee record with First Name = '%s', Middle "
               "Initial = '%s', Last Name = '%s'",
               {name.FirstName, name.MiddleInitial, name.LastName}));
}

const TQBEmployeeRet* TQBConnection::FindEmployeeByListID(const TQBEmployeeRetList& employees,
                                                          const TQBRef& ref) {
    if (!ref.ListID.IsSet())
        return nullptr;
    const QString& id = ref.ListID.GetValue();
    for (const TQBEmployeeRet& e : employees)
        if (e.ListID.IsSet() && e.ListID.GetValue() == id)
            return &e;
    return nullptr;
}
