// Sorting an in-memory table by field names, as a grid's title clicks do,
// and finding a record by a field's shown text. The sort lives in the
// table's "SORT" index; a sort is two ";"-separated name lists: the sort
// fields in order and the descending ones among them.
#pragma once

#include "table/MemTable.h"

extern const QString SortIndexName; // "SORT"

struct TSortFields {
    QString Fields;
    QString DescFields;
};

enum TFieldSortState { fssNone, fssAscending, fssDescending };

// The sort of the current index, or of the index field names.
TSortFields GetSortFields(const TMemTable& table);
// Makes the sort current through a new "SORT" index (case-insensitive);
// empty fields give the natural order. On a detail table the link fields
// always sort first, ascending.
void SetSortFields(TMemTable& table, const QString& sortFields, const QString& descFields);
// One title click: unsorted -> ascending -> descending -> unsorted. Without
// keepOthers the field becomes the only sort field. Blob fields never sort.
void ToggleFieldSort(TMemTable& table, const QString& field, bool keepOthers);
TFieldSortState FieldSortState(const TSortFields& sort, const QString& field);
inline bool IsSortableField(const TMemFieldDef& def) {
    return def.Kind != fkBlob;
}

// ";"-separated name lists: whole names, case-sensitive.
bool FieldListContains(const QString& list, const QString& name);
QString FieldListAdd(const QString& list, const QString& name);
QString FieldListRemove(const QString& list, const QString& name);

enum TLocateMatch { lomExact, lomAtBeginning, lomAnywhere };

// The first view position from `from` on whose field shows text matching
// `value` (as a grid shows it); -1 when none.
int LocateRecord(const TMemTable& table, int field, const QString& value, TLocateMatch match,
                 Qt::CaseSensitivity cs, int from);
