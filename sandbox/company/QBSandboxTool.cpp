#include "company/QBSandboxTool.h"

#include "base/vlxTextUtils.h"
#include "company/QBSandboxLists.h"

#include <QHash>
#include <QRegularExpression>

namespace {

const char* const Usage =
    "usage:\n"
    "  orvq-qbsandbox init FILE [--demo] [--demo-dir DIR] [--name NAME]\n"
    "  orvq-qbsandbox name FILE [NAME]\n"
    "  orvq-qbsandbox list accounts|classes|customers|employees|vendors FILE\n"
    "  orvq-qbsandbox list checks|deposits|journal FILE [--from YYYY-MM-DD] [--to YYYY-MM-DD]\n"
    "  orvq-qbsandbox add account FILE FULLNAME TYPE [NUMBER]\n"
    "  orvq-qbsandbox add class|vendor FILE FULLNAME\n"
    "  orvq-qbsandbox add customer FILE FULLNAME [COMPANYNAME]\n"
    "  orvq-qbsandbox add employee FILE FIRST LAST [MIDDLE]\n"
    "  orvq-qbsandbox fault FILE [not-running|access-denied|fail-request N [3070|3140|3180]|\n"
    "                             lose-response N|fail-before-save N|forget-answers|clear]\n"
    "  orvq-qbsandbox edit FILE --ref NUMBER --memo TEXT [--type check|deposit|journal]\n"
    "  orvq-qbsandbox latency FILE [MS] [--open MS]\n"
    "  orvq-qbsandbox versions FILE [1.0,2.0,...]\n";

class EUsage : public ESandboxError {
public:
    using ESandboxError::ESandboxError;
};

// Columns padded to their widest cell.
void PrintTable(QTextStream& out, const QStringList& header, const QList<QStringList>& rows) {
    QList<qsizetype> widths;
    for (const QString& h : header)
        widths << h.size();
    for (const QStringList& row : rows)
        for (qsizetype i = 0; i < row.size() && i < widths.size(); ++i)
            widths[i] = std::max(widths[i], row[i].size());
    auto line = [&](const QStringList& cells) {
        QString text;
        for (qsizetype i = 0; i < cells.size(); ++i)
            text += (i + 1 < cells.size() ? cells[i].leftJustified(widths[i] + 2) : cells[i]);
        while (text.endsWith(u' '))
            text.chop(1);
        out << text << '\n';
    };
    line(header);
    for (const QStringList& row : rows)
        line(row);
    out << rows.size() << (rows.size() == 1 ? " row" : " rows") << '\n';
}

QString Cents(std::optional<qint64> cents) {
    if (!cents)
        return QString();
    const qint64 a = std::abs(*cents);
    return (*cents < 0 ? QStringLiteral("-") : QString()) + QString::number(a / 100) + u'.' +
           QString::number(a % 100).rightJustified(2, u'0');
}

// The value after the option `name`, or null when the option is not given.
QString OptionValue(const QStringList& args, const QString& name, const char* what) {
    const qsizetype i = args.indexOf(name);
    if (i < 0)
        return QString();
    if (i + 1 >= args.size())
        throw EUsage(name + u" needs " + QLatin1String(what));
    return args[i + 1];
}

QDate DateOption(const QStringList& args, const QString& name) {
    const QString text = OptionValue(args, name, "a date");
    if (text.isNull())
        return QDate();
    const QDate d = QDate::fromString(text, u"yyyy-MM-dd");
    if (!d.isValid())
        throw EUsage(u"\"" + text + u"\" is not a date of the form YYYY-MM-DD");
    return d;
}

// A delay of 0 to 60000 milliseconds.
int Milliseconds(const QString& text) {
    bool ok = false;
    const int ms = text.toInt(&ok);
    if (!ok || ms < 0 || ms > 60000)
        throw EUsage(u"\"" + text + u"\" is not a latency of 0 to 60000 milliseconds");
    return ms;
}

void ListLists(QTextStream& out, TQBSandboxCompany& company, const QString& what) {
    static const QHash<QString, TSbListKind> kinds{{"accounts", TSbListKind::Account},
                                                   {"classes", TSbListKind::Class},
                                                   {"customers", TSbListKind::Customer},
                                                   {"employees", TSbListKind::Employee},
                                                   {"vendors", TSbListKind::Vendor}};
    const TSbListKind kind = kinds.value(what);
    QList<QStringList> rows;
    for (const TSbListElement& e : company.ListElements(kind)) {
        const QString active = e.IsActive ? QString() : QStringLiteral("inactive");
        switch (kind) {
        case TSbListKind::Account:
            rows << QStringList{e.FullName, e.AccountType, e.AccountNumber, e.ListID, active};
            break;
        case TSbListKind::Employee:
            rows << QStringList{e.Name, e.FirstName, e.MiddleName, e.LastName, e.ListID, active};
            break;
        case TSbListKind::Customer:
            rows << QStringList{e.FullName, e.CompanyName, e.ListID, active};
            break;
        default:
            rows << QStringList{e.FullName, e.ListID, active};
        }
    }
    switch (kind) {
    case TSbListKind::Account:
        PrintTable(out, {"Full name", "Type", "Number", "ListID", ""}, rows);
        break;
    case TSbListKind::Employee:
        PrintTable(out, {"Name", "First", "Middle", "Last", "ListID", ""}, rows);
        break;
    case TSbListKind::Customer:
        PrintTable(out, {"Full name", "Company", "ListID", ""}, rows);
        break;
    default:
        PrintTable(out, {"Full name", "ListID", ""}, rows);
    }
}

void ListTxns(QTextStream& out, TQBSandboxCompany& company, const QString& what,
              const QStringList& args) {
    TSbTxnFilter f;
    f.Type = what == u"checks"     ? QStringLiteral("Check")
             : what == u"deposits" ? QStringLiteral("Deposit")
                                   : QStringLiteral("JournalEntry");
    f.IncludeLines = true;
    if (const QDate from = DateOption(args, QStringLiteral("--from")); from.isValid())
        f.FromDate = from;
    if (const QDate to = DateOption(args, QStringLiteral("--to")); to.isValid())
        f.ToDate = to;
    const QHash<QString, QString> names = company.FullNames();
    QList<QStringList> rows;
    for (const TSbTxn& t : company.Txns(f)) {
        const QString date = t.TxnDate.toString(u"yyyy-MM-dd");
        if (f.Type == u"Check") {
            const TSbTxnLine* line = t.Lines.empty() ? nullptr : &t.Lines.front();
            rows << QStringList{date,
                                t.RefNumber,
                                names.value(t.AccountID),
                                names.value(t.PayeeID),
                                Cents(t.Cents),
                                line ? names.value(line->AccountID) : QString(),
                                t.Lines.size() > 1 ? QString::number(t.Lines.size()) + u" lines"
                                                   : QString(),
                                t.Cleared,
                                t.Memo,
                                t.TxnID};
        } else if (f.Type == u"Deposit") {
            for (const TSbTxnLine& l : t.Lines)
                rows << QStringList{date,
                                    names.value(t.AccountID),
                                    Cents(t.Cents),
                                    l.CheckNumber,
                                    names.value(l.AccountID),
                                    names.value(l.EntityID),
                                    Cents(l.Cents),
                                    t.Cleared,
                                    t.Memo,
                                    t.TxnID};
        } else {
            for (const TSbTxnLine& l : t.Lines)
                rows << QStringList{date,
                                    t.RefNumber,
                                    names.value(l.AccountID),
                                    l.Kind == u"Debit" ? Cents(l.Cents) : QString(),
                                    l.Kind == u"Credit" ? Cents(l.Cents) : QString(),
                                    names.value(l.ClassID),
                                    names.value(l.EntityID),
                                    t.Cleared,
                                    t.TxnID};
        }
    }
    if (f.Type == u"Check")
        PrintTable(out,
                   {"Date", "Number", "Bank account", "Payee", "Amount", "Expense account", "Lines",
                    "Cleared", "Memo", "TxnID"},
                   rows);
    else if (f.Type == u"Deposit")
        PrintTable(out,
                   {"Date", "Deposit to", "Total", "Check no.", "From account", "Received from",
                    "Line amount", "Cleared", "Memo", "TxnID"},
                   rows);
    else
        PrintTable(
            out, {"Date", "Ref", "Account", "Debit", "Credit", "Class", "Name", "Cleared", "TxnID"},
            rows);
}

void Add(QTextStream& out, const QStringList& a) {
    // a: add KIND FILE ...
    if (a.size() < 4)
        throw EUsage(QStringLiteral("add needs a kind, a file and a name"));
    const QString kind = a[1];
    TSbNewListElement n;
    n.FullName = a[3];
    if (kind == u"account") {
        if (a.size() < 5)
            throw EUsage(QStringLiteral("add account needs a type"));
        n.Kind = TSbListKind::Account;
        n.AccountType = a[4];
        n.AccountNumber = a.value(5);
    } else if (kind == u"class") {
        n.Kind = TSbListKind::Class;
    } else if (kind == u"vendor") {
        n.Kind = TSbListKind::Vendor;
    } else if (kind == u"customer") {
        n.Kind = TSbListKind::Customer;
        n.CompanyName = a.value(4);
    } else if (kind == u"employee") {
        if (a.size() < 5)
            throw EUsage(QStringLiteral("add employee needs a first and a last name"));
        n.Kind = TSbListKind::Employee;
        n.FullName.clear();
        n.FirstName = a[3];
        n.LastName = a[4];
        n.MiddleName = a.value(5);
    } else {
        throw EUsage(u"cannot add \"" + kind + u"\"");
    }
    TQBSandboxCompany company(a[2], false);
    company.Begin();
    try {
        const QString id = AddSandboxListElement(company, n);
        company.Commit();
        out << "added " << kind << ' ' << id << '\n';
    } catch (...) {
        company.Rollback();
        throw;
    }
}

void Fault(QTextStream& out, const QStringList& a) {
    TQBSandboxCompany company(a[1], false);
    TSbFaults f = company.Faults();
    const QString what = a.value(2);
    auto count = [&] {
        bool ok = false;
        const int n = a.value(3).toInt(&ok);
        if (!ok || n < 1)
            throw EUsage(what + u" needs a request number of 1 or more");
        return n;
    };
    if (what == u"not-running")
        f.NotRunning = true;
    else if (what == u"access-denied")
        f.AccessDenied = true;
    else if (what == u"fail-request") {
        f.FailRequest = count();
        const QString code = a.value(4, QStringLiteral("3180"));
        if (!QStringList{"3070", "3140", "3180"}.contains(code))
            throw EUsage(u"fail-request answers with 3070, 3140 or 3180, not \"" + code + u"\"");
        f.FailStatus = code.toInt();
    } else if (what == u"lose-response")
        f.LoseResponse = count();
    else if (what == u"fail-before-save")
        f.FailBeforeSave = count();
    else if (what == u"forget-answers")
        f.ForgetAnswers = true;
    else if (what == u"clear")
        f = TSbFaults();
    else if (!what.isEmpty())
        throw EUsage(u"unknown fault \"" + what + u"\"");
    company.Begin();
    company.SetFaults(f);
    company.Commit();
    out << "not-running: " << (f.NotRunning ? "armed" : "off")
        << "\naccess-denied: " << (f.AccessDenied ? "armed" : "off") << "\nfail-request: "
        << (f.FailRequest
                ? QString::number(f.FailRequest) + u" (" + QString::number(f.FailStatus) + u')'
                : QStringLiteral("off"))
        << "\nlose-response: " << (f.LoseResponse ? QString::number(f.LoseResponse) : "off")
        << "\nfail-before-save: " << (f.FailBeforeSave ? QString::number(f.FailBeforeSave) : "off")
        << "\nforget-answers: " << (f.ForgetAnswers ? "armed" : "off") << '\n';
}

void Latency(QTextStream& out, const QStringList& a) {
    // a: latency FILE [MS] [--open MS]
    const QString open = OptionValue(a, QStringLiteral("--open"), "milliseconds");
    QStringList rest = a.mid(2);
    if (!open.isNull())
        rest.remove(rest.indexOf(QStringLiteral("--open")), 2);
    if (rest.size() > 1)
        throw EUsage(u"unexpected argument \"" + rest[1] + u'"');
    TQBSandboxCompany company(a[1], false);
    const std::optional<int> perSet =
        rest.isEmpty() ? std::nullopt : std::optional<int>(Milliseconds(rest[0]));
    const std::optional<int> opening =
        open.isNull() ? std::nullopt : std::optional<int>(Milliseconds(open));
    if (perSet || opening) {
        company.Begin();
        if (perSet)
            company.SetLatencyMs(*perSet);
        if (opening)
            company.SetOpenLatencyMs(*opening);
        company.Commit();
    }
    out << "latency: " << company.LatencyMs() << " ms per request set, " << company.OpenLatencyMs()
        << " ms to open the company file\n";
}

void Name(QTextStream& out, const QStringList& a) {
    TQBSandboxCompany company(a[1], false);
    if (a.size() > 2) {
        const QString name = CheckedSandboxCompanyName(a[2]);
        company.Begin();
        company.SetCompanyName(name);
        company.Commit();
    }
    out << company.CompanyName() << '\n';
}

// Changes a transaction's memo as a user's edit in QuickBooks would, and so
// its EditSequence.
void Edit(QTextStream& out, const QStringList& a) {
    static const QHash<QString, QString> types{
        {QStringLiteral("check"), QStringLiteral("Check")},
        {QStringLiteral("deposit"), QStringLiteral("Deposit")},
        {QStringLiteral("journal"), QStringLiteral("JournalEntry")}};
    const QString number = OptionValue(a, QStringLiteral("--ref"), "a reference or check number");
    const QString memo = OptionValue(a, QStringLiteral("--memo"), "a text");
    const QString type = OptionValue(a, QStringLiteral("--type"), "check, deposit or journal");
    if (number.isNull() || memo.isNull())
        throw EUsage(QStringLiteral("edit needs --ref NUMBER and --memo TEXT"));
    if (!type.isNull() && !types.contains(type))
        throw EUsage(u"--type takes check, deposit or journal, not \"" + type + u'"');
    if (CharacterCount(memo) > 4095)
        throw EUsage(QStringLiteral("a memo holds at most 4095 characters"));
    TQBSandboxCompany company(a[1], false);
    std::vector<TSbTxn> found = company.TxnsByNumber(number);
    if (!type.isNull())
        found.erase(std::remove_if(found.begin(), found.end(),
                                   [&](const TSbTxn& t) { return t.Type != types.value(type); }),
                    found.end());
    if (found.empty())
        throw ESandboxError(u"No transaction has the number \"" + number + u"\".");
    if (found.size() > 1) {
        QStringList which;
        for (const TSbTxn& t : found)
            which << t.Type + u' ' + t.TxnID;
        throw ESandboxError(QString::number(found.size()) + u" transactions have the number \"" +
                            number + u"\" (" + which.join(u", ") +
                            u"); choose one with --type check|deposit|journal.");
    }
    const TSbTxn& t = found.front();
    company.Begin();
    try {
        company.SetTxnMemo(t.TxnID, memo);
        company.Commit();
    } catch (...) {
        company.Rollback();
        throw;
    }
    out << "changed " << t.Type << ' ' << number << " (" << t.TxnID << "): EditSequence "
        << t.EditSequence << " -> " << company.FindTxn(t.TxnID, false)->EditSequence << '\n';
}

void Versions(QTextStream& out, const QStringList& a) {
    TQBSandboxCompany company(a[1], false);
    if (a.size() > 2) {
        const QStringList versions = a[2].split(u',', Qt::SkipEmptyParts);
        static const QRegularExpression re(QStringLiteral("^\\d+\\.\\d+$"));
        for (const QString& v : versions)
            if (!re.match(v).hasMatch())
                throw EUsage(u"\"" + v + u"\" is not a version like 7.0");
        if (versions.isEmpty())
            throw EUsage(QStringLiteral("give at least one version"));
        company.Begin();
        company.SetVersions(versions);
        company.Commit();
    }
    out << company.Versions().join(u", ") << '\n';
}

} // namespace

