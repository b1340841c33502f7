#include "ui/dbcomp.h"

#include "base/vlxErrorDisplay.h"
#include "base/ztFormat.h"
#include "ui/DBGridGlyphs.h"
#include "ui/DBGridParts.h"
#include "ui/FindDialog.h"
#include "ui/SFilterDialog.h"

#include <QHelpEvent>
#include <QKeyEvent>
#include <QToolTip>
#include <algorithm>

QString TableToDialogWildcards(QString filter) {
    return filter.replace(QLatin1String("*'"), QLatin1String("%'"))
        .replace(QLatin1String("'*"), QLatin1String("'%"));
}

QString DialogToTableWildcards(QString filter) {
    return filter.replace(QLatin1String("%'"), QLatin1String("*'"))
        .replace(QLatin1String("'%"), QLatin1String("'*"));
}

TReDBGrid::TReDBGrid(QWidget* parent)
    : QTableView(parent), m_model(new TMemTableModel(nullptr, this)) {
    setHorizontalHeader(new TReDBGridTitles(this));
    setVerticalHeader(new TReDBGridIndicator(this));
    setItemDelegate(new TReDBGridDelegate(this));
    setModel(m_model);
    setEditTriggers(NoEditTriggers);
    setSelectionBehavior(SelectRows);
    setSelectionMode(SingleSelection);
    // Tab leaves the grid: moving the current cell would replace a
    // multi-selection with one row.
    setTabKeyNavigation(false);
    setCornerButtonEnabled(false);
    setWordWrap(false);
    horizontalHeader()->setHighlightSections(false);
    horizontalHeader()->setSectionsClickable(true);
    horizontalHeader()->viewport()->installEventFilter(this);
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setDefaultSectionSize(fontMetrics().height() + 6);
    connect(horizontalHeader(), &QHeaderView::sectionClicked, this, &TReDBGrid::OnTitleClicked);
    connect(m_model, &QAbstractItemModel::modelAboutToBeReset, this, &TReDBGrid::OnAboutToReset);
    connect(m_model, &QAbstractItemModel::modelReset, this, &TReDBGrid::OnReset);
    SetFilterDlg(true);
}

TReDBGrid::~TReDBGrid() {
    // The table outlives the grid's parts being torn down: it must not reach them.
    disconnect(m_model, nullptr, this, nullptr);
    if (m_connectedTable)
        disconnect(m_connectedTable, nullptr, this, nullptr);
}

void TReDBGrid::SetTable(TMemTable* table) {
    if (m_connectedTable)
        disconnect(m_connectedTable, nullptr, this, nullptr);
    m_connectedTable = table;
    if (m_findDialog)
        m_findDialog->hide();
    // Rows selected in another table mean nothing in this one.
    selectionModel()->clear();
    m_model->SetTable(table);
    if (table)
        connect(table, &TMemTable::CurrentChanged, this, &TReDBGrid::OnTableCurrentChanged);
}

void TReDBGrid::SetColumnEntries(const QStringList& entries) {
    m_columnEntries = entries;
    std::vector<TMemTableColumn> columns;
    for (const QString& entry : entries) {
        const QStringList parts = entry.split(u'\t');
        columns.push_back({parts.at(0).trimmed(), parts.value(2)});
    }
    m_model->SetColumns(columns);
}

void TReDBGrid::SetSorting(bool on) {
    m_sorting = on;
    if (on)
        SetTitleButtons(true);
    horizontalHeader()->viewport()->update();
    viewport()->update();
}

bool TReDBGrid::TitleButtons() const {
    return horizontalHeader()->sectionsClickable();
}

void TReDBGrid::SetTitleButtons(bool on) {
    horizontalHeader()->setSectionsClickable(on);
}

