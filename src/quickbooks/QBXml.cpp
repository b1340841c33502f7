#include "quickbooks/QBXml.h"

#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"

#include <QXmlStreamReader>

// ---- Values ----------------------------------------------------------------

QString QBAmountToText(Currency amount) {
    // QuickBooks refuses anything but whole cents; rounding here would
    // silently change money, so the caller must hand cents.
    if (amount.Raw() % 100 != 0)
        throw EQBError(Format("The amount %s has more than two decimals; QuickBooks takes "
                              "amounts in whole cents.",
                              {amount.ToString()}));
    constexpr qint64 limit = 10000000000000LL * Currency::Scale; // 13 integer digits
    if (amount.Raw() >= limit || amount.Raw() <= -limit)
        throw EQBError(Format("The amount %s is too large for QuickBooks.", {amount.ToString()}));
    return amount.ToFixed(2);
}

bool QBTextToAmount(const QString& text, Currency& amount) {
    // [+-]?digits(.digits)? with at most four decimals: QuickBooks writes two.
    int i = 0;
    const int n = text.size();
    bool negative = false;
    if (i < n && (text[i] == u'+' || text[i] == u'-'))
        negative = text[i++] == u'-';
    qint64 units = 0;
    int intDigits = 0;
    while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
        if (++intDigits > 14)
            return false;
        units = units * 10 + (text[i++].unicode() - '0');
    }
    if (intDigits == 0)
        return false;
    qint64 fraction = 0;
    int fracDigits = 0;
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i].isDigit() && text[i].unicode() < 128) {
            if (++fracDigits > 4)
                return false;
            fraction = fraction * 10 + (text[i++].unicode() - '0');
        }
        if (fracDigits == 0)
            return false;
    }
    if (i != n)
        return false;
    for (int d = fracDigits; d < 4; ++d)
        fraction *= 10;
    const qint64 raw = units * Currency::Scale + fraction;
    amount = Currency::FromRaw(negative ? -raw : raw);
    return true;
}

QString QBDateToText(const QDate& date) {
    if (!date.isValid() || date.year() < 1 || date.year() > 9999)
        throw EQBError(QStringLiteral("A transaction date is not a valid date."));
    return date.toString(u"yyyy-MM-dd");
}

// ---- Writer ----------------------------------------------------------------

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

// ---- Reader ----------------------------------------------------------------

namespace {

[[noreturn]] void Fail(const QString& reason) {
    throw EQBResponseError(u"The answer from QuickBooks could not be read: " + reason);
}

struct TNode {
    QString Name;
    QString Text;
    std::vector<TNode> Children;

    const TNode* Child(QStringView name) const {
        for (const TNode& c : Children)
            if (c.Name == name)
                return &c;
        return nullptr;
    }
};

constexpr int MaxDepth = 32;

// Reads the element the reader stands on (start element) into a node.
TNode ReadNode(QXmlStreamReader& xml, int depth) {
    if (depth > MaxDepth)
        Fail(QStringLiteral("elements are nested too deeply."));
    TNode node;
    node.Name = xml.name().toString();
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            node.Children.push_back(ReadNode(xml, depth + 1));
            break;
        case QXmlStreamReader::Characters:
            if (!xml.isWhitespace())
                node.Text += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            return node;
        case QXmlStreamReader::DTD:
            Fail(QStringLiteral("a document type declaration is not allowed."));
        default:
            break;
        }
    }
    Fail(xml.hasError() ? xml.errorString() : QStringLiteral("the text ends too early."));
}

class TRetReader {
public:
    TRetReader(const TNode& node) : m_node(node) {}

