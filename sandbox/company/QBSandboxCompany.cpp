#include "company/QBSandboxCompany.h"

#include "base/OwnerOnlyFiles.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

namespace {

const QString FormatTag = QStringLiteral("orvq-qbsandbox 1");
const QString DefaultVersions = QStringLiteral("1.0,1.1,2.0,2.1,3.0,4.0,4.1,5.0,6.0,7.0");

QAtomicInt s_connectionCounter;

[[noreturn]] void Fail(const QString& what, const QSqlError& error) {
    throw ESandboxError(what + u": " + error.text());
}

QVariant Text(const QString& s) {
    return s.isNull() ? QVariant(QStringLiteral("")) : QVariant(s);
}

QVariant OptionalText(const QString& s) {
    return s.isEmpty() ? QVariant(QMetaType::fromType<QString>()) : QVariant(s);
}

QVariant OptionalCents(const std::optional<qint64>& c) {
    return c ? QVariant(*c) : QVariant(QMetaType::fromType<qint64>());
}

QVariant OptionalBool(const std::optional<bool>& b) {
    return b ? QVariant(*b ? 1 : 0) : QVariant(QMetaType::fromType<int>());
}

std::optional<bool> ToOptionalBool(const QVariant& v) {
    if (v.isNull())
        return std::nullopt;
    return v.toInt() != 0;
}

const char* const ListColumns =
    "list_id, kind, name, full_name, parent_id, sublevel, is_active, account_type, "
    "account_number, company_name, first_name, middle_name, last_name, time_created, "
    "time_modified, edit_seq";

TSbListElement ReadListElement(const QSqlQuery& q) {
    TSbListElement e;
    e.ListID = q.value(0).toString();
    const QString kind = q.value(1).toString();
    for (TSbListKind k : {TSbListKind::Account, TSbListKind::Class, TSbListKind::Customer,
                          TSbListKind::Employee, TSbListKind::Vendor, TSbListKind::OtherName})
        if (SbListKindName(k) == kind)
            e.Kind = k;
    e.Name = q.value(2).toString();
    e.FullName = q.value(3).toString();
    e.ParentID = q.value(4).toString();
    e.Sublevel = q.value(5).toInt();
    e.IsActive = q.value(6).toInt() != 0;
    e.AccountType = q.value(7).toString();
    e.AccountNumber = q.value(8).toString();
    e.CompanyName = q.value(9).toString();
    e.FirstName = q.value(10).toString();
    e.MiddleName = q.value(11).toString();
    e.LastName = q.value(12).toString();
    e.TimeCreated = q.value(13).toString();
    e.TimeModified = q.value(14).toString();
    e.EditSequence = q.value(15).toString();
    return e;
}

QString KindList(const QList<TSbListKind>& kinds) {
    QStringList names;
    for (TSbListKind k : kinds)
        names << u'\'' + SbListKindName(k) + u'\'';
    return names.join(u',');
}

} // namespace

QString SbListKindName(TSbListKind kind) {
    switch (kind) {
    case TSbListKind::Account:
        return QStringLiteral("Account");
    case TSbListKind::Class:
        return QStringLiteral("Class");
    case TSbListKind::Customer:
        return QStringLiteral("Customer");
    case TSbListKind::Employee:
        return QStringLiteral("Employee");
    case TSbListKind::Vendor:
        return QStringLiteral("Vendor");
    case TSbListKind::OtherName:
        return QStringLiteral("OtherName");
    }
    return QString();
}

