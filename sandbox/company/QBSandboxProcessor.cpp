#include "company/QBSandboxProcessor.h"

#include "company/QBSandboxLists.h"
#include "company/QBSandboxXml.h"

#include <QFileInfo>
#include <QThread>
#include <QUuid>

const QString SandboxParseErrorMessage = QBProcessorMessage(qbhr::ParseError);

namespace {

const QString NotFoundTail = QStringLiteral(
    "  QuickBooks error message: Invalid argument.  The specified record does not exist in the "
    "list.");

struct TSbResult {
    int Code = 0;
    QString Severity = QStringLiteral("Info");
    QString Message = QStringLiteral("Status OK");
    QString Body;
    std::optional<int> RetCount;
};

TSbResult ErrorResult(int code, const QString& message) {
    TSbResult r;
    r.Code = code;
    r.Severity = QStringLiteral("Error");
    r.Message = message;
    return r;
}

TSbResult NothingFound() {
    TSbResult r;
    r.Code = 1;
    r.Message = QStringLiteral("A query request did not find a matching object in QuickBooks");
    return r;
}

TSbResult PartlyFound(const QString& missing) {
    TSbResult r;
    r.Code = 500;
    r.Severity = QStringLiteral("Warn");
    r.Message = u"The query request has not been fully completed. There was a required element "
                u"(\"" +
                missing + u"\") that could not be found in QuickBooks.";
    return r;
}

// A status answer that ends the handling of one request.
struct TStatus {
    TSbResult Result;
};

QString CentsText(qint64 cents) {
    const qint64 a = cents < 0 ? -cents : cents;
    return (cents < 0 ? QStringLiteral("-") : QString()) + QString::number(a / 100) + u'.' +
           QString::number(a % 100).rightJustified(2, u'0');
}

// The text passed the value check: [+-]digits, optionally "." and two digits.
qint64 TextCents(const QString& text) {
    const qsizetype dot = text.indexOf(u'.');
    const QString whole = dot < 0 ? text : text.left(dot);
    qint64 units = whole.toLongLong();
    qint64 cents = dot < 0 ? 0 : text.mid(dot + 1).toLongLong();
    const bool negative = text.startsWith(u'-');
    return units * 100 + (negative ? -cents : cents);
}

const QList<TSbListKind> Entities{TSbListKind::Customer, TSbListKind::Employee, TSbListKind::Vendor,
                                  TSbListKind::OtherName};

// Macros of one request set: an add's defMacro names the TxnID it created,
// a later request of the set uses it with useMacro.
using TSbMacros = QHash<QString, QString>;

class THandler {
public:
    THandler(TQBSandboxCompany& company, QDate today, TSbMacros& macros)
        : m_company(company), m_today(today), m_macros(macros) {}

    TSbResult Handle(const TSbNode& rq) {
        try {
            // The add element is the request's only child.
            if (rq.Name.endsWith(u"AddRq") && !rq.Children.empty()) {
                TSbResult result = HandleRequest(rq);
                const QString macro =
                    rq.Children.front().Attributes.value(QStringLiteral("defMacro"));
                if (!macro.isEmpty() && result.Severity != u"Error")
                    m_macros.insert(macro, m_lastAdded);
                return result;
            }
            return HandleRequest(rq);
        } catch (const TStatus& status) {
            return status.Result;
        }
    }

private:
    using TRequestHandler = TSbResult (*)(THandler&, const TSbNode& request);

    TSbResult HandleRequest(const TSbNode& rq) {
        static const QHash<QString, TRequestHandler> handlers{
            {QStringLiteral("AccountQueryRq"),
             [](THandler& h, const TSbNode& r) { return h.ListQuery(r, TSbListKind::Account); }},
            {QStringLiteral("ClassQueryRq"),
             [](THandler& h, const TSbNode& r) { return h.ListQuery(r, TSbListKind::Class); }},
            {QStringLiteral("CustomerQueryRq"),
             [](THandler& h, const TSbNode& r) { return h.ListQuery(r, TSbListKind::Customer); }},
            {QStringLiteral("EmployeeQueryRq"),
             [](THandler& h, const TSbNode& r) { return h.ListQuery(r, TSbListKind::Employee); }},
            {QStringLiteral("CheckQueryRq"),
             [](THandler& h, const TSbNode& r) { return h.TxnQuery(r, QStringLiteral("Check")); }},
            {QStringLiteral("DepositQueryRq"),
             [](THandler& h, const TSbNode& r) {
                 return h.TxnQuery(r, QStringLiteral("Deposit"));
             }},
            {QStringLiteral("JournalEntryQueryRq"),
             [](THandler& h, const TSbNode& r) {
                 return h.TxnQuery(r, QStringLiteral("JournalEntry"));
             }},
            {QStringLiteral("CheckAddRq"),
             [](THandler& h, const TSbNode& r) { return h.CheckAdd(*r.Child(u"CheckAdd")); }},
            {QStringLiteral("DepositAddRq"),
             [](THandler& h, const TSbNode& r) { return h.DepositAdd(*r.Child(u"DepositAdd")); }},
            {QStringLiteral("JournalEntryAddRq"),
             [](THandler& h, const TSbNode& r) {
                 return h.JournalEntryAdd(*r.Child(u"JournalEntryAdd"));
             }},
            {QStringLiteral("TxnVoidRq"),
             [](THandler& h, const TSbNode& r) { return h.TxnVoid(r); }},
            {QStringLiteral("ClearedStatusModRq"),
             [](THandler& h, const TSbNode& r) {
                 return h.ClearedStatusMod(*r.Child(u"ClearedStatusMod"));
             }},
            {QStringLiteral("TxnDelRq"), [](THandler& h, const TSbNode& r) { return h.TxnDel(r); }},
            {QStringLiteral("CompanyQueryRq"),
             [](THandler& h, const TSbNode&) { return h.CompanyQuery(); }},
        };
        const TRequestHandler handler = handlers.value(rq.Name);
        if (!handler)
            throw ESandboxError(u"The request " + rq.Name + u" is not handled.");
        return handler(*this, rq);
    }

