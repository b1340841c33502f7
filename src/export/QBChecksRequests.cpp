#include "export/QBChecksRequests.h"

#include "quickbooks/QBXml.h"

namespace {

void SetMemo(TQBStringType& memo, const QString& text) {
    // QuickBooks keeps an empty memo as none.
    if (!text.isEmpty())
        memo.SetValue(text);
}

TQBRequest Checked(TQBRequestKind kind, TQBRequestBody body) {
    TQBRequest request{kind, std::move(body)};
    CheckQBRequest(request);
    return request;
}

} // namespace

TQBRequest CheckAddRequest(const TCheckRecord& r, const TQBChecksExportParam& options,
                           const QString& payee) {
    TQBCheckAdd add;
    add.AccountRef.FullName.SetValue(options.CashAccount);
    if (options.IncludeEENames)
        add.PayeeEntityRef.FullName.SetValue(payee);
    add.RefNumber.SetValue(r.CheckNumber);
    add.TxnDate.SetValue(r.CheckDate);
    SetMemo(add.Memo, r.Memo);
    add.IsToBePrinted.SetValue(false);
    TQBExpenseLineAdd& line = add.AppendExpenseLine();
    line.AccountRef.FullName.SetValue(options.LiabilityAccount);
    line.Amount.SetValue(r.Amount);
    SetMemo(line.Memo, r.Memo);
    return Checked(TQBRequestKind::CheckAdd, add);
}

TQBRequest DepositAddRequest(const TCheckRecord& r, const TQBChecksExportParam& options,
                             const QString& payee) {
    TQBDepositAdd add;
    add.TxnDate.SetValue(r.CheckDate);
    add.DepositToAccountRef.FullName.SetValue(options.CashAccount);
    SetMemo(add.Memo, r.Memo);
    TQBDepositLineAdd& line = add.AppendDepositLine();
    line.AccountRef.FullName.SetValue(options.LiabilityAccount);
    line.Amount.SetValue(-r.Amount);
    SetMemo(line.Memo, r.Memo);
    line.CheckNumber.SetValue(r.CheckNumber);
    if (options.IncludeEENames)
        line.EntityRef.FullName.SetValue(payee);
    return Checked(TQBRequestKind::DepositAdd, add);
}

TQBRequest VoidQueryRequest(const TCheckRecord& r) {
    TQBTxnQuery query;
    query.RefNumbers.append(r.CheckNumber);
    return Checked(TQBRequestKind::CheckQuery, query);
}

TQBRequest VoidRequest(const QString& txnID) {
    TQBTxnVoid v;
    v.TxnVoidType.SetValue(tvtCheck);
    v.TxnID.SetValue(txnID);
    return Checked(TQBRequestKind::TxnVoid, v);
}

TQBRequest ClearingRequest(const QString& txnID) {
    TQBClearedStatusMod mod;
    mod.TxnID.SetValue(txnID);
    mod.ClearedStatus.SetValue(csCleared);
    return Checked(TQBRequestKind::ClearedStatusMod, mod);
}

TQBRequest RefreshRequest(bool deposit, const QString& txnID) {
    TQBTxnQuery query;
    query.TxnIDs.append(txnID);
    return Checked(deposit ? TQBRequestKind::DepositQuery : TQBRequestKind::CheckQuery, query);
}
