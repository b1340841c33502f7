#include "payroll/xmlrpc/MemTable.h"

#include "base/ztFormat.h"
#include "payroll/xmlrpc/MemTableFilter.h"

#include <algorithm>

QStringList SplitFieldList(const QString& fields) {
    QStringList names;
    for (const QString& part : fields.split(u';', Qt::SkipEmptyParts)) {
        const QString name = part.trimmed();
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

TMemTable::TMemTable(QObject* parent) : QObject(parent) {}

TMemTable::~TMemTable() = default;

void TMemTable::AddField(const TMemFieldDef& def) {
    if (m_active)
        throw ETableError(QStringLiteral("Cannot change the fields of an open table"));
    if (def.Name.isEmpty())
        throw ETableError(QStringLiteral("A field needs a name"));
    if (FindField(def.Name) >= 0)
        throw ETableError(Format("Duplicate field name '%s'", {def.Name}));
    m_fields.push_back(def);
}

void TMemTable::Open() {
    for (const TMemFieldDef& def : m_fields) {
        if (def.Kind == fkUnknown)
            throw ETableError(Format("Field '%s' is of an unknown type", {def.Name}));
    }
    m_active = true;
    RebuildView();
}

int TMemTable::FindField(const QString& name) const {
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].Name.compare(name, Qt::CaseInsensitive) == 0)
            return int(i);
    }
    return -1;
}

int TMemTable::FieldByName(const QString& name) const {
    const int index = FindField(name);
    if (index < 0)
        throw ETableError(Format("Field '%s' not found", {name}));
    return index;
}

void TMemTable::SetDisplayLabel(const QString& field, const QString& label) {
    m_fields[size_t(FieldByName(field))].DisplayLabel = label;
    NotifyView();
}

void TMemTable::SetVisible(const QString& field, bool visible) {
    m_fields[size_t(FieldByName(field))].Visible = visible;
    NotifyView();
}

void TMemTable::RequireActive() const {
    if (!m_active)
        throw ETableError(QStringLiteral("Cannot perform this operation on a closed table"));
}

void TMemTable::RequireInserting(int field) const {
    if (!m_inserting)
        throw ETableError(QStringLiteral("The table is not in insert mode"));
    if (field < 0 || field >= FieldCount())
        throw EAssertionFailed();
}

void TMemTable::Append() {
    RequireActive();
    m_buffer.assign(m_fields.size(), QVariant());
    m_inserting = true;
}

namespace {
[[noreturn]] void ThrowKind(const TMemFieldDef& def, const char* kind) {
    throw ETableError(Format("Field '%s' cannot hold a %s value", {def.Name, kind}));
}
} // namespace

void TMemTable::SetNull(int field) {
    RequireInserting(field);
    m_buffer[size_t(field)] = QVariant();
}

void TMemTable::SetString(int field, const QString& value) {
    RequireInserting(field);
    if (m_fields[size_t(field)].Kind != fkString)
        ThrowKind(m_fields[size_t(field)], "text");
    m_buffer[size_t(field)] = value;
}

void TMemTable::SetInteger(int field, qint32 value) {
    RequireInserting(field);
    const TMemFieldKind kind = m_fields[size_t(field)].Kind;
    if (kind == fkInteger)
        m_buffer[size_t(field)] = value;
    else if (kind == fkFloat)
        m_buffer[size_t(field)] = double(value);
    else
        ThrowKind(m_fields[size_t(field)], "integer");
}

void TMemTable::SetFloat(int field, double value) {
    RequireInserting(field);
    if (m_fields[size_t(field)].Kind != fkFloat)
        ThrowKind(m_fields[size_t(field)], "floating point");
    m_buffer[size_t(field)] = value;
}

void TMemTable::SetBoolean(int field, bool value) {
    RequireInserting(field);
    if (m_fields[size_t(field)].Kind != fkBoolean)
        ThrowKind(m_fields[size_t(field)], "boolean");
    m_buffer[size_t(field)] = value;
}

