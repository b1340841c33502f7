#include "quickbooks/QBFC7Lib.h"

#include "quickbooks/QBXml.h"

void ThrowQBValueMissing() {
    throw EQBValueMissing(QStringLiteral("QuickBooks did not send a value the program needs."));
}

QString QBRequestKindName(TQBRequestKind kind) {
    switch (kind) {
    case TQBRequestKind::AccountQuery:
        return QStringLiteral("AccountQuery");
    case TQBRequestKind::ClassQuery:
        return QStringLiteral("ClassQuery");
    case TQBRequestKind::CustomerQuery:
        return QStringLiteral("CustomerQuery");
    case TQBRequestKind::EmployeeQuery:
        return QStringLiteral("EmployeeQuery");
    case TQBRequestKind::CheckQuery:
        return QStringLiteral("CheckQuery");
    case TQBRequestKind::DepositQuery:
        return QStringLiteral("DepositQuery");
    case TQBRequestKind::JournalEntryQuery:
        return QStringLiteral("JournalEntryQuery");
    case TQBRequestKind::CheckAdd:
        return QStringLiteral("CheckAdd");
    case TQBRequestKind::DepositAdd:
        return QStringLiteral("DepositAdd");
    case TQBRequestKind::JournalEntryAdd:
        return QStringLiteral("JournalEntryAdd");
    case TQBRequestKind::TxnVoid:
        return QStringLiteral("TxnVoid");
    case TQBRequestKind::ClearedStatusMod:
        return QStringLiteral("ClearedStatusMod");
    case TQBRequestKind::TxnDel:
        return QStringLiteral("TxnDel");
    case TQBRequestKind::CompanyQuery:
        return QStringLiteral("CompanyQuery");
    }
    throw EAssertionFailed();
}

bool IsQBChangeRequest(TQBRequestKind kind) {
    switch (kind) {
    case TQBRequestKind::CheckAdd:
    case TQBRequestKind::DepositAdd:
    case TQBRequestKind::JournalEntryAdd:
    case TQBRequestKind::TxnVoid:
    case TQBRequestKind::ClearedStatusMod:
    case TQBRequestKind::TxnDel:
        return true;
    default:
        return false;
    }
}

TMsgSetRequest::TMsgSetRequest(QString country, int major, int minor)
    : m_country(std::move(country)), m_major(major), m_minor(minor) {
    // Only the US edition of QuickBooks is supported.
    OrvAssert(m_country == u"US" && major > 0 && minor >= 0);
}

void TMsgSetRequest::SetOnError(int value) {
    OrvAssert(value == oeStopOnError || value == oeContinueOnError);
    m_onError = static_cast<TQBOnError>(value);
}

template <typename T> T& TMsgSetRequest::Append(TQBRequestKind kind) {
    OrvAssert(m_oldMessageSetID.isEmpty());
    auto rq = std::make_unique<TQBRequest>(TQBRequest{kind, T()});
    T& body = std::get<T>(rq->Body);
    m_requests.push_back(std::move(rq));
    return body;
}

TQBListQuery& TMsgSetRequest::AppendAccountQueryRq() {
    return Append<TQBListQuery>(TQBRequestKind::AccountQuery);
}
TQBListQuery& TMsgSetRequest::AppendClassQueryRq() {
    return Append<TQBListQuery>(TQBRequestKind::ClassQuery);
}
TQBListQuery& TMsgSetRequest::AppendCustomerQueryRq() {
    return Append<TQBListQuery>(TQBRequestKind::CustomerQuery);
}
TQBListQuery& TMsgSetRequest::AppendEmployeeQueryRq() {
    return Append<TQBListQuery>(TQBRequestKind::EmployeeQuery);
}
TQBTxnQuery& TMsgSetRequest::AppendCheckQueryRq() {
    return Append<TQBTxnQuery>(TQBRequestKind::CheckQuery);
}
TQBTxnQuery& TMsgSetRequest::AppendDepositQueryRq() {
    return Append<TQBTxnQuery>(TQBRequestKind::DepositQuery);
}
TQBTxnQuery& TMsgSetRequest::AppendJournalEntryQueryRq() {
    return Append<TQBTxnQuery>(TQBRequestKind::JournalEntryQuery);
}
TQBCheckAdd& TMsgSetRequest::AppendCheckAddRq() {
    return Append<TQBCheckAdd>(TQBRequestKind::CheckAdd);
}
TQBDepositAdd& TMsgSetRequest::AppendDepositAddRq() {
    return Append<TQBDepositAdd>(TQBRequestKind::DepositAdd);
}
TQBJournalEntryAdd& TMsgSetRequest::AppendJournalEntryAddRq() {
    return Append<TQBJournalEntryAdd>(TQBRequestKind::JournalEntryAdd);
}
TQBTxnVoid& TMsgSetRequest::AppendTxnVoidRq() {
    return Append<TQBTxnVoid>(TQBRequestKind::TxnVoid);
}
TQBClearedStatusMod& TMsgSetRequest::AppendClearedStatusModRq() {
    return Append<TQBClearedStatusMod>(TQBRequestKind::ClearedStatusMod);
}

TQBTxnDel& TMsgSetRequest::AppendTxnDelRq() {
    return Append<TQBTxnDel>(TQBRequestKind::TxnDel);
}
void TMsgSetRequest::AppendCompanyQueryRq() {
    Append<TQBCompanyQuery>(TQBRequestKind::CompanyQuery);
}

void TMsgSetRequest::AppendRequest(TQBRequest request) {
    OrvAssert(m_oldMessageSetID.isEmpty());
    m_requests.push_back(std::make_unique<TQBRequest>(std::move(request)));
}

void TMsgSetRequest::SetNewMessageSetID(const QString& id) {
    OrvAssert(!id.isEmpty() && id.size() <= QBMessageSetIDMaxLength);
    m_newMessageSetID = id;
}

void TMsgSetRequest::SetOldMessageSetID(const QString& id) {
    OrvAssert(!id.isEmpty() && id.size() <= QBMessageSetIDMaxLength && m_requests.empty());
    m_oldMessageSetID = id;
}

bool TMsgSetRequest::ChangesData() const {
    for (const auto& rq : m_requests)
        if (IsQBChangeRequest(rq->Kind))
            return true;
    return false;
}

QString TMsgSetRequest::ToXMLString() const {
    return WriteQBRequestSet(*this);
}
