#include "table/vlxdbcommon.h"

#include "table/MemTableModel.h"

#include <algorithm>

const QString SortIndexName = QStringLiteral("SORT");

namespace {

QStringList Names(const QString& list) {
    return list.split(u';', Qt::SkipEmptyParts);
}

} // namespace

bool FieldListContains(const QString& list, const QString& name) {
    return Names(list).contains(name, Qt::CaseSensitive);
}

QString FieldListAdd(const QString& list, const QString& name) {
    if (FieldListContains(list, name))
        return list;
    return list.isEmpty() ? name : list + u';' + name;
}

QString FieldListRemove(const QString& list, const QString& name) {
    QStringList names = Names(list);
    names.removeAll(name);
    return names.join(u';');
}

TSortFields GetSortFields(const TMemTable& table) {
    if (!table.IndexName().isEmpty()) {
        for (const TMemIndexDef& def : table.IndexDefs()) {
            if (def.Name.compare(table.IndexName(), Qt::CaseInsensitive) == 0)
                return {def.Fields, def.Descending ? def.Fields : def.DescFields};
        }
    }
    if (!table.IndexFieldNames().trimmed().isEmpty())
        return {table.IndexFieldNames(), QString()};
    return {};
}

void SetSortFields(TMemTable& table, const QString& sortFields, const QString& descFields) {
    QString fields = sortFields;
    QString desc = descFields;
    if (table.Master() && !table.DetailFields().isEmpty()) {
        // Each link field on its own: the user's clicks may have moved them.
        const QStringList links = SplitFieldList(table.DetailFields());
        for (const QString& link : links) {
            fields = FieldListRemove(fields, link);
            desc = FieldListRemove(desc, link);
        }
        fields = fields.isEmpty() ? links.join(u';') : links.join(u';') + u';' + fields;
    }
    TControlsDisabledGuard still(table);
    if (table.HasIndex(SortIndexName))
        table.DeleteIndex(SortIndexName);
    if (fields.isEmpty()) {
        table.SetIndexName(QString());
        table.SetIndexFieldNames(QString());
        return;
    }
    table.AddIndex({SortIndexName, fields, desc, false, true});
    table.SetIndexName(SortIndexName);
}

TFieldSortState FieldSortState(const TSortFields& sort, const QString& field) {
    if (FieldListContains(sort.DescFields, field))
        return fssDescending;
    return FieldListContains(sort.Fields, field) ? fssAscending : fssNone;
}

void ToggleFieldSort(TMemTable& table, const QString& field, bool keepOthers) {
    if (!IsSortableField(table.Field(table.FieldByName(field))))
        return;
    TControlsDisabledGuard still(table);
    TSortFields sort = GetSortFields(table);
    const TFieldSortState state = FieldSortState(sort, field);
    if (!keepOthers) {
        sort.Fields = FieldListContains(sort.Fields, field) ? field : QString();
        sort.DescFields = FieldListContains(sort.DescFields, field) ? field : QString();
    }
    switch (state) {
    case fssNone: // becomes ascending
        sort.Fields = FieldListAdd(sort.Fields, field);
        sort.DescFields = FieldListRemove(sort.DescFields, field);
        break;
    case fssAscending: // becomes descending
        sort.Fields = FieldListAdd(sort.Fields, field);
        sort.DescFields = FieldListAdd(sort.DescFields, field);
        break;
    case fssDescending: // becomes unsorted
        sort.Fields = FieldListRemove(sort.Fields, field);
        sort.DescFields = FieldListRemove(sort.DescFields, field);
        break;
    }
    SetSortFields(table, sort.Fields, sort.DescFields);
}

int LocateRecord(const TMemTable& table, int field, const QString& value, TLocateMatch match,
                 Qt::CaseSensitivity cs, int from) {
    const TMemFieldKind kind = table.Field(field).Kind;
    for (int position = std::max(from, 0); position < table.RecordCount(); ++position) {
        const QString text = TMemTableModel::DisplayText(table.ValueAt(position, field), kind);
        const bool found = match == lomExact         ? text.compare(value, cs) == 0
                           : match == lomAtBeginning ? text.startsWith(value, cs)
                                                     : text.contains(value, cs);
        if (found)
            return position;
    }
    return -1;
}