void TMemTable::SetDateTime(int field, const QDateTime& value) {
    RequireInserting(field);
    const TMemFieldKind kind = m_fields[size_t(field)].Kind;
    if (kind == fkDate)
        m_buffer[size_t(field)] = value.date();
    else if (kind == fkDateTime)
        m_buffer[size_t(field)] = value;
    else
        ThrowKind(m_fields[size_t(field)], "date");
}

void TMemTable::SetBlob(int field, const QByteArray& value) {
    RequireInserting(field);
    if (m_fields[size_t(field)].Kind != fkBlob)
        ThrowKind(m_fields[size_t(field)], "binary");
    m_buffer[size_t(field)] = value;
}

void TMemTable::Post() {
    if (!m_inserting)
        throw ETableError(QStringLiteral("The table is not in insert mode"));
    for (size_t i = 0; i < m_fields.size(); ++i) {
        if (m_fields[i].Required && !m_buffer[i].isValid())
            throw ETableError(Format("Field '%s' must have a value", {m_fields[i].Name}));
    }
    m_records.push_back(std::move(m_buffer));
    m_buffer = TRecord();
    m_inserting = false;
    // Appending is how a table is filled: keep the view in step cheaply when
    // nothing reorders or hides records, and show the new record as current.
    if (m_indexName.isEmpty() && m_indexFieldNames.isEmpty() && !(m_filtered && m_filter) &&
        !m_master) {
        m_view.push_back(int(m_records.size() - 1));
        SetPosition(int(m_view.size() - 1));
        NotifyView();
    } else {
        const TBookmark added = TBookmark(m_records.size() - 1);
        RebuildView();
        GotoBookmark(added);
    }
}

void TMemTable::Cancel() {
    m_buffer = TRecord();
    m_inserting = false;
}

void TMemTable::SetPosition(int position) {
    const int old = m_pos;
    const bool wasEmpty = m_view.empty();
    m_pos = m_view.empty() ? 0 : std::clamp(position, 0, int(m_view.size()) - 1);
    m_eof = m_view.empty();
    m_bof = m_view.empty();
    if (old != m_pos || wasEmpty)
        NotifyCurrent();
}

void TMemTable::SetRecNo(int position) {
    RequireActive();
    SetPosition(position);
}

void TMemTable::First() {
    RequireActive();
    SetPosition(0);
    m_bof = true;
}

void TMemTable::Last() {
    RequireActive();
    SetPosition(int(m_view.size()) - 1);
    m_eof = true;
}

void TMemTable::Next() {
    RequireActive();
    if (m_view.empty() || m_pos >= int(m_view.size()) - 1) {
        m_eof = true;
        return;
    }
    SetPosition(m_pos + 1);
}

void TMemTable::Prior() {
    RequireActive();
    if (m_view.empty() || m_pos == 0) {
        m_bof = true;
        return;
    }
    SetPosition(m_pos - 1);
}

TBookmark TMemTable::Bookmark() const {
    return m_view.empty() ? kNoBookmark : TBookmark(m_view[size_t(m_pos)]);
}

bool TMemTable::BookmarkValid(TBookmark bookmark) const {
    return bookmark >= 0 && std::find(m_view.begin(), m_view.end(), int(bookmark)) != m_view.end();
}

bool TMemTable::GotoBookmark(TBookmark bookmark) {
    const auto found = std::find(m_view.begin(), m_view.end(), int(bookmark));
    if (bookmark < 0 || found == m_view.end())
        return false;
    SetPosition(int(found - m_view.begin()));
    return true;
}

QVariant TMemTable::Value(int field) const {
    if (m_inserting)
        return m_buffer.at(size_t(field));
    if (m_view.empty())
        return QVariant();
    return m_records[size_t(m_view[size_t(m_pos)])].at(size_t(field));
}

QVariant TMemTable::ValueAt(int position, int field) const {
    return m_records[size_t(m_view.at(size_t(position)))].at(size_t(field));
}

