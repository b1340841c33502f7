// Request sets written as qbXML text, refusing what QuickBooks cannot store.
#include "quickbooks/QBXml.h"

#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"

namespace {

QString Escaped(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        if (u < 0x20 && u != u'\t' && u != u'\n' && u != u'\r')
            throw EQBError(Format("The text \"%s\" holds a control character that QuickBooks "
                                  "cannot take.",
                                  {text}));
        switch (u) {
        case u'&':
            out += u"&amp;";
            break;
        case u'<':
            out += u"&lt;";
            break;
        case u'>':
            out += u"&gt;";
            break;
        case u'"':
            out += u"&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// What a text field is called in messages, and the most characters desktop
// QuickBooks stores in it (qbXML 7.0); a longer value is refused with 3070.
struct TQBTextField {
    const char* Label;
    int MaxLength;
};

constexpr TQBTextField FldCheckNumber{"Check number", 11};
constexpr TQBTextField FldEntryNumber{"Entry number", 11};
constexpr TQBTextField FldMemo{"Memo", 4095};
constexpr TQBTextField FldLineMemo{"Line memo", 4095};
constexpr TQBTextField FldReceivedFrom{"Received from", 209};
constexpr TQBTextField FldBankAccount{"Bank account", 159};
constexpr TQBTextField FldAccount{"Account", 159};
constexpr TQBTextField FldExpenseAccount{"Expense account", 159};
constexpr TQBTextField FldDepositFromAccount{"Deposit from account", 159};
constexpr TQBTextField FldClass{"Class", 159};
constexpr TQBTextField FldPayee{"Payee", 209};
constexpr TQBTextField FldCustomer{"Customer", 209};
constexpr TQBTextField FldName{"Name", 209};
constexpr TQBTextField FldFullNameOfAccountOrClass{"Full name", 159};
constexpr TQBTextField FldFullNameOfEntity{"Full name", 209};

// A message quotes the start of a refused value; a 4,000-character memo
// does not belong in a message box.
constexpr qsizetype QuotedStart = 40;

void CheckLength(const QString& value, const TQBTextField& field) {
    const qsizetype length = CharacterCount(value);
    if (length <= field.MaxLength)
        return;
    throw EQBError(
        Format("%s <%s> is too long for QuickBooks: it holds at most %d characters, "
               "this has %d.",
               {field.Label, ShortenedText(value, QuotedStart), field.MaxLength, length}));
}

class TQBXmlOut {
public:
    void Open(const QString& name, const QString& attributes = QString()) {
        Indent();
        m_text += u'<' + name + attributes + u">\n";
        ++m_depth;
    }
    void Close(const QString& name) {
        --m_depth;
        Indent();
        m_text += u"</" + name + u">\n";
    }
    void Leaf(const QString& name, const QString& value) {
        Indent();
        m_text += u'<' + name + u'>' + Escaped(value) + u"</" + name + u">\n";
    }
    void Raw(const QString& line) { m_text += line + u'\n'; }
    // An ID element standing for what an earlier add of the set defined.
    void MacroUse(const QString& name, const QString& macro) {
        Indent();
        m_text += u'<' + name + u" useMacro=\"" + Escaped(macro) + u"\"/>\n";
    }

    void String(const QString& name, const TQBStringType& v) {
        if (v.IsSet())
            Leaf(name, v.GetValue());
    }
    void String(const QString& name, const TQBStringType& v, const TQBTextField& field) {
        if (v.IsSet())
            Text(name, v.GetValue(), field);
    }
    void Text(const QString& name, const QString& value, const TQBTextField& field) {
        CheckLength(value, field);
        Leaf(name, value);
    }
    void Amount(const QString& name, const TQBAmountType& v) {
        if (v.IsSet())
            Leaf(name, QBAmountToText(v.GetValue()));
    }
    void Date(const QString& name, const TQBDateType& v) {
        if (v.IsSet())
            Leaf(name, QBDateToText(v.GetValue()));
    }
    void Bool(const QString& name, const TQBBoolType& v) {
        if (v.IsSet())
            Leaf(name, v.GetValue() ? QStringLiteral("true") : QStringLiteral("false"));
    }
    void Int(const QString& name, const TQBIntType& v) {
        if (v.IsSet())
            Leaf(name, QString::number(v.GetValue()));
    }
    void Ref(const QString& name, const TQBRef& ref, const TQBTextField& fullName) {
        if (!ref.IsSet())
            return;
        Open(name);
        String(QStringLiteral("ListID"), ref.ListID);
        String(QStringLiteral("FullName"), ref.FullName, fullName);
        Close(name);
    }

    QString Text() const { return m_text; }

private:
    void Indent() { m_text += QString(m_depth * 2, u' '); }

    QString m_text;
    int m_depth = 0;
};

QString ActiveStatusText(TQBActiveStatus status) {
    switch (status) {
    case asActiveOnly:
        return QStringLiteral("ActiveOnly");
    case asInactiveOnly:
        return QStringLiteral("InactiveOnly");
    case asAll:
        return QStringLiteral("All");
    }
    throw EAssertionFailed();
}

void WriteListQuery(TQBXmlOut& out, const TQBListQuery& q, TQBRequestKind kind) {
    const bool general = q.MaxReturned.IsSet() || q.ActiveStatus.IsSet();
    // The three filter groups exclude each other in qbXML.
    OrvAssert(int(!q.ListIDs.isEmpty()) + int(!q.FullNames.isEmpty()) + int(general) <= 1);
    for (const QString& id : q.ListIDs)
        out.Leaf(QStringLiteral("ListID"), id);
    const bool accountsOrClasses =
        kind == TQBRequestKind::AccountQuery || kind == TQBRequestKind::ClassQuery;
    for (const QString& name : q.FullNames)
        out.Text(QStringLiteral("FullName"), name,
                 accountsOrClasses ? FldFullNameOfAccountOrClass : FldFullNameOfEntity);
    out.Int(QStringLiteral("MaxReturned"), q.MaxReturned);
    if (q.ActiveStatus.IsSet())
        out.Leaf(QStringLiteral("ActiveStatus"), ActiveStatusText(q.ActiveStatus.GetValue()));
}

void WriteTxnQuery(TQBXmlOut& out, const TQBTxnQuery& q, TQBRequestKind kind) {
    const bool general = q.MaxReturned.IsSet() || q.TxnDateRangeFilter.IsSet();
    OrvAssert(int(!q.TxnIDs.isEmpty()) + int(!q.RefNumbers.isEmpty()) + int(general) <= 1);
    // Deposits have no reference number.
    OrvAssert(kind != TQBRequestKind::DepositQuery || q.RefNumbers.isEmpty());
    for (const QString& id : q.TxnIDs)
        out.Leaf(QStringLiteral("TxnID"), id);
    for (const QString& ref : q.RefNumbers)
        out.Text(QStringLiteral("RefNumber"), ref,
                 kind == TQBRequestKind::CheckQuery ? FldCheckNumber : FldEntryNumber);
    out.Int(QStringLiteral("MaxReturned"), q.MaxReturned);
    if (q.TxnDateRangeFilter.IsSet()) {
        out.Open(QStringLiteral("TxnDateRangeFilter"));
        out.Date(QStringLiteral("FromTxnDate"), q.TxnDateRangeFilter.FromTxnDate);
        out.Date(QStringLiteral("ToTxnDate"), q.TxnDateRangeFilter.ToTxnDate);
        out.Close(QStringLiteral("TxnDateRangeFilter"));
    }
    out.Bool(QStringLiteral("IncludeLineItems"), q.IncludeLineItems);
}

void WriteCheckAdd(TQBXmlOut& out, const TQBCheckAdd& a) {
    out.Open(QStringLiteral("CheckAdd"));
    out.Ref(QStringLiteral("AccountRef"), a.AccountRef, FldBankAccount);
    out.Ref(QStringLiteral("PayeeEntityRef"), a.PayeeEntityRef, FldPayee);
    out.String(QStringLiteral("RefNumber"), a.RefNumber, FldCheckNumber);
    out.Date(QStringLiteral("TxnDate"), a.TxnDate);
    out.String(QStringLiteral("Memo"), a.Memo, FldMemo);
    out.Bool(QStringLiteral("IsToBePrinted"), a.IsToBePrinted);
    for (const TQBExpenseLineAdd& line : a.ExpenseLineAddList) {
        out.Open(QStringLiteral("ExpenseLineAdd"));
        out.Ref(QStringLiteral("AccountRef"), line.AccountRef, FldExpenseAccount);
        out.Amount(QStringLiteral("Amount"), line.Amount);
        out.String(QStringLiteral("Memo"), line.Memo, FldLineMemo);
        out.Ref(QStringLiteral("CustomerRef"), line.CustomerRef, FldCustomer);
        out.Ref(QStringLiteral("ClassRef"), line.ClassRef, FldClass);
        out.Close(QStringLiteral("ExpenseLineAdd"));
    }
    out.Close(QStringLiteral("CheckAdd"));
}

void WriteDepositAdd(TQBXmlOut& out, const TQBDepositAdd& a) {
    out.Open(QStringLiteral("DepositAdd"));
    out.Date(QStringLiteral("TxnDate"), a.TxnDate);
    out.Ref(QStringLiteral("DepositToAccountRef"), a.DepositToAccountRef, FldBankAccount);
    out.String(QStringLiteral("Memo"), a.Memo, FldMemo);
    for (const TQBDepositLineAdd& line : a.DepositLineAddList) {
        out.Open(QStringLiteral("DepositLineAdd"));
        out.Ref(QStringLiteral("EntityRef"), line.EntityRef, FldReceivedFrom);
        out.Ref(QStringLiteral("AccountRef"), line.AccountRef, FldDepositFromAccount);
        out.String(QStringLiteral("Memo"), line.Memo, FldLineMemo);
        out.String(QStringLiteral("CheckNumber"), line.CheckNumber, FldCheckNumber);
        out.Ref(QStringLiteral("ClassRef"), line.ClassRef, FldClass);
        out.Amount(QStringLiteral("Amount"), line.Amount);
        out.Close(QStringLiteral("DepositLineAdd"));
    }
    out.Close(QStringLiteral("DepositAdd"));
}

void WriteJournalEntryAdd(TQBXmlOut& out, const TQBJournalEntryAdd& a) {
    const QString attributes =
        a.DefMacro.IsSet() ? u" defMacro=\"" + Escaped(a.DefMacro.GetValue()) + u'"' : QString();
    out.Open(QStringLiteral("JournalEntryAdd"), attributes);
    out.Date(QStringLiteral("TxnDate"), a.TxnDate);
    out.String(QStringLiteral("RefNumber"), a.RefNumber, FldEntryNumber);
    out.String(QStringLiteral("Memo"), a.Memo, FldMemo);
    out.Bool(QStringLiteral("IsAdjustment"), a.IsAdjustment);
    for (const TQBJournalLineAdd& line : a.JournalLineList) {
        const QString name = line.Kind == TQBJournalLineKind::Debit
                                 ? QStringLiteral("JournalDebitLine")
                                 : QStringLiteral("JournalCreditLine");
        out.Open(name);
        out.Ref(QStringLiteral("AccountRef"), line.AccountRef, FldAccount);
        out.Amount(QStringLiteral("Amount"), line.Amount);
        out.String(QStringLiteral("Memo"), line.Memo, FldLineMemo);
        out.Ref(QStringLiteral("EntityRef"), line.EntityRef, FldName);
        out.Ref(QStringLiteral("ClassRef"), line.ClassRef, FldClass);
        out.Close(name);
    }
    out.Close(QStringLiteral("JournalEntryAdd"));
}

QString TxnVoidTypeText(TQBTxnVoidType type) {
    switch (type) {
    case tvtCheck:
        return QStringLiteral("Check");
    case tvtDeposit:
        return QStringLiteral("Deposit");
    case tvtJournalEntry:
        return QStringLiteral("JournalEntry");
    }
    throw EAssertionFailed();
}

QString TxnDelTypeText(TQBTxnDelType type) {
    switch (type) {
    case tdtCheck:
        return QStringLiteral("Check");
    case tdtDeposit:
        return QStringLiteral("Deposit");
    case tdtJournalEntry:
        return QStringLiteral("JournalEntry");
    }
    throw EAssertionFailed();
}

QString ClearedStatusText(TQBClearedStatus status) {
    switch (status) {
    case csCleared:
        return QStringLiteral("Cleared");
    case csNotCleared:
        return QStringLiteral("NotCleared");
    case csPending:
        return QStringLiteral("Pending");
    }
    throw EAssertionFailed();
}

void WriteRequest(TQBXmlOut& out, const TQBRequest& rq, int requestID) {
    const QString name = QBRequestKindName(rq.Kind) + u"Rq";
    out.Open(name, Format(" requestID=\"%d\"", {requestID}));
    switch (rq.Kind) {
    case TQBRequestKind::AccountQuery:
    case TQBRequestKind::ClassQuery:
    case TQBRequestKind::CustomerQuery:
    case TQBRequestKind::EmployeeQuery:
        WriteListQuery(out, std::get<TQBListQuery>(rq.Body), rq.Kind);
        break;
    case TQBRequestKind::CheckQuery:
    case TQBRequestKind::DepositQuery:
    case TQBRequestKind::JournalEntryQuery:
        WriteTxnQuery(out, std::get<TQBTxnQuery>(rq.Body), rq.Kind);
        break;
    case TQBRequestKind::CheckAdd:
        WriteCheckAdd(out, std::get<TQBCheckAdd>(rq.Body));
        break;
    case TQBRequestKind::DepositAdd:
        WriteDepositAdd(out, std::get<TQBDepositAdd>(rq.Body));
        break;
    case TQBRequestKind::JournalEntryAdd:
        WriteJournalEntryAdd(out, std::get<TQBJournalEntryAdd>(rq.Body));
        break;
    case TQBRequestKind::TxnVoid: {
        const auto& v = std::get<TQBTxnVoid>(rq.Body);
        out.Leaf(QStringLiteral("TxnVoidType"), TxnVoidTypeText(v.TxnVoidType.GetValue()));
        out.Leaf(QStringLiteral("TxnID"), v.TxnID.GetValue());
        break;
    }
    case TQBRequestKind::TxnDel: {
        const auto& d = std::get<TQBTxnDel>(rq.Body);
        out.Leaf(QStringLiteral("TxnDelType"), TxnDelTypeText(d.TxnDelType.GetValue()));
        out.Leaf(QStringLiteral("TxnID"), d.TxnID.GetValue());
        break;
    }
    case TQBRequestKind::CompanyQuery:
        break;
    case TQBRequestKind::ClearedStatusMod: {
        const auto& m = std::get<TQBClearedStatusMod>(rq.Body);
        out.Open(QStringLiteral("ClearedStatusMod"));
        if (m.TxnIDMacro.IsSet())
            out.MacroUse(QStringLiteral("TxnID"), m.TxnIDMacro.GetValue());
        else
            out.Leaf(QStringLiteral("TxnID"), m.TxnID.GetValue());
        out.String(QStringLiteral("TxnLineID"), m.TxnLineID);
        out.Leaf(QStringLiteral("ClearedStatus"), ClearedStatusText(m.ClearedStatus.GetValue()));
        out.Close(QStringLiteral("ClearedStatusMod"));
        break;
    }
    }
    out.Close(name);
}

} // namespace

QString WriteQBRequestSet(const TMsgSetRequest& request) {
    TQBXmlOut out;
    out.Raw(QStringLiteral("<?xml version=\"1.0\" encoding=\"utf-8\"?>"));
    out.Raw(
        Format("<?qbxml version=\"%d.%d\"?>", {request.MajorVersion(), request.MinorVersion()}));
    out.Open(QStringLiteral("QBXML"));
    QString attributes = request.OnError() == oeStopOnError
                             ? QStringLiteral(" onError=\"stopOnError\"")
                             : QStringLiteral(" onError=\"continueOnError\"");
    if (!request.NewMessageSetID().isEmpty())
        attributes += u" newMessageSetID=\"" + Escaped(request.NewMessageSetID()) + u'"';
    if (!request.OldMessageSetID().isEmpty())
        attributes += u" oldMessageSetID=\"" + Escaped(request.OldMessageSetID()) + u'"';
    out.Open(QStringLiteral("QBXMLMsgsRq"), attributes);
    for (int i = 0; i < request.Count(); ++i)
        WriteRequest(out, request.At(i), i + 1);
    out.Close(QStringLiteral("QBXMLMsgsRq"));
    out.Close(QStringLiteral("QBXML"));
    return out.Text();
}

void CheckQBRequest(const TQBRequest& request) {
    TQBXmlOut out;
    WriteRequest(out, request, 1);
}