    // The TxnID a request names, directly or through a macro of the set.
    QString TxnIDOf(const TSbNode& parent) const {
        const TSbNode* id = parent.Child(u"TxnID");
        if (!id)
            return QString();
        const QString macro = id->Attributes.value(QStringLiteral("useMacro"));
        if (macro.isEmpty())
            return id->Text;
        const auto it = m_macros.constFind(macro);
        if (it == m_macros.cend())
            throw TStatus{NotFound(macro)};
        return *it;
    }

    // ---- queries ----

    TSbResult ListQuery(const TSbNode& rq, TSbListKind kind) {
        std::vector<TSbListElement> found;
        QString missing;
        QStringList ids, names, types;
        for (const TSbNode& c : rq.Children) {
            if (c.Name == u"ListID")
                ids << c.Text;
            else if (c.Name == u"FullName")
                names << c.Text;
            else if (c.Name == u"AccountType")
                types << c.Text;
        }
        if (!ids.isEmpty() || !names.isEmpty()) {
            for (const QString& id : ids) {
                auto e = m_company.FindByListID(id);
                if (e && e->Kind == kind)
                    found.push_back(*e);
                else if (missing.isEmpty())
                    missing = id;
            }
            for (const QString& n : names) {
                auto e = m_company.FindByFullName({kind}, n);
                if (e)
                    found.push_back(*e);
                else if (missing.isEmpty())
                    missing = n;
            }
        } else {
            const QString active = rq.Has(u"ActiveStatus") ? rq.ChildText(u"ActiveStatus")
                                                           : QStringLiteral("ActiveOnly");
            const int max = rq.ChildText(u"MaxReturned").toInt();
            for (TSbListElement& e : m_company.ListElements(kind)) {
                if ((active == u"ActiveOnly" && !e.IsActive) ||
                    (active == u"InactiveOnly" && e.IsActive))
                    continue;
                if (!types.isEmpty() && !types.contains(e.AccountType))
                    continue;
                found.push_back(std::move(e));
                if (max > 0 && static_cast<int>(found.size()) >= max)
                    break;
            }
        }
        TSbResult r = !missing.isEmpty() ? PartlyFound(missing)
                      : found.empty()    ? NothingFound()
                                         : TSbResult();
        if (found.empty())
            return r;
        TSbXmlOut out;
        for (const TSbListElement& e : found)
            WriteListRet(out, e);
        r.Body = out.Text();
        r.RetCount = static_cast<int>(found.size());
        return r;
    }

    TSbResult TxnQuery(const TSbNode& rq, const QString& type) {
        TSbTxnFilter f;
        f.Type = type;
        for (const TSbNode& c : rq.Children) {
            if (c.Name == u"TxnID")
                f.TxnIDs << c.Text;
            else if (c.Name == u"RefNumber" || c.Name == u"RefNumberCaseSensitive")
                f.RefNumbers << c.Text;
        }
        if (const TSbNode* range = rq.Child(u"TxnDateRangeFilter")) {
            if (range->Has(u"FromTxnDate"))
                f.FromDate = QDate::fromString(range->ChildText(u"FromTxnDate"), u"yyyy-MM-dd");
            if (range->Has(u"ToTxnDate"))
                f.ToDate = QDate::fromString(range->ChildText(u"ToTxnDate"), u"yyyy-MM-dd");
        }
        f.MaxReturned = rq.ChildText(u"MaxReturned").toInt();
        f.IncludeLines = rq.ChildText(u"IncludeLineItems") == u"true";
        const std::vector<TSbTxn> txns = m_company.Txns(f);
        TSbResult r;
        if (!f.TxnIDs.isEmpty() && static_cast<int>(txns.size()) < f.TxnIDs.size()) {
            for (const QString& id : f.TxnIDs) {
                const bool present = std::any_of(txns.begin(), txns.end(),
                                                 [&](const TSbTxn& t) { return t.TxnID == id; });
                if (!present) {
                    r = PartlyFound(id);
                    break;
                }
            }
        } else if (txns.empty()) {
            r = NothingFound();
        }
        if (txns.empty())
            return r;
        TSbXmlOut out;
        for (const TSbTxn& t : txns)
            WriteTxnRet(out, t, f.IncludeLines);
        r.Body = out.Text();
        r.RetCount = static_cast<int>(txns.size());
        return r;
    }