void TMemTable::SetMasterLink(TMemTable* master, const QString& masterFields,
                              const QString& detailFields) {
    if (master == this)
        throw EAssertionFailed();
    if (m_masterConnection)
        disconnect(m_masterConnection);
    m_masterConnection = {};
    if (master) {
        const QStringList m = SplitFieldList(masterFields);
        const QStringList d = SplitFieldList(detailFields);
        if (m.isEmpty() || m.size() != d.size())
            throw ETableError(Format("Master fields \"%s\" do not match detail fields \"%s\"",
                                     {masterFields, detailFields}));
        for (const QString& name : m)
            master->FieldByName(name);
        for (const QString& name : d)
            FieldByName(name);
        m_masterConnection =
            connect(master, &TMemTable::CurrentChanged, this, &TMemTable::OnMasterChanged);
        // The master may go first; the link then shows no records.
        connect(master, &QObject::destroyed, this, &TMemTable::OnMasterChanged,
                Qt::UniqueConnection);
    }
    m_master = master;
    m_masterFields = master ? masterFields : QString();
    m_detailFields = master ? detailFields : QString();
    RebuildView();
}

void TMemTable::OnMasterChanged() {
    if (m_active)
        RebuildView();
}

void TMemTable::AddIndex(const TMemIndexDef& def) {
    if (def.Name.isEmpty() || HasIndex(def.Name))
        throw ETableError(Format("Duplicate index name '%s'", {def.Name}));
    for (const QString& name : SplitFieldList(def.Fields) + SplitFieldList(def.DescFields))
        FieldByName(name);
    m_indexes.push_back(def);
}

void TMemTable::DeleteIndex(const QString& name) {
    const auto found = std::find_if(m_indexes.begin(), m_indexes.end(), [&](const auto& def) {
        return def.Name.compare(name, Qt::CaseInsensitive) == 0;
    });
    if (found == m_indexes.end())
        throw ETableError(Format("Index '%s' not found", {name}));
    const bool current = found->Name.compare(m_indexName, Qt::CaseInsensitive) == 0;
    m_indexes.erase(found);
    if (current) {
        m_indexName.clear();
        RebuildView();
    }
}

bool TMemTable::HasIndex(const QString& name) const {
    return std::any_of(m_indexes.begin(), m_indexes.end(), [&](const auto& def) {
        return def.Name.compare(name, Qt::CaseInsensitive) == 0;
    });
}

void TMemTable::SetIndexName(const QString& name) {
    if (!name.isEmpty() && !HasIndex(name))
        throw ETableError(Format("Index '%s' not found", {name}));
    m_indexName = name;
    if (!name.isEmpty())
        m_indexFieldNames.clear();
    RebuildView();
}

void TMemTable::SetIndexFieldNames(const QString& fields) {
    for (const QString& name : SplitFieldList(fields))
        FieldByName(name);
    m_indexFieldNames = fields;
    if (!fields.isEmpty())
        m_indexName.clear();
    RebuildView();
}

void TMemTable::SetFilter(const QString& expression) {
    // Parsed before anything changes: a bad expression leaves the old filter.
    std::unique_ptr<TMemFilter> filter;
    if (!expression.trimmed().isEmpty())
        filter = std::make_unique<TMemFilter>(expression, *this);
    m_filter = std::move(filter);
    m_filterText = expression;
    if (m_filtered)
        RebuildView();
}

void TMemTable::SetFiltered(bool filtered) {
    m_filtered = filtered;
    RebuildView();
}

void TMemTable::SetFilterCaseInsensitive(bool on) {
    m_filterCaseInsensitive = on;
    if (m_filtered)
        RebuildView();
}

void TMemTable::EnableControls() {
    if (m_disabled == 0)
        throw EAssertionFailed();
    if (--m_disabled == 0 && m_viewPending) {
        m_viewPending = false;
        Q_EMIT ViewChanged();
        Q_EMIT CurrentChanged();
    }
}

void TMemTable::NotifyView() {
    if (m_disabled > 0) {
        m_viewPending = true;
        return;
    }
    Q_EMIT ViewChanged();
}

void TMemTable::NotifyCurrent() {
    if (m_disabled > 0) {
        m_viewPending = true;
        return;
    }
    Q_EMIT CurrentChanged();
}

