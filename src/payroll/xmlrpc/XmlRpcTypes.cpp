#include "payroll/xmlrpc/XmlRpcTypes.h"

#include "base/OwnerOnlyFiles.h"
#include "base/ztFormat.h"

#include <QFile>
#include <QIODevice>

namespace {

const QString kCrLf = QStringLiteral("\r\n");

QByteArray ReadWholeStream(QIODevice& stream) {
    if (!stream.isReadable())
        throw EXmlRpcError(QStringLiteral("The stream cannot be read"));
    return stream.readAll();
}

QByteArray ReadWholeFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EXmlRpcError(Format("Cannot open file \"%s\": %s", {path, file.errorString()}));
    return file.readAll();
}

// Writers join their entries with CR LF after every entry, the last included.
class TEntries {
public:
    void Add(const QString& entry) {
        m_text += entry;
        m_text += kCrLf;
    }
    const QString& Text() const { return m_text; }

private:
    QString m_text;
};

enum class TEntryStyle { Param, Member, Element };

// The value entry of a parameter, struct member or array element; false for
// kinds that are written without a value.
bool ValueEntry(const IRpcCustomItem& item, TEntryStyle style, QString& entry) {
    const QString indent = style == TEntryStyle::Param ? QString() : QStringLiteral("      ");
    switch (item.DataType()) {
    case rdtFloat:
        entry = indent + QLatin1String("<value><double>") + FormatRpcDouble(item.AsFloat()) +
                QLatin1String("</double></value>");
        return true;
    case rdtInteger:
        entry = indent + QLatin1String("<value><int>") + QString::number(item.AsInteger()) +
                QLatin1String("</int></value>");
        return true;
    case rdtString:
        entry = indent + QLatin1String("<value><string>") + item.AsRawString() +
                QLatin1String("</string></value>");
        return true;
    case rdtBoolean:
        entry = indent + QLatin1String("<value><boolean>") +
                QLatin1String(item.AsBoolean() ? "1" : "0") + QLatin1String("</boolean></value>");
        // A boolean parameter carries its own line break.
        if (style == TEntryStyle::Param)
            entry += kCrLf;
        return true;
    case rdtDateTime:
        entry = indent + QLatin1String("<value><dateTime.iso8601>") +
                FormatIso8601(item.AsDateTime()) + QLatin1String("</dateTime.iso8601></value>");
        return true;
    case rdtBase64:
        entry = indent + QLatin1String("<value><base64>") + item.AsRawBase64() +
                (style == TEntryStyle::Element ? QLatin1String("      </base64></value>")
                                               : QLatin1String("</base64></value>"));
        return true;
    case rdtStruct:
        entry = item.AsStruct() ? item.AsStruct()->GetAsXML() : QString();
        return true;
    case rdtArray:
        entry = item.AsArray() ? item.AsArray()->GetAsXML() : QString();
        return true;
    case rdtNone:
    case rdtError:
        break;
    }
    return false;
}

void AddParams(TEntries& entries, const TRpcCustomArray& params, int count) {
    entries.Add(QStringLiteral("   <params>\r\n"));
    for (int i = 0; i < count; ++i) {
        entries.Add(QStringLiteral("   <param>\r\n"));
        QString entry;
        const IRpcArrayItemPtr item = params.Item(i);
        if (ValueEntry(*item, TEntryStyle::Param, entry))
            entries.Add(item->IsBoolean() ? entry : entry + kCrLf);
        entries.Add(QStringLiteral("   </param>\r\n"));
    }
    entries.Add(QStringLiteral("   </params>\r\n"));
}

template <class T> std::shared_ptr<T> NewItem() {
    return std::make_shared<T>();
}

} // namespace

// ---- TRpcCustomItem ----

void TRpcCustomItem::Require(TRpcDataType type, const char* message) const {
    if (m_type != type)
        throw EXmlRpcError(QString::fromLatin1(message));
}

QString TRpcCustomItem::AsRawString() const {
    Require(rdtString, "Item is not a string type");
    return m_text;
}

void TRpcCustomItem::SetAsRawString(const QString& value) {
    Clear();
    m_type = rdtString;
    m_text = value;
}