int RunQBSandboxTool(const QStringList& args, QTextStream& out, QTextStream& err) {
    try {
        const QString command = args.value(0);
        if (command == u"init" && args.size() >= 2) {
            QString demoDir;
            if (args.contains(QStringLiteral("--demo"))) {
                const qsizetype i = args.indexOf(QStringLiteral("--demo-dir"));
                demoDir = i >= 0 ? args.value(i + 1) : DefaultSandboxDemoDir();
            }
            CreateSandboxCompany(args[1], demoDir,
                                 OptionValue(args, QStringLiteral("--name"), "a company name"));
            out << "created " << args[1] << (demoDir.isEmpty() ? "" : " with the demo data") << ": "
                << TQBSandboxCompany(args[1], false).CompanyName() << '\n';
            return 0;
        }
        if (command == u"name" && args.size() >= 2) {
            Name(out, args);
            return 0;
        }
        if (command == u"edit" && args.size() >= 2) {
            Edit(out, args);
            return 0;
        }
        if (command == u"list" && args.size() >= 3) {
            const QString what = args[1];
            TQBSandboxCompany company(args[2], false);
            if (QStringList{"accounts", "classes", "customers", "employees", "vendors"}.contains(
                    what))
                ListLists(out, company, what);
            else if (QStringList{"checks", "deposits", "journal"}.contains(what))
                ListTxns(out, company, what, args);
            else
                throw EUsage(u"cannot list \"" + what + u"\"");
            return 0;
        }
        if (command == u"add") {
            Add(out, args);
            return 0;
        }
        if (command == u"fault" && args.size() >= 2) {
            Fault(out, args);
            return 0;
        }
        if (command == u"latency" && args.size() >= 2) {
            Latency(out, args);
            return 0;
        }
        if (command == u"versions" && args.size() >= 2) {
            Versions(out, args);
            return 0;
        }
        err << Usage;
        return 2;
    } catch (const EUsage& e) {
        err << "orvq-qbsandbox: " << e.Message() << '\n' << Usage;
        return 2;
    } catch (const EztException& e) {
        err << "orvq-qbsandbox: " << e.Message() << '\n';
        return 1;
    }
}