TQBSandboxCompany::TQBSandboxCompany(const QString& fileName, bool create, TClock clock)
    : m_fileName(fileName), m_clock(std::move(clock)) {
    if (!m_clock)
        m_clock = [] { return QDateTime::currentDateTime(); };
    if (fileName.isEmpty())
        throw ESandboxError(QStringLiteral("No QuickBooks company file is configured."));
    const bool exists = QFileInfo::exists(fileName);
    if (!exists && !create)
        throw ESandboxError(u"The QuickBooks company file \"" + fileName + u"\" does not exist.");
    m_connectionName = u"qbsandbox-" + QString::number(s_connectionCounter.fetchAndAddRelaxed(1));
    m_db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
    if (!exists && !platform::PrepareOwnerOnlyFile(fileName))
        throw ESandboxError(u"Cannot create the QuickBooks company file \"" + fileName + u'"');
    m_db.setDatabaseName(fileName);
    // Another session may hold the write lock for a moment (multi-user mode).
    m_db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=10000"));
    try {
        if (!m_db.open())
            Fail(u"Cannot open the QuickBooks company file \"" + fileName + u'"', m_db.lastError());
        if (exists) {
            QSqlQuery q(m_db);
            if (!q.exec(QStringLiteral("SELECT value FROM meta WHERE key = 'format'")) ||
                !q.next() || q.value(0).toString() != FormatTag)
                throw ESandboxError(u"The file \"" + fileName +
                                    u"\" is not a sandbox QuickBooks company file.");
        }
        // Write-ahead log: a killed program leaves the file consistent, readers
        // in other sessions never block on a writer, and a commit costs no
        // full sync of the database file.
        Exec(QStringLiteral("PRAGMA journal_mode=WAL"));
        Exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        if (!exists)
            CreateSchema();
    } catch (...) {
        m_db.close();
        m_db = QSqlDatabase();
        QSqlDatabase::removeDatabase(m_connectionName);
        throw;
    }
}

TQBSandboxCompany::~TQBSandboxCompany() {
    // Closing rolls back a transaction a failure left open.
    m_db.close();
    m_db = QSqlDatabase();
    QSqlDatabase::removeDatabase(m_connectionName);
}

void TQBSandboxCompany::Exec(const QString& sql) {
    QSqlQuery q(m_db);
    if (!q.exec(sql))
        Fail(QStringLiteral("The company file cannot be changed"), q.lastError());
}

void TQBSandboxCompany::CreateSchema() {
    Begin();
    Exec(QStringLiteral("CREATE TABLE meta(key TEXT PRIMARY KEY, value TEXT NOT NULL)"));
    Exec(QStringLiteral(
        "CREATE TABLE lists(list_id TEXT PRIMARY KEY, kind TEXT NOT NULL, name TEXT NOT NULL, "
        "full_name TEXT NOT NULL, parent_id TEXT, sublevel INTEGER NOT NULL, is_active INTEGER "
        "NOT NULL, account_type TEXT, account_number TEXT, company_name TEXT, first_name TEXT, "
        "middle_name TEXT, last_name TEXT, time_created TEXT, time_modified TEXT, edit_seq "
        "TEXT)"));
    Exec(QStringLiteral("CREATE INDEX lists_name ON lists(full_name COLLATE NOCASE)"));
    Exec(QStringLiteral(
        "CREATE TABLE txns(txn_id TEXT PRIMARY KEY, type TEXT NOT NULL, txn_number INTEGER, "
        "txn_date TEXT NOT NULL, ref_number TEXT, memo TEXT, account_id TEXT, payee_id TEXT, "
        "cents INTEGER NOT NULL, to_be_printed INTEGER, is_adjustment INTEGER, cleared TEXT, "
        "time_created TEXT, time_modified TEXT, edit_seq TEXT)"));
    Exec(QStringLiteral("CREATE INDEX txns_date ON txns(type, txn_date)"));
    Exec(QStringLiteral("CREATE INDEX txns_ref ON txns(type, ref_number)"));
    Exec(QStringLiteral(
        "CREATE TABLE txn_lines(txn_id TEXT NOT NULL, seq INTEGER NOT NULL, txn_line_id TEXT, "
        "kind TEXT, account_id TEXT, entity_id TEXT, class_id TEXT, customer_id TEXT, cents "
        "INTEGER, memo TEXT, check_number TEXT, billable TEXT, cleared TEXT, PRIMARY "
        "KEY(txn_id, seq))"));
    SetMeta(QStringLiteral("format"), FormatTag);
    SetMeta(QStringLiteral("versions"), DefaultVersions);
    SetMeta(QStringLiteral("next_id"), QString::number(0x80000001LL));
    SetMeta(QStringLiteral("next_txn_number"), QStringLiteral("1"));
    Commit();
}

void TQBSandboxCompany::Begin() {
    // IMMEDIATE takes the write lock at once, so two sessions never both
    // read a counter and then collide on writing it.
    Exec(QStringLiteral("BEGIN IMMEDIATE"));
}