std::vector<int> TMemTable::SortKeys(QString fields, QString descFields, bool allDesc,
                                     std::vector<bool>& descending) const {
    std::vector<int> keys;
    const QStringList desc = SplitFieldList(descFields);
    for (const QString& name : SplitFieldList(fields)) {
        keys.push_back(FieldByName(name));
        descending.push_back(allDesc || desc.contains(name, Qt::CaseInsensitive));
    }
    return keys;
}

namespace {

int CompareCells(const QVariant& a, const QVariant& b, TMemFieldKind kind, Qt::CaseSensitivity cs) {
    // Nulls sort first.
    if (!a.isValid() || !b.isValid())
        return int(a.isValid()) - int(b.isValid());
    switch (kind) {
    case fkString:
        return QString::compare(a.toString(), b.toString(), cs);
    case fkInteger:
    case fkFloat: {
        const double x = a.toDouble(), y = b.toDouble();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case fkBoolean:
        return int(a.toBool()) - int(b.toBool());
    case fkDate: {
        const QDate x = a.toDate(), y = b.toDate();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    case fkDateTime: {
        const QDateTime x = a.toDateTime(), y = b.toDateTime();
        return x < y ? -1 : x > y ? 1 : 0;
    }
    default:
        return 0; // blobs do not sort
    }
}

} // namespace

void TMemTable::RebuildView() {
    if (!m_active)
        return;
    const TBookmark current = m_view.empty() ? kNoBookmark : Bookmark();

    // Master link: the values the detail fields must equal.
    std::vector<int> linkFields;
    std::vector<QVariant> linkValues;
    bool linkedToNothing = false;
    if (!m_masterFields.isEmpty()) {
        if (!m_master || !m_master->Active() || m_master->IsEmpty()) {
            linkedToNothing = true;
        } else {
            const QStringList m = SplitFieldList(m_masterFields);
            const QStringList d = SplitFieldList(m_detailFields);
            for (int i = 0; i < m.size(); ++i) {
                linkFields.push_back(FieldByName(d.at(i)));
                linkValues.push_back(m_master->Value(m_master->FieldByName(m.at(i))));
            }
        }
    }

    m_view.clear();
    if (!linkedToNothing) {
        m_view.reserve(m_records.size());
        const TMemFilter* filter = m_filtered ? m_filter.get() : nullptr;
        for (size_t r = 0; r < m_records.size(); ++r) {
            const TRecord& record = m_records[r];
            bool visible = true;
            for (size_t k = 0; k < linkFields.size() && visible; ++k) {
                const QVariant& v = record[size_t(linkFields[k])];
                visible = v.isValid() && linkValues[k].isValid() &&
                          CompareCells(v, linkValues[k], m_fields[size_t(linkFields[k])].Kind,
                                       Qt::CaseSensitive) == 0;
            }
            if (visible && filter)
                visible = filter->Matches(record, m_filterCaseInsensitive);
            if (visible)
                m_view.push_back(int(r));
        }
    }

    std::vector<bool> descending;
    std::vector<int> keys;
    Qt::CaseSensitivity cs = Qt::CaseSensitive;
    if (!m_indexName.isEmpty()) {
        for (const TMemIndexDef& def : m_indexes) {
            if (def.Name.compare(m_indexName, Qt::CaseInsensitive) == 0) {
                keys = SortKeys(def.Fields, def.DescFields, def.Descending, descending);
                cs = def.CaseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive;
            }
        }
    } else if (!m_indexFieldNames.isEmpty()) {
        keys = SortKeys(m_indexFieldNames, QString(), false, descending);
    }
    if (!keys.empty()) {
        std::stable_sort(m_view.begin(), m_view.end(), [&](int a, int b) {
            for (size_t k = 0; k < keys.size(); ++k) {
                const size_t f = size_t(keys[k]);
                int c = CompareCells(m_records[size_t(a)][f], m_records[size_t(b)][f],
                                     m_fields[f].Kind, cs);
                if (descending[k])
                    c = -c;
                if (c != 0)
                    return c < 0;
            }
            return false;
        });
    }

    NotifyView();
    // Stay on the same record when it is still visible, else go to the first.
    if (current == kNoBookmark || !GotoBookmark(current)) {
        m_pos = -1;
        SetPosition(0);
    }
    m_bof = m_view.empty();
    m_eof = m_view.empty();
}
