#include "payroll/OrvPayrollLists.h"

#include "base/RegionalSettings.h"
#include "base/vlxTextUtils.h"
#include "base/ztFormat.h"

#include <QThread>

const QString OrvClientsQuery = QStringLiteral("qClList.rwq");
const QString OrvCompaniesQuery = QStringLiteral("qCoList.rwq");
const QString OrvPayrollsQuery = QStringLiteral("qPrList.rwq");

namespace {

struct TColumnLabel {
    const char* Field;
    const char* Label; // null: hidden
};

// A column the service did not send is not an error here; reading the
// selection names what is missing.
void SetColumns(TMemTable& table, std::initializer_list<TColumnLabel> columns) {
    for (const TColumnLabel& column : columns) {
        const QString field = QString::fromUtf8(column.Field);
        if (table.FindField(field) < 0)
            continue;
        if (column.Label)
            table.SetDisplayLabel(field, QString::fromUtf8(column.Label));
        else
            table.SetVisible(field, false);
    }
}

qint32 IntegerValue(const TMemTable& table, const QString& field) {
    const QVariant value = table.Value(field);
    bool ok = false;
    const qint32 number = value.toInt(&ok);
    if (!ok)
        throw EztException(QStringLiteral("The Orvane list holds no number in the column ") +
                           field);
    return number;
}

QDateTime DateTimeValue(const TMemTable& table, const QString& field) {
    const QVariant value = table.Value(field);
    if (value.typeId() == QMetaType::QDate)
        return value.toDate().startOfDay();
    const QDateTime dateTime = value.toDateTime();
    if (!dateTime.isValid())
        throw EztException(QStringLiteral("The Orvane list holds no date in the column ") + field);
    return dateTime;
}

} // namespace

class TOrvPayrollLists::TReplacing {
public:
    explicit TReplacing(TOrvPayrollLists& lists) : m_lists(lists) { ++m_lists.m_loading; }
    ~TReplacing() {
        if (--m_lists.m_loading == 0)
            Q_EMIT m_lists.TablesReplaced();
    }
    TReplacing(const TReplacing&) = delete;
    TReplacing& operator=(const TReplacing&) = delete;

private:
    TOrvPayrollLists& m_lists;
};

TOrvPayrollLists::TOrvPayrollLists(IRedirectionPtr redirection)
    : m_redirection(std::move(redirection)) {}

QString TOrvPayrollLists::QueryPath(const QString& fileName) const {
    OrvAssert(m_redirection != nullptr);
    return m_redirection->GetDirectory(QStringLiteral("Queries")) + fileName;
}

void TOrvPayrollLists::LoadCompanies(IOrvAPIConnection& connection, IProgressIndicator& progress) {
    const TReplacing replacing(*this);
    m_payrolls.reset(); // it links to the company table
    m_companies.reset();
    m_clients.reset();
    std::unique_ptr<TMemTable> clients;
    std::unique_ptr<TMemTable> companies;
    progress.StartProgress(QStringLiteral("Getting company list"), 2);
    try {
        clients = connection.RunQuery(QueryPath(OrvClientsQuery), nullptr);
        progress.SetProgress(1);
        companies = connection.RunQuery(QueryPath(OrvCompaniesQuery), nullptr);
        progress.SetProgress(2);
    } catch (...) {
        progress.EndProgress();
        throw;
    }
    progress.EndProgress();

    SetColumns(*clients,
               {{"CUSTOM_CLIENT_NUMBER", "Number"}, {"NAME", "Name"}, {"CL_NBR", "Internal Cl#"}});
    SetColumns(*companies, {{"CUSTOM_COMPANY_NUMBER", "Number"},
                            {"NAME", "Name"},
                            {"CO_NBR", "Internal Co#"},
                            {"CL_NBR", nullptr}});
    companies->SetMasterLink(clients.get(), QStringLiteral("CL_NBR"), QStringLiteral("CL_NBR"));
    clients->First();
    companies->First();
    m_clients = std::move(clients);
    m_companies = std::move(companies);
}

void TOrvPayrollLists::LoadPayrolls(IOrvAPIConnection& connection, IProgressIndicator& progress,
                                    const QDate& from, const QDate& to) {
    const TReplacing replacing(*this);
    m_payrolls.reset();
    LoadCompanies(connection, progress);
    IRpcStructPtr params = NewRpcStruct();
    params->AddItem(QStringLiteral("CHECK_DATE_FROM"), DateToStr(from));
    params->AddItem(QStringLiteral("CHECK_DATE_TO"), DateToStr(to));
    std::unique_ptr<TMemTable> payrolls = connection.RunQuery(QueryPath(OrvPayrollsQuery), params);
    SetColumns(*payrolls, {{"CHECK_DATE", "Check Date"},
                           {"RUN_NUMBER", "Run Number"},
                           {"PAYROLL_TYPE", "Type"},
                           {"STATUS", "Status"},
                           {"PR_NBR", "Internal Pr#"},
                           {"CL_NBR", nullptr},
                           {"CO_NBR", nullptr}});
    payrolls->SetMasterLink(m_companies.get(), QStringLiteral("CL_NBR;CO_NBR"),
                            QStringLiteral("CL_NBR;CO_NBR"));
    payrolls->First();
    m_payrolls = std::move(payrolls);
}