void TQBSandboxCompany::Commit() {
    Exec(QStringLiteral("COMMIT"));
}

void TQBSandboxCompany::Rollback() {
    QSqlQuery q(m_db);
    q.exec(QStringLiteral("ROLLBACK"));
}

QString TQBSandboxCompany::Meta(const QString& key, const QString& fallback) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT value FROM meta WHERE key = ?"));
    q.addBindValue(key);
    if (!q.exec())
        Fail(QStringLiteral("The company file cannot be read"), q.lastError());
    return q.next() ? q.value(0).toString() : fallback;
}

void TQBSandboxCompany::SetMeta(const QString& key, const QString& value) {
    QSqlQuery q(m_db);
    if (value.isEmpty()) {
        q.prepare(QStringLiteral("DELETE FROM meta WHERE key = ?"));
        q.addBindValue(key);
    } else {
        q.prepare(QStringLiteral("INSERT OR REPLACE INTO meta(key, value) VALUES(?, ?)"));
        q.addBindValue(key);
        q.addBindValue(value);
    }
    if (!q.exec())
        Fail(QStringLiteral("The company file cannot be changed"), q.lastError());
}

QStringList TQBSandboxCompany::Versions() {
    return Meta(QStringLiteral("versions"), DefaultVersions).split(u',', Qt::SkipEmptyParts);
}

void TQBSandboxCompany::SetVersions(const QStringList& versions) {
    SetMeta(QStringLiteral("versions"), versions.join(u','));
}

TSbFaults TQBSandboxCompany::Faults() {
    TSbFaults f;
    f.NotRunning = Meta(QStringLiteral("fault.not_running")) == u"1";
    f.AccessDenied = Meta(QStringLiteral("fault.access_denied")) == u"1";
    f.FailRequest = Meta(QStringLiteral("fault.fail_request")).toInt();
    f.LoseResponse = Meta(QStringLiteral("fault.lose_response")).toInt();
    f.FailBeforeSave = Meta(QStringLiteral("fault.fail_before_save")).toInt();
    f.ForgetAnswers = Meta(QStringLiteral("fault.forget_answers")) == u"1";
    const int status = Meta(QStringLiteral("fault.fail_status")).toInt();
    if (status > 0)
        f.FailStatus = status;
    return f;
}

void TQBSandboxCompany::SetFaults(const TSbFaults& f) {
    SetMeta(QStringLiteral("fault.not_running"), f.NotRunning ? QStringLiteral("1") : QString());
    SetMeta(QStringLiteral("fault.access_denied"),
            f.AccessDenied ? QStringLiteral("1") : QString());
    SetMeta(QStringLiteral("fault.fail_request"),
            f.FailRequest > 0 ? QString::number(f.FailRequest) : QString());
    SetMeta(QStringLiteral("fault.lose_response"),
            f.LoseResponse > 0 ? QString::number(f.LoseResponse) : QString());
    SetMeta(QStringLiteral("fault.fail_before_save"),
            f.FailBeforeSave > 0 ? QString::number(f.FailBeforeSave) : QString());
    SetMeta(QStringLiteral("fault.forget_answers"),
            f.ForgetAnswers ? QStringLiteral("1") : QString());
    SetMeta(QStringLiteral("fault.fail_status"),
            f.FailStatus != TSbFaults().FailStatus ? QString::number(f.FailStatus) : QString());
}

int TQBSandboxCompany::LatencyMs() {
    return std::max(0, Meta(QStringLiteral("latency_ms")).toInt());
}

void TQBSandboxCompany::SetLatencyMs(int milliseconds) {
    SetMeta(QStringLiteral("latency_ms"),
            milliseconds > 0 ? QString::number(milliseconds) : QString());
}

int TQBSandboxCompany::OpenLatencyMs() {
    return std::max(0, Meta(QStringLiteral("open_latency_ms")).toInt());
}

void TQBSandboxCompany::SetOpenLatencyMs(int milliseconds) {
    SetMeta(QStringLiteral("open_latency_ms"),
            milliseconds > 0 ? QString::number(milliseconds) : QString());
}

QString TQBSandboxCompany::CompanyName() {
    return Meta(QStringLiteral("company_name"), QFileInfo(m_fileName).completeBaseName());
}