void TReDBGrid::SetFilterDlg(bool on) {
    if (on == FilterDlg())
        return;
    if (!on) {
        delete m_filterButton;
        m_filterButton = nullptr;
        return;
    }
    m_filterButton = new TReDBGridCornerButton(this);
    m_filterButton->setIconSize(QSize(8, 19));
    m_filterButton->setToolTip(QStringLiteral("Filter records (Ctrl+R)"));
    connect(m_filterButton, &QAbstractButton::clicked, this, &TReDBGrid::ExecuteFilter);
    UpdateFilterButton();
    updateGeometries();
}

void TReDBGrid::SetMultiSelect(bool on) {
    setSelectionMode(on ? ExtendedSelection : SingleSelection);
}

QList<TBookmark> TReDBGrid::SelectedBookmarks() const {
    const TMemTable* table = Table();
    if (!table)
        return {};
    std::vector<int> rows;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.push_back(row);
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    QList<TBookmark> bookmarks;
    bookmarks.reserve(qsizetype(rows.size()));
    for (const int row : rows)
        bookmarks << table->BookmarkAt(row);
    return bookmarks;
}

bool TReDBGrid::FilterActive() const {
    const TMemTable* table = Table();
    return table && table->Filtered() && !table->Filter().trimmed().isEmpty();
}

QString TReDBGrid::HintText() const {
    const TMemTable* table = Table();
    if (!m_recordCountHint || !table || !table->Active())
        return toolTip();
    QString hint = Format(QStringLiteral("Record Count: %d"), {table->RecordCount()});
    if (!toolTip().isEmpty())
        hint += QStringLiteral("; ") + toolTip();
    return hint;
}

TFieldSortState TReDBGrid::ColumnSortState(int column) const {
    return column >= 0 && size_t(column) < m_columnSort.size() ? m_columnSort[size_t(column)]
                                                               : fssNone;
}

bool TReDBGrid::ColumnIsBlob(int column) const {
    return column >= 0 && size_t(column) < m_columnBlob.size() && m_columnBlob[size_t(column)];
}

// ---- sorting ----

void TReDBGrid::OnTitleClicked(int column) {
    TMemTable* table = Table();
    if (m_sorting && table && table->Active() && column >= 0 && column < m_model->columnCount()) {
        try {
            ToggleFieldSort(*table, table->Field(m_model->FieldOfColumn(column)).Name,
                            m_releaseModifiers.testFlag(Qt::ControlModifier));
        } catch (...) {
            PostToErrorDisplay(std::current_exception());
        }
    }
    Q_EMIT TitleClicked(column);
}

void TReDBGrid::UpdateColumnStates() {
    const size_t columns = size_t(m_model->columnCount());
    m_columnSort.assign(columns, fssNone);
    m_columnBlob.assign(columns, false);
    const TMemTable* table = Table();
    if (!table)
        return;
    const TSortFields sort = GetSortFields(*table);
    for (size_t c = 0; c < columns; ++c) {
        const TMemFieldDef& def = table->Field(m_model->FieldOfColumn(int(c)));
        m_columnSort[c] = FieldSortState(sort, def.Name);
        m_columnBlob[c] = !IsSortableField(def);
    }
}

// ---- keeping the grid and the table in step ----

void TReDBGrid::OnAboutToReset() {
    // The table's view is still the old one: rows still name their records.
    m_keptSelection.clear();
    m_keptColumn = std::max(currentIndex().column(), 0);
    m_keptFields.clear();
    m_keptWidths.clear();
    for (int c = 0; c < m_model->columnCount(); ++c) {
        m_keptFields.push_back(m_model->FieldOfColumn(c));
        m_keptWidths.push_back(columnWidth(c));
    }
    const TMemTable* table = Table();
    if (!table)
        return;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        for (int row = range.top(); row <= range.bottom() && row < table->RecordCount(); ++row)
            m_keptSelection.push_back(table->BookmarkAt(row));
    }
}