    const TNode& Required(QStringView name) const {
        const TNode* c = m_node.Child(name);
        if (!c)
            Fail(Format("%s has no %s.", {m_node.Name, name.toString()}));
        return *c;
    }
    void String(QStringView name, TQBStringType& v, bool required = false) const {
        if (const TNode* c = Find(name, required))
            v.SetValue(c->Text);
    }
    void Amount(QStringView name, TQBAmountType& v) const {
        if (const TNode* c = m_node.Child(name)) {
            Currency amount;
            if (!QBTextToAmount(c->Text, amount))
                Fail(Format("the amount \"%s\" in %s is not a number.", {c->Text, m_node.Name}));
            v.SetValue(amount);
        }
    }
    void Date(QStringView name, TQBDateType& v, bool required = false) const {
        if (const TNode* c = Find(name, required)) {
            const QDate d = QDate::fromString(c->Text, u"yyyy-MM-dd");
            if (!d.isValid())
                Fail(Format("the date \"%s\" in %s is not a date.", {c->Text, m_node.Name}));
            v.SetValue(d);
        }
    }
    void DateTime(QStringView name, TQBDateTimeType& v, bool required = false) const {
        if (const TNode* c = Find(name, required)) {
            const QDateTime t = QDateTime::fromString(c->Text, Qt::ISODate);
            if (!t.isValid())
                Fail(Format("the time \"%s\" in %s is not a time.", {c->Text, m_node.Name}));
            v.SetValue(t);
        }
    }
    void Bool(QStringView name, TQBBoolType& v) const {
        if (const TNode* c = m_node.Child(name)) {
            if (c->Text != u"true" && c->Text != u"false")
                Fail(Format("\"%s\" in %s is not true or false.", {c->Text, m_node.Name}));
            v.SetValue(c->Text == u"true");
        }
    }
    void Int(QStringView name, TQBIntType& v) const {
        if (const TNode* c = m_node.Child(name)) {
            bool ok = false;
            const int n = c->Text.toInt(&ok);
            if (!ok)
                Fail(Format("\"%s\" in %s is not a number.", {c->Text, m_node.Name}));
            v.SetValue(n);
        }
    }
    void Ref(QStringView name, TQBRef& ref) const {
        if (const TNode* c = m_node.Child(name)) {
            TRetReader r(*c);
            r.String(u"ListID", ref.ListID);
            r.String(u"FullName", ref.FullName);
            if (!ref.IsSet())
                Fail(Format("%s in %s has neither ListID nor FullName.", {c->Name, m_node.Name}));
        }
    }

private:
    const TNode* Find(QStringView name, bool required) const {
        return required ? &Required(name) : m_node.Child(name);
    }
    const TNode& m_node;
};

void ReadListBase(const TRetReader& r, TQBListRetBase& ret) {
    r.String(u"ListID", ret.ListID, true);
    r.DateTime(u"TimeCreated", ret.TimeCreated, true);
    r.DateTime(u"TimeModified", ret.TimeModified, true);
    r.String(u"EditSequence", ret.EditSequence, true);
    r.String(u"Name", ret.Name, true);
    r.Bool(u"IsActive", ret.IsActive);
}

void ReadTxnBase(const TRetReader& r, TQBTxnRetBase& ret) {
    r.String(u"TxnID", ret.TxnID, true);
    r.DateTime(u"TimeCreated", ret.TimeCreated, true);
    r.DateTime(u"TimeModified", ret.TimeModified, true);
    r.String(u"EditSequence", ret.EditSequence, true);
    r.Int(u"TxnNumber", ret.TxnNumber);
    r.Date(u"TxnDate", ret.TxnDate, true);
}

TQBAccountRet ReadAccount(const TNode& n) {
    TRetReader r(n);
    TQBAccountRet ret;
    ReadListBase(r, ret);
    r.String(u"FullName", ret.FullName, true);
    r.Ref(u"ParentRef", ret.ParentRef);
    r.Int(u"Sublevel", ret.Sublevel);
    r.String(u"AccountType", ret.AccountType, true);
    r.String(u"SpecialAccountType", ret.SpecialAccountType);
    r.String(u"AccountNumber", ret.AccountNumber);
    r.String(u"Desc", ret.Desc);
    r.Amount(u"Balance", ret.Balance);
    return ret;
}

TQBClassRet ReadClass(const TNode& n) {
    TRetReader r(n);
    TQBClassRet ret;
    ReadListBase(r, ret);
    r.String(u"FullName", ret.FullName, true);
    r.Ref(u"ParentRef", ret.ParentRef);
    r.Int(u"Sublevel", ret.Sublevel);
    return ret;
}

TQBCustomerRet ReadCustomer(const TNode& n) {
    TRetReader r(n);
    TQBCustomerRet ret;
    ReadListBase(r, ret);
    r.String(u"FullName", ret.FullName, true);
    r.Ref(u"ParentRef", ret.ParentRef);
    r.Int(u"Sublevel", ret.Sublevel);
    r.String(u"CompanyName", ret.CompanyName);
    r.String(u"FirstName", ret.FirstName);
    r.String(u"MiddleName", ret.MiddleName);
    r.String(u"LastName", ret.LastName);
    return ret;
}

TQBEmployeeRet ReadEmployee(const TNode& n) {
    TRetReader r(n);
    TQBEmployeeRet ret;
    ReadListBase(r, ret);
    r.String(u"Salutation", ret.Salutation);
    r.String(u"FirstName", ret.FirstName);
    r.String(u"MiddleName", ret.MiddleName);
    r.String(u"LastName", ret.LastName);
    return ret;
}