void TQBSandboxCompany::SetCompanyName(const QString& name) {
    SetMeta(QStringLiteral("company_name"), name);
}

TSbStoredAnswer TQBSandboxCompany::StoredAnswer(const QString& application) {
    return {Meta(u"recovery.id:" + application), Meta(u"recovery.answer:" + application)};
}

void TQBSandboxCompany::SetStoredAnswer(const QString& application, const TSbStoredAnswer& answer) {
    SetMeta(u"recovery.id:" + application, answer.MessageSetID);
    SetMeta(u"recovery.answer:" + application,
            answer.MessageSetID.isEmpty() ? QString() : answer.Responses);
}

QString TQBSandboxCompany::TimeStamp() const {
    const QDateTime now = m_clock();
    const int offset = now.offsetFromUtc();
    const int minutes = std::abs(offset) / 60;
    return now.toString(u"yyyy-MM-ddTHH:mm:ss") + (offset < 0 ? u'-' : u'+') +
           QString::number(minutes / 60).rightJustified(2, u'0') + u':' +
           QString::number(minutes % 60).rightJustified(2, u'0');
}

QString TQBSandboxCompany::EditSequenceNow() const {
    return QString::number(m_clock().toSecsSinceEpoch());
}

QString TQBSandboxCompany::NewID() {
    const qint64 next = Meta(QStringLiteral("next_id")).toLongLong();
    SetMeta(QStringLiteral("next_id"), QString::number(next + 1));
    return QString::number(next, 16).toUpper().rightJustified(8, u'0') + u'-' + EditSequenceNow();
}

QString TQBSandboxCompany::AddListElement(TSbListElement e) {
    e.ListID = NewID();
    e.TimeCreated = e.TimeModified = TimeStamp();
    e.EditSequence = EditSequenceNow();
    QSqlQuery q(m_db);
    q.prepare(u"INSERT INTO lists(" + QString::fromLatin1(ListColumns) +
              u") VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
    for (const QVariant& v :
         {QVariant(e.ListID), QVariant(SbListKindName(e.Kind)), Text(e.Name), Text(e.FullName),
          OptionalText(e.ParentID), QVariant(e.Sublevel), QVariant(e.IsActive ? 1 : 0),
          OptionalText(e.AccountType), OptionalText(e.AccountNumber), OptionalText(e.CompanyName),
          OptionalText(e.FirstName), OptionalText(e.MiddleName), OptionalText(e.LastName),
          QVariant(e.TimeCreated), QVariant(e.TimeModified), QVariant(e.EditSequence)})
        q.addBindValue(v);
    if (!q.exec())
        Fail(QStringLiteral("The list element cannot be added"), q.lastError());
    return e.ListID;
}

std::vector<TSbListElement> TQBSandboxCompany::ListElements(TSbListKind kind) {
    return ListElements(QList<TSbListKind>{kind});
}

std::vector<TSbListElement> TQBSandboxCompany::ListElements(const QList<TSbListKind>& kinds) {
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(u"SELECT " + QString::fromLatin1(ListColumns) + u" FROM lists WHERE kind IN (" +
                KindList(kinds) + u") ORDER BY rowid"))
        Fail(QStringLiteral("The company file cannot be read"), q.lastError());
    std::vector<TSbListElement> out;
    while (q.next())
        out.push_back(ReadListElement(q));
    return out;
}

std::optional<TSbListElement> TQBSandboxCompany::FindByListID(const QString& listID) {
    QSqlQuery q(m_db);
    q.prepare(u"SELECT " + QString::fromLatin1(ListColumns) + u" FROM lists WHERE list_id = ?");
    q.addBindValue(listID);
    if (!q.exec())
        Fail(QStringLiteral("The company file cannot be read"), q.lastError());
    if (!q.next())
        return std::nullopt;
    return ReadListElement(q);
}