QString TRpcCustomItem::AsString() const {
    Require(rdtString, "Item is not a string type");
    return XmlUnescape(m_text);
}

void TRpcCustomItem::SetAsString(const QString& value) {
    SetAsRawString(XmlEscape(value));
}

qint32 TRpcCustomItem::AsInteger() const {
    Require(rdtInteger, "Item is not an integer type");
    return m_integer;
}

void TRpcCustomItem::SetAsInteger(qint32 value) {
    Clear();
    m_type = rdtInteger;
    m_integer = value;
}

double TRpcCustomItem::AsFloat() const {
    Require(rdtFloat, "Item is not a double type");
    return m_float;
}

void TRpcCustomItem::SetAsFloat(double value) {
    Clear();
    m_type = rdtFloat;
    m_float = value;
}

bool TRpcCustomItem::AsBoolean() const {
    Require(rdtBoolean, "Item is not a boolean type");
    return m_boolean;
}

void TRpcCustomItem::SetAsBoolean(bool value) {
    Clear();
    m_type = rdtBoolean;
    m_boolean = value;
}

QDateTime TRpcCustomItem::AsDateTime() const {
    Require(rdtDateTime, "Item is not a date type");
    return m_dateTime;
}

void TRpcCustomItem::SetAsDateTime(const QDateTime& value) {
    Clear();
    m_type = rdtDateTime;
    m_dateTime = value;
}

QByteArray TRpcCustomItem::AsBase64() const {
    Require(rdtBase64, "Item is not a base64 type");
    return DecodeBase64(m_text);
}

void TRpcCustomItem::SetAsBase64(const QByteArray& content) {
    SetAsRawBase64(EncodeBase64(content));
}

IRpcArrayPtr TRpcCustomItem::AsArray() const {
    Require(rdtArray, "Item is not an array type");
    return m_array;
}

void TRpcCustomItem::SetAsArray(const IRpcArrayPtr& value) {
    Clear();
    m_type = rdtArray;
    m_array = value;
}

IRpcStructPtr TRpcCustomItem::AsStruct() const {
    Require(rdtStruct, "Item is not a struct type");
    return m_struct;
}

void TRpcCustomItem::SetAsStruct(const IRpcStructPtr& value) {
    Clear();
    m_type = rdtStruct;
    m_struct = value;
}

QString TRpcCustomItem::AsRawBase64() const {
    Require(rdtBase64, "Item is not a base64 type");
    return m_text;
}

void TRpcCustomItem::SetAsRawBase64(const QString& encoded) {
    Clear();
    m_type = rdtBase64;
    m_text = encoded;
}

void TRpcCustomItem::Clear() {
    m_type = rdtNone;
    m_text.clear();
    m_struct.reset();
    m_array.reset();
}

void TRpcCustomItem::LoadFromStream(QIODevice& stream) {
    SetAsBase64(ReadWholeStream(stream));
}

void TRpcCustomItem::SaveToStream(QIODevice& stream) const {
    const QByteArray content = AsBase64();
    if (stream.write(content) != content.size())
        throw EXmlRpcError(Format("Cannot write the stream: %s", {stream.errorString()}));
}

void TRpcCustomItem::LoadFromFile(const QString& path) {
    SetAsBase64(ReadWholeFile(path));
}

void TRpcCustomItem::SaveToFile(const QString& path) const {
    const QByteArray content = AsBase64(); // kind checked before the file is created
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw EXmlRpcError(Format("Cannot create file \"%s\": %s", {path, file.errorString()}));
    platform::KeepToOwner(file);
    if (file.write(content) != content.size())
        throw EXmlRpcError(Format("Cannot write file \"%s\": %s", {path, file.errorString()}));
}

// ---- TRpcResult ----

void TRpcResult::SetAsStruct(const IRpcStructPtr& value) {
    if (value && value->KeyExists(QStringLiteral("faultCode"))) {
        // Read both before changing anything: a failed read leaves the result as it was.
        const QString text = value->Key(QStringLiteral("faultString"))->AsString();
        const qint32 code = value->Key(QStringLiteral("faultCode"))->AsInteger();
        SetFault(code, text);
        return;
    }
    TRpcCustomItem::SetAsStruct(value);
}

