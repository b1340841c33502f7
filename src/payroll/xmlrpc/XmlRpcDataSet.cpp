#include "payroll/xmlrpc/XmlRpcDataSet.h"

#include "base/ztFormat.h"

#include <QHash>

TMemFieldKind FieldKindOfTypeCode(qint32 code) {
    switch (code) {
    case 2: // NUMERIC
        return fkFloat;
    case 4: // INTEGER
        return fkInteger;
    case 12: // VARCHAR
        return fkString;
    case 16: // BOOLEAN
        return fkBoolean;
    case 91: // DATE
        return fkDate;
    case 93: // TIMESTAMP
        return fkDateTime;
    case 2004: // BLOB
        return fkBlob;
    default:
        return fkUnknown;
    }
}

namespace {

struct TColumn {
    QString Key; // the "meta" member name (stored form)
    int Field = -1;
};

bool IsEmptyString(const IRpcCustomItem& item) {
    return item.IsString() && item.AsRawString().isEmpty();
}

void StoreValue(TMemTable& table, int field, const IRpcCustomItem& item) {
    switch (table.Field(field).Kind) {
    case fkString:
        table.SetString(field, item.AsString());
        break;
    case fkInteger:
        if (IsEmptyString(item))
            table.SetNull(field);
        else
            table.SetInteger(field, item.AsInteger());
        break;
    case fkBoolean:
        // A null boolean arrives as an empty string, like every other null.
        if (IsEmptyString(item))
            table.SetNull(field);
        else
            table.SetBoolean(field, item.AsBoolean());
        break;
    case fkFloat:
        if (IsEmptyString(item))
            table.SetNull(field);
        else
            table.SetFloat(field, item.AsFloat());
        break;
    case fkDate:
    case fkDateTime:
        if (IsEmptyString(item))
            table.SetNull(field);
        else
            table.SetDateTime(field, item.AsDateTime());
        break;
    case fkBlob:
        if (IsEmptyString(item))
            table.SetNull(field);
        else
            table.SetBlob(field, item.AsBase64());
        break;
    case fkUnknown:
        break;
    }
}

} // namespace

std::unique_ptr<TMemTable> XmlToDataSet(const IRpcStructPtr& result) {
    if (!result || result->Count() < 1 || result->KeyList().at(0) != QLatin1String("DATASET") ||
        !result->Item(0)->IsStruct())
        return nullptr;
    const IRpcStructPtr dataset = result->Item(0)->AsStruct();
    if (!dataset || dataset->Count() < 2) // a nested struct may be unset through the API
        return nullptr;
    const QStringList datasetNames = dataset->KeyList();
    if (datasetNames.at(0) != QLatin1String("meta") || datasetNames.at(1) != QLatin1String("val") ||
        !dataset->Item(0)->IsStruct())
        return nullptr;
    const IRpcStructPtr meta = dataset->Item(0)->AsStruct();
    if (!meta)
        return nullptr;

    // Owned here until it is complete: any failure frees it.
    auto table = std::make_unique<TMemTable>();
    const QStringList columnKeys = meta->KeyList();
    std::vector<TColumn> columns;
    QHash<QString, int> columnByKey; // lower-case key -> first column of that key
    for (int c = 0; c < meta->Count(); ++c) {
        const IRpcStructPtr column = meta->Item(c)->AsStruct();
        QString tb, nm;
        qint32 tp = 0, sz = 0, nl = 1;
        const QStringList names = column ? column->KeyList() : QStringList();
        for (int m = 0; m < names.size(); ++m) {
            const QString& name = names.at(m);
            if (name == QLatin1String("tb"))
                tb = column->Item(m)->AsString();
            else if (name == QLatin1String("nm"))
                nm = column->Item(m)->AsString();
            else if (name == QLatin1String("tp"))
                tp = column->Item(m)->AsInteger();
            else if (name == QLatin1String("sz"))
                sz = column->Item(m)->AsInteger();
            else if (name == QLatin1String("nl"))
                nl = column->Item(m)->AsInteger();
        }
        if (tb.isEmpty() || nm.isEmpty())
            return nullptr;
        TMemFieldDef def;
        def.Name = nm;
        def.Kind = FieldKindOfTypeCode(tp);
        def.Size = def.Kind == fkString ? sz : 0;
        def.Required = nl == 0;
        table->AddField(def);
        columns.push_back({columnKeys.at(c), c});
    }
    // Lookups by name take the first member of a name, ignoring case.
    for (int c = int(columns.size()) - 1; c >= 0; --c)
        columnByKey.insert(columns[size_t(c)].Key.toLower(), c);
    table->Open();

    const IRpcStructItemPtr val = dataset->Item(1);
    if (val->IsStruct() && val->AsStruct()) {
        const IRpcStructPtr rows = val->AsStruct();
        table->DisableControls();
        // Rows usually name their members in the same order: remember where
        // each position pointed last time.
        std::vector<std::pair<QString, int>> lastRowLayout;
        for (int r = 0; r < rows->Count(); ++r) {
            const IRpcStructPtr row = rows->Item(r)->AsStruct();
            table->Append();
            const int count = row ? row->Count() : 0;
            const QStringList names = row ? row->KeyList() : QStringList();
            if (lastRowLayout.size() < size_t(count))
                lastRowLayout.resize(size_t(count), {QString(), -1});
            for (int m = 0; m < count; ++m) {
                const QString& name = names.at(m);
                auto& cached = lastRowLayout[size_t(m)];
                int c = -1;
                if (cached.second >= 0 && cached.first == name) {
                    c = cached.second;
                } else {
                    c = columnByKey.value(name.toLower(), -1);
                    if (c < 0)
                        throw EXmlRpcError(Format("Key [%s] not found", {name}));
                    cached = {name, c};
                }
                StoreValue(*table, columns[size_t(c)].Field, *row->Item(m));
            }
            table->Post();
        }
        table->EnableControls();
    }
    table->First();
    return table;
}