void TReDBGrid::OnReset() {
    UpdateColumnStates();
    UpdateFilterButton();
    std::vector<int> fields;
    for (int c = 0; c < m_model->columnCount(); ++c)
        fields.push_back(m_model->FieldOfColumn(c));
    // Sorting and filtering keep the columns as the user sized them.
    if (!fields.empty() && fields == m_keptFields) {
        for (size_t c = 0; c < fields.size(); ++c)
            setColumnWidth(int(c), m_keptWidths[c]);
    } else {
        resizeColumnsToContents();
    }

    const std::vector<TBookmark> kept = std::exchange(m_keptSelection, {});
    TMemTable* table = Table();
    if (!table || !table->Active() || table->IsEmpty() || fields.empty())
        return;
    std::vector<int> rows;
    bool dropped = false;
    for (const TBookmark bookmark : kept) {
        const int row = table->PositionOf(bookmark);
        if (row >= 0)
            rows.push_back(row);
        else
            dropped = true;
    }
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const int lastColumn = int(fields.size()) - 1;
    QItemSelection selection;
    for (size_t i = 0; i < rows.size();) {
        size_t j = i;
        while (j + 1 < rows.size() && rows[j + 1] == rows[j] + 1)
            ++j;
        selection.select(m_model->index(rows[i], 0), m_model->index(rows[j], lastColumn));
        i = j + 1;
    }
    const QModelIndex current = m_model->index(table->RecNo(), std::min(m_keptColumn, lastColumn));
    m_syncing = true;
    // With nothing left selected the current row is what the user has chosen.
    if (!MultiSelect() || selection.isEmpty()) {
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::ClearAndSelect |
                                                       QItemSelectionModel::Rows);
    } else {
        selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
        selectionModel()->setCurrentIndex(current, QItemSelectionModel::NoUpdate);
    }
    m_syncing = false;
    if (dropped)
        viewport()->update();
}

