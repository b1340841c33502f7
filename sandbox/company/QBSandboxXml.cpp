#include "company/QBSandboxXml.h"

#include "base/vlxTextUtils.h"

#include <QDate>
#include <QRegularExpression>
#include <QXmlStreamReader>

const TSbNode* TSbNode::Child(QStringView name) const {
    for (const TSbNode& c : Children)
        if (c.Name == name)
            return &c;
    return nullptr;
}

QString TSbNode::ChildText(QStringView name) const {
    const TSbNode* c = Child(name);
    return c ? c->Text : QString();
}

namespace {

// ---- Grammar ----------------------------------------------------------------

// A content model in the reference's notation: names, "( | )", "?", "*", "+".
struct TParticle {
    enum Kind { Name, Seq, Choice } Kind = Seq;
    QString Text;
    std::vector<TParticle> Items;
    char Quant = ' ';
};

class TModelParser {
public:
    explicit TModelParser(const QString& text) : m_tokens(Tokenize(text)) {}
    TParticle Parse() {
        TParticle p = ParseChoice();
        Q_ASSERT(m_pos == m_tokens.size());
        return p;
    }

private:
    static QStringList Tokenize(const QString& text) {
        QStringList tokens;
        QString name;
        for (QChar c : text) {
            if (c.isLetterOrNumber()) {
                name += c;
                continue;
            }
            if (!name.isEmpty())
                tokens << name;
            name.clear();
            if (!c.isSpace())
                tokens << QString(c);
        }
        if (!name.isEmpty())
            tokens << name;
        return tokens;
    }
    QString Peek() const { return m_pos < m_tokens.size() ? m_tokens[m_pos] : QString(); }

    TParticle ParseChoice() {
        TParticle choice;
        choice.Kind = TParticle::Choice;
        choice.Items.push_back(ParseSeq());
        while (Peek() == u"|") {
            ++m_pos;
            choice.Items.push_back(ParseSeq());
        }
        return choice.Items.size() == 1 ? choice.Items.front() : choice;
    }
    TParticle ParseSeq() {
        TParticle seq;
        seq.Kind = TParticle::Seq;
        while (m_pos < m_tokens.size() && Peek() != u"|" && Peek() != u")")
            seq.Items.push_back(ParseItem());
        return seq;
    }
    TParticle ParseItem() {
        TParticle item;
        if (Peek() == u"(") {
            ++m_pos;
            item = ParseChoice();
            Q_ASSERT(Peek() == u")");
            ++m_pos;
            if (item.Quant != ' ') { // keep a quantified inner item whole
                TParticle wrap;
                wrap.Kind = TParticle::Seq;
                wrap.Items.push_back(item);
                item = wrap;
            }
        } else {
            item.Kind = TParticle::Name;
            item.Text = m_tokens[m_pos++];
        }
        const QString q = Peek();
        if (q == u"?" || q == u"*" || q == u"+") {
            item.Quant = q[0].toLatin1();
            ++m_pos;
        }
        return item;
    }