void TCSWriter::WriteValue(const QString& value) {
    if (m_lineStarted)
        m_text += u',';
    m_lineStarted = true;
    QString v = value;
    v.replace(QLatin1String("\""), QLatin1String("\"\""));
    v.replace(QLatin1String("\r\n"), QLatin1String(" "));
    bool quote = v.isEmpty();
    for (QChar c : v) {
        if ((c.unicode() >= 1 && c.unicode() <= 32) || c == u'"' || c == u',') {
            quote = true;
            break;
        }
    }
    if (quote) {
        m_text += u'"';
        m_text += v;
        m_text += u'"';
    } else {
        m_text += v;
    }
}

void TCSWriter::EndLine() {
    m_text += QLatin1String("\r\n");
    m_lineStarted = false;
}

namespace {

QString CsvText(const QVariant& value, TMemFieldKind kind) {
    if (!value.isValid())
        return QString();
    switch (kind) {
    case fkDate:
        return value.toDate().toString(QStringLiteral("MM/dd/yyyy"));
    case fkDateTime: {
        const QDateTime dt = value.toDateTime();
        // Midnight shows as the date alone.
        if (dt.time() == QTime(0, 0))
            return dt.date().toString(QStringLiteral("MM/dd/yyyy"));
        return dt.toString(QStringLiteral("MM/dd/yyyy hh:mm:ss"));
    }
    case fkFloat:
        return FormatRpcDouble(value.toDouble());
    case fkBoolean:
        return value.toBool() ? QStringLiteral("True") : QStringLiteral("False");
    case fkBlob:
        return QString::fromUtf8(value.toByteArray());
    default:
        return value.toString();
    }
}

} // namespace

QString DataSetToCsv(TMemTable& table) {
    const TBookmark position = table.Bookmark();
    table.DisableControls();
    TCSWriter writer;
    try {
        for (int f = 0; f < table.FieldCount(); ++f)
            writer.WriteValue(table.Field(f).Name);
        writer.EndLine();
        for (int r = 0; r < table.RecordCount(); ++r) {
            for (int f = 0; f < table.FieldCount(); ++f)
                writer.WriteValue(CsvText(table.ValueAt(r, f), table.Field(f).Kind));
            writer.EndLine();
        }
    } catch (...) {
        table.EnableControls();
        throw;
    }
    table.GotoBookmark(position);
    table.EnableControls();
    return writer.Text();
}