void TReDBGrid::OnTableCurrentChanged() {
    const TMemTable* table = Table();
    if (m_syncing || (table && currentIndex().row() == table->RecNo()))
        return;
    // A multi-selection stays as the user made it while the table moves.
    MoveToCurrentRecord(MultiSelect()
                            ? QItemSelectionModel::NoUpdate
                            : QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TReDBGrid::SelectCurrentRecord() {
    MoveToCurrentRecord(QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
}

void TReDBGrid::MoveToCurrentRecord(QItemSelectionModel::SelectionFlags flags) {
    const TMemTable* table = Table();
    if (!table || table->IsEmpty() || m_model->columnCount() == 0)
        return;
    const QModelIndex index = m_model->index(table->RecNo(), std::max(currentIndex().column(), 0));
    m_syncing = true;
    selectionModel()->setCurrentIndex(index, flags);
    m_syncing = false;
    scrollTo(index);
}

void TReDBGrid::currentChanged(const QModelIndex& current, const QModelIndex& previous) {
    QTableView::currentChanged(current, previous);
    verticalHeader()->viewport()->update();
    TMemTable* table = Table();
    if (m_syncing || !table || !table->Active() || !current.isValid() ||
        current.row() == table->RecNo())
        return;
    // The table follows the grid; linked detail tables follow the table.
    m_syncing = true;
    table->SetRecNo(current.row());
    m_syncing = false;
}

// ---- filter ----

void TReDBGrid::UpdateFilterButton() {
    if (m_filterButton)
        m_filterButton->setIcon(GridGlyph(FilterActive() ? ggFiltered : ggFilter));
}

void TReDBGrid::updateGeometries() {
    QTableView::updateGeometries();
    if (!m_filterButton)
        return;
    // The button sits where the titles meet the indicator column.
    m_filterButton->setVisible(!verticalHeader()->isHidden() && !horizontalHeader()->isHidden());
    m_filterButton->setGeometry(verticalHeader()->x(), horizontalHeader()->y(),
                                verticalHeader()->width(), horizontalHeader()->height());
    m_filterButton->raise();
}

QStringList TReDBGrid::OfferedFields() const {
    if (!m_columnEntries.isEmpty())
        return m_columnEntries;
    QStringList lines;
    const TMemTable* table = Table();
    for (int f = 0; table && f < table->FieldCount(); ++f) {
        const TMemFieldDef& def = table->Field(f);
        if (def.Visible)
            lines << def.Name + QStringLiteral("\t\t") + def.Label();
    }
    return lines;
}

void TReDBGrid::ExecuteFilter() {
    TMemTable* table = Table();
    if (!table || !table->Active() || m_filterDialog)
        return;
    try {
        if (table->Inserting())
            throw EztException(QStringLiteral("You have to Post or Cancel your changes first"));
        auto* dialog = new TFilterDialog(this);
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->Setup(TableToDialogWildcards(table->Filtered() ? table->Filter() : QString()),
                      OfferedFields(), *table);
        connect(dialog, &QDialog::accepted, this,
                [this, dialog] { ApplyFilter(dialog->BuildFilter()); });
        connect(dialog, &QDialog::finished, this, [this] { m_filterDialog.clear(); });
        m_filterDialog = dialog;
        dialog->open();
    } catch (...) {
        PostToErrorDisplay(std::current_exception());
    }
}

TFilterDialog* TReDBGrid::OpenFilterDialog() const {
    return m_filterDialog.data();
}

void TReDBGrid::ApplyFilter(const QString& dialogFilter) {
    TMemTable* table = Table();
    if (!table || !table->Active())
        return;
    try {
        const TBookmark remembered = table->Bookmark();
        const QString expression = DialogToTableWildcards(dialogFilter);
        TControlsDisabledGuard still(*table);
        // A filter the table cannot evaluate throws here, before anything
        // changed: the grid keeps its rows. Each step rebuilds the rows only
        // when it changes them.
        if (expression.isEmpty())
            table->SetFiltered(false);
        table->SetFilter(expression);
        table->SetFilterCaseInsensitive(true);
        table->SetFiltered(!expression.isEmpty());
        if (!table->GotoBookmark(remembered))
            table->First();
    } catch (...) {
        PostToErrorDisplay(std::current_exception());
    }
    UpdateFilterButton();
}

// ---- find ----

void TReDBGrid::ShowFindDialog() {
    TMemTable* table = Table();
    if (!table || !table->Active())
        return;
    // The grid's columns are the fields to search, under their titles.
    std::vector<TFindDialog::TField> fields;
    for (int c = 0; c < m_model->columnCount(); ++c)
        fields.push_back(
            {m_model->FieldOfColumn(c), m_model->headerData(c, Qt::Horizontal).toString()});
    const int currentField =
        currentIndex().isValid() ? m_model->FieldOfColumn(currentIndex().column()) : -1;
    if (!m_findDialog) {
        m_findDialog = new TFindDialog(this);
        connect(m_findDialog, &TFindDialog::RecordFound, this, &TReDBGrid::SelectCurrentRecord);
    }
    m_findDialog->Setup(table, fields, currentField);
    m_findDialog->show();
    m_findDialog->raise();
    m_findDialog->activateWindow();
}

// ---- input ----

void TReDBGrid::keyPressEvent(QKeyEvent* event) {
    if (event->modifiers() == Qt::ControlModifier) {
        if (event->key() == Qt::Key_F && m_locateDlg) {
            ShowFindDialog();
            return;
        }
        if (event->key() == Qt::Key_R && m_filterButton && m_filterButton->isVisibleTo(this)) {
            m_filterButton->click();
            return;
        }
    }
    QTableView::keyPressEvent(event);
}

bool TReDBGrid::viewportEvent(QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease)
        m_releaseModifiers = static_cast<QMouseEvent*>(event)->modifiers();
    if (event->type() == QEvent::ToolTip) {
        if (m_showHint)
            QToolTip::showText(static_cast<QHelpEvent*>(event)->globalPos(), HintText(), this);
        return true;
    }
    return QTableView::viewportEvent(event);
}

bool TReDBGrid::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::MouseButtonRelease)
        m_releaseModifiers = static_cast<QMouseEvent*>(event)->modifiers();
    return QTableView::eventFilter(watched, event);
}
