// The in-memory table that holds query results: typed nullable fields,
// records appended in order, a cursor with bookmarks, master-detail links,
// sort indexes and a filter expression. Views (grids, item models) follow it
// through its signals.
#pragma once

#include "base/Currency.h"
#include "base/ztExceptions.h"

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <memory>
#include <vector>

// Errors of the table: unknown field, bad definition, bad filter.
class ETableError : public EztException {
public:
    using EztException::EztException;
};

enum TMemFieldKind : quint8 {
    fkUnknown,
    fkString,
    fkInteger,
    fkFloat,
    fkBoolean,
    fkDate,
    fkDateTime,
    fkBlob,
    fkCurrency, // money: a Currency, held as its ten-thousandths (qint64)
};

struct TMemFieldDef {
    QString Name;
    TMemFieldKind Kind = fkUnknown;
    int Size = 0; // maximum length of string fields, for display
    bool Required = false;
    QString DisplayLabel; // empty: the name
    bool Visible = true;

    QString Label() const { return DisplayLabel.isEmpty() ? Name : DisplayLabel; }
};

struct TMemIndexDef {
    QString Name;
    QString Fields;          // ";"-separated, in sort order
    QString DescFields;      // ";"-separated subset sorted descending
    bool Descending = false; // every field descending
    bool CaseInsensitive = false;
};

class TMemFilter;

// A record position that survives sorting and filtering.
using TBookmark = qint64;
constexpr TBookmark kNoBookmark = -1;

class TMemTable : public QObject {
    Q_OBJECT
public:
    explicit TMemTable(QObject* parent = nullptr);
    ~TMemTable() override;

    // ---- structure (before Open) ----
    void AddField(const TMemFieldDef& def);
    // Refuses fields of unknown kind; the table is then not open.
    void Open();
    bool Active() const { return m_active; }
    int FieldCount() const { return int(m_fields.size()); }
    const TMemFieldDef& Field(int index) const { return m_fields.at(size_t(index)); }
    // Case-insensitive; -1 when absent.
    int FindField(const QString& name) const;
    // Throws ETableError "Field '%s' not found".
    int FieldByName(const QString& name) const;
    void SetDisplayLabel(const QString& field, const QString& label);
    void SetVisible(const QString& field, bool visible);

    // ---- filling ----
    // Starts a new record; set its values, then Post.
    void Append();
    void SetNull(int field);
    void SetString(int field, const QString& value);
    void SetInteger(int field, qint32 value);
    void SetFloat(int field, double value);
    void SetBoolean(int field, bool value);
    void SetDateTime(int field, const QDateTime& value);
    void SetBlob(int field, const QByteArray& value);
    void SetCurrency(int field, Currency value);
    // Adds the record; a required field without a value throws ETableError.
    void Post();
    void Cancel();
    bool Inserting() const { return m_inserting; }

    // ---- cursor over the visible records (filter, index, master link) ----
    int RecordCount() const { return int(m_view.size()); }
    bool IsEmpty() const { return m_view.empty(); }
    // 0-based position in the view, -1 when the view is empty.
    int RecNo() const { return m_view.empty() ? -1 : m_pos; }
    void SetRecNo(int position);
    void First();
    void Last();
    void Next();
    void Prior();
    bool Eof() const { return m_eof; }
    bool Bof() const { return m_bof; }
    TBookmark Bookmark() const;
    // The record at a view position.
    TBookmark BookmarkAt(int position) const { return TBookmark(m_view.at(size_t(position))); }
    // View position of a record; -1 when it is not visible.
    int PositionOf(TBookmark bookmark) const;
    bool BookmarkValid(TBookmark bookmark) const { return PositionOf(bookmark) >= 0; }
    // False (and no move) when the record is not visible.
    bool GotoBookmark(TBookmark bookmark);

    // Values of the current record; null is an invalid QVariant. Dates are
    // QDate, date-times QDateTime, blobs QByteArray.
    QVariant Value(int field) const;
    QVariant Value(const QString& field) const { return Value(FieldByName(field)); }
    bool IsNull(int field) const { return !Value(field).isValid(); }
    // Value of a visible record by view position, without a copy.
    const QVariant& ValueAt(int position, int field) const;