    // ---- adds ----

    // The ListID a reference names, or a 3140 status.
    QString Resolve(const TSbNode* ref, const QList<TSbListKind>& kinds, const QString& what,
                    const QString& object) {
        if (!ref)
            return QString();
        const QString id = ref->ChildText(u"ListID");
        const QString name = ref->ChildText(u"FullName");
        std::optional<TSbListElement> e;
        if (ref->Has(u"ListID")) {
            e = m_company.FindByListID(id);
            if (e && !kinds.contains(e->Kind))
                e.reset();
        } else if (ref->Has(u"FullName")) {
            e = m_company.FindByFullName(kinds, name);
        }
        if (!e)
            throw TStatus{ErrorResult(3140, u"There is an invalid reference to QuickBooks " + what +
                                                u" \"" + (ref->Has(u"ListID") ? id : name) +
                                                u"\" in the " + object + u"." + NotFoundTail)};
        return e->ListID;
    }

    static std::optional<qint64> Amount(const TSbNode& node) {
        if (!node.Has(u"Amount"))
            return std::nullopt;
        return TextCents(node.ChildText(u"Amount"));
    }

    [[noreturn]] static void Refuse(const QString& object, const QString& rule) {
        throw TStatus{ErrorResult(3180, u"There was an error when saving a " + object +
                                            u".  QuickBooks error message: " + rule)};
    }

    QDate TxnDate(const TSbNode& add) const {
        return add.Has(u"TxnDate") ? QDate::fromString(add.ChildText(u"TxnDate"), u"yyyy-MM-dd")
                                   : m_today;
    }

    TSbResult Added(TSbTxn& t) {
        m_lastAdded = m_company.AddTxn(t);
        TSbXmlOut out;
        WriteTxnRet(out, t, true);
        TSbResult r;
        r.Body = out.Text();
        return r;
    }

    TSbResult CheckAdd(const TSbNode& add) {
        TSbTxn t;
        t.Type = QStringLiteral("Check");
        const QString object = QStringLiteral("Check");
        t.AccountID = Resolve(add.Child(u"AccountRef"), {TSbListKind::Account},
                              QStringLiteral("Account"), object);
        t.PayeeID =
            Resolve(add.Child(u"PayeeEntityRef"), Entities, QStringLiteral("Entity"), object);
        t.RefNumber = add.ChildText(u"RefNumber");
        t.TxnDate = TxnDate(add);
        t.Memo = add.ChildText(u"Memo");
        if (add.Has(u"IsToBePrinted"))
            t.IsToBePrinted = add.ChildText(u"IsToBePrinted") == u"true";
        const QString lineObject = QStringLiteral("Check line");
        for (const TSbNode& c : add.Children) {
            if (c.Name != u"ExpenseLineAdd")
                continue;
            TSbTxnLine line;
            line.Kind = QStringLiteral("Expense");
            if (!c.Has(u"AccountRef"))
                Refuse(object, QStringLiteral("An expense line needs an account."));
            line.AccountID = Resolve(c.Child(u"AccountRef"), {TSbListKind::Account},
                                     QStringLiteral("Account"), lineObject);
            line.CustomerID =
                Resolve(c.Child(u"CustomerRef"), Entities, QStringLiteral("Customer"), lineObject);
            line.ClassID = Resolve(c.Child(u"ClassRef"), {TSbListKind::Class},
                                   QStringLiteral("Class"), lineObject);
            line.Cents = Amount(c);
            line.Memo = c.ChildText(u"Memo");
            line.BillableStatus = c.ChildText(u"BillableStatus");
            t.Cents += line.Cents.value_or(0);
            t.Lines.push_back(line);
        }
        if (t.Cents < 0)
            Refuse(object, QStringLiteral("The amount of a check cannot be negative."));
        return Added(t);
    }

