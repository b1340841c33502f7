// The QuickBooks SDK seam: typed request and response objects, the session
// manager interface and the errors of the QuickBooks layer. The objects
// mirror the qbXML 7.0 messages the program sends and reads; the session
// manager turns them into qbXML text for a request processor and back.
#pragma once

#include "base/Currency.h"
#include "base/ztExceptions.h"

#include <QDate>
#include <QDateTime>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <variant>
#include <vector>

// A status of severity error, a response that cannot be read, a broken value.
class EQBError : public EztException {
public:
    using EztException::EztException;
};

// The text QuickBooks answered is not a valid response to what was sent.
class EQBResponseError : public EQBError {
public:
    using EQBError::EQBError;
};

// Reading a value that QuickBooks did not send.
class EQBValueMissing : public EQBError {
public:
    using EQBError::EQBError;
};

[[noreturn]] void ThrowQBValueMissing();

// One optional element value: set, get, test whether present.
template <typename T> class TQBValue {
public:
    void SetValue(const T& value) {
        m_value = value;
        m_set = true;
    }
    const T& GetValue() const {
        if (!m_set)
            ThrowQBValueMissing();
        return m_value;
    }
    T GetValueOr(const T& fallback) const { return m_set ? m_value : fallback; }
    bool IsSet() const { return m_set; }
    void Unset() {
        m_value = T();
        m_set = false;
    }

private:
    T m_value{};
    bool m_set = false;
};

using TQBStringType = TQBValue<QString>;
using TQBIDType = TQBValue<QString>;
using TQBDateType = TQBValue<QDate>;
using TQBDateTimeType = TQBValue<QDateTime>;
using TQBAmountType = TQBValue<Currency>;
using TQBBoolType = TQBValue<bool>;
using TQBIntType = TQBValue<int>;

// A reference to a list element: by list id, by full name, or both.
struct TQBRef {
    TQBIDType ListID;
    TQBStringType FullName;
    bool IsSet() const { return ListID.IsSet() || FullName.IsSet(); }
};

// The SDK's enumeration values keep the SDK's numbers.
enum TQBActiveStatus { asActiveOnly = 0, asInactiveOnly = 1, asAll = 2 };
enum TQBTxnVoidType { tvtCheck = 5, tvtDeposit = 9, tvtJournalEntry = 13 };
enum TQBClearedStatus { csCleared = 0, csNotCleared = 1, csPending = 2 };
enum TQBOnError { oeStopOnError = 0, oeContinueOnError = 1 };
// The transactions the program deletes; the qbXML names, not the SDK's numbers.
enum TQBTxnDelType { tdtCheck, tdtDeposit, tdtJournalEntry };

// ---- Requests -------------------------------------------------------------

enum class TQBRequestKind {
    AccountQuery,
    ClassQuery,
    CustomerQuery,
    EmployeeQuery,
    CheckQuery,
    DepositQuery,
    JournalEntryQuery,
    CheckAdd,
    DepositAdd,
    JournalEntryAdd,
    TxnVoid,
    ClearedStatusMod,
    TxnDel,
    CompanyQuery,
};

// "CheckAdd" etc.: the element names are this text plus "Rq" / "Rs".
QString QBRequestKindName(TQBRequestKind kind);

// Adds, voids, deletes and cleared-status changes change the company;
// queries do not.
bool IsQBChangeRequest(TQBRequestKind kind);

// Account, class, customer and employee queries. Exact list ids, exact full
// names, or the general filters: never two of these at once.
struct TQBListQuery {
    QStringList ListIDs;
    QStringList FullNames;
    TQBIntType MaxReturned;
    TQBValue<TQBActiveStatus> ActiveStatus;
};

struct TQBTxnDateRangeFilter {
    TQBDateType FromTxnDate;
    TQBDateType ToTxnDate;
    bool IsSet() const { return FromTxnDate.IsSet() || ToTxnDate.IsSet(); }
};

// Check, deposit and journal entry queries. Exact TxnIDs or exact reference
// numbers (not for deposits) exclude the other filters.
struct TQBTxnQuery {
    QStringList TxnIDs;
    QStringList RefNumbers;
    TQBIntType MaxReturned;
    TQBTxnDateRangeFilter TxnDateRangeFilter;
    TQBBoolType IncludeLineItems;
};

struct TQBExpenseLineAdd {
    TQBRef AccountRef;
    TQBAmountType Amount;
    TQBStringType Memo;
    TQBRef CustomerRef;
    TQBRef ClassRef;
};