void TRpcResult::Clear() {
    TRpcCustomItem::Clear();
    m_faultCode = 0;
    m_faultString.clear();
}

qint32 TRpcResult::FaultCode() const {
    Require(rdtError, "Item is not an error type");
    return m_faultCode;
}

QString TRpcResult::FaultString() const {
    Require(rdtError, "Item is not an error type");
    return m_faultString;
}

void TRpcResult::SetFault(qint32 code, const QString& text) {
    Clear();
    m_type = rdtError;
    m_faultCode = code;
    m_faultString = text;
}

// ---- item from received text ----

bool SetItemFromText(IRpcCustomItem& item, TRpcDataType kind, const QString& text) {
    switch (kind) {
    case rdtFloat:
        item.SetAsFloat(RpcTextToDouble(text));
        return true;
    case rdtInteger:
        item.SetAsInteger(RpcTextToInteger(text));
        return true;
    case rdtString:
        item.SetAsString(text);
        return true;
    case rdtBoolean:
        item.SetAsBoolean(RpcTextToBoolean(text));
        return true;
    case rdtDateTime:
        item.SetAsDateTime(ParseIso8601(text));
        return true;
    case rdtBase64:
        item.SetAsRawBase64(text);
        return true;
    default:
        return false;
    }
}

// ---- TRpcCustomArray ----

void TRpcCustomArray::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw EXmlRpcError(Format("List index out of bounds (%d)", {index}));
}

IRpcArrayItemPtr TRpcCustomArray::Item(int index) const {
    CheckIndex(index);
    return m_items[size_t(index)];
}

void TRpcCustomArray::SetItem(int index, const IRpcArrayItemPtr& item) {
    CheckIndex(index);
    if (!item)
        throw EAssertionFailed();
    m_items[size_t(index)] = item;
}

IRpcArrayItemPtr TRpcCustomArray::Append() {
    m_items.push_back(NewItem<TRpcArrayItem>());
    return m_items.back();
}

void TRpcCustomArray::AddItem(const QString& value) {
    Append()->SetAsString(value);
}
void TRpcCustomArray::AddItem(qint32 value) {
    Append()->SetAsInteger(value);
}
void TRpcCustomArray::AddItem(bool value) {
    Append()->SetAsBoolean(value);
}
void TRpcCustomArray::AddItem(double value) {
    Append()->SetAsFloat(value);
}
void TRpcCustomArray::AddItem(const IRpcStructPtr& value) {
    Append()->SetAsStruct(value);
}
void TRpcCustomArray::AddItem(const IRpcArrayPtr& value) {
    Append()->SetAsArray(value);
}
void TRpcCustomArray::AddItemRawBase64(const QString& encoded) {
    Append()->SetAsRawBase64(encoded);
}
void TRpcCustomArray::AddItemBase64(const QByteArray& content) {
    Append()->SetAsBase64(content);
}

void TRpcCustomArray::AddItemBase64FromFile(const QString& path) {
    const QByteArray content = ReadWholeFile(path);
    Append()->SetAsBase64(content);
}

void TRpcCustomArray::AddItemBase64FromStream(QIODevice& stream) {
    const QByteArray content = ReadWholeStream(stream);
    Append()->SetAsBase64(content);
}

void TRpcCustomArray::AddItemDateTime(const QDateTime& value) {
    Append()->SetAsDateTime(value);
}

void TRpcCustomArray::Clear() {
    m_items.clear();
}

void TRpcCustomArray::Delete(int index) {
    CheckIndex(index);
    m_items.erase(m_items.begin() + index);
}

// ---- TRpcArray ----

QString TRpcArray::GetAsXML() const {
    TEntries entries;
    entries.Add(QStringLiteral("<value>"));
    entries.Add(QStringLiteral("  <array>"));
    entries.Add(QStringLiteral("    <data>"));
    for (const IRpcArrayItemPtr& item : m_items) {
        QString entry;
        if (ValueEntry(*item, TEntryStyle::Element, entry))
            entries.Add(entry);
    }
    entries.Add(QStringLiteral("  </data>"));
    entries.Add(QStringLiteral("</array>"));
    entries.Add(QStringLiteral("</value>"));
    return entries.Text();
}