TQBCheckRet ReadCheck(const TNode& n) {
    TRetReader r(n);
    TQBCheckRet ret;
    ReadTxnBase(r, ret);
    r.Required(u"AccountRef");
    r.Ref(u"AccountRef", ret.AccountRef);
    r.Ref(u"PayeeEntityRef", ret.PayeeEntityRef);
    r.String(u"RefNumber", ret.RefNumber);
    r.Required(u"Amount");
    r.Amount(u"Amount", ret.Amount);
    r.String(u"Memo", ret.Memo);
    r.Bool(u"IsToBePrinted", ret.IsToBePrinted);
    for (const TNode& c : n.Children) {
        if (c.Name != u"ExpenseLineRet")
            continue;
        TRetReader l(c);
        TQBExpenseLineRet& line = ret.ExpenseLineRetList.emplace_back();
        l.String(u"TxnLineID", line.TxnLineID, true);
        l.Ref(u"AccountRef", line.AccountRef);
        l.Amount(u"Amount", line.Amount);
        l.String(u"Memo", line.Memo);
        l.Ref(u"CustomerRef", line.CustomerRef);
        l.Ref(u"ClassRef", line.ClassRef);
    }
    return ret;
}

TQBDepositRet ReadDeposit(const TNode& n) {
    TRetReader r(n);
    TQBDepositRet ret;
    ReadTxnBase(r, ret);
    r.Required(u"DepositToAccountRef");
    r.Ref(u"DepositToAccountRef", ret.DepositToAccountRef);
    r.String(u"Memo", ret.Memo);
    r.Amount(u"DepositTotal", ret.DepositTotal);
    for (const TNode& c : n.Children) {
        if (c.Name != u"DepositLineRet")
            continue;
        TRetReader l(c);
        TQBDepositLineRet& line = ret.DepositLineRetList.emplace_back();
        l.String(u"TxnType", line.TxnType);
        l.String(u"TxnID", line.TxnID);
        l.String(u"TxnLineID", line.TxnLineID, true);
        l.Ref(u"EntityRef", line.EntityRef);
        l.Ref(u"AccountRef", line.AccountRef);
        l.String(u"Memo", line.Memo);
        l.String(u"CheckNumber", line.CheckNumber);
        l.Ref(u"ClassRef", line.ClassRef);
        l.Amount(u"Amount", line.Amount);
    }
    return ret;
}

TQBJournalEntryRet ReadJournalEntry(const TNode& n) {
    TRetReader r(n);
    TQBJournalEntryRet ret;
    ReadTxnBase(r, ret);
    r.String(u"RefNumber", ret.RefNumber);
    r.Bool(u"IsAdjustment", ret.IsAdjustment);
    r.String(u"Memo", ret.Memo);
    for (const TNode& c : n.Children) {
        const bool debit = c.Name == u"JournalDebitLine";
        if (!debit && c.Name != u"JournalCreditLine")
            continue;
        TRetReader l(c);
        TQBJournalLineRet& line = ret.JournalLineRetList.emplace_back();
        line.Kind = debit ? TQBJournalLineKind::Debit : TQBJournalLineKind::Credit;
        l.String(u"TxnLineID", line.TxnLineID);
        l.Ref(u"AccountRef", line.AccountRef);
        l.Amount(u"Amount", line.Amount);
        l.String(u"Memo", line.Memo);
        l.Ref(u"EntityRef", line.EntityRef);
        l.Ref(u"ClassRef", line.ClassRef);
    }
    return ret;
}

template <typename T, typename F>
TQBDetail ReadRetList(const TNode& rs, QStringView retName, F read) {
    std::vector<T> list;
    for (const TNode& c : rs.Children)
        if (c.Name == retName)
            list.push_back(read(c));
    if (list.empty())
        return std::monostate();
    return list;
}

template <typename F> TQBDetail ReadSingleRet(const TNode& rs, QStringView retName, F read) {
    const TNode* ret = rs.Child(retName);
    if (!ret)
        return std::monostate();
    return read(*ret);
}