struct TQBCheckAdd {
    TQBRef AccountRef;
    TQBRef PayeeEntityRef;
    TQBStringType RefNumber;
    TQBDateType TxnDate;
    TQBStringType Memo;
    TQBBoolType IsToBePrinted;
    std::vector<TQBExpenseLineAdd> ExpenseLineAddList;
    TQBExpenseLineAdd& AppendExpenseLine() { return ExpenseLineAddList.emplace_back(); }
};

struct TQBDepositLineAdd {
    TQBRef EntityRef;
    TQBRef AccountRef;
    TQBStringType Memo;
    TQBStringType CheckNumber;
    TQBRef ClassRef;
    TQBAmountType Amount;
};

struct TQBDepositAdd {
    TQBDateType TxnDate;
    TQBRef DepositToAccountRef;
    TQBStringType Memo;
    std::vector<TQBDepositLineAdd> DepositLineAddList;
    TQBDepositLineAdd& AppendDepositLine() { return DepositLineAddList.emplace_back(); }
};

enum class TQBJournalLineKind { Debit, Credit };

struct TQBJournalLineAdd {
    TQBJournalLineKind Kind = TQBJournalLineKind::Debit;
    TQBRef AccountRef;
    TQBAmountType Amount;
    TQBStringType Memo;
    TQBRef EntityRef;
    TQBRef ClassRef;
};

struct TQBJournalEntryAdd {
    TQBStringType DefMacro;
    TQBDateType TxnDate;
    TQBStringType RefNumber;
    TQBStringType Memo;
    TQBBoolType IsAdjustment;
    // Debit and credit lines in the order appended.
    std::vector<TQBJournalLineAdd> JournalLineList;
    TQBJournalLineAdd& AppendJournalLine(TQBJournalLineKind kind) {
        TQBJournalLineAdd& line = JournalLineList.emplace_back();
        line.Kind = kind;
        return line;
    }
};

struct TQBTxnVoid {
    TQBValue<TQBTxnVoidType> TxnVoidType;
    TQBIDType TxnID;
};

// Deleting is for what the program itself added: QuickBooks keeps no trace
// of a deleted transaction, unlike a void.
struct TQBTxnDel {
    TQBValue<TQBTxnDelType> TxnDelType;
    TQBIDType TxnID;
};

// Which company is open; no filters.
struct TQBCompanyQuery {};

struct TQBClearedStatusMod {
    TQBIDType TxnID;
    // Instead of TxnID: the macro an earlier add of the same set defined, so
    // the change reaches the transaction that add creates.
    TQBStringType TxnIDMacro;
    TQBIDType TxnLineID;
    TQBValue<TQBClearedStatus> ClearedStatus;
};

using TQBRequestBody =
    std::variant<TQBListQuery, TQBTxnQuery, TQBCheckAdd, TQBDepositAdd, TQBJournalEntryAdd,
                 TQBTxnVoid, TQBClearedStatusMod, TQBTxnDel, TQBCompanyQuery>;

struct TQBRequest {
    TQBRequestKind Kind;
    TQBRequestBody Body;
};

// Error recovery: QuickBooks keeps its answer to a set sent with a new
// message-set ID of at most this many characters.
constexpr int QBMessageSetIDMaxLength = 23;

// A request set in one qbXML version; requests keep the order appended.
class TMsgSetRequest {
public:
    TMsgSetRequest(QString country, int major, int minor);

    QString Country() const { return m_country; }
    int MajorVersion() const { return m_major; }
    int MinorVersion() const { return m_minor; }

    TQBOnError OnError() const { return m_onError; }
    // The SDK's numbers: 0 stop on error, 1 continue on error.
    void SetOnError(int value);

    TQBListQuery& AppendAccountQueryRq();
    TQBListQuery& AppendClassQueryRq();
    TQBListQuery& AppendCustomerQueryRq();
    TQBListQuery& AppendEmployeeQueryRq();
    TQBTxnQuery& AppendCheckQueryRq();
    TQBTxnQuery& AppendDepositQueryRq();
    TQBTxnQuery& AppendJournalEntryQueryRq();
    TQBCheckAdd& AppendCheckAddRq();
    TQBDepositAdd& AppendDepositAddRq();
    TQBJournalEntryAdd& AppendJournalEntryAddRq();
    TQBTxnVoid& AppendTxnVoidRq();
    TQBClearedStatusMod& AppendClearedStatusModRq();
    TQBTxnDel& AppendTxnDelRq();
    void AppendCompanyQueryRq();
    void AppendRequest(TQBRequest request);