void TRpcArray::AddItemFromText(TRpcDataType kind, const QString& text) {
    if (kind < rdtFloat || kind > rdtBase64)
        return;
    // Appended only once converted: a failed conversion adds no element.
    auto item = NewItem<TRpcArrayItem>();
    SetItemFromText(*item, kind, text);
    m_items.push_back(std::move(item));
}

// ---- TRpcFunction ----

QByteArray TRpcFunction::GetRequestXML() const {
    TEntries entries;
    entries.Add(QStringLiteral("<?xml version=\"1.0\"?>\r\n"));
    entries.Add(QStringLiteral("<methodCall>\r\n"));
    entries.Add(QLatin1String("   <methodName>") + m_methodName + QLatin1String("</methodName>") +
                kCrLf);
    AddParams(entries, *this, Count());
    entries.Add(QStringLiteral("</methodCall>\r\n"));
    return entries.Text().toUtf8();
}

QByteArray TRpcFunction::GetResponseXML() const {
    if (m_faultCode > 0)
        return GetFaultXML();
    TEntries entries;
    entries.Add(QStringLiteral("<?xml version=\"1.0\"?>\r\n"));
    entries.Add(QStringLiteral("<methodResponse>\r\n"));
    AddParams(entries, *this, Count());
    entries.Add(QStringLiteral("</methodResponse>\r\n"));
    return entries.Text().toUtf8();
}

QByteArray TRpcFunction::GetFaultXML() const {
    TEntries entries;
    entries.Add(QStringLiteral("<?xml version=\"1.0\"?>\r\n"));
    entries.Add(QStringLiteral("<methodResponse>\r\n"));
    entries.Add(QStringLiteral("   <fault>\r\n"));
    entries.Add(QStringLiteral("      <value>\r\n"));
    entries.Add(QStringLiteral("         <struct>\r\n"));
    entries.Add(QStringLiteral("            <member>\r\n"));
    entries.Add(QStringLiteral("               <name>faultCode</name>\r\n"));
    entries.Add(QLatin1String("               <value><int>") + QString::number(m_faultCode) +
                QLatin1String("</int></value>\r\n"));
    entries.Add(QStringLiteral("            </member>\r\n"));
    entries.Add(QStringLiteral("            <member>\r\n"));
    entries.Add(QStringLiteral("               <name>faultString</name>\r\n"));
    entries.Add(QLatin1String("               <value><string>") + XmlEscape(m_faultString) +
                QLatin1String("</string></value>\r\n"));
    entries.Add(QStringLiteral("            </member>\r\n"));
    entries.Add(QStringLiteral("         </struct>\r\n"));
    entries.Add(QStringLiteral("      </value>\r\n"));
    entries.Add(QStringLiteral("   </fault>\r\n"));
    entries.Add(QStringLiteral("   </methodResponse>\r\n"));
    return entries.Text().toUtf8();
}

void TRpcFunction::Clear() {
    TRpcCustomArray::Clear();
    m_methodName.clear();
    m_faultCode = 0;
    m_faultString.clear();
}

void TRpcFunction::SetFault(qint32 code, const QString& text) {
    Clear();
    m_faultCode = code;
    m_faultString = text;
}

// ---- TRpcStruct ----