    TSbResult DepositAdd(const TSbNode& add) {
        TSbTxn t;
        t.Type = QStringLiteral("Deposit");
        const QString object = QStringLiteral("Deposit");
        t.TxnDate = TxnDate(add);
        t.AccountID = Resolve(add.Child(u"DepositToAccountRef"), {TSbListKind::Account},
                              QStringLiteral("Account"), object);
        t.Memo = add.ChildText(u"Memo");
        const QString lineObject = QStringLiteral("Deposit line");
        for (const TSbNode& c : add.Children) {
            if (c.Name != u"DepositLineAdd")
                continue;
            TSbTxnLine line;
            line.Kind = QStringLiteral("Deposit");
            line.EntityID =
                Resolve(c.Child(u"EntityRef"), Entities, QStringLiteral("Entity"), lineObject);
            line.AccountID = Resolve(c.Child(u"AccountRef"), {TSbListKind::Account},
                                     QStringLiteral("Account"), lineObject);
            line.ClassID = Resolve(c.Child(u"ClassRef"), {TSbListKind::Class},
                                   QStringLiteral("Class"), lineObject);
            line.Cents = Amount(c);
            line.Memo = c.ChildText(u"Memo");
            line.CheckNumber = c.ChildText(u"CheckNumber");
            t.Cents += line.Cents.value_or(0);
            t.Lines.push_back(line);
        }
        if (t.Cents < 0)
            Refuse(object, QStringLiteral("The total of a deposit cannot be negative."));
        return Added(t);
    }

    TSbResult JournalEntryAdd(const TSbNode& add) {
        TSbTxn t;
        t.Type = QStringLiteral("JournalEntry");
        const QString object = QStringLiteral("Journal Entry");
        t.TxnDate = TxnDate(add);
        t.RefNumber = add.ChildText(u"RefNumber");
        t.Memo = add.ChildText(u"Memo");
        if (add.Has(u"IsAdjustment"))
            t.IsAdjustment = add.ChildText(u"IsAdjustment") == u"true";
        const QString lineObject = QStringLiteral("Journal Entry line");
        qint64 debits = 0;
        qint64 credits = 0;
        for (const TSbNode& c : add.Children) {
            const bool debit = c.Name == u"JournalDebitLine";
            if (!debit && c.Name != u"JournalCreditLine")
                continue;
            TSbTxnLine line;
            line.Kind = debit ? QStringLiteral("Debit") : QStringLiteral("Credit");
            if (!c.Has(u"AccountRef"))
                Refuse(object, QStringLiteral("Every line needs an account."));
            line.AccountID = Resolve(c.Child(u"AccountRef"), {TSbListKind::Account},
                                     QStringLiteral("Account"), lineObject);
            line.EntityID =
                Resolve(c.Child(u"EntityRef"), Entities, QStringLiteral("Entity"), lineObject);
            line.ClassID = Resolve(c.Child(u"ClassRef"), {TSbListKind::Class},
                                   QStringLiteral("Class"), lineObject);
            line.Cents = Amount(c);
            if (line.Cents.value_or(0) < 0)
                Refuse(object, QStringLiteral("Amounts of journal lines cannot be negative."));
            line.Memo = c.ChildText(u"Memo");
            line.BillableStatus = c.ChildText(u"BillableStatus");
            (debit ? debits : credits) += line.Cents.value_or(0);
            t.Lines.push_back(line);
        }
        if (debits != credits)
            Refuse(object, QStringLiteral("Transaction not in balance."));
        t.Cents = debits;
        return Added(t);
    }

    static TSbResult NotFound(const QString& id) {
        return ErrorResult(3120, u"Object \"" + id +
                                     u"\" specified in the request cannot be "
                                     u"found." +
                                     NotFoundTail);
    }

    TSbResult TxnVoid(const TSbNode& rq) {
        const QString id = TxnIDOf(rq);
        const QString type = rq.ChildText(u"TxnVoidType");
        auto t = m_company.FindTxn(id, false);
        if (!t || t->Type != type)
            return NotFound(id);
        m_company.VoidTxn(id);
        t = m_company.FindTxn(id, false);
        TSbXmlOut out;
        out.Leaf(QStringLiteral("TxnVoidType"), type);
        out.Leaf(QStringLiteral("TxnID"), id);
        out.Leaf(QStringLiteral("TimeCreated"), t->TimeCreated);
        out.Leaf(QStringLiteral("TimeModified"), t->TimeModified);
        out.LeafIf(QStringLiteral("RefNumber"), t->RefNumber);
        TSbResult r;
        r.Body = out.Text();
        return r;
    }

    TSbResult TxnDel(const TSbNode& rq) {
        const QString id = TxnIDOf(rq);
        const QString type = rq.ChildText(u"TxnDelType");
        const auto t = m_company.FindTxn(id, false);
        if (!t || t->Type != type || !m_company.DeleteTxn(id))
            return NotFound(id);
        TSbXmlOut out;
        out.Leaf(QStringLiteral("TxnDelType"), type);
        out.Leaf(QStringLiteral("TxnID"), id);
        out.Leaf(QStringLiteral("TimeDeleted"), m_company.TimeStamp());
        TSbResult r;
        r.Body = out.Text();
        return r;
    }