TQBDetail ReadDetail(const TNode& rs, TQBRequestKind kind) {
    switch (kind) {
    case TQBRequestKind::AccountQuery:
        return ReadRetList<TQBAccountRet>(rs, u"AccountRet", ReadAccount);
    case TQBRequestKind::ClassQuery:
        return ReadRetList<TQBClassRet>(rs, u"ClassRet", ReadClass);
    case TQBRequestKind::CustomerQuery:
        return ReadRetList<TQBCustomerRet>(rs, u"CustomerRet", ReadCustomer);
    case TQBRequestKind::EmployeeQuery:
        return ReadRetList<TQBEmployeeRet>(rs, u"EmployeeRet", ReadEmployee);
    case TQBRequestKind::CheckQuery:
        return ReadRetList<TQBCheckRet>(rs, u"CheckRet", ReadCheck);
    case TQBRequestKind::DepositQuery:
        return ReadRetList<TQBDepositRet>(rs, u"DepositRet", ReadDeposit);
    case TQBRequestKind::JournalEntryQuery:
        return ReadRetList<TQBJournalEntryRet>(rs, u"JournalEntryRet", ReadJournalEntry);
    case TQBRequestKind::CheckAdd:
        return ReadSingleRet(rs, u"CheckRet", ReadCheck);
    case TQBRequestKind::DepositAdd:
        return ReadSingleRet(rs, u"DepositRet", ReadDeposit);
    case TQBRequestKind::JournalEntryAdd:
        return ReadSingleRet(rs, u"JournalEntryRet", ReadJournalEntry);
    case TQBRequestKind::TxnVoid: {
        if (!rs.Child(u"TxnID"))
            return std::monostate();
        TRetReader r(rs);
        TQBTxnVoidRet ret;
        r.String(u"TxnVoidType", ret.TxnVoidType);
        r.String(u"TxnID", ret.TxnID);
        r.DateTime(u"TimeCreated", ret.TimeCreated);
        r.DateTime(u"TimeModified", ret.TimeModified);
        r.String(u"RefNumber", ret.RefNumber);
        return ret;
    }
    case TQBRequestKind::TxnDel: {
        if (!rs.Child(u"TxnID"))
            return std::monostate();
        TRetReader r(rs);
        TQBTxnDelRet ret;
        r.String(u"TxnDelType", ret.TxnDelType, true);
        r.String(u"TxnID", ret.TxnID);
        r.DateTime(u"TimeDeleted", ret.TimeDeleted, true);
        return ret;
    }
    case TQBRequestKind::CompanyQuery:
        return ReadSingleRet(rs, u"CompanyRet", [](const TNode& n) {
            TRetReader r(n);
            TQBCompanyRet ret;
            r.String(u"CompanyName", ret.CompanyName);
            r.String(u"LegalCompanyName", ret.LegalCompanyName);
            return ret;
        });
    case TQBRequestKind::ClearedStatusMod:
        return std::monostate();
    }
    throw EAssertionFailed();
}

TQBResponse ReadResponse(QXmlStreamReader& xml, const TQBRequest& rq, int requestID) {
    const QString expected = QBRequestKindName(rq.Kind) + u"Rs";
    if (xml.name() != expected)
        Fail(Format("response %d is %s where %s was expected.",
                    {requestID, xml.name().toString(), expected}));
    const QXmlStreamAttributes attrs = xml.attributes();
    TQBResponse rs;
    rs.Kind = rq.Kind;
    rs.RequestID = attrs.value(QLatin1String("requestID")).toString();
    if (attrs.hasAttribute(QLatin1String("requestID")) &&
        rs.RequestID != QString::number(requestID))
        Fail(Format("response %d answers request \"%s\".", {requestID, rs.RequestID}));
    bool ok = false;
    const QString code = attrs.value(QLatin1String("statusCode")).toString();
    rs.StatusCode = code.toInt(&ok);
    if (!ok)
        Fail(Format("the status code \"%s\" of %s is not a number.", {code, expected}));
    if (!attrs.hasAttribute(QLatin1String("statusSeverity")))
        Fail(Format("%s has no status severity.", {expected}));
    rs.StatusSeverity = attrs.value(QLatin1String("statusSeverity")).toString();
    rs.StatusMessage = attrs.value(QLatin1String("statusMessage")).toString();
    if (attrs.hasAttribute(QLatin1String("retCount"))) {
        const int count = attrs.value(QLatin1String("retCount")).toInt(&ok);
        if (!ok)
            Fail(Format("the count \"%s\" of %s is not a number.",
                        {attrs.value(QLatin1String("retCount")).toString(), expected}));
        rs.RetCount = count;
    }
    const TNode node = ReadNode(xml, 3);
    rs.Detail = ReadDetail(node, rq.Kind);
    return rs;
}