bool TOrvPayrollLists::CompaniesReady() const {
    return m_clients && m_companies && m_clients->RecNo() >= 0 && m_companies->RecNo() >= 0;
}

bool TOrvPayrollLists::Ready() const {
    return CompaniesReady() && m_payrolls && m_payrolls->RecordCount() > 0;
}

TOrvCompanyDef TOrvPayrollLists::GetSelectedCompany() const {
    OrvAssert(CompaniesReady());
    TOrvCompanyDef company;
    company.ClNbr = IntegerValue(*m_companies, QStringLiteral("CL_NBR"));
    company.CoNbr = IntegerValue(*m_companies, QStringLiteral("CO_NBR"));
    company.CompanyNumber = m_companies->Value(QStringLiteral("CUSTOM_COMPANY_NUMBER")).toString();
    company.CompanyName = m_companies->Value(QStringLiteral("NAME")).toString();
    return company;
}

TOrvPayrollsDef TOrvPayrollLists::GetSelectedPayrolls(const QSet<TBookmark>& selected) const {
    OrvAssert(Ready());
    TOrvPayrollsDef result;
    result.Company = GetSelectedCompany();
    TMemTable& payrolls = *m_payrolls;
    auto take = [&] {
        TPrDef payroll;
        payroll.CheckDate = DateTimeValue(payrolls, QStringLiteral("CHECK_DATE"));
        payroll.RunNumber = IntegerValue(payrolls, QStringLiteral("RUN_NUMBER"));
        payroll.PrNbr = IntegerValue(payrolls, QStringLiteral("PR_NBR"));
        result.Payrolls.push_back(payroll);
    };
    const TBookmark current = payrolls.Bookmark();
    payrolls.DisableControls();
    try {
        if (!selected.isEmpty()) {
            for (int position = 0; position < payrolls.RecordCount(); ++position) {
                payrolls.SetRecNo(position);
                if (selected.contains(payrolls.Bookmark()))
                    take();
            }
        }
        // Rows selected under another company are not this company's
        // payrolls; the current row is what the user sees chosen.
        if (result.Payrolls.empty()) {
            payrolls.GotoBookmark(current);
            take();
        }
    } catch (...) {
        payrolls.GotoBookmark(current);
        payrolls.EnableControls();
        throw;
    }
    payrolls.GotoBookmark(current);
    payrolls.EnableControls();
    return result;
}

void TOrvPayrollLists::MakeCompanyCurrent(qint32 coNbr) {
    OrvAssert(CompaniesReady() && m_payrolls != nullptr);
    // A company belongs to one client: find its client first, so the linked
    // company table shows it.
    TMemTable& clients = *m_clients;
    TMemTable& companies = *m_companies;
    for (int c = 0; c < clients.RecordCount(); ++c) {
        clients.SetRecNo(c);
        for (int i = 0; i < companies.RecordCount(); ++i) {
            companies.SetRecNo(i);
            if (IntegerValue(companies, QStringLiteral("CO_NBR")) == coNbr)
                return;
        }
    }
    throw EztException(
        Format(QStringLiteral("Company %d is not in the Orvane company list"), {coNbr}));
}

TOrvPayrollsDef TOrvPayrollLists::CompanyPayrolls(qint32 coNbr) {
    MakeCompanyCurrent(coNbr);
    TMemTable& payrolls = *m_payrolls;
    if (payrolls.RecordCount() == 0)
        return {GetSelectedCompany(), {}};
    QSet<TBookmark> all;
    for (int i = 0; i < payrolls.RecordCount(); ++i) {
        payrolls.SetRecNo(i);
        all.insert(payrolls.Bookmark());
    }
    payrolls.First();
    return GetSelectedPayrolls(all);
}

TOrvPayrollsDef TOrvPayrollLists::SelectByNumbers(qint32 coNbr, const QList<qint32>& prNbrs) {
    MakeCompanyCurrent(coNbr);
    if (prNbrs.isEmpty())
        throw EztException(QStringLiteral("No payroll was chosen"));
    QSet<TBookmark> selected;
    QList<qint32> missing = prNbrs;
    TMemTable& payrolls = *m_payrolls;
    for (int i = 0; i < payrolls.RecordCount(); ++i) {
        payrolls.SetRecNo(i);
        if (missing.removeAll(IntegerValue(payrolls, QStringLiteral("PR_NBR"))) > 0)
            selected.insert(payrolls.Bookmark());
    }
    if (!missing.isEmpty())
        throw EztException(Format(
            QStringLiteral("Payroll %d is not among the payrolls of company %d in the period"),
            {missing.front(), coNbr}));
    payrolls.First();
    return GetSelectedPayrolls(selected);
}