    TSbResult CompanyQuery() {
        // The legal name is the company name unless told otherwise, as
        // QuickBooks fills it in when a company is made.
        const QString name = m_company.CompanyName();
        TSbXmlOut out;
        out.Open(QStringLiteral("CompanyRet"));
        out.Leaf(QStringLiteral("CompanyName"), name);
        out.Leaf(QStringLiteral("LegalCompanyName"), name);
        out.Close(QStringLiteral("CompanyRet"));
        TSbResult r;
        r.Body = out.Text();
        return r;
    }

    TSbResult ClearedStatusMod(const TSbNode& mod) {
        const QString id = TxnIDOf(mod);
        const QString lineID = mod.ChildText(u"TxnLineID");
        if (!m_company.FindTxn(id, false))
            return NotFound(id);
        if (!m_company.SetCleared(id, lineID, mod.ChildText(u"ClearedStatus")))
            return NotFound(lineID);
        return TSbResult();
    }

    // ---- answers ----

    QString NameOf(const QString& listID) {
        if (!m_namesLoaded) {
            m_names = m_company.FullNames();
            m_namesLoaded = true;
        }
        return m_names.value(listID);
    }

    void Ref(TSbXmlOut& out, const QString& name, const QString& listID) {
        out.Ref(name, listID, NameOf(listID));
    }

    void WriteListRet(TSbXmlOut& out, const TSbListElement& e) {
        const QString name = SbListKindName(e.Kind) + u"Ret";
        out.Open(name);
        out.Leaf(QStringLiteral("ListID"), e.ListID);
        out.Leaf(QStringLiteral("TimeCreated"), e.TimeCreated);
        out.Leaf(QStringLiteral("TimeModified"), e.TimeModified);
        out.Leaf(QStringLiteral("EditSequence"), e.EditSequence);
        out.Leaf(QStringLiteral("Name"), e.Name);
        if (e.Kind != TSbListKind::Employee)
            out.Leaf(QStringLiteral("FullName"), e.FullName);
        out.Leaf(QStringLiteral("IsActive"),
                 e.IsActive ? QStringLiteral("true") : QStringLiteral("false"));
        if (e.Kind == TSbListKind::Employee) {
            out.LeafIf(QStringLiteral("FirstName"), e.FirstName);
            out.LeafIf(QStringLiteral("MiddleName"), e.MiddleName);
            out.LeafIf(QStringLiteral("LastName"), e.LastName);
        } else {
            Ref(out, QStringLiteral("ParentRef"), e.ParentID);
            out.Leaf(QStringLiteral("Sublevel"), QString::number(e.Sublevel));
            if (e.Kind == TSbListKind::Account) {
                out.Leaf(QStringLiteral("AccountType"), e.AccountType);
                out.LeafIf(QStringLiteral("AccountNumber"), e.AccountNumber);
            } else if (e.Kind == TSbListKind::Customer) {
                out.LeafIf(QStringLiteral("CompanyName"), e.CompanyName);
                out.LeafIf(QStringLiteral("FirstName"), e.FirstName);
                out.LeafIf(QStringLiteral("MiddleName"), e.MiddleName);
                out.LeafIf(QStringLiteral("LastName"), e.LastName);
            }
        }
        out.Close(name);
    }

    void WriteTxnHead(TSbXmlOut& out, const TSbTxn& t) {
        out.Leaf(QStringLiteral("TxnID"), t.TxnID);
        out.Leaf(QStringLiteral("TimeCreated"), t.TimeCreated);
        out.Leaf(QStringLiteral("TimeModified"), t.TimeModified);
        out.Leaf(QStringLiteral("EditSequence"), t.EditSequence);
        out.Leaf(QStringLiteral("TxnNumber"), QString::number(t.TxnNumber));
    }

    void WriteAmount(TSbXmlOut& out, const std::optional<qint64>& cents) {
        if (cents)
            out.Leaf(QStringLiteral("Amount"), CentsText(*cents));
    }