int TRpcStruct::Find(const QString& name) const {
    for (int i = 0; i < m_names.size(); ++i) {
        if (m_names.at(i).compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

void TRpcStruct::CheckIndex(int index) const {
    if (index < 0 || index >= Count())
        throw EXmlRpcError(Format("List index out of bounds (%d)", {index}));
}

int TRpcStruct::IndexOf(const QString& name) const {
    const int index = Find(name);
    if (index < 0)
        throw EXmlRpcError(Format("Key [%s] not found", {name}));
    return index;
}

IRpcStructItemPtr TRpcStruct::AddItem(const QString& name) {
    auto item = NewItem<TRpcStructItem>();
    const QString escaped = XmlEscape(name);
    item->SetName(escaped);
    m_names.append(escaped);
    m_items.push_back(item);
    return item;
}

IRpcStructItemPtr TRpcStruct::Item(int index) const {
    CheckIndex(index);
    return m_items[size_t(index)];
}

void TRpcStruct::SetItem(int index, const IRpcStructItemPtr& item) {
    CheckIndex(index);
    if (!item)
        throw EAssertionFailed();
    m_items[size_t(index)] = item;
}

IRpcStructItemPtr TRpcStruct::Key(const QString& name) const {
    return m_items[size_t(IndexOf(name))];
}

void TRpcStruct::SetKey(const QString& name, const IRpcStructItemPtr& item) {
    SetItem(IndexOf(name), item);
}

void TRpcStruct::AddItem(const QString& name, qint32 value) {
    AddItem(name)->SetAsInteger(value);
}
void TRpcStruct::AddItem(const QString& name, const QString& value) {
    AddItem(name)->SetAsString(value);
}
void TRpcStruct::AddItem(const QString& name, double value) {
    AddItem(name)->SetAsFloat(value);
}
void TRpcStruct::AddItem(const QString& name, bool value) {
    AddItem(name)->SetAsBoolean(value);
}
void TRpcStruct::AddItem(const QString& name, const IRpcArrayPtr& value) {
    AddItem(name)->SetAsArray(value);
}
void TRpcStruct::AddItem(const QString& name, const IRpcStructPtr& value) {
    AddItem(name)->SetAsStruct(value);
}
void TRpcStruct::AddItem(const QString& name, const QDateTime& value) {
    AddItem(name)->SetAsDateTime(value);
}
void TRpcStruct::AddItemBase64(const QString& name, const QByteArray& content) {
    AddItem(name)->SetAsBase64(content);
}
void TRpcStruct::AddItemRawBase64(const QString& name, const QString& encoded) {
    AddItem(name)->SetAsRawBase64(encoded);
}
void TRpcStruct::AddItemBase64FromFile(const QString& name, const QString& path) {
    const QByteArray content = ReadWholeFile(path);
    AddItem(name)->SetAsBase64(content);
}
void TRpcStruct::AddItemBase64FromStream(const QString& name, QIODevice& stream) {
    const QByteArray content = ReadWholeStream(stream);
    AddItem(name)->SetAsBase64(content);
}

void TRpcStruct::Delete(int index) {
    CheckIndex(index);
    m_names.removeAt(index);
    m_items.erase(m_items.begin() + index);
}

void TRpcStruct::Delete(const QString& name) {
    Delete(IndexOf(name));
}

void TRpcStruct::Clear() {
    m_names.clear();
    m_items.clear();
}

QString TRpcStruct::GetAsXML() const {
    TEntries entries;
    entries.Add(QStringLiteral("<value>"));
    entries.Add(QStringLiteral("  <struct>"));
    for (int i = 0; i < Count(); ++i) {
        entries.Add(QStringLiteral("    <member>"));
        QString entry;
        if (ValueEntry(*m_items[size_t(i)], TEntryStyle::Member, entry)) {
            entries.Add(QLatin1String("      <name>") + m_names.at(i) + QLatin1String("</name>"));
            entries.Add(entry);
        }
        entries.Add(QStringLiteral("    </member>"));
    }
    entries.Add(QStringLiteral("  </struct>"));
    entries.Add(QStringLiteral("</value>"));
    return entries.Text();
}

void TRpcStruct::AddItemFromText(TRpcDataType kind, const QString& name, const QString& text) {
    if (kind < rdtFloat || kind > rdtBase64)
        return;
    auto item = NewItem<TRpcStructItem>();
    SetItemFromText(*item, kind, text);
    const QString escaped = XmlEscape(name);
    item->SetName(escaped);
    m_names.append(escaped);
    m_items.push_back(std::move(item));
}

IRpcStructPtr NewRpcStruct() {
    return std::make_shared<TRpcStruct>();
}
IRpcArrayPtr NewRpcArray() {
    return std::make_shared<TRpcArray>();
}
IRpcFunctionPtr NewRpcFunction() {
    return std::make_shared<TRpcFunction>();
}
IRpcResultPtr NewRpcResult() {
    return std::make_shared<TRpcResult>();
}