// Moves to the next start element, or returns false at the parent's end.
bool NextChild(QXmlStreamReader& xml) {
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            return true;
        case QXmlStreamReader::EndElement:
            return false;
        case QXmlStreamReader::Characters:
            if (!xml.isWhitespace())
                Fail(QStringLiteral("text where an element was expected."));
            break;
        case QXmlStreamReader::DTD:
            Fail(QStringLiteral("a document type declaration is not allowed."));
        default:
            break;
        }
    }
    Fail(xml.hasError() ? xml.errorString() : QStringLiteral("the text ends too early."));
}

} // namespace

void CheckQBXmlBounds(QStringView text, const TQBXmlBounds& bounds) {
    if (text.size() > bounds.MaxCharacters)
        Fail(Format("it has %d characters, more than the %d an answer may have.",
                    {text.size(), bounds.MaxCharacters}));
    // A scan of the markup only: anything malformed is left to the reader,
    // which refuses it.
    const auto skipPast = [&text](qsizetype from, QStringView end) {
        const qsizetype at = text.indexOf(end, from);
        return at < 0 ? text.size() : at + end.size();
    };
    int depth = 0;
    for (qsizetype pos = text.indexOf(u'<'); pos >= 0 && pos < text.size();
         pos = text.indexOf(u'<', pos)) {
        const QStringView rest = text.mid(pos);
        if (rest.startsWith(u"<!--")) {
            pos = skipPast(pos + 4, u"-->");
        } else if (rest.startsWith(u"<![CDATA[")) {
            pos = skipPast(pos + 9, u"]]>");
        } else if (rest.startsWith(u"<?")) {
            pos = skipPast(pos + 2, u"?>");
        } else if (rest.startsWith(u"<!")) {
            // Its declarations are what entity expansion and the reader's
            // own costs feed on.
            Fail(QStringLiteral("a document type declaration is not allowed."));
        } else if (rest.startsWith(u"</")) {
            --depth;
            pos = skipPast(pos + 2, u">");
        } else {
            int attributes = 0;
            QChar quote;
            qsizetype i = pos + 1;
            for (; i < text.size(); ++i) {
                const QChar c = text[i];
                if (!quote.isNull()) {
                    if (c == quote)
                        quote = QChar();
                } else if (c == u'"' || c == u'\'') {
                    quote = c;
                } else if (c == u'=') {
                    if (++attributes > bounds.MaxAttributes)
                        Fail(Format("an element has more than %d attributes.",
                                    {bounds.MaxAttributes}));
                } else if (c == u'>') {
                    break;
                }
            }
            if (i < text.size() && text[i - 1] != u'/' && ++depth > bounds.MaxDepth)
                Fail(QStringLiteral("elements are nested too deeply."));
            pos = i + 1;
        }
    }
}

namespace {

// Reads the responses of a set; a stored answer may also hold none at all.
std::unique_ptr<TMsgSetResponse> ReadResponses(const QString& text, const TMsgSetRequest& request,
                                               bool noneAllowed) {
    CheckQBXmlBounds(text);
    QXmlStreamReader xml(text);
    if (!NextChild(xml) || xml.name() != u"QBXML")
        Fail(QStringLiteral("it is not a qbXML document."));
    if (!NextChild(xml) || xml.name() != u"QBXMLMsgsRs")
        Fail(QStringLiteral("it holds no responses."));
    std::vector<TQBResponse> responses;
    while (NextChild(xml)) {
        if (static_cast<int>(responses.size()) >= request.Count())
            Fail(Format("it holds more responses than the %d requests sent.", {request.Count()}));
        const int index = static_cast<int>(responses.size());
        responses.push_back(ReadResponse(xml, request.At(index), index + 1));
    }
    if (static_cast<int>(responses.size()) != request.Count() &&
        !(noneAllowed && responses.empty()))
        Fail(Format("it answers %d of the %d requests sent.",
                    {static_cast<int>(responses.size()), request.Count()}));
    if (NextChild(xml))
        Fail(QStringLiteral("unexpected elements after the responses."));
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement ||
            (token == QXmlStreamReader::Characters && !xml.isWhitespace()))
            Fail(QStringLiteral("unexpected content after the responses."));
    }
    if (xml.hasError())
        Fail(xml.errorString());
    return std::make_unique<TMsgSetResponse>(text, std::move(responses));
}

} // namespace

std::unique_ptr<TMsgSetResponse> ReadQBResponseSet(const QString& text,
                                                   const TMsgSetRequest& request) {
    return ReadResponses(text, request, false);
}

std::unique_ptr<TMsgSetResponse> ReadQBStoredResponseSet(const QString& text,
                                                         const TMsgSetRequest& lost) {
    return ReadResponses(text, lost, true);
}
