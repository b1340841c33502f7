// The "Bureau" tab: the company map of the run ledger in a grid, a row
// editor below it (a row started from the payroll list's current company,
// the accounts picked from its company file's lists, fetched from
// QuickBooks; a row whose accounts the file does not hold is refused when
// saved), and "Run bureau" (or "Preview bureau") over a check-date period
// with the report across the companies shown and printed. Everything that reads the ledger or
// QuickBooks runs on the window's run thread.
#pragma once

#include "payroll/OrvData.h"
#include "runs/BureauRun.h"
#include "runs/RunThread.h"
#include "ui/RunTab.h"

#include <QWidget>
#include <optional>

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
    // The payroll list's current company; none when no list is loaded.
    std::function<std::optional<TOrvCompanyDef>()> CurrentCompany;
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
    // Starts a row for the payroll list's current company.
    void AddCurrentCompany();
    // The file dialog for the editor's company file.
    void BrowseCompanyFile();
    // The editor's company file's accounts into the account lists.
    void FetchAccounts();
    // Checks the editor's row against its company file, then adds or
    // replaces it.
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
    QLineEdit* edCompany;
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
    QAction* AddCompanyAction;
    QAction* BrowseFileAction;
    QAction* FetchAccountsAction;
    QAction* SaveRowAction;
    QAction* RemoveRowAction;
    QAction* RunAction;
    QAction* PreviewAction;
    QAction* PrintReportAction;

Q_SIGNALS:
    void MapLoaded();
    void AccountsLoaded();
    // A row was saved, refused or removed; the map is read again after it.
    void RowEnded();
    void BureauEnded();

private:
    void ShowMap(const QList<TBureauMapEntry>& map);
    void EditRow(const TBureauMapEntry& entry);

    TBureauTabSources m_sources;
    TMemTable* m_mapTable;
    QList<TBureauMapEntry> m_map;
    QList<TBureauCompanyResult> m_lastRun;
    QString m_reportHtml; // the last run's, shown and printed
};