std::optional<TSbListElement> TQBSandboxCompany::FindByFullName(const QList<TSbListKind>& kinds,
                                                                const QString& fullName) {
    // QuickBooks matches names without regard to letter case.
    QSqlQuery q(m_db);
    q.prepare(u"SELECT " + QString::fromLatin1(ListColumns) + u" FROM lists WHERE kind IN (" +
              KindList(kinds) + u") AND full_name = ? COLLATE NOCASE ORDER BY rowid");
    q.addBindValue(fullName);
    if (!q.exec())
        Fail(QStringLiteral("The company file cannot be read"), q.lastError());
    while (q.next()) {
        TSbListElement e = ReadListElement(q);
        // NOCASE folds ASCII only; compare the rest exactly.
        if (e.FullName.compare(fullName, Qt::CaseInsensitive) == 0)
            return e;
    }
    return std::nullopt;
}

QHash<QString, QString> TQBSandboxCompany::FullNames() {
    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT list_id, full_name FROM lists")))
        Fail(QStringLiteral("The company file cannot be read"), q.lastError());
    QHash<QString, QString> names;
    while (q.next())
        names.insert(q.value(0).toString(), q.value(1).toString());
    return names;
}

QString TQBSandboxCompany::AddTxn(TSbTxn& t) {
    t.TxnID = NewID();
    t.TxnNumber = Meta(QStringLiteral("next_txn_number")).toInt();
    SetMeta(QStringLiteral("next_txn_number"), QString::number(t.TxnNumber + 1));
    t.TimeCreated = t.TimeModified = TimeStamp();
    t.EditSequence = EditSequenceNow();
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "INSERT INTO txns(txn_id, type, txn_number, txn_date, ref_number, memo, account_id, "
        "payee_id, cents, to_be_printed, is_adjustment, cleared, time_created, time_modified, "
        "edit_seq) VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    for (const QVariant& v :
         {QVariant(t.TxnID), QVariant(t.Type), QVariant(t.TxnNumber),
          QVariant(t.TxnDate.toString(u"yyyy-MM-dd")), OptionalText(t.RefNumber),
          OptionalText(t.Memo), OptionalText(t.AccountID), OptionalText(t.PayeeID),
          QVariant(t.Cents), OptionalBool(t.IsToBePrinted), OptionalBool(t.IsAdjustment),
          QVariant(t.Cleared), QVariant(t.TimeCreated), QVariant(t.TimeModified),
          QVariant(t.EditSequence)})
        q.addBindValue(v);
    if (!q.exec())
        Fail(QStringLiteral("The transaction cannot be added"), q.lastError());
    QSqlQuery l(m_db);
    l.prepare(QStringLiteral(
        "INSERT INTO txn_lines(txn_id, seq, txn_line_id, kind, account_id, entity_id, class_id, "
        "customer_id, cents, memo, check_number, billable, cleared) "
        "VALUES(?,?,?,?,?,?,?,?,?,?,?,?,?)"));
    int seq = 0;
    for (TSbTxnLine& line : t.Lines) {
        line.TxnLineID = NewID();
        for (const QVariant& v :
             {QVariant(t.TxnID), QVariant(seq++), QVariant(line.TxnLineID), QVariant(line.Kind),
              OptionalText(line.AccountID), OptionalText(line.EntityID), OptionalText(line.ClassID),
              OptionalText(line.CustomerID), OptionalCents(line.Cents), OptionalText(line.Memo),
              OptionalText(line.CheckNumber), OptionalText(line.BillableStatus),
              QVariant(line.Cleared)})
            l.addBindValue(v);
        if (!l.exec())
            Fail(QStringLiteral("The transaction line cannot be added"), l.lastError());
    }
    return t.TxnID;
}