    void WriteTxnRet(TSbXmlOut& out, const TSbTxn& t, bool lines) {
        const QString name = t.Type + u"Ret";
        out.Open(name);
        WriteTxnHead(out, t);
        const QString date = t.TxnDate.toString(u"yyyy-MM-dd");
        if (t.Type == u"Check") {
            Ref(out, QStringLiteral("AccountRef"), t.AccountID);
            Ref(out, QStringLiteral("PayeeEntityRef"), t.PayeeID);
            out.LeafIf(QStringLiteral("RefNumber"), t.RefNumber);
            out.Leaf(QStringLiteral("TxnDate"), date);
            out.Leaf(QStringLiteral("Amount"), CentsText(t.Cents));
            out.LeafIf(QStringLiteral("Memo"), t.Memo);
            if (t.IsToBePrinted)
                out.Leaf(QStringLiteral("IsToBePrinted"),
                         *t.IsToBePrinted ? QStringLiteral("true") : QStringLiteral("false"));
            for (const TSbTxnLine& l : lines ? t.Lines : std::vector<TSbTxnLine>()) {
                out.Open(QStringLiteral("ExpenseLineRet"));
                out.Leaf(QStringLiteral("TxnLineID"), l.TxnLineID);
                Ref(out, QStringLiteral("AccountRef"), l.AccountID);
                WriteAmount(out, l.Cents);
                out.LeafIf(QStringLiteral("Memo"), l.Memo);
                Ref(out, QStringLiteral("CustomerRef"), l.CustomerID);
                Ref(out, QStringLiteral("ClassRef"), l.ClassID);
                out.LeafIf(QStringLiteral("BillableStatus"), l.BillableStatus);
                out.Close(QStringLiteral("ExpenseLineRet"));
            }
        } else if (t.Type == u"Deposit") {
            out.Leaf(QStringLiteral("TxnDate"), date);
            Ref(out, QStringLiteral("DepositToAccountRef"), t.AccountID);
            out.LeafIf(QStringLiteral("Memo"), t.Memo);
            out.Leaf(QStringLiteral("DepositTotal"), CentsText(t.Cents));
            for (const TSbTxnLine& l : lines ? t.Lines : std::vector<TSbTxnLine>()) {
                out.Open(QStringLiteral("DepositLineRet"));
                out.Leaf(QStringLiteral("TxnLineID"), l.TxnLineID);
                Ref(out, QStringLiteral("EntityRef"), l.EntityID);
                Ref(out, QStringLiteral("AccountRef"), l.AccountID);
                out.LeafIf(QStringLiteral("Memo"), l.Memo);
                out.LeafIf(QStringLiteral("CheckNumber"), l.CheckNumber);
                Ref(out, QStringLiteral("ClassRef"), l.ClassID);
                WriteAmount(out, l.Cents);
                out.Close(QStringLiteral("DepositLineRet"));
            }
        } else {
            out.Leaf(QStringLiteral("TxnDate"), date);
            out.LeafIf(QStringLiteral("RefNumber"), t.RefNumber);
            if (t.IsAdjustment)
                out.Leaf(QStringLiteral("IsAdjustment"),
                         *t.IsAdjustment ? QStringLiteral("true") : QStringLiteral("false"));
            for (const TSbTxnLine& l : lines ? t.Lines : std::vector<TSbTxnLine>()) {
                const QString lineName = u"Journal" + l.Kind + u"Line";
                out.Open(lineName);
                out.Leaf(QStringLiteral("TxnLineID"), l.TxnLineID);
                Ref(out, QStringLiteral("AccountRef"), l.AccountID);
                WriteAmount(out, l.Cents);
                out.LeafIf(QStringLiteral("Memo"), l.Memo);
                Ref(out, QStringLiteral("EntityRef"), l.EntityID);
                Ref(out, QStringLiteral("ClassRef"), l.ClassID);
                out.LeafIf(QStringLiteral("BillableStatus"), l.BillableStatus);
                out.Close(lineName);
            }
        }
        out.Close(name);
    }

    TQBSandboxCompany& m_company;
    QDate m_today;
    TSbMacros& m_macros;
    QString m_lastAdded;
    QHash<QString, QString> m_names;
    bool m_namesLoaded = false;
};

QString ResponseName(const QString& requestName) {
    return requestName.left(requestName.size() - 2) + u"Rs";
}

} // namespace

TQBSandboxProcessor::TQBSandboxProcessor(TOptions options) : m_options(std::move(options)) {}

TQBSandboxProcessor::~TQBSandboxProcessor() = default;

void TQBSandboxProcessor::OpenConnection(const QString& appID, const QString& appName) {
    m_connected = true;
    // Answers are kept per application, as QuickBooks keeps them.
    m_application = appID.isEmpty() ? appName : appID;
}