    // The ID under which QuickBooks keeps its answer to this set until the
    // next set with an ID replaces it.
    void SetNewMessageSetID(const QString& id);
    QString NewMessageSetID() const { return m_newMessageSetID; }
    // Makes this a status request: it asks for QuickBooks' stored answer to
    // the set sent with this ID, and holds no requests.
    void SetOldMessageSetID(const QString& id);
    QString OldMessageSetID() const { return m_oldMessageSetID; }
    // True when a request of the set changes the company.
    bool ChangesData() const;

    int Count() const { return static_cast<int>(m_requests.size()); }
    const TQBRequest& At(int index) const { return *m_requests.at(static_cast<size_t>(index)); }

    // The qbXML text of the set, exactly as it is handed to QuickBooks.
    QString ToXMLString() const;

private:
    template <typename T> T& Append(TQBRequestKind kind);

    QString m_country;
    int m_major;
    int m_minor;
    TQBOnError m_onError = oeStopOnError;
    QString m_newMessageSetID;
    QString m_oldMessageSetID;
    std::vector<std::unique_ptr<TQBRequest>> m_requests;
};

// ---- Returned objects ----------------------------------------------------

struct TQBListRetBase {
    TQBIDType ListID;
    TQBDateTimeType TimeCreated;
    TQBDateTimeType TimeModified;
    TQBStringType EditSequence;
    TQBStringType Name;
    TQBBoolType IsActive;
};

struct TQBAccountRet : TQBListRetBase {
    TQBStringType FullName;
    TQBRef ParentRef;
    TQBIntType Sublevel;
    TQBStringType AccountType;
    TQBStringType SpecialAccountType;
    TQBStringType AccountNumber;
    TQBStringType Desc;
    TQBAmountType Balance;
};

struct TQBClassRet : TQBListRetBase {
    TQBStringType FullName;
    TQBRef ParentRef;
    TQBIntType Sublevel;
};

struct TQBCustomerRet : TQBListRetBase {
    TQBStringType FullName;
    TQBRef ParentRef;
    TQBIntType Sublevel;
    TQBStringType CompanyName;
    TQBStringType FirstName;
    TQBStringType MiddleName;
    TQBStringType LastName;
};

// Employees have a Name and no FullName.
struct TQBEmployeeRet : TQBListRetBase {
    TQBStringType Salutation;
    TQBStringType FirstName;
    TQBStringType MiddleName;
    TQBStringType LastName;
};

struct TQBTxnRetBase {
    TQBIDType TxnID;
    TQBDateTimeType TimeCreated;
    TQBDateTimeType TimeModified;
    TQBStringType EditSequence;
    TQBIntType TxnNumber;
    TQBDateType TxnDate;
};

struct TQBExpenseLineRet {
    TQBIDType TxnLineID;
    TQBRef AccountRef;
    TQBAmountType Amount;
    TQBStringType Memo;
    TQBRef CustomerRef;
    TQBRef ClassRef;
};

struct TQBCheckRet : TQBTxnRetBase {
    TQBRef AccountRef;
    TQBRef PayeeEntityRef;
    TQBStringType RefNumber;
    TQBAmountType Amount;
    TQBStringType Memo;
    TQBBoolType IsToBePrinted;
    std::vector<TQBExpenseLineRet> ExpenseLineRetList;
};

struct TQBDepositLineRet {
    TQBStringType TxnType;
    TQBIDType TxnID;
    TQBIDType TxnLineID;
    TQBRef EntityRef;
    TQBRef AccountRef;
    TQBStringType Memo;
    TQBStringType CheckNumber;
    TQBRef ClassRef;
    TQBAmountType Amount;
};

struct TQBDepositRet : TQBTxnRetBase {
    TQBRef DepositToAccountRef;
    TQBStringType Memo;
    TQBAmountType DepositTotal;
    std::vector<TQBDepositLineRet> DepositLineRetList;
};

struct TQBJournalLineRet {
    TQBJournalLineKind Kind = TQBJournalLineKind::Debit;
    TQBIDType TxnLineID;
    TQBRef AccountRef;
    TQBAmountType Amount;
    TQBStringType Memo;
    TQBRef EntityRef;
    TQBRef ClassRef;
};

