// TReDBGrid: the read-only grid over an in-memory table that the payroll
// selection panels use. Beyond a table view it sorts by title clicks (Ctrl
// keeps the other sort columns), filters through TFilterDialog from the
// corner button or Ctrl+R, finds with Ctrl+F, keeps the table's current
// record and the grid's current row in step, and keeps multi-selected rows
// by bookmark across sorting and filtering. Tab moves the focus out of the
// grid, never the current cell.
//
// Placing it: SetTable(table) after every load (the grid does not own the
// table, which may go first); SetColumnEntries for configured columns;
// SetMultiSelect(true) for the payroll list; SelectedBookmarks() gives the
// selected rows in table order.
#pragma once

#include "table/MemTable.h"
#include "table/MemTableModel.h"
#include "table/vlxdbcommon.h"

#include <QPointer>
#include <QTableView>
#include <vector>

class QAbstractButton;
class TFilterDialog;
class TFindDialog;

// The table writes like-wildcards as "*", the filter dialog as "%".
QString TableToDialogWildcards(QString filter);
QString DialogToTableWildcards(QString filter);

class TReDBGrid : public QTableView {
    Q_OBJECT
public:
    explicit TReDBGrid(QWidget* parent = nullptr);
    ~TReDBGrid() override;

    // The table shown; null shows nothing. Not owned.
    void SetTable(TMemTable* table);
    TMemTable* Table() const { return m_model->Table(); }
    TMemTableModel* Model() const { return m_model; }

    // Configured columns, each "FIELD<tab>...<tab>Title[<tab>...]": only
    // these fields, in this order, under these titles (an empty title: the
    // field's label). Empty: every visible field of the table.
    void SetColumnEntries(const QStringList& entries);
    QStringList ColumnEntries() const { return m_columnEntries; }

    // Ctrl+F opens the find dialog. Default on.
    bool LocateDlg() const { return m_locateDlg; }
    void SetLocateDlg(bool on) { m_locateDlg = on; }
    // Title clicks sort (turning on also turns TitleButtons on). Default on.
    bool Sorting() const { return m_sorting; }
    void SetSorting(bool on);
    // Hints start with the record count. Default on; hints themselves are
    // off until SetShowHint(true).
    bool RecordCountHintEnabled() const { return m_recordCountHint; }
    void SetRecordCountHintEnabled(bool on) { m_recordCountHint = on; }
    bool ShowHint() const { return m_showHint; }
    void SetShowHint(bool on) { m_showHint = on; }
    // The filter button in the top-left corner, and Ctrl+R. Default on.
    bool FilterDlg() const { return m_filterButton != nullptr; }
    void SetFilterDlg(bool on);
    // Titles act as buttons. Default on.
    bool TitleButtons() const;
    void SetTitleButtons(bool on);
    // Several selected rows (click, Shift+click, Ctrl+click) or one.
    // Default off.
    void SetMultiSelect(bool on);
    bool MultiSelect() const { return selectionMode() == ExtendedSelection; }

    // The selected rows' records in the table's current order.
    QList<TBookmark> SelectedBookmarks() const;

    // The corner button's action: the filter dialog (window-modal, answered
    // through OpenFilterDialog()), then the filter it builds. A filter the
    // table cannot evaluate goes to the error display; the rows stay.
    void ExecuteFilter();
    TFilterDialog* OpenFilterDialog() const;
    // Ctrl+F: the find dialog over the grid's columns, preset to the
    // current column; it stays open. A record found becomes the current and
    // the only selected row, so that what acts on the selection (Run, on
    // the payroll grid) takes the record the user found.
    void ShowFindDialog();
    TFindDialog* FindDialog() const { return m_findDialog; }

    QAbstractButton* FilterButton() const { return m_filterButton; }
    // A filter is in force (the corner shows "FILTERED").
    bool FilterActive() const;
    // The tool tip: "Record Count: N", then "; " and the grid's own tip.
    QString HintText() const;

    // How a column is drawn: its sort, and whether it holds a blob field.
    TFieldSortState ColumnSortState(int column) const;
    bool ColumnIsBlob(int column) const;
    // Sort images and colours are shown (Sorting on, a table bound).
    bool SortShown() const { return m_sorting && Table(); }

Q_SIGNALS:
    // A title was clicked (after any sorting).
    void TitleClicked(int column);

protected:
    void keyPressEvent(QKeyEvent* event) override;
    bool viewportEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void currentChanged(const QModelIndex& current, const QModelIndex& previous) override;
    void updateGeometries() override;

private:
    void OnTitleClicked(int column);
    void OnAboutToReset();
    void OnReset();
    void OnTableCurrentChanged();
    void SelectCurrentRecord();
    void MoveToCurrentRecord(QItemSelectionModel::SelectionFlags flags);
    void ApplyFilter(const QString& dialogFilter);
    QStringList OfferedFields() const;
    void UpdateFilterButton();
    void UpdateColumnStates();

    TMemTableModel* m_model;
    QStringList m_columnEntries;
    bool m_locateDlg = true;
    bool m_sorting = true;
    bool m_recordCountHint = true;
    bool m_showHint = false;
    QAbstractButton* m_filterButton = nullptr;
    QPointer<TFilterDialog> m_filterDialog;
    TFindDialog* m_findDialog = nullptr;
    QPointer<TMemTable> m_connectedTable;
    Qt::KeyboardModifiers m_releaseModifiers;

    std::vector<TFieldSortState> m_columnSort;
    std::vector<bool> m_columnBlob;
    // Across a model reset: the selected records and the current column.
    std::vector<TBookmark> m_keptSelection;
    int m_keptColumn = 0;
    std::vector<int> m_keptFields; // field per column
    std::vector<int> m_keptWidths;
    bool m_syncing = false;
};