QString TQBSandboxProcessor::BeginSession(const QString& companyFile, int) {
    if (!m_connected)
        throw EQBProcessorError(qbhr::CannotAccess,
                                QStringLiteral("The connection to QuickBooks is not open."));
    // A file the application names must be there; only the file "open in
    // QuickBooks" of a fresh workstation starts as the demo company.
    const bool named = !companyFile.isEmpty();
    const QString file = named ? companyFile : m_options.CompanyFile;
    if (file.isEmpty())
        throw EQBProcessorError(qbhr::NotRunning,
                                QStringLiteral("No QuickBooks company file is open and none is "
                                               "configured (file alias \"QBCompanyFile\")."));
    std::unique_ptr<TQBSandboxCompany> company;
    TSbFaults faults;
    try {
        if (!named && !QFileInfo::exists(file) && !m_options.DemoDataDir.isEmpty())
            CreateSandboxCompany(file, m_options.DemoDataDir);
        company = std::make_unique<TQBSandboxCompany>(QFileInfo(file).absoluteFilePath(), false,
                                                      m_options.Clock);
        faults = company->Faults();
        // Opening a company file takes QuickBooks its time.
        if (const int latency = company->OpenLatencyMs(); latency > 0)
            QThread::msleep(static_cast<unsigned long>(latency));
    } catch (const ESandboxError& e) {
        throw EQBProcessorError(qbhr::CannotOpenFile,
                                QBProcessorMessage(qbhr::CannotOpenFile) + u"\n\n" + e.Message());
    }
    if (faults.NotRunning)
        throw EQBProcessorError(qbhr::NotRunning, QBProcessorMessage(qbhr::NotRunning));
    if (faults.AccessDenied)
        throw EQBProcessorError(qbhr::AccessDenied, QBProcessorMessage(qbhr::AccessDenied));
    const QString ticket = QUuid::createUuid().toString(QUuid::WithoutBraces);
    m_sessions.emplace(ticket, std::move(company));
    return ticket;
}

QString TQBSandboxProcessor::GetCurrentCompanyFileName(const QString& ticket) {
    return Session(ticket).FileName();
}

TQBSandboxCompany& TQBSandboxProcessor::Session(const QString& ticket) {
    const auto it = m_sessions.find(ticket);
    if (it == m_sessions.end())
        throw EQBProcessorError(qbhr::CannotAccess,
                                QStringLiteral("The QuickBooks session has ended."));
    return *it->second;
}

QStringList TQBSandboxProcessor::QBXMLVersionsForSession(const QString& ticket) {
    try {
        return Session(ticket).Versions();
    } catch (const ESandboxError& e) {
        throw EQBProcessorError(qbhr::CannotAccess, e.Message());
    }
}

namespace {

// The first element of a request that holds text, for a fault's message.
const TSbNode* FirstLeaf(const TSbNode& node) {
    if (node.Children.empty())
        return node.Text.isEmpty() ? nullptr : &node;
    for (const TSbNode& c : node.Children)
        if (const TSbNode* leaf = FirstLeaf(c))
            return leaf;
    return nullptr;
}

// The status an armed fail-request fault answers, in QuickBooks' words.
TSbResult FaultResult(const TSbNode& rq, int code) {
    const TSbNode* leaf = FirstLeaf(rq);
    const QString text = leaf ? leaf->Text : QString();
    switch (code) {
    case 3070:
        return ErrorResult(code, u"The string \"" + text + u"\" in the field \"" +
                                     (leaf ? leaf->Name : QString()) + u"\" is too long.");
    case 3140:
        return ErrorResult(code, u"There is an invalid reference to QuickBooks Account \"" + text +
                                     u"\" in the " + rq.Name.left(rq.Name.size() - 5) + u'.' +
                                     NotFoundTail);
    default:
        return ErrorResult(code, QStringLiteral("There was an error when processing the request.  "
                                                "QuickBooks error message: fault armed with "
                                                "orvq-qbsandbox."));
    }
}

QString Envelope(const QString& attributes, const QString& responses) {
    return u"<?xml version=\"1.0\" ?>\n<QBXML>\n<QBXMLMsgsRs" + attributes + u">\n" + responses +
           u"\n</QBXMLMsgsRs>\n</QBXML>\n";
}

// Statuses of the message set itself (messageSetStatusCode).
constexpr int SetStatusOK = 0;
constexpr int SetStatusNoAnswerKept = 1;

const QString ClearAllMessageSets = QStringLiteral("ClearAllMessageSets");

} // namespace

QString TQBSandboxProcessor::ProcessRequest(const QString& ticket, const QString& request) {
    TQBSandboxCompany& company = Session(ticket);
    TSbMessageSet set;
    QString reason;
    if (!ParseSandboxMessageSet(request, set, reason))
        throw EQBProcessorError(qbhr::ParseError, SandboxParseErrorMessage + u"\n\n" + reason);
    try {
        if (!company.Versions().contains(set.Version))
            throw EQBProcessorError(qbhr::ParseError, SandboxParseErrorMessage +
                                                          u"\n\nqbXML version " + set.Version +
                                                          u" is not supported.");
        // A round trip to QuickBooks takes its time, as on a real installation.
        if (const int latency = company.LatencyMs(); latency > 0)
            QThread::msleep(static_cast<unsigned long>(latency));
        if (!set.OldMessageSetID.isEmpty())
            return StatusAnswer(company, set.OldMessageSetID);
        return Process(company, set);
    } catch (const ESandboxError& e) {
        throw EQBProcessorError(qbhr::CannotAccess,
                                u"QuickBooks cannot read or change the company file.\n\n" +
                                    e.Message());
    }
}

