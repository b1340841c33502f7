#include "company/QBSandboxLists.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace {

QList<TSbListKind> NameSpace(TSbListKind kind) {
    // Customers, employees, vendors and other names share one name list.
    switch (kind) {
    case TSbListKind::Account:
    case TSbListKind::Class:
        return {kind};
    default:
        return {TSbListKind::Customer, TSbListKind::Employee, TSbListKind::Vendor,
                TSbListKind::OtherName};
    }
}

const QStringList& AccountTypes() {
    static const QStringList types{"AccountsPayable",
                                   "AccountsReceivable",
                                   "Bank",
                                   "CostOfGoodsSold",
                                   "CreditCard",
                                   "Equity",
                                   "Expense",
                                   "FixedAsset",
                                   "Income",
                                   "LongTermLiability",
                                   "NonPosting",
                                   "OtherAsset",
                                   "OtherCurrentAsset",
                                   "OtherCurrentLiability",
                                   "OtherExpense",
                                   "OtherIncome"};
    return types;
}

} // namespace

QString AddSandboxListElement(TQBSandboxCompany& company, const TSbNewListElement& n) {
    TSbListElement e;
    e.Kind = n.Kind;
    e.IsActive = n.IsActive;
    if (n.Kind == TSbListKind::Employee) {
        e.FirstName = n.FirstName.trimmed();
        e.MiddleName = n.MiddleName.trimmed();
        e.LastName = n.LastName.trimmed();
        if (e.FirstName.size() > 25 || e.MiddleName.size() > 5 || e.LastName.size() > 25)
            throw ESandboxError(QStringLiteral("An employee's first and last name take at most "
                                               "25 characters, the middle name 5."));
        QStringList parts{e.FirstName, e.MiddleName, e.LastName};
        parts.removeAll(QString());
        e.Name = e.FullName = parts.join(u' ');
        if (!n.FullName.trimmed().isEmpty())
            e.Name = e.FullName = n.FullName.trimmed();
    } else {
        e.FullName = n.FullName.trimmed();
        const QStringList levels = e.FullName.split(u':');
        e.Name = levels.last().trimmed();
        e.Sublevel = static_cast<int>(levels.size()) - 1;
        if (e.Sublevel > 0) {
            const QString parentName = e.FullName.left(e.FullName.lastIndexOf(u':'));
            const auto parent = company.FindByFullName({n.Kind}, parentName);
            if (!parent)
                throw ESandboxError(u"The parent \"" + parentName + u"\" of \"" + e.FullName +
                                    u"\" does not exist.");
            e.ParentID = parent->ListID;
        }
        e.CompanyName = n.CompanyName;
        e.FirstName = n.FirstName;
        e.MiddleName = n.MiddleName;
        e.LastName = n.LastName;
    }
    if (e.Name.isEmpty())
        throw ESandboxError(QStringLiteral("A list element needs a name."));
    const int maxName = n.Kind == TSbListKind::Account || n.Kind == TSbListKind::Class ? 31 : 41;
    if (e.Name.size() > maxName)
        throw ESandboxError(u"The name \"" + e.Name + u"\" is longer than " +
                            QString::number(maxName) + u" characters.");
    if (n.Kind == TSbListKind::Account) {
        if (!AccountTypes().contains(n.AccountType))
            throw ESandboxError(u"\"" + n.AccountType + u"\" is not an account type; one of " +
                                AccountTypes().join(u", ") + u'.');
        if (n.AccountNumber.size() > 7)
            throw ESandboxError(QStringLiteral("An account number takes at most 7 characters."));
        e.AccountType = n.AccountType;
        e.AccountNumber = n.AccountNumber.trimmed();
    }
    if (company.FindByFullName(NameSpace(n.Kind), e.FullName))
        throw ESandboxError(u"The name \"" + e.FullName +
                            u"\" of the list element is already in use.");
    return company.AddListElement(e);
}

QString DefaultSandboxDemoDir() {
    return QCoreApplication::applicationDirPath() + QStringLiteral("/demo");
}

namespace {

QString Str(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}

} // namespace

void LoadSandboxDemoData(TQBSandboxCompany& company, const QString& demoDir) {
    const QString path = QDir(demoDir).filePath(QStringLiteral("company.json"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw ESandboxError(u"The demo data \"" + path + u"\" cannot be read.");
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(file.readAll(), &error);
    if (doc.isNull() || !doc.isObject())
        throw ESandboxError(u"The demo data \"" + path + u"\" is not valid: " +
                            error.errorString());
    const QJsonObject root = doc.object();
    struct TGroup {
        const char* Key;
        TSbListKind Kind;
    };
    company.Begin();
    try {
        for (const TGroup& g :
             {TGroup{"accounts", TSbListKind::Account}, TGroup{"classes", TSbListKind::Class},
              TGroup{"customers", TSbListKind::Customer},
              TGroup{"employees", TSbListKind::Employee}, TGroup{"vendors", TSbListKind::Vendor},
              TGroup{"otherNames", TSbListKind::OtherName}}) {
            for (const QJsonValue& v : root.value(QLatin1String(g.Key)).toArray()) {
                const QJsonObject o = v.toObject();
                TSbNewListElement n;
                n.Kind = g.Kind;
                n.FullName = Str(o, "name");
                n.AccountType = Str(o, "type");
                n.AccountNumber = Str(o, "number");
                n.CompanyName = Str(o, "companyName");
                n.FirstName = Str(o, "firstName");
                n.MiddleName = Str(o, "middleName");
                n.LastName = Str(o, "lastName");
                n.IsActive = o.value(QLatin1String("active")).toBool(true);
                AddSandboxListElement(company, n);
            }
        }
        const QJsonValue name = root.value(QLatin1String("company"));
        if (!name.isUndefined())
            company.SetCompanyName(CheckedSandboxCompanyName(name.toString()));
        company.Commit();
    } catch (...) {
        company.Rollback();
        throw;
    }
}

QString CheckedSandboxCompanyName(const QString& name) {
    const QString trimmed = name.trimmed();
    if (trimmed.isEmpty())
        throw ESandboxError(QStringLiteral("A company needs a name."));
    for (const QChar c : trimmed)
        if (c.category() == QChar::Other_Control)
            throw ESandboxError(QStringLiteral("A company name cannot hold control characters."));
    return trimmed;
}

void CreateSandboxCompany(const QString& fileName, const QString& demoDir, const QString& name) {
    if (QFile::exists(fileName))
        throw ESandboxError(u"The file \"" + fileName + u"\" exists already.");
    const QString checkedName = name.isNull() ? QString() : CheckedSandboxCompanyName(name);
    try {
        TQBSandboxCompany company(fileName, true);
        if (!demoDir.isEmpty())
            LoadSandboxDemoData(company, demoDir);
        if (!checkedName.isEmpty()) {
            company.Begin();
            company.SetCompanyName(checkedName);
            company.Commit();
        }
    } catch (...) {
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(fileName + QLatin1String(suffix));
        throw;
    }
}
