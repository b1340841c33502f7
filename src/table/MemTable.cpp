#include "table/MemTable.h"

#include "base/ztFormat.h"
#include "table/MemTableFilter.h"

#include <QHash>
#include <algorithm>
#include <cmath>
#include <limits>
#include <utility>

QStringList SplitFieldList(const QString& fields) {
    QStringList names;
    for (const QString& part : fields.split(u';', Qt::SkipEmptyParts)) {
        const QString name = part.trimmed();
        if (!name.isEmpty())
            names << name;
    }
    return names;
}

// Brackets a change of the visible records or fields with ViewAboutToChange
// and ViewChanged, so item models reset around it and never see a half-done
// view. While controls are disabled the first change opens the pair and
// EnableControls closes it.
class TMemTable::TViewChange {
public:
    explicit TViewChange(TMemTable& table) : m_table(table) {
        m_table.m_positions.clear();
        if (m_table.m_disabled == 0) {
            Q_EMIT m_table.ViewAboutToChange();
        } else if (!m_table.m_viewPending) {
            m_table.m_viewPending = true;
            Q_EMIT m_table.ViewAboutToChange();
        }
    }
    ~TViewChange() {
        if (m_table.m_disabled == 0)
            Q_EMIT m_table.ViewChanged();
    }
    TViewChange(const TViewChange&) = delete;
    TViewChange& operator=(const TViewChange&) = delete;

private:
    TMemTable& m_table;
};

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
    const size_t index = size_t(FieldByName(field));
    TViewChange change(*this);
    m_fields[index].DisplayLabel = label;
}