void TOrvPayrollLists::LoadPayrollList(const TOrvAPIConnectionParam& param,
                                       const ICommonLoggerPtr& logger, IRunProgress& progress,
                                       const QDate& from, const QDate& to,
                                       const TOrvAPIEnvironment& environment,
                                       const IOrvAPIConnectionPtr& session) {
    const TWaitGuard wait(progress, QStringLiteral("Getting payroll list"));
    const TReplacing replacing(*this);
    m_payrolls.reset();
    m_companies.reset();
    m_clients.reset();
    const IOrvAPIConnectionPtr connection =
        session ? session : CreateOrvAPIConnection(param, logger, environment);
    TRunStageProgress companies(progress);
    LoadPayrolls(*connection, companies, from, to);
}

TOrvPayrollTables TOrvPayrollLists::TakeTables(QThread* thread) {
    TOrvPayrollTables tables{std::move(m_clients), std::move(m_companies), std::move(m_payrolls)};
    for (TMemTable* table : {tables.Clients.get(), tables.Companies.get(), tables.Payrolls.get()})
        if (table)
            table->moveToThread(thread);
    return tables;
}

void TOrvPayrollLists::Adopt(TOrvPayrollTables tables) {
    const TReplacing replacing(*this);
    // The payrolls link to the companies, the companies to the clients.
    m_payrolls.reset();
    m_companies.reset();
    m_clients.reset();
    m_clients = std::move(tables.Clients);
    m_companies = std::move(tables.Companies);
    m_payrolls = std::move(tables.Payrolls);
}

QList<TOrvCompanyDef> TOrvPayrollLists::CompanyList() {
    OrvAssert(m_clients && m_companies);
    TMemTable& clients = *m_clients;
    TMemTable& companies = *m_companies;
    const TBookmark client = clients.Bookmark();
    const TBookmark company = companies.Bookmark();
    QList<TOrvCompanyDef> list;
    for (int c = 0; c < clients.RecordCount(); ++c) {
        clients.SetRecNo(c);
        for (int i = 0; i < companies.RecordCount(); ++i) {
            companies.SetRecNo(i);
            TOrvCompanyDef def = GetSelectedCompany();
            def.ClientNumber = clients.Value(QStringLiteral("CUSTOM_CLIENT_NUMBER")).toString();
            def.ClientName = clients.Value(QStringLiteral("NAME")).toString();
            list << def;
        }
    }
    clients.GotoBookmark(client);
    companies.GotoBookmark(company);
    return list;
}

QStringList TOrvPayrollLists::ListText() {
    OrvAssert(m_clients && m_companies);
    QStringList lines;
    // One line per record, whatever the service sent.
    const auto text = [](const TMemTable& table, const char* field) {
        return EscapeControlCharsInLine(table.Value(QString::fromUtf8(field)).toString());
    };
    TMemTable& clients = *m_clients;
    TMemTable& companies = *m_companies;
    const TBookmark client = clients.Bookmark();
    const TBookmark company = companies.Bookmark();
    const TBookmark payroll = m_payrolls ? m_payrolls->Bookmark() : kNoBookmark;
    for (int c = 0; c < clients.RecordCount(); ++c) {
        clients.SetRecNo(c);
        lines << Format(QStringLiteral("Client %d %s %s"),
                        {IntegerValue(clients, QStringLiteral("CL_NBR")),
                         text(clients, "CUSTOM_CLIENT_NUMBER"), text(clients, "NAME")});
        for (int i = 0; i < companies.RecordCount(); ++i) {
            companies.SetRecNo(i);
            lines << Format(QStringLiteral("  Company %d %s %s"),
                            {IntegerValue(companies, QStringLiteral("CO_NBR")),
                             text(companies, "CUSTOM_COMPANY_NUMBER"), text(companies, "NAME")});
            if (!m_payrolls)
                continue;
            TMemTable& payrolls = *m_payrolls;
            for (int p = 0; p < payrolls.RecordCount(); ++p) {
                payrolls.SetRecNo(p);
                lines << Format(
                    QStringLiteral("    Payroll %d %s run %d %s %s"),
                    {IntegerValue(payrolls, QStringLiteral("PR_NBR")),
                     DateToStr(DateTimeValue(payrolls, QStringLiteral("CHECK_DATE")).date()),
                     IntegerValue(payrolls, QStringLiteral("RUN_NUMBER")),
                     text(payrolls, "PAYROLL_TYPE"), text(payrolls, "STATUS")});
            }
        }
    }
    clients.GotoBookmark(client);
    companies.GotoBookmark(company);
    if (m_payrolls)
        m_payrolls->GotoBookmark(payroll);
    return lines;
}
