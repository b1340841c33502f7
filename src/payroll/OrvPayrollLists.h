// The client, company and payroll lists of the payroll service as linked
// in-memory tables, and the user's choice among them. The grids of the
// export pages show these tables; this is everything but the widgets.
#pragma once

#include "base/vlxClasses.h"
#include "payroll/OrvData.h"
#include "payroll/orvAPIConnection.h"
#include "table/MemTable.h"

#include <QDate>
#include <QObject>
#include <QSet>
#include <memory>

class QThread;

extern const QString OrvClientsQuery;   // "qClList.rwq"
extern const QString OrvCompaniesQuery; // "qCoList.rwq"
extern const QString OrvPayrollsQuery;  // "qPrList.rwq"

// The three tables of one load, handed from the run that loaded them to the
// lists the window shows.
struct TOrvPayrollTables {
    std::unique_ptr<TMemTable> Clients;
    std::unique_ptr<TMemTable> Companies;
    std::unique_ptr<TMemTable> Payrolls;
};

class TOrvPayrollLists : public QObject {
    Q_OBJECT
public:
    // redirection: where the "Queries" folder is; lists that only adopt
    // another's tables need none.
    explicit TOrvPayrollLists(IRedirectionPtr redirection = nullptr);
    void SetRedirection(IRedirectionPtr redirection) { m_redirection = std::move(redirection); }

    // Replaces the client and company tables; on failure there are none.
    void LoadCompanies(IOrvAPIConnection& connection, IProgressIndicator& progress);
    // Replaces all three tables; the payrolls of every company whose check
    // date lies in the period, shown for the current company.
    void LoadPayrolls(IOrvAPIConnection& connection, IProgressIndicator& progress,
                      const QDate& from, const QDate& to);

    TMemTable* Clients() const { return m_clients.get(); }
    TMemTable* Companies() const { return m_companies.get(); }
    TMemTable* Payrolls() const { return m_payrolls.get(); }

    // Both tables there, each with a current row.
    bool CompaniesReady() const;
    // ... and the current company has at least one payroll.
    bool Ready() const;

    // The current company row; requires CompaniesReady.
    TOrvCompanyDef GetSelectedCompany() const;
    // The selected payroll rows of the current company in table order
    // (selected: the bookmarks of the grid's selected rows), or the current
    // payroll row when none of them is selected; requires Ready.
    TOrvPayrollsDef GetSelectedPayrolls(const QSet<TBookmark>& selected) const;

    // The chosen company and payrolls by their internal numbers, for callers
    // without grids (the command line): the company row becomes current, and
    // the payrolls come in table order. Throws when a number is not in the
    // lists; requires CompaniesReady and a payroll list.
    TOrvPayrollsDef SelectByNumbers(qint32 coNbr, const QList<qint32>& prNbrs);
    // Every payroll of the company in the loaded period, in table order (none
    // when it has none); the company row becomes current. Throws when the
    // company is not in the lists; requires CompaniesReady and a payroll list.
    TOrvPayrollsDef CompanyPayrolls(qint32 coNbr);

    // Every company of the lists, client by client, in table order; the
    // current rows are kept. Requires the client and company tables.
    QList<TOrvCompanyDef> CompanyList();

    // The path of a stored query file in the "Queries" folder.
    QString QueryPath(const QString& fileName) const;

    // Every client, company and payroll of the lists as indented lines, for
    // choosing by number where there are no grids:
    //   "Client 12 HLB Harbor Lane Bakery"
    //   "  Company 34 HLB1 Harbor Lane Bakery"
    //   "    Payroll 10091 3/8/2024 run 1 R Processed"
    // The current rows are kept.
    QStringList ListText();

    // The "Get Orvane payroll list" action: logs in, loads the three lists
    // in the run's stage "Getting payroll list", logs out. Given a session,
    // loads through it and leaves it logged in.
    void LoadPayrollList(const TOrvAPIConnectionParam& param, const ICommonLoggerPtr& logger,
                         IRunProgress& progress, const QDate& from, const QDate& to,
                         const TOrvAPIEnvironment& environment = {},
                         const IOrvAPIConnectionPtr& session = nullptr);

    // The tables, moved to the thread given (of the lists that adopt them);
    // these lists are left without tables.
    TOrvPayrollTables TakeTables(QThread* thread);
    // Replaces the tables with those of another load (none: no tables).
    void Adopt(TOrvPayrollTables tables);

Q_SIGNALS:
    // A load has replaced the tables (or, when it failed, dropped them):
    // views bind the new ones. Once per load, after it has ended.
    void TablesReplaced();

private:
    // Throws when the company is not in the lists.
    void MakeCompanyCurrent(qint32 coNbr);
    // Emits TablesReplaced when the outermost load ends, however it ends.
    class TReplacing;
    int m_loading = 0;

    IRedirectionPtr m_redirection;
    std::unique_ptr<TMemTable> m_clients;
    std::unique_ptr<TMemTable> m_companies;
    std::unique_ptr<TMemTable> m_payrolls;
};