    QStringList m_tokens;
    qsizetype m_pos = 0;
};

using TPositions = std::vector<char>;

bool Any(const TPositions& p) {
    for (char c : p)
        if (c)
            return true;
    return false;
}

TPositions MatchOnce(const TParticle& p, const QStringList& names, const TPositions& from);

// True when the particle (taken once, when its own quantifier is ignored)
// always matches exactly one element.
bool IsSingleElement(const TParticle& p, bool ignoreOwnQuantifier = false) {
    if (p.Quant != ' ' && !ignoreOwnQuantifier)
        return false;
    switch (p.Kind) {
    case TParticle::Name:
        return true;
    case TParticle::Seq:
        return p.Items.size() == 1 && IsSingleElement(p.Items.front());
    case TParticle::Choice:
        for (const TParticle& item : p.Items)
            if (!IsSingleElement(item))
                return false;
        return true;
    }
    return false;
}

bool AcceptsElement(const TParticle& p, const QString& name) {
    if (p.Kind == TParticle::Name)
        return p.Text == name;
    for (const TParticle& item : p.Items)
        if (AcceptsElement(item, name))
            return true;
    return false;
}

// A repeated single-element particle in one left-to-right sweep, so long
// runs of lines (a journal of thousands of lines) stay linear.
TPositions MatchRepeatedElement(const TParticle& p, const QStringList& names,
                                const TPositions& from) {
    TPositions result(from.size(), 0);
    bool reached = false; // position i reached after at least one match
    for (size_t i = 0; i < from.size(); ++i) {
        if (reached || (p.Quant == '*' && from[i]))
            result[i] = 1;
        reached = (from[i] || reached) && i < static_cast<size_t>(names.size()) &&
                  AcceptsElement(p, names[static_cast<qsizetype>(i)]);
    }
    return result;
}

TPositions Match(const TParticle& p, const QStringList& names, const TPositions& from) {
    if ((p.Quant == '*' || p.Quant == '+') && IsSingleElement(p, true))
        return MatchRepeatedElement(p, names, from);
    switch (p.Quant) {
    case '?': {
        TPositions r = MatchOnce(p, names, from);
        for (size_t i = 0; i < r.size(); ++i)
            r[i] = r[i] || from[i];
        return r;
    }
    case '*':
    case '+': {
        TPositions result = p.Quant == '*' ? from : MatchOnce(p, names, from);
        TPositions frontier = result;
        while (Any(frontier)) {
            TPositions next = MatchOnce(p, names, frontier);
            for (size_t i = 0; i < next.size(); ++i) {
                next[i] = next[i] && !result[i];
                result[i] = result[i] || next[i];
            }
            frontier = next;
        }
        return result;
    }
    default:
        return MatchOnce(p, names, from);
    }
}

TPositions MatchOnce(const TParticle& p, const QStringList& names, const TPositions& from) {
    TPositions out(from.size(), 0);
    switch (p.Kind) {
    case TParticle::Name:
        for (qsizetype i = 0; i < names.size(); ++i)
            if (from[i] && names[i] == p.Text)
                out[i + 1] = 1;
        return out;
    case TParticle::Seq: {
        TPositions cur = from;
        for (const TParticle& item : p.Items) {
            cur = Match(item, names, cur);
            if (!Any(cur))
                break;
        }
        return cur;
    }
    case TParticle::Choice:
        for (const TParticle& item : p.Items) {
            const TPositions r = Match(item, names, from);
            for (size_t i = 0; i < r.size(); ++i)
                out[i] = out[i] || r[i];
        }
        return out;
    }
    return out;
}

enum class TLeafType { String, Id, Date, Amount, Bool, Int, Enum };

struct TLeaf {
    TLeafType Type = TLeafType::String;
    int MaxLength = 0; // 0: no limit checked
    QStringList Values;
};

struct TSchema {
    QHash<QString, TParticle> Complex;
    QHash<QString, TLeaf> Leaves;

