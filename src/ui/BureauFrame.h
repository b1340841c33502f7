// The "Bureau" tab: the company map of the run ledger in a grid (the Orvane
// company's name, once known, and the QuickBooks company of each row), a
// row editor below it (a new row started by picking the Orvane company from
// the service's list, the company file from the file dialog, the accounts
// from that file's lists, fetched from QuickBooks; a row whose accounts the
// file does not hold is refused when saved, and so is a new row of a
// company mapped already), and "Run bureau" (or "Preview bureau") over a
// check-date period with the report across the companies shown and
// printed. Everything that reads the ledger, the service or QuickBooks runs
// on the window's run thread.
#pragma once

#include "payroll/OrvData.h"
#include "runs/BureauRun.h"
#include "runs/RunThread.h"
#include "table/TableColumns.h"
#include "ui/RunTab.h"

#include <QHash>
#include <QWidget>

class QAction;
class QCheckBox;
class QComboBox;
class QDateEdit;
class QLineEdit;
class QTextBrowser;
class TMemTable;
class TReDBGrid;

// What the tab takes from the window.
struct TBureauTabSources {
    // The connection settings of the payroll service.
    std::function<TOrvAPIConnectionParam()> Connection;
    // The saved export options (batch sizes, GL tags) and QuickBooks'
    // request processor.
    std::function<TBureauRunOptions()> Defaults;
};

// "Post the new payrolls of 12 companies into their QuickBooks files?"
QString RunBureauQuestion(int companies);

class TBureauFrm : public TRunTab {
    Q_OBJECT
public:
    explicit TBureauFrm(QWidget* parent = nullptr);
    ~TBureauFrm() override;

    // runs: the window's run thread (not owned).
    void Init(TRunThread& runs, TBureauTabSources sources);

    // Reads the map again.
    void Refresh() override;
    // The service's companies into the company list.
    void FetchCompanies();
    // Starts a new row for the Orvane company (its internal number).
    void StartRow(const QString& orvaneCompany);
    // The file dialog for the editor's company file.
    void BrowseCompanyFile();
    // The editor's company file's accounts into the account lists.
    void FetchAccounts();
    // Checks the editor's row against its company file, then replaces the
    // row it was read from, or adds a new one (refused when the company is
    // mapped already).
    void SaveRow();
    void RemoveRow();
    // A preview posts nothing and reports what the run would post; a run
    // asks first.
    void RunBureau(bool preview);
    void PrintReport();
    void UpdateActions() override;

    // The editor as a map row.
    TBureauMapEntry EditedRow() const;
    const QList<TBureauCompanyResult>& LastRun() const { return m_lastRun; }

    TReDBGrid* MapGrid;
    // The Orvane companies by name; an item's data is the internal number.
    QComboBox* cbCompany;
    QLineEdit* edCompanyFile;
    QComboBox* cbCashAccount;
    QComboBox* cbLiabilityAccount;
    QComboBox* cbChecksKind;
    QCheckBox* chkPostGL;
    QCheckBox* chkClear;
    QCheckBox* chkIncludeDD;
    QCheckBox* chkPayeeNames;
    QDateEdit* edFrom;
    QDateEdit* edTo;
    QTextBrowser* ReportView;
    QAction* RefreshAction;
    QAction* GetCompaniesAction;
    QAction* BrowseFileAction;
    QAction* FetchAccountsAction;
    QAction* SaveRowAction;
    QAction* RemoveRowAction;
    QAction* RunAction;
    QAction* PreviewAction;
    QAction* PrintReportAction;

Q_SIGNALS:
    void MapLoaded();
    void CompaniesLoaded();
    void AccountsLoaded();
    // A row was saved, refused or removed; the map is read again after it.
    void RowEnded();
    void BureauEnded();

private:
    // The map grid's columns; the company's name as far as it is known.
    TTableColumns<TBureauMapEntry> MapColumns() const;
    void ShowMap(const QList<TBureauMapEntry>& map);
    // The entry into the editor; replacing: saved over the entry's row.
    void EditRow(const TBureauMapEntry& entry, bool replacing);
    // "Harbor Lane Bakery (Orvane 34)", or the number alone while its name
    // is not known.
    QString CompanyText(const QString& orvaneCompany) const;
    void SelectCompany(const QString& orvaneCompany);

    TBureauTabSources m_sources;
    TMemTable* m_mapTable;
    QList<TBureauMapEntry> m_map;
    QList<TBureauCompanyResult> m_lastRun;
    // Orvane companies' names by internal number, from the service's list
    // and the bureau runs.
    QHash<QString, QString> m_companyNames;
    // The company whose row the editor shows; empty: a new row.
    QString m_editedRow;
    QString m_reportHtml; // the last run's, shown and printed
};