std::vector<TSbTxn> TQBSandboxCompany::Txns(const TSbTxnFilter& f) {
    QString where = QStringLiteral("type = ?");
    QVariantList binds{f.Type};
    auto inList = [&](const QString& column, const QStringList& values) {
        QStringList marks;
        for (const QString& v : values) {
            marks << QStringLiteral("?");
            binds << v;
        }
        where += u" AND " + column + u" IN (" + marks.join(u',') + u')';
    };
    if (!f.TxnIDs.isEmpty())
        inList(QStringLiteral("txn_id"), f.TxnIDs);
    if (!f.RefNumbers.isEmpty())
        inList(QStringLiteral("ref_number"), f.RefNumbers);
    if (f.FromDate) {
        where += QStringLiteral(" AND txn_date >= ?");
        binds << f.FromDate->toString(u"yyyy-MM-dd");
    }
    if (f.ToDate) {
        where += QStringLiteral(" AND txn_date <= ?");
        binds << f.ToDate->toString(u"yyyy-MM-dd");
    }
    QString selected =
        u"SELECT txn_id FROM txns WHERE " + where + u" ORDER BY txn_date, txn_number";
    if (f.MaxReturned > 0)
        selected += u" LIMIT " + QString::number(f.MaxReturned);

    QSqlQuery q(m_db);
    q.setForwardOnly(true);
    q.prepare(
        QStringLiteral("SELECT txn_id, type, txn_number, txn_date, ref_number, memo, account_id, "
                       "payee_id, cents, to_be_printed, is_adjustment, cleared, time_created, "
                       "time_modified, edit_seq FROM txns WHERE txn_id IN (") +
        selected + u") ORDER BY txn_date, txn_number");
    for (const QVariant& v : binds)
        q.addBindValue(v);
    if (!q.exec())
        Fail(QStringLiteral("The company file cannot be read"), q.lastError());
    std::vector<TSbTxn> out;
    QHash<QString, size_t> index;
    while (q.next()) {
        TSbTxn t;
        t.TxnID = q.value(0).toString();
        t.Type = q.value(1).toString();
        t.TxnNumber = q.value(2).toInt();
        t.TxnDate = QDate::fromString(q.value(3).toString(), u"yyyy-MM-dd");
        t.RefNumber = q.value(4).toString();
        t.Memo = q.value(5).toString();
        t.AccountID = q.value(6).toString();
        t.PayeeID = q.value(7).toString();
        t.Cents = q.value(8).toLongLong();
        t.IsToBePrinted = ToOptionalBool(q.value(9));
        t.IsAdjustment = ToOptionalBool(q.value(10));
        t.Cleared = q.value(11).toString();
        t.TimeCreated = q.value(12).toString();
        t.TimeModified = q.value(13).toString();
        t.EditSequence = q.value(14).toString();
        index.insert(t.TxnID, out.size());
        out.push_back(std::move(t));
    }
    if (!f.IncludeLines || out.empty())
        return out;
    QSqlQuery l(m_db);
    l.setForwardOnly(true);
    l.prepare(QStringLiteral("SELECT txn_id, txn_line_id, kind, account_id, entity_id, class_id, "
                             "customer_id, cents, memo, check_number, billable, cleared FROM "
                             "txn_lines WHERE txn_id IN (") +
              selected + u") ORDER BY txn_id, seq");
    for (const QVariant& v : binds)
        l.addBindValue(v);
    if (!l.exec())
        Fail(QStringLiteral("The company file cannot be read"), l.lastError());
    while (l.next()) {
        const auto it = index.constFind(l.value(0).toString());
        if (it == index.cend())
            continue;
        TSbTxnLine line;
        line.TxnLineID = l.value(1).toString();
        line.Kind = l.value(2).toString();
        line.AccountID = l.value(3).toString();
        line.EntityID = l.value(4).toString();
        line.ClassID = l.value(5).toString();
        line.CustomerID = l.value(6).toString();
        if (!l.value(7).isNull())
            line.Cents = l.value(7).toLongLong();
        line.Memo = l.value(8).toString();
        line.CheckNumber = l.value(9).toString();
        line.BillableStatus = l.value(10).toString();
        line.Cleared = l.value(11).toString();
        out[*it].Lines.push_back(std::move(line));
    }
    return out;
}

std::optional<TSbTxn> TQBSandboxCompany::FindTxn(const QString& txnID, bool withLines) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("SELECT type FROM txns WHERE txn_id = ?"));
    q.addBindValue(txnID);
    if (!q.exec())
        Fail(QStringLiteral("The company file cannot be read"), q.lastError());
    if (!q.next())
        return std::nullopt;
    TSbTxnFilter f;
    f.Type = q.value(0).toString();
    f.TxnIDs << txnID;
    f.IncludeLines = withLines;
    std::vector<TSbTxn> found = Txns(f);
    if (found.empty())
        return std::nullopt;
    return std::move(found.front());
}