    TSchema() {
        const QString refModel = QStringLiteral("ListID? FullName?");
        for (const char* ref : {"AccountRef", "PayeeEntityRef", "CustomerRef", "ClassRef",
                                "DepositToAccountRef", "EntityRef", "PaymentMethodRef"})
            Add(QString::fromLatin1(ref), refModel);
        const QString rq = QStringLiteral(
            "(AccountQueryRq | ClassQueryRq | CustomerQueryRq | EmployeeQueryRq | CheckQueryRq | "
            "DepositQueryRq | JournalEntryQueryRq | CheckAddRq | DepositAddRq | "
            "JournalEntryAddRq | TxnVoidRq | ClearedStatusModRq | TxnDelRq | CompanyQueryRq)*");
        Add(QStringLiteral("QBXMLMsgsRq"), rq);
        // Modified-date, name and other filters the program never sends are
        // left out, so a request that needs them fails loudly here instead of
        // being answered as if they were not there.
        const QString general = QStringLiteral("MaxReturned? ActiveStatus?");
        Add(QStringLiteral("AccountQueryRq"), u"(ListID+ | FullName+ | (" + general +
                                                  u" AccountType*))? IncludeRetElement* OwnerID*");
        Add(QStringLiteral("ClassQueryRq"),
            u"(ListID+ | FullName+ | (" + general + u"))? IncludeRetElement*");
        Add(QStringLiteral("CustomerQueryRq"),
            u"(ListID+ | FullName+ | (" + general + u"))? IncludeRetElement* OwnerID*");
        Add(QStringLiteral("EmployeeQueryRq"),
            u"(ListID+ | FullName+ | (" + general + u"))? IncludeRetElement* OwnerID*");
        Add(QStringLiteral("CheckQueryRq"),
            QStringLiteral("(TxnID+ | RefNumber+ | RefNumberCaseSensitive+ | (MaxReturned? "
                           "TxnDateRangeFilter?))? IncludeLineItems? IncludeLinkedTxns? "
                           "IncludeRetElement* OwnerID*"));
        Add(QStringLiteral("DepositQueryRq"),
            QStringLiteral("(TxnID+ | (MaxReturned? TxnDateRangeFilter?))? IncludeLineItems? "
                           "IncludeRetElement* OwnerID*"));
        Add(QStringLiteral("JournalEntryQueryRq"),
            QStringLiteral("(TxnID+ | RefNumber+ | RefNumberCaseSensitive+ | (MaxReturned? "
                           "TxnDateRangeFilter?))? IncludeLineItems? IncludeRetElement* "
                           "OwnerID*"));
        Add(QStringLiteral("TxnDateRangeFilter"), QStringLiteral("FromTxnDate? ToTxnDate?"));
        Add(QStringLiteral("CheckAddRq"), QStringLiteral("CheckAdd IncludeRetElement*"));
        Add(QStringLiteral("CheckAdd"),
            QStringLiteral("AccountRef PayeeEntityRef? RefNumber? TxnDate? Memo? IsToBePrinted? "
                           "ExpenseLineAdd*"));
        Add(QStringLiteral("ExpenseLineAdd"),
            QStringLiteral("AccountRef? Amount? Memo? CustomerRef? ClassRef? BillableStatus?"));
        Add(QStringLiteral("DepositAddRq"), QStringLiteral("DepositAdd IncludeRetElement*"));
        Add(QStringLiteral("DepositAdd"),
            QStringLiteral("TxnDate? DepositToAccountRef Memo? DepositLineAdd+"));
        Add(QStringLiteral("DepositLineAdd"),
            QStringLiteral("EntityRef? AccountRef Memo? CheckNumber? PaymentMethodRef? ClassRef? "
                           "Amount?"));
        Add(QStringLiteral("JournalEntryAddRq"),
            QStringLiteral("JournalEntryAdd IncludeRetElement*"));
        Add(QStringLiteral("JournalEntryAdd"),
            QStringLiteral("TxnDate? RefNumber? Memo? IsAdjustment? "
                           "(JournalDebitLine | JournalCreditLine)+"));
        const QString line = QStringLiteral(
            "TxnLineID? AccountRef? Amount? Memo? EntityRef? ClassRef? BillableStatus?");
        Add(QStringLiteral("JournalDebitLine"), line);
        Add(QStringLiteral("JournalCreditLine"), line);
        Add(QStringLiteral("TxnVoidRq"), QStringLiteral("TxnVoidType TxnID"));
        Add(QStringLiteral("TxnDelRq"), QStringLiteral("TxnDelType TxnID"));
        Add(QStringLiteral("CompanyQueryRq"), QStringLiteral("IncludeRetElement* OwnerID*"));
        Add(QStringLiteral("ClearedStatusModRq"), QStringLiteral("ClearedStatusMod"));
        Add(QStringLiteral("ClearedStatusMod"), QStringLiteral("TxnID TxnLineID? ClearedStatus"));

        Leaf(u"ListID", TLeafType::Id);
        Leaf(u"TxnID", TLeafType::Id);
        Leaf(u"TxnLineID", TLeafType::Id);
        Leaf(u"FullName", TLeafType::String, 209);
        Leaf(u"RefNumber", TLeafType::String, 11);
        Leaf(u"RefNumberCaseSensitive", TLeafType::String, 11);
        Leaf(u"CheckNumber", TLeafType::String, 11);
        Leaf(u"Memo", TLeafType::String, 4095);
        Leaf(u"IncludeRetElement", TLeafType::String, 50);
        Leaf(u"OwnerID", TLeafType::Id);
        Leaf(u"TxnDate", TLeafType::Date);
        Leaf(u"FromTxnDate", TLeafType::Date);
        Leaf(u"ToTxnDate", TLeafType::Date);
        Leaf(u"Amount", TLeafType::Amount);
        Leaf(u"MaxReturned", TLeafType::Int);
        for (const char* b :
             {"IncludeLineItems", "IncludeLinkedTxns", "IsToBePrinted", "IsAdjustment"})
            Leaf(QString::fromLatin1(b), TLeafType::Bool);
        Enum(u"ActiveStatus", {"ActiveOnly", "InactiveOnly", "All"});
        Enum(u"ClearedStatus", {"Cleared", "NotCleared", "Pending"});
        Enum(u"TxnDelType", {"ARRefundCreditCard",
                             "Bill",
                             "BillPaymentCheck",
                             "BillPaymentCreditCard",
                             "BuildAssembly",
                             "Charge",
                             "Check",
                             "CreditCardCharge",
                             "CreditCardCredit",
                             "CreditMemo",
                             "Deposit",
                             "Estimate",
                             "InventoryAdjustment",
                             "Invoice",
                             "ItemReceipt",
                             "JournalEntry",
                             "PurchaseOrder",
                             "ReceivePayment",
                             "SalesOrder",
                             "SalesReceipt",
                             "SalesTaxPaymentCheck",
                             "TimeTracking",
                             "VehicleMileage",
                             "VendorCredit"});
        Enum(u"BillableStatus", {"Billable", "NotBillable", "HasBeenBilled"});
        Enum(u"TxnVoidType",
             {"ARRefundCreditCard", "Bill", "BillPaymentCheck", "BillPaymentCreditCard",
              "BuildAssembly", "Charge", "Check", "CreditCardCharge", "CreditCardCredit",
              "CreditMemo", "Deposit", "InventoryAdjustment", "Invoice", "ItemReceipt",
              "JournalEntry", "SalesReceipt", "VendorCredit"});
        Enum(u"AccountType", {"AccountsPayable", "AccountsReceivable", "Bank", "CostOfGoodsSold",
                              "CreditCard", "Equity", "Expense", "FixedAsset", "Income",
                              "LongTermLiability", "NonPosting", "OtherAsset", "OtherCurrentAsset",
                              "OtherCurrentLiability", "OtherExpense", "OtherIncome"});
    }
    void Add(const QString& name, const QString& model) {
        Complex.insert(name, TModelParser(model).Parse());
    }
    void Leaf(QStringView name, TLeafType type, int maxLength = 0) {
        Leaves.insert(name.toString(), TLeaf{type, maxLength, {}});
    }
    void Enum(QStringView name, std::initializer_list<const char*> values) {
        TLeaf leaf{TLeafType::Enum, 0, {}};
        for (const char* v : values)
            leaf.Values << QString::fromLatin1(v);
        Leaves.insert(name.toString(), leaf);
    }
};

const TSchema& Schema() {
    static const TSchema schema;
    return schema;
}

bool Validate(const TSbNode& node, QString& reason, int depth) {
    const TSchema& s = Schema();
    if (depth > 16) {
        reason = QStringLiteral("elements nested too deeply");
        return false;
    }
    if (const auto leaf = s.Leaves.constFind(node.Name); leaf != s.Leaves.cend()) {
        if (!node.Children.empty()) {
            reason = u"element " + node.Name + u" must not hold elements";
            return false;
        }
        bool ok = true;
        switch (leaf->Type) {
        case TLeafType::Bool:
            ok = node.Text == u"true" || node.Text == u"false";
            break;
        case TLeafType::Int:
            node.Text.toInt(&ok);
            break;
        case TLeafType::Enum:
            ok = leaf->Values.contains(node.Text);
            break;
        default:
            break;
        }
        if (!ok)
            reason = u"\"" + node.Text + u"\" is not a valid value of " + node.Name;
        return ok;
    }
    const auto model = s.Complex.constFind(node.Name);
    if (model == s.Complex.cend()) {
        reason = u"unknown element " + node.Name;
        return false;
    }
    if (!node.Text.trimmed().isEmpty()) {
        reason = u"element " + node.Name + u" must not hold text";
        return false;
    }
    QStringList names;
    for (const TSbNode& c : node.Children)
        names << c.Name;
    TPositions start(static_cast<size_t>(names.size()) + 1, 0);
    start[0] = 1;
    const TPositions end = Match(*model, names, start);
    if (!end.back()) {
        reason = u"the elements of " + node.Name + u" are not in the required order or form: " +
                 names.join(u' ');
        return false;
    }
    for (const TSbNode& c : node.Children)
        if (!Validate(c, reason, depth + 1))
            return false;
    return true;
}

bool ReadTree(QXmlStreamReader& xml, TSbNode& node, QString& reason, int depth) {
    if (depth > 20) {
        reason = QStringLiteral("elements nested too deeply");
        return false;
    }
    node.Name = xml.name().toString();
    for (const QXmlStreamAttribute& a : xml.attributes())
        node.Attributes.insert(a.name().toString(), a.value().toString());
    while (!xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            node.Children.emplace_back();
            if (!ReadTree(xml, node.Children.back(), reason, depth + 1))
                return false;
            break;
        case QXmlStreamReader::Characters:
            node.Text += xml.text();
            break;
        case QXmlStreamReader::EndElement:
            if (node.Children.size() > 0)
                node.Text = node.Text.trimmed();
            return true;
        case QXmlStreamReader::DTD:
            reason = QStringLiteral("document type declarations are not accepted");
            return false;
        default:
            break;
        }
    }
    reason = xml.hasError() ? xml.errorString() : QStringLiteral("the text ends too early");
    return false;
}