struct TQBJournalEntryRet : TQBTxnRetBase {
    TQBStringType RefNumber;
    TQBBoolType IsAdjustment;
    TQBStringType Memo;
    std::vector<TQBJournalLineRet> JournalLineRetList;
};

struct TQBTxnVoidRet {
    TQBStringType TxnVoidType;
    TQBIDType TxnID;
    TQBDateTimeType TimeCreated;
    TQBDateTimeType TimeModified;
    TQBStringType RefNumber;
};

struct TQBTxnDelRet {
    TQBStringType TxnDelType;
    TQBIDType TxnID;
    TQBDateTimeType TimeDeleted;
};

// The open company as QuickBooks names it.
struct TQBCompanyRet {
    TQBStringType CompanyName;
    TQBStringType LegalCompanyName;
};

using TQBAccountRetList = std::vector<TQBAccountRet>;
using TQBClassRetList = std::vector<TQBClassRet>;
using TQBCustomerRetList = std::vector<TQBCustomerRet>;
using TQBEmployeeRetList = std::vector<TQBEmployeeRet>;
using TQBCheckRetList = std::vector<TQBCheckRet>;
using TQBDepositRetList = std::vector<TQBDepositRet>;
using TQBJournalEntryRetList = std::vector<TQBJournalEntryRet>;

// The detail of one response: a query's list, an add's new object, a void's
// or a delete's fields, the company, or nothing (nothing matched, an error, a
// cleared-status change).
using TQBDetail =
    std::variant<std::monostate, TQBAccountRetList, TQBClassRetList, TQBCustomerRetList,
                 TQBEmployeeRetList, TQBCheckRetList, TQBDepositRetList, TQBJournalEntryRetList,
                 TQBCheckRet, TQBDepositRet, TQBJournalEntryRet, TQBTxnVoidRet, TQBTxnDelRet,
                 TQBCompanyRet>;

struct TQBResponse {
    TQBRequestKind Kind = TQBRequestKind::AccountQuery;
    QString RequestID;
    int StatusCode = 0;
    QString StatusSeverity;
    QString StatusMessage;
    std::optional<int> RetCount;
    TQBDetail Detail;

    bool HasDetail() const { return !std::holds_alternative<std::monostate>(Detail); }
    // The detail as the given type, or null when absent or of another kind.
    template <typename T> const T* DetailAs() const { return std::get_if<T>(&Detail); }
};

class TMsgSetResponse {
public:
    TMsgSetResponse(QString xml, std::vector<TQBResponse> responses)
        : m_xml(std::move(xml)), m_responses(std::move(responses)) {}

    // The text QuickBooks answered, unchanged.
    QString ToXMLString() const { return m_xml; }
    int Count() const { return static_cast<int>(m_responses.size()); }
    const TQBResponse& At(int index) const { return m_responses.at(static_cast<size_t>(index)); }
    const std::vector<TQBResponse>& ResponseList() const { return m_responses; }

private:
    QString m_xml;
    std::vector<TQBResponse> m_responses;
};

// ---- Session manager ------------------------------------------------------

// The SDK's session manager. Numeric arguments keep the SDK's meanings:
// connection type 1 local QuickBooks; open mode 2 single- or multi-user.
class IQBSessionManager {
public:
    virtual ~IQBSessionManager() = default;
    virtual void OpenConnection2(const QString& appID, const QString& appName, int connType) = 0;
    virtual void BeginSession(const QString& companyFile, int openMode) = 0;
    // The full path of the company file the session has open.
    virtual QString GetCurrentCompanyFileName() = 0;
    virtual QStringList QBXMLVersionsForSession() = 0;
    virtual std::unique_ptr<TMsgSetRequest> CreateMsgSetRequest(const QString& country, int major,
                                                                int minor) = 0;
    virtual std::unique_ptr<TMsgSetResponse> DoRequests(const TMsgSetRequest& request) = 0;
    // Sends a status request (an old message-set ID, no requests) and reads
    // the answer as the answer to `lost`, the set sent with that ID: its
    // stored responses, or no response at all when QuickBooks keeps none.
    virtual std::unique_ptr<TMsgSetResponse> DoRecoveryRequest(const TMsgSetRequest& statusRequest,
                                                               const TMsgSetRequest& lost) = 0;
    virtual void EndSession() = 0;
    virtual void CloseConnection() = 0;
};
using IQBSessionManagerPtr = std::unique_ptr<IQBSessionManager>;
