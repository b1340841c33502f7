// QuickBooks' answers read into typed responses; the text is untrusted.
#include "quickbooks/QBXml.h"

#include "base/ztFormat.h"

#include <QXmlStreamReader>

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