void TMemTable::SetVisible(const QString& field, bool visible) {
    const size_t index = size_t(FieldByName(field));
    TViewChange change(*this);
    m_fields[index].Visible = visible;
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

void TMemTable::SetCurrency(int field, Currency value) {
    RequireInserting(field);
    if (m_fields[size_t(field)].Kind != fkCurrency)
        ThrowKind(m_fields[size_t(field)], "currency");
    m_buffer[size_t(field)] = value.Raw();
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
        {
            TViewChange change(*this);
            m_view.push_back(int(m_records.size() - 1));
        }
        SetPosition(int(m_view.size() - 1));
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

int TMemTable::PositionOf(TBookmark bookmark) const {
    if (bookmark < 0 || bookmark >= TBookmark(m_records.size()))
        return -1;
    if (m_positions.size() != m_records.size()) {
        m_positions.assign(m_records.size(), -1);
        for (size_t p = 0; p < m_view.size(); ++p)
            m_positions[size_t(m_view[p])] = int(p);
    }
    return m_positions[size_t(bookmark)];
}

bool TMemTable::GotoBookmark(TBookmark bookmark) {
    const int position = PositionOf(bookmark);
    if (position < 0)
        return false;
    SetPosition(position);
    return true;
}

QVariant TMemTable::Value(int field) const {
    if (m_inserting)
        return m_buffer.at(size_t(field));
    if (m_view.empty())
        return QVariant();
    return m_records[size_t(m_view[size_t(m_pos)])].at(size_t(field));
}

const QVariant& TMemTable::ValueAt(int position, int field) const {
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
    // An index does not change while current (DeleteIndex clears the name).
    if (name.compare(m_indexName, Qt::CaseInsensitive) == 0)
        return;
    m_indexName = name;
    if (!name.isEmpty())
        m_indexFieldNames.clear();
    RebuildView();
}

void TMemTable::SetIndexFieldNames(const QString& fields) {
    for (const QString& name : SplitFieldList(fields))
        FieldByName(name);
    if (fields == m_indexFieldNames)
        return;
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
    if (filtered == m_filtered)
        return;
    m_filtered = filtered;
    RebuildView();
}

void TMemTable::SetFilterCaseInsensitive(bool on) {
    if (on == m_filterCaseInsensitive)
        return;
    m_filterCaseInsensitive = on;
    if (m_filtered)
        RebuildView();
}

void TMemTable::EnableControls() {
    if (m_disabled == 0)
        throw EAssertionFailed();
    if (--m_disabled > 0)
        return;
    const bool view = std::exchange(m_viewPending, false);
    const bool current = std::exchange(m_currentPending, false);
    if (view)
        Q_EMIT ViewChanged();
    if (current)
        Q_EMIT CurrentChanged();
}

void TMemTable::NotifyCurrent() {
    if (m_disabled > 0) {
        m_currentPending = true;
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

bool SameValue(const QVariant& a, const QVariant& b, TMemFieldKind kind) {
    switch (kind) {
    case fkString:
        return a.toString() == b.toString();
    case fkInteger:
    case fkFloat:
        return a.toDouble() == b.toDouble();
    case fkCurrency:
        return a.toLongLong() == b.toLongLong();
    case fkBoolean:
        return a.toBool() == b.toBool();
    case fkDate:
        return a.toDate() == b.toDate();
    case fkDateTime:
        return a.toDateTime() == b.toDateTime();
    default:
        return false;
    }
}

// One sort field's values read once before sorting, as numbers: texts by
// their rank among the column's texts (case-folded when the index says so),
// dates as day numbers, date-times as milliseconds; null (and NaN) as minus
// infinity, so nulls sort first. The comparisons of a large table then touch
// no QVariant and no string.
struct TSortColumn {
    bool Descending = false;
    std::vector<double> Keys; // by record
};

double SortNumber(const QVariant& value, TMemFieldKind kind) {
    switch (kind) {
    case fkDate:
        return double(value.toDate().toJulianDay());
    case fkDateTime: {
        // The date and time as written: no zone conversion, which would cost
        // a look at the system's zone for every value.
        const QDateTime dateTime = value.toDateTime();
        return double(dateTime.date().toJulianDay()) * 86400000.0 +
               dateTime.time().msecsSinceStartOfDay();
    }
    case fkBoolean:
        return value.toBool() ? 1 : 0;
    default:
        return value.toDouble();
    }
}

// A text to sort, with twelve of its UTF-16 units (from an offset) held in
// the item, so comparisons stay in the array being sorted.
struct TTextItem {
    static constexpr int Units = 12;
    quint64 Chunk[3] = {0, 0, 0};
    qsizetype EndsHere = 0; // the text's length when it ends in this chunk
    const QString* Text = nullptr;
    int Record = 0;

    void Load(int offset, Qt::CaseSensitivity cs) {
        const qsizetype size = Text->size();
        for (int i = 0; i < Units; ++i) {
            const qsizetype at = offset + i;
            char16_t unit = at < size ? Text->at(at).unicode() : 0;
            if (cs == Qt::CaseInsensitive)
                unit = unit < 0x80 ? (unit >= u'A' && unit <= u'Z' ? unit + 0x20 : unit)
                                   : QChar::toCaseFolded(unit);
            Chunk[i / 4] = (Chunk[i / 4] << 16) | unit;
        }
        EndsHere = size <= offset + Units ? size : std::numeric_limits<qsizetype>::max();
    }
    bool SameChunk(const TTextItem& other) const {
        return Chunk[0] == other.Chunk[0] && Chunk[1] == other.Chunk[1] &&
               Chunk[2] == other.Chunk[2];
    }
    bool operator<(const TTextItem& other) const {
        for (int i = 0; i < 3; ++i) {
            if (Chunk[i] != other.Chunk[i])
                return Chunk[i] < other.Chunk[i];
        }
        return EndsHere < other.EndsHere;
    }
};

// Sorts texts twelve units at a time: by the chunk at the offset, then each
// run that agrees so far by the next chunk. Every text is read once a level,
// instead of once a comparison. Ranks follow the order, equal texts sharing
// one; `ranks` is indexed by the items' Record.
void SortTextItems(std::vector<TTextItem>::iterator begin, std::vector<TTextItem>::iterator end,
                   int offset, Qt::CaseSensitivity cs, double& rank, std::vector<double>& ranks) {
    for (auto it = begin; it != end; ++it)
        it->Load(offset, cs);
    std::sort(begin, end);
    for (auto run = begin; run != end;) {
        auto next = run + 1;
        while (next != end && next->SameChunk(*run) && next->EndsHere == run->EndsHere)
            ++next;
        if (next - run > 1 && run->EndsHere == std::numeric_limits<qsizetype>::max()) {
            SortTextItems(run, next, offset + TTextItem::Units, cs, rank, ranks);
        } else {
            for (auto it = run; it != next; ++it)
                ranks[size_t(it->Record)] = rank;
            ++rank;
        }
        run = next;
    }
}

// Ranks the texts of a column: equal texts (in the sort's sense of case)
// share a rank. Lists repeat their texts (a status, a type), so each
// distinct text is sorted once.
void RankTexts(const std::vector<TTextItem>& items, Qt::CaseSensitivity cs,
               std::vector<double>& ranks) {
    QHash<QStringView, int> ids;
    ids.reserve(qsizetype(items.size()));
    std::vector<int> idOfItem(items.size());
    std::vector<TTextItem> distinct;
    for (size_t i = 0; i < items.size(); ++i) {
        auto found = ids.constFind(*items[i].Text);
        if (found == ids.constEnd()) {
            found = ids.insert(*items[i].Text, int(distinct.size()));
            distinct.push_back({{0, 0, 0}, 0, items[i].Text, int(distinct.size())});
        }
        idOfItem[i] = *found;
    }
    std::vector<double> rankOfId(distinct.size());
    double rank = 0;
    SortTextItems(distinct.begin(), distinct.end(), 0, cs, rank, rankOfId);
    for (size_t i = 0; i < items.size(); ++i)
        ranks[size_t(items[i].Record)] = rankOfId[size_t(idOfItem[i])];
}

} // namespace

void TMemTable::SortView() {
    std::vector<bool> descending;
    std::vector<int> keys;
    bool caseInsensitive = false;
    if (!m_indexName.isEmpty()) {
        for (const TMemIndexDef& def : m_indexes) {
            if (def.Name.compare(m_indexName, Qt::CaseInsensitive) == 0) {
                keys = SortKeys(def.Fields, def.DescFields, def.Descending, descending);
                caseInsensitive = def.CaseInsensitive;
            }
        }
    } else if (!m_indexFieldNames.isEmpty()) {
        keys = SortKeys(m_indexFieldNames, QString(), false, descending);
    }
    if (keys.empty() || m_view.size() < 2)
        return;

    std::vector<TSortColumn> columns(keys.size());
    for (size_t k = 0; k < keys.size(); ++k) {
        TSortColumn& column = columns[k];
        const size_t f = size_t(keys[k]);
        const TMemFieldKind kind = m_fields[f].Kind;
        column.Descending = descending[k];
        // Blobs do not sort: every value counts as null.
        column.Keys.assign(m_records.size(), -HUGE_VAL);
        std::vector<TTextItem> texts;
        for (const int r : m_view) {
            const QVariant& value = m_records[size_t(r)][f];
            if (!value.isValid() || kind == fkBlob)
                continue;
            if (kind == fkString) {
                // Text fields hold a QString (SetString): read in place.
                texts.push_back({{0, 0, 0}, 0, static_cast<const QString*>(value.constData()), r});
            } else {
                const double key = SortNumber(value, kind);
                if (!std::isnan(key))
                    column.Keys[size_t(r)] = key;
            }
        }
        if (kind == fkString)
            RankTexts(texts, caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive,
                      column.Keys);
    }

    // The first two keys travel with the record, so most comparisons stay
    // in the array being sorted.
    struct TSortItem {
        double Key[2];
        int Record;
    };
    const size_t inline_ = std::min<size_t>(columns.size(), 2);
    std::vector<TSortItem> items;
    items.reserve(m_view.size());
    for (const int r : m_view) {
        TSortItem item{{0, 0}, r};
        for (size_t k = 0; k < inline_; ++k)
            item.Key[k] = columns[k].Keys[size_t(r)];
        items.push_back(item);
    }
    auto less = [](double x, double y, bool descending) { return descending ? x > y : x < y; };
    std::stable_sort(items.begin(), items.end(), [&](const TSortItem& a, const TSortItem& b) {
        for (size_t k = 0; k < inline_; ++k) {
            if (a.Key[k] != b.Key[k])
                return less(a.Key[k], b.Key[k], columns[k].Descending);
        }
        for (size_t k = inline_; k < columns.size(); ++k) {
            const double x = columns[k].Keys[size_t(a.Record)];
            const double y = columns[k].Keys[size_t(b.Record)];
            if (x != y)
                return less(x, y, columns[k].Descending);
        }
        return false;
    });
    for (size_t i = 0; i < items.size(); ++i)
        m_view[i] = items[i].Record;
}

void TMemTable::RebuildView() {
    if (!m_active)
        return;
    const TBookmark current = Bookmark();
    const int oldPosition = m_pos;

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

    {
        TViewChange change(*this);
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
                              SameValue(v, linkValues[k], m_fields[size_t(linkFields[k])].Kind);
                }
                if (visible && filter)
                    visible = filter->Matches(record, m_filterCaseInsensitive);
                if (visible)
                    m_view.push_back(int(r));
            }
        }
        SortView();
        // Stay on the same record when it is still visible, else go to the
        // first; views learn the new view with the position already in place.
        const int position = PositionOf(current);
        m_pos = position >= 0 ? position : 0;
        m_bof = m_view.empty();
        m_eof = m_view.empty();
    }
    if (m_pos != oldPosition || Bookmark() != current)
        NotifyCurrent();
}