std::vector<TSbTxn> TQBSandboxCompany::TxnsByNumber(const QString& number) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral(
        "SELECT txn_id FROM txns WHERE (type <> 'Deposit' AND ref_number = ?) OR (type = "
        "'Deposit' AND txn_id IN (SELECT txn_id FROM txn_lines WHERE check_number = ?)) ORDER BY "
        "rowid"));
    q.addBindValue(number);
    q.addBindValue(number);
    if (!q.exec())
        Fail(QStringLiteral("The company file cannot be read"), q.lastError());
    QStringList ids;
    while (q.next())
        ids << q.value(0).toString();
    std::vector<TSbTxn> out;
    for (const QString& id : ids)
        if (auto t = FindTxn(id, false))
            out.push_back(std::move(*t));
    return out;
}

void TQBSandboxCompany::Touch(const QString& txnID) {
    // Seconds of the clock, as QuickBooks writes them, but always higher
    // than before: two changes within one second must still differ.
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE txns SET time_modified = ?, edit_seq = CAST(MAX(?, "
                             "CAST(edit_seq AS INTEGER) + 1) AS TEXT) WHERE txn_id = ?"));
    q.addBindValue(TimeStamp());
    q.addBindValue(EditSequenceNow().toLongLong());
    q.addBindValue(txnID);
    if (!q.exec())
        Fail(QStringLiteral("The transaction cannot be changed"), q.lastError());
}

void TQBSandboxCompany::SetTxnMemo(const QString& txnID, const QString& memo) {
    QSqlQuery q(m_db);
    q.prepare(QStringLiteral("UPDATE txns SET memo = ? WHERE txn_id = ?"));
    q.addBindValue(OptionalText(memo));
    q.addBindValue(txnID);
    if (!q.exec())
        Fail(QStringLiteral("The transaction cannot be changed"), q.lastError());
    Touch(txnID);
}

bool TQBSandboxCompany::DeleteTxn(const QString& txnID) {
    QSqlQuery lines(m_db);
    lines.prepare(QStringLiteral("DELETE FROM txn_lines WHERE txn_id = ?"));
    lines.addBindValue(txnID);
    QSqlQuery txn(m_db);
    txn.prepare(QStringLiteral("DELETE FROM txns WHERE txn_id = ?"));
    txn.addBindValue(txnID);
    if (!lines.exec() || !txn.exec())
        Fail(QStringLiteral("The transaction cannot be deleted"),
             lines.lastError().isValid() ? lines.lastError() : txn.lastError());
    return txn.numRowsAffected() > 0;
}

void TQBSandboxCompany::VoidTxn(const QString& txnID) {
    QSqlQuery q(m_db);
    // A voided transaction keeps its number and payee; amounts become 0.00.
    q.prepare(QStringLiteral(
        "UPDATE txns SET cents = 0, memo = CASE WHEN memo IS NULL OR memo NOT LIKE 'VOID:%' "
        "THEN 'VOID: ' || COALESCE(memo, '') ELSE memo END WHERE txn_id = ?"));
    q.addBindValue(txnID);
    if (!q.exec())
        Fail(QStringLiteral("The transaction cannot be voided"), q.lastError());
    Touch(txnID);
    QSqlQuery l(m_db);
    l.prepare(
        QStringLiteral("UPDATE txn_lines SET cents = 0 WHERE txn_id = ? AND cents IS NOT NULL"));
    l.addBindValue(txnID);
    if (!l.exec())
        Fail(QStringLiteral("The transaction cannot be voided"), l.lastError());
}

bool TQBSandboxCompany::SetCleared(const QString& txnID, const QString& txnLineID,
                                   const QString& status) {
    QSqlQuery q(m_db);
    if (txnLineID.isEmpty()) {
        q.prepare(QStringLiteral("UPDATE txns SET cleared = ? WHERE txn_id = ?"));
        q.addBindValue(status);
        q.addBindValue(txnID);
    } else {
        q.prepare(QStringLiteral(
            "UPDATE txn_lines SET cleared = ? WHERE txn_id = ? AND txn_line_id = ?"));
        q.addBindValue(status);
        q.addBindValue(txnID);
        q.addBindValue(txnLineID);
    }
    if (!q.exec())
        Fail(QStringLiteral("The cleared status cannot be changed"), q.lastError());
    // Clearing is a change like any other: whoever read the transaction
    // before must read it again before changing it.
    if (q.numRowsAffected() == 0)
        return false;
    Touch(txnID);
    return true;
}
