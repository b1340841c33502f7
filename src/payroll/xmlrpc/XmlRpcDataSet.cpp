#include "payroll/xmlrpc/XmlRpcDataSet.h"

#include "base/ztFormat.h"
#include "payroll/xmlrpc/XmlRpcClient.h"
#include "payroll/xmlrpc/XmlRpcScanner.h"

#include <QHash>

#include <algorithm>
#include <iterator>

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
    case fkCurrency: // the service's tables hold none
        break;
    }
}

} // namespace

namespace {

// The fields of a result's "meta" struct, in order, with the column keys
// rows name them by; false when a column lacks "tb" or "nm". Values of the
// wrong kind throw.
bool AddMetaFields(const IRpcStruct& meta, TMemTable& table, std::vector<TColumn>& columns,
                   QHash<QString, int>& columnByKey) {
    const QStringList columnKeys = meta.KeyList();
    for (int c = 0; c < meta.Count(); ++c) {
        const IRpcStructPtr column = meta.Item(c)->AsStruct();
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
            return false;
        TMemFieldDef def;
        def.Name = nm;
        def.Kind = FieldKindOfTypeCode(tp);
        def.Size = def.Kind == fkString ? sz : 0;
        def.Required = nl == 0;
        table.AddField(def);
        columns.push_back({columnKeys.at(c), c});
    }
    // Lookups by name take the first member of a name, ignoring case.
    for (int c = int(columns.size()) - 1; c >= 0; --c)
        columnByKey.insert(columns[size_t(c)].Key.toLower(), c);
    return true;
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
    std::vector<TColumn> columns;
    QHash<QString, int> columnByKey; // lower-case key -> first column of that key
    if (!AddMetaFields(*meta, *table, columns, columnByKey))
        return nullptr;
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

namespace {

// Reads a query answer of the layout the service writes straight into a
// table, value by value, without a value tree. It gives up at anything
// else: another layout, a fault, a value of the wrong kind, text the scanner
// leaves to expat; the answer parser then reads the answer as before and
// decides. Where it does not give up, the table is the one XmlToDataSet
// makes of ParseResponse's result.
class TDataSetStream {
public:
    TDataSetStream(const QByteArray& text, bool markEmptyValues)
        : m_scanner(text, markEmptyValues, TRpcClientParser::kMaxElementDepth) {}

    // nullptr when it gives up.
    std::unique_ptr<TMemTable> Run();

private:
    using TToken = TRpcXmlScanner::TToken;

    // A scalar as the answer parser takes it: kind and text.
    struct TScalar {
        TRpcDataType Kind = rdtNone;
        QByteArrayView Text;
    };
    // The text of a name, and where rows last found it.
    struct TMemberSlot {
        QByteArray Name;
        int Column = -1;
    };
    // The last text a column held, to share one copy of repeated values.
    struct TLastText {
        QByteArray Bytes;
        QString Text;
    };

    TToken NextMarkup();
    bool Open(QByteArrayView element);
    bool Close(QByteArrayView element);
    bool OpenMember(QByteArrayView& name);
    bool ReadScalar(TScalar& scalar);
    bool ReadMeta();
    bool ReadRows();
    bool ReadRow();
    bool Store(int field, const TScalar& scalar);
    QString TextOf(int column, QByteArrayView bytes);

    TRpcXmlScanner m_scanner;
    TToken m_token = TRpcXmlScanner::tkDone;
    QByteArray m_name; // the member name being read
    std::unique_ptr<TMemTable> m_table;
    std::vector<TColumn> m_columns;
    QHash<QString, int> m_columnByKey;
    std::vector<TMemberSlot> m_slots;
    std::vector<TLastText> m_lastTexts;
    QByteArray m_scalarText;
};

bool IsAsciiBlank(QByteArrayView text) {
    for (char c : text) {
        if (c != ' ' && c != '\t' && c != '\n' && c != '\r')
            return false;
    }
    return true;
}

// Blank as the answer parser sees text (every character a space); false
// also where only a decoding could tell.
bool SurelyNotBlank(QByteArrayView text) {
    for (char c : text) {
        if (uchar(c) > ' ')
            return uchar(c) < 0x80;
    }
    return false;
}

// Skips the blanks between elements; text that is not blank gives up.
TRpcXmlScanner::TToken TDataSetStream::NextMarkup() {
    m_token = m_scanner.Next();
    if (m_token == TRpcXmlScanner::tkText) {
        if (!IsAsciiBlank(m_scanner.Text()))
            return m_token = TRpcXmlScanner::tkGiveUp;
        m_token = m_scanner.Next();
    }
    return m_token;
}

bool TDataSetStream::Open(QByteArrayView element) {
    return NextMarkup() == TRpcXmlScanner::tkStart && m_scanner.Name() == element;
}

bool TDataSetStream::Close(QByteArrayView element) {
    return NextMarkup() == TRpcXmlScanner::tkEnd && m_scanner.Name() == element;
}

// <name>NAME</name> of a member, the name not blank.
bool TDataSetStream::OpenMember(QByteArrayView& name) {
    if (!Open("name") || m_scanner.Next() != TRpcXmlScanner::tkText ||
        !SurelyNotBlank(m_scanner.Text()))
        return false;
    m_name.resize(0); // keeps the capacity
    m_name.append(m_scanner.Text());
    name = m_name;
    return Close("name");
}

// The value after its <value> up to its </value>: one scalar, typed or not.
bool TDataSetStream::ReadScalar(TScalar& scalar) {
    static constexpr struct {
        QByteArrayView Element;
        TRpcDataType Kind;
    } kTypes[] = {{"string", rdtString}, {"int", rdtInteger},     {"i4", rdtInteger},
                  {"double", rdtFloat},  {"boolean", rdtBoolean}, {"dateTime.iso8601", rdtDateTime},
                  {"base64", rdtBase64}};
    TToken token = m_scanner.Next();
    if (token == TRpcXmlScanner::tkText) {
        const QByteArrayView text = m_scanner.Text();
        if (SurelyNotBlank(text)) {
            // Untyped text is a string; one equal to its member's name is empty.
            scalar.Kind = rdtString;
            scalar.Text = text == m_name || text == "[NULL]" ? QByteArrayView("") : text;
            return Close("value");
        }
        if (!IsAsciiBlank(text))
            return false;
        // Blanks alone are the value; before a type element they are not.
        m_scalarText = text.toByteArray();
        token = m_scanner.Next();
        if (token == TRpcXmlScanner::tkEnd && m_scanner.Name() == "value") {
            scalar = {rdtString, m_scalarText};
            return true;
        }
    }
    if (token == TRpcXmlScanner::tkEnd && m_scanner.Name() == "value") {
        scalar = {rdtString, QByteArrayView("")};
        return true;
    }
    if (token != TRpcXmlScanner::tkStart)
        return false;
    const QByteArrayView element = m_scanner.Name();
    const auto type = std::find_if(std::begin(kTypes), std::end(kTypes),
                                   [element](const auto& t) { return t.Element == element; });
    if (type == std::end(kTypes))
        return false;
    scalar.Kind = type->Kind;
    const bool textual = type->Kind == rdtString || type->Kind == rdtBase64;
    token = m_scanner.Next();
    if (token == TRpcXmlScanner::tkText) {
        const QByteArrayView text = m_scanner.Text();
        // Blank text in a number, date or boolean is no value at all.
        if (!textual && !SurelyNotBlank(text))
            return false;
        scalar.Text = type->Kind == rdtString && text == "[NULL]" ? QByteArrayView("") : text;
        token = m_scanner.Next();
    } else if (textual) {
        scalar.Text = QByteArrayView("");
    } else {
        return false;
    }
    return token == TRpcXmlScanner::tkEnd && m_scanner.Name() == element && Close("value");
}

// The columns, as the answer parser builds them, then the table's fields.
bool TDataSetStream::ReadMeta() {
    if (!Open("value") || !Open("struct"))
        return false;
    const IRpcStructPtr meta = NewRpcStruct();
    while (NextMarkup() == TRpcXmlScanner::tkStart && m_scanner.Name() == "member") {
        QByteArrayView key;
        if (!OpenMember(key))
            return false;
        const QString columnKey = QString::fromUtf8(key);
        if (!Open("value") || !Open("struct"))
            return false;
        const IRpcStructPtr column = NewRpcStruct();
        while (NextMarkup() == TRpcXmlScanner::tkStart && m_scanner.Name() == "member") {
            QByteArrayView name;
            TScalar scalar;
            // The value's text is read before the blanks after it.
            if (!OpenMember(name) || !Open("value") || !ReadScalar(scalar))
                return false;
            column->AddItemFromText(scalar.Kind, QString::fromUtf8(name),
                                    QString::fromUtf8(scalar.Text));
            if (!Close("member"))
                return false;
        }
        if (m_token != TRpcXmlScanner::tkEnd || m_scanner.Name() != "struct" || !Close("value") ||
            !Close("member"))
            return false;
        meta->AddItem(columnKey, column);
    }
    if (m_token != TRpcXmlScanner::tkEnd || m_scanner.Name() != "struct" || !Close("value") ||
        !Close("member"))
        return false;
    m_table = std::make_unique<TMemTable>();
    if (!AddMetaFields(*meta, *m_table, m_columns, m_columnByKey))
        return false;
    m_table->Open();
    m_lastTexts.resize(m_columns.size());
    return true;
}

QString TDataSetStream::TextOf(int column, QByteArrayView bytes) {
    TLastText& last = m_lastTexts[size_t(column)];
    if (last.Bytes != bytes) {
        last.Bytes.resize(0); // keeps the capacity
        last.Bytes.append(bytes);
        last.Text = QString::fromUtf8(bytes);
    }
    return last.Text;
}

// One value into its field, by the rules of XmlToDataSet.
bool TDataSetStream::Store(int column, const TScalar& scalar) {
    const int field = m_columns[size_t(column)].Field;
    const TMemFieldKind kind = m_table->Field(field).Kind;
    const bool emptyString = scalar.Kind == rdtString && scalar.Text.isEmpty();
    if (kind != fkString && emptyString) {
        m_table->SetNull(field);
        return true;
    }
    switch (kind) {
    case fkString:
        if (scalar.Kind != rdtString)
            return false;
        m_table->SetString(field, TextOf(column, scalar.Text));
        return true;
    case fkInteger:
        if (scalar.Kind != rdtInteger)
            return false;
        m_table->SetInteger(field, RpcTextToInteger(QString::fromLatin1(scalar.Text)));
        return true;
    case fkBoolean:
        if (scalar.Kind != rdtBoolean)
            return false;
        m_table->SetBoolean(field, RpcTextToBoolean(QString::fromUtf8(scalar.Text)));
        return true;
    case fkFloat:
        if (scalar.Kind != rdtFloat)
            return false;
        m_table->SetFloat(field, RpcTextToDouble(QString::fromUtf8(scalar.Text)));
        return true;
    case fkDate:
    case fkDateTime:
        if (scalar.Kind != rdtDateTime)
            return false;
        m_table->SetDateTime(field, ParseIso8601(QString::fromUtf8(scalar.Text)));
        return true;
    case fkBlob:
        if (scalar.Kind != rdtBase64)
            return false;
        m_table->SetBlob(field, DecodeBase64(QString::fromUtf8(scalar.Text)));
        return true;
    case fkUnknown:
    case fkCurrency: // the service's tables hold none
        break;
    }
    return false;
}

// <value><struct> member... </struct></value> of one row; the row's name is read.
bool TDataSetStream::ReadRow() {
    if (!Open("value") || !Open("struct"))
        return false;
    m_table->Append();
    size_t position = 0;
    while (NextMarkup() == TRpcXmlScanner::tkStart && m_scanner.Name() == "member") {
        QByteArrayView name;
        TScalar scalar;
        if (!OpenMember(name) || !Open("value") || !ReadScalar(scalar))
            return false;
        if (m_slots.size() <= position)
            m_slots.resize(position + 1);
        TMemberSlot& slot = m_slots[position++];
        if (slot.Column < 0 || slot.Name != name) {
            const int column =
                m_columnByKey.value(XmlEscape(QString::fromUtf8(name)).toLower(), -1);
            if (column < 0)
                return false;
            slot = {name.toByteArray(), column};
        }
        // The value's text is read before the blanks after it.
        if (!Store(slot.Column, scalar) || !Close("member"))
            return false;
    }
    if (m_token != TRpcXmlScanner::tkEnd || m_scanner.Name() != "struct" || !Close("value") ||
        !Close("member"))
        return false;
    m_table->Post();
    return true;
}

// The "val" member's value: a struct of rows, or a string when there are none.
bool TDataSetStream::ReadRows() {
    if (!Open("value"))
        return false;
    if (NextMarkup() != TRpcXmlScanner::tkStart)
        return false;
    if (m_scanner.Name() != "struct") {
        // Anything but a string might not convert; the answer parser decides.
        return false;
    }
    TControlsDisabledGuard quiet(*m_table);
    while (NextMarkup() == TRpcXmlScanner::tkStart && m_scanner.Name() == "member") {
        QByteArrayView name;
        if (!OpenMember(name) || !ReadRow())
            return false;
    }
    return m_token == TRpcXmlScanner::tkEnd && m_scanner.Name() == "struct" && Close("value") &&
           Close("member");
}

std::unique_ptr<TMemTable> TDataSetStream::Run() {
    try {
        QByteArrayView name;
        const bool read = Open("methodResponse") && Open("params") && Open("param") &&
                          Open("value") && Open("struct") && Open("member") && OpenMember(name) &&
                          name == "DATASET" && Open("value") && Open("struct") && Open("member") &&
                          OpenMember(name) && name == "meta" && ReadMeta() && Open("member") &&
                          OpenMember(name) && name == "val" && ReadRows() && Close("struct") &&
                          Close("value") && Close("member") && Close("struct") && Close("value") &&
                          Close("param") && Close("params") && Close("methodResponse") &&
                          NextMarkup() == TRpcXmlScanner::tkDone;
        if (!read)
            return nullptr;
    } catch (...) {
        // A value that does not convert, a record the table refuses.
        return nullptr;
    }
    m_table->First();
    return std::move(m_table);
}

} // namespace

std::unique_ptr<TMemTable> StreamDataSetResponse(const QByteArray& response, bool markEmptyValues) {
    return TDataSetStream(response, markEmptyValues).Run();
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