QString TQBSandboxProcessor::StatusAnswer(TQBSandboxCompany& company, const QString& id) {
    const QString idAttribute = TSbXmlOut::Attr(QStringLiteral("oldMessageSetID"), id);
    const auto status = [](int code) {
        return TSbXmlOut::Attr(QStringLiteral("messageSetStatusCode"), QString::number(code));
    };
    if (id == ClearAllMessageSets) {
        company.Begin();
        company.SetStoredAnswer(m_application, TSbStoredAnswer());
        company.Commit();
        return Envelope(idAttribute + status(SetStatusOK), QString());
    }
    const TSbStoredAnswer kept = company.StoredAnswer(m_application);
    if (kept.MessageSetID != id)
        return Envelope(idAttribute + status(SetStatusNoAnswerKept), QString());
    return Envelope(idAttribute + status(SetStatusOK), kept.Responses);
}

QString TQBSandboxProcessor::Process(TQBSandboxCompany& company, const TSbMessageSet& set) {
    const std::vector<TSbNode>& requests = set.Requests.Children;
    const int count = static_cast<int>(requests.size());
    TSbFaults faults = company.Faults();
    const auto saveFaults = [&] {
        company.Begin();
        company.SetFaults(faults);
        company.Commit();
    };
    if (faults.FailBeforeSave > 0) {
        const bool fires = faults.FailBeforeSave <= count;
        faults.FailBeforeSave = fires ? 0 : faults.FailBeforeSave - count;
        saveFaults();
        if (fires)
            throw EQBProcessorError(qbhr::CannotAccess,
                                    QStringLiteral("The connection to QuickBooks was lost."));
    }
    const bool counting = faults.FailRequest > 0 || faults.LoseResponse > 0;
    TSbXmlOut out;
    TSbMacros macros;
    bool failed = false;
    bool lost = false;
    // A transaction without a date takes the company clock's day.
    const QDate today = QDate::fromString(company.TimeStamp().left(10), u"yyyy-MM-dd");
    for (const TSbNode& rq : requests) {
        TSbResult result;
        if (failed && set.StopOnError) {
            result = ErrorResult(3231, QStringLiteral("The request has not been processed."));
        } else {
            // Requests QuickBooks handles count against armed faults.
            const bool failHere = faults.FailRequest == 1;
            lost = lost || faults.LoseResponse == 1;
            faults.FailRequest = std::max(0, faults.FailRequest - 1);
            faults.LoseResponse = std::max(0, faults.LoseResponse - 1);
            QString message;
            if (failHere) {
                result = FaultResult(rq, faults.FailStatus);
            } else if (const int code = CheckSandboxValues(rq, message)) {
                result = ErrorResult(code, message);
            } else {
                // One transaction per request: a refused request leaves nothing.
                company.Begin();
                try {
                    result = THandler(company, today, macros).Handle(rq);
                } catch (...) {
                    company.Rollback();
                    throw;
                }
                if (result.Severity == u"Error")
                    company.Rollback();
                else
                    company.Commit();
            }
            failed = failed || result.Severity == u"Error";
        }
        QString attrs =
            (rq.Attributes.contains(QStringLiteral("requestID"))
                 ? TSbXmlOut::Attr(QStringLiteral("requestID"),
                                   rq.Attributes.value(QStringLiteral("requestID")))
                 : QString()) +
            TSbXmlOut::Attr(QStringLiteral("statusCode"), QString::number(result.Code)) +
            TSbXmlOut::Attr(QStringLiteral("statusSeverity"), result.Severity) +
            TSbXmlOut::Attr(QStringLiteral("statusMessage"), result.Message);
        if (result.RetCount)
            attrs += TSbXmlOut::Attr(QStringLiteral("retCount"), QString::number(*result.RetCount));
        const QString rsName = ResponseName(rq.Name);
        out.Open(rsName, attrs);
        if (result.Severity != u"Error")
            out.Raw(result.Body);
        out.Close(rsName);
    }
    if (counting)
        saveFaults();
    QString setAttributes;
    if (!set.NewMessageSetID.isEmpty()) {
        if (!faults.ForgetAnswers) {
            company.Begin();
            company.SetStoredAnswer(m_application, {set.NewMessageSetID, out.Text()});
            company.Commit();
        }
        setAttributes =
            TSbXmlOut::Attr(QStringLiteral("newMessageSetID"), set.NewMessageSetID) +
            TSbXmlOut::Attr(QStringLiteral("messageSetStatusCode"), QString::number(SetStatusOK));
    }
    if (lost)
        throw EQBProcessorError(qbhr::CannotAccess,
                                QStringLiteral("The connection to QuickBooks was lost before "
                                               "QuickBooks answered."));
    return Envelope(setAttributes, out.Text());
}

void TQBSandboxProcessor::EndSession(const QString& ticket) {
    m_sessions.erase(ticket);
}

void TQBSandboxProcessor::CloseConnection() {
    m_sessions.clear();
    m_connected = false;
}