const QRegularExpression& AmountPattern() {
    static const QRegularExpression re(QStringLiteral("^[+-]?\\d{1,13}(\\.\\d\\d)?$"));
    return re;
}

} // namespace

bool ValidateSandboxElement(const TSbNode& node, QString& reason) {
    return Validate(node, reason, 0);
}

bool ParseSandboxMessageSet(const QString& text, TSbMessageSet& set, QString& reason) {
    QXmlStreamReader xml(text);
    bool sawVersion = false;
    bool sawRoot = false;
    TSbNode root;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::ProcessingInstruction &&
            xml.processingInstructionTarget() == u"qbxml") {
            static const QRegularExpression re(QStringLiteral("version\\s*=\\s*\"([^\"]*)\""));
            const auto m = re.match(xml.processingInstructionData());
            if (m.hasMatch()) {
                set.Version = m.captured(1);
                sawVersion = true;
            }
        } else if (token == QXmlStreamReader::DTD) {
            reason = QStringLiteral("document type declarations are not accepted");
            return false;
        } else if (token == QXmlStreamReader::StartElement) {
            if (sawRoot) {
                reason = QStringLiteral("more than one root element");
                return false;
            }
            sawRoot = true;
            if (!ReadTree(xml, root, reason, 0))
                return false;
        }
    }
    if (xml.hasError()) {
        reason = xml.errorString();
        return false;
    }
    if (!sawVersion) {
        reason = QStringLiteral("the qbxml version instruction is missing");
        return false;
    }
    if (!sawRoot || root.Name != u"QBXML" || root.Children.size() != 1 ||
        root.Children.front().Name != u"QBXMLMsgsRq" || !root.Text.trimmed().isEmpty()) {
        reason = QStringLiteral("the document is not a QBXML request message set");
        return false;
    }
    set.Requests = std::move(root.Children.front());
    const QString onError = set.Requests.Attributes.value(QStringLiteral("onError"));
    if (onError != u"stopOnError" && onError != u"continueOnError") {
        reason = QStringLiteral("onError must be stopOnError or continueOnError");
        return false;
    }
    set.StopOnError = onError == u"stopOnError";
    set.NewMessageSetID = set.Requests.Attributes.value(QStringLiteral("newMessageSetID"));
    set.OldMessageSetID = set.Requests.Attributes.value(QStringLiteral("oldMessageSetID"));
    for (const QString* id : {&set.NewMessageSetID, &set.OldMessageSetID})
        if (id->size() > 23) {
            reason = QStringLiteral("a message-set ID is longer than 23 characters");
            return false;
        }
    if (!set.OldMessageSetID.isEmpty() && !set.Requests.Children.empty()) {
        reason = QStringLiteral("a status request (oldMessageSetID) holds requests");
        return false;
    }
    for (const TSbNode& rq : set.Requests.Children)
        if (rq.Attributes.value(QStringLiteral("requestID")).size() > 50) {
            reason = QStringLiteral("a requestID is longer than 50 characters");
            return false;
        }
    return Validate(set.Requests, reason, 0);
}