    // ---- master-detail ----
    // Shows only the records whose detail fields equal the master's current
    // master fields (";"-separated lists of equal length). Null master: no link.
    void SetMasterLink(TMemTable* master, const QString& masterFields, const QString& detailFields);
    TMemTable* Master() const { return m_master.data(); }
    QString MasterFields() const { return m_masterFields; }
    QString DetailFields() const { return m_detailFields; }

    // ---- indexes ----
    void AddIndex(const TMemIndexDef& def);
    void DeleteIndex(const QString& name);
    bool HasIndex(const QString& name) const;
    const std::vector<TMemIndexDef>& IndexDefs() const { return m_indexes; }
    // Empty: natural order (or IndexFieldNames).
    void SetIndexName(const QString& name);
    QString IndexName() const { return m_indexName; }
    // An ad-hoc ascending sort; clears IndexName.
    void SetIndexFieldNames(const QString& fields);
    QString IndexFieldNames() const { return m_indexFieldNames; }

    // ---- filter ----
    // Throws ETableError for an expression that does not parse.
    void SetFilter(const QString& expression);
    QString Filter() const { return m_filterText; }
    void SetFiltered(bool filtered);
    bool Filtered() const { return m_filtered; }
    void SetFilterCaseInsensitive(bool on);
    bool FilterCaseInsensitive() const { return m_filterCaseInsensitive; }

    // ---- views ----
    void DisableControls() { ++m_disabled; }
    void EnableControls();
    bool ControlsDisabled() const { return m_disabled > 0; }

Q_SIGNALS:
    // The set or order of visible records, or the fields, are about to
    // change; ViewChanged follows. While controls are disabled the pair
    // spans everything up to EnableControls.
    void ViewAboutToChange();
    // The set or order of visible records, or the fields, changed.
    void ViewChanged();
    // The cursor moved to another record.
    void CurrentChanged();

private:
    using TRecord = std::vector<QVariant>;

    void RequireActive() const;
    void RequireInserting(int field) const;
    class TViewChange;

    void RebuildView();
    void SortView();
    void SetPosition(int position);
    void NotifyCurrent();
    void OnMasterChanged();
    std::vector<int> SortKeys(QString fields, QString descFields, bool allDesc,
                              std::vector<bool>& descending) const;

    std::vector<TMemFieldDef> m_fields;
    std::vector<TRecord> m_records;
    TRecord m_buffer;
    bool m_active = false;
    bool m_inserting = false;

    std::vector<int> m_view; // record indexes in view order
    // Record index -> view position (-1 hidden); built on first use.
    mutable std::vector<int> m_positions;
    int m_pos = 0;
    bool m_eof = true;
    bool m_bof = true;

    QPointer<TMemTable> m_master;
    QString m_masterFields;
    QString m_detailFields;
    QMetaObject::Connection m_masterConnection;

    std::vector<TMemIndexDef> m_indexes;
    QString m_indexName;
    QString m_indexFieldNames;

    QString m_filterText;
    std::unique_ptr<TMemFilter> m_filter;
    bool m_filtered = false;
    bool m_filterCaseInsensitive = false;

    int m_disabled = 0;
    bool m_viewPending = false;
    bool m_currentPending = false;
};

// Views stay still for the guard's lifetime (DisableControls/EnableControls).
class TControlsDisabledGuard {
public:
    explicit TControlsDisabledGuard(TMemTable& table) : m_table(table) { table.DisableControls(); }
    ~TControlsDisabledGuard() { m_table.EnableControls(); }
    TControlsDisabledGuard(const TControlsDisabledGuard&) = delete;
    TControlsDisabledGuard& operator=(const TControlsDisabledGuard&) = delete;

private:
    TMemTable& m_table;
};

// ";"-separated name lists.
QStringList SplitFieldList(const QString& fields);