namespace {

// A full name's limit depends on what it names: accounts and classes 159
// characters, payment methods 31, customers, vendors, employees and other
// names 209.
int FullNameLimit(const QString& parent) {
    static const QStringList accountsAndClasses{
        QStringLiteral("AccountRef"), QStringLiteral("DepositToAccountRef"),
        QStringLiteral("ClassRef"), QStringLiteral("AccountQueryRq"),
        QStringLiteral("ClassQueryRq")};
    if (accountsAndClasses.contains(parent))
        return 159;
    if (parent == u"PaymentMethodRef")
        return 31;
    return 209;
}

int CheckValues(const TSbNode& node, const QString& parent, QString& message) {
    const TSchema& s = Schema();
    const auto leaf = s.Leaves.constFind(node.Name);
    if (leaf != s.Leaves.cend()) {
        const int maxLength = node.Name == u"FullName" ? FullNameLimit(parent) : leaf->MaxLength;
        // QuickBooks counts characters, not UTF-16 units.
        if (maxLength > 0 && CharacterCount(node.Text) > maxLength) {
            message = u"The string \"" + node.Text + u"\" in the field \"" + node.Name +
                      u"\" is too long.";
            return 3070;
        }
        if (leaf->Type == TLeafType::Amount && !AmountPattern().match(node.Text).hasMatch()) {
            message = u"There was an error when converting the amount \"" + node.Text +
                      u"\" in the field \"" + node.Name + u"\"";
            return 3040;
        }
        if (leaf->Type == TLeafType::Date &&
            !QDate::fromString(node.Text, u"yyyy-MM-dd").isValid()) {
            message = u"There was an error when converting the date value \"" + node.Text +
                      u"\" in the field \"" + node.Name + u"\".";
            return 3020;
        }
        return 0;
    }
    for (const TSbNode& c : node.Children)
        if (const int code = CheckValues(c, node.Name, message))
            return code;
    return 0;
}

} // namespace

int CheckSandboxValues(const TSbNode& request, QString& message) {
    return CheckValues(request, QString(), message);
}

// ---- Writer -------------------------------------------------------------------

QString TSbXmlOut::Escape(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        switch (c.unicode()) {
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

void TSbXmlOut::Open(const QString& name, const QString& attributes) {
    m_text += u'<' + name + attributes + u'>';
}

void TSbXmlOut::Close(const QString& name) {
    m_text += u"</" + name + u'>';
}

void TSbXmlOut::Leaf(const QString& name, const QString& value) {
    m_text += u'<' + name + u'>' + Escape(value) + u"</" + name + u'>';
}

void TSbXmlOut::Ref(const QString& name, const QString& listID, const QString& fullName) {
    if (listID.isEmpty())
        return;
    Open(name);
    Leaf(QStringLiteral("ListID"), listID);
    LeafIf(QStringLiteral("FullName"), fullName);
    Close(name);
}
