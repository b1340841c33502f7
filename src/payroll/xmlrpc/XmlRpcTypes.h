// XML-RPC values: scalars, arrays, structs, method calls and call results.
// Values are shared: a container keeps its elements alive.
#pragma once

#include "payroll/xmlrpc/XmlRpcCommon.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QIODevice;

enum TRpcDataType : quint8 {
    rdtNone = 0,
    rdtFloat = 1,
    rdtInteger = 2,
    rdtString = 3,
    rdtBoolean = 4,
    rdtDateTime = 5,
    rdtBase64 = 6,
    rdtStruct = 7,
    rdtArray = 8,
    rdtError = 9,
};

class IRpcCustomItem;
class IRpcArrayItem;
class IRpcStructItem;
class IRpcResult;
class IRpcCustomArray;
class IRpcArray;
class IRpcFunction;
class IRpcStruct;
using IRpcCustomItemPtr = std::shared_ptr<IRpcCustomItem>;
using IRpcArrayItemPtr = std::shared_ptr<IRpcArrayItem>;
using IRpcStructItemPtr = std::shared_ptr<IRpcStructItem>;
using IRpcResultPtr = std::shared_ptr<IRpcResult>;
using IRpcArrayPtr = std::shared_ptr<IRpcArray>;
using IRpcFunctionPtr = std::shared_ptr<IRpcFunction>;
using IRpcStructPtr = std::shared_ptr<IRpcStruct>;

// One value. Reading it as another kind than it holds throws EXmlRpcError;
// there is no conversion between kinds. Every write replaces the value.
class IRpcCustomItem {
public:
    virtual ~IRpcCustomItem() = default;

    // The stored (XML-escaped) text.
    virtual QString AsRawString() const = 0;
    virtual void SetAsRawString(const QString& value) = 0;
    virtual QString AsString() const = 0;
    virtual void SetAsString(const QString& value) = 0;
    virtual qint32 AsInteger() const = 0;
    virtual void SetAsInteger(qint32 value) = 0;
    virtual double AsFloat() const = 0;
    virtual void SetAsFloat(double value) = 0;
    virtual bool AsBoolean() const = 0;
    virtual void SetAsBoolean(bool value) = 0;
    virtual QDateTime AsDateTime() const = 0;
    virtual void SetAsDateTime(const QDateTime& value) = 0;
    // Decoded content; the write encodes.
    virtual QByteArray AsBase64() const = 0;
    virtual void SetAsBase64(const QByteArray& content) = 0;
    virtual IRpcArrayPtr AsArray() const = 0;
    virtual void SetAsArray(const IRpcArrayPtr& value) = 0;
    virtual IRpcStructPtr AsStruct() const = 0;
    virtual void SetAsStruct(const IRpcStructPtr& value) = 0;
    // The encoded text as stored.
    virtual QString AsRawBase64() const = 0;
    virtual void SetAsRawBase64(const QString& encoded) = 0;
    virtual TRpcDataType DataType() const = 0;
    virtual void Clear() = 0;

    bool IsArray() const { return DataType() == rdtArray; }
    bool IsBase64() const { return DataType() == rdtBase64; }
    bool IsBoolean() const { return DataType() == rdtBoolean; }
    bool IsDate() const { return DataType() == rdtDateTime; }
    bool IsFloat() const { return DataType() == rdtFloat; }
    bool IsError() const { return DataType() == rdtError; }
    bool IsInteger() const { return DataType() == rdtInteger; }
    bool IsString() const { return DataType() == rdtString; }
    bool IsStruct() const { return DataType() == rdtStruct; }

    virtual void LoadFromStream(QIODevice& stream) = 0;
    virtual void SaveToStream(QIODevice& stream) const = 0;
    virtual void LoadFromFile(const QString& path) = 0;
    virtual void SaveToFile(const QString& path) const = 0;
};

class IRpcArrayItem : public virtual IRpcCustomItem {};

class IRpcStructItem : public virtual IRpcCustomItem {
public:
    virtual QString Name() const = 0;
    virtual void SetName(const QString& name) = 0;
};

class IRpcResult : public virtual IRpcCustomItem {
public:
    virtual qint32 FaultCode() const = 0;
    virtual QString FaultString() const = 0;
    virtual void SetFault(qint32 code, const QString& text) = 0;
};

// An ordered list of values: the elements of an array or a call's parameters.
class IRpcCustomArray {
public:
    virtual ~IRpcCustomArray() = default;

    virtual IRpcArrayItemPtr Item(int index) const = 0;
    virtual void SetItem(int index, const IRpcArrayItemPtr& item) = 0;
    virtual void AddItem(const QString& value) = 0;
    void AddItem(const char* value) { AddItem(QString::fromUtf8(value)); }
    virtual void AddItem(qint32 value) = 0;
    virtual void AddItem(bool value) = 0;
    virtual void AddItem(double value) = 0;
    virtual void AddItem(const IRpcStructPtr& value) = 0;
    virtual void AddItem(const IRpcArrayPtr& value) = 0;
    virtual void AddItemRawBase64(const QString& encoded) = 0;
    virtual void AddItemBase64(const QByteArray& content) = 0;
    virtual void AddItemBase64FromFile(const QString& path) = 0;
    virtual void AddItemBase64FromStream(QIODevice& stream) = 0;
    virtual void AddItemDateTime(const QDateTime& value) = 0;
    virtual void Clear() = 0;
    virtual int Count() const = 0;
    virtual void Delete(int index) = 0;
};

class IRpcArray : public virtual IRpcCustomArray {
public:
    virtual QString GetAsXML() const = 0;
    // Kinds rdtFloat..rdtBase64 from received text; other kinds add nothing.
    virtual void AddItemFromText(TRpcDataType kind, const QString& text) = 0;
};

// A method call.
class IRpcFunction : public virtual IRpcCustomArray {
public:
    // UTF-8 request text, byte for byte as the service expects it.
    virtual QByteArray GetRequestXML() const = 0;
    // Server-side answers; used by test servers only.
    virtual QByteArray GetResponseXML() const = 0;
    virtual QByteArray GetFaultXML() const = 0;
    virtual QString MethodName() const = 0;
    virtual void SetMethodName(const QString& name) = 0;
    virtual void SetFault(qint32 code, const QString& text) = 0;
    virtual qint32 FaultCode() const = 0;
    virtual QString FaultString() const = 0;
};

// Members in insertion order; duplicate names accepted; lookup by name is
// case-insensitive and takes the first match.
class IRpcStruct {
public:
    virtual ~IRpcStruct() = default;

    virtual IRpcStructItemPtr AddItem(const QString& name) = 0;
    // The stored (escaped) member names.
    virtual QStringList KeyList() const = 0;
    virtual IRpcStructItemPtr Item(int index) const = 0;
    virtual void SetItem(int index, const IRpcStructItemPtr& item) = 0;
    virtual IRpcStructItemPtr Key(const QString& name) const = 0;
    virtual void SetKey(const QString& name, const IRpcStructItemPtr& item) = 0;
    virtual void AddItem(const QString& name, qint32 value) = 0;
    virtual void AddItem(const QString& name, const QString& value) = 0;
    void AddItem(const QString& name, const char* value) {
        AddItem(name, QString::fromUtf8(value));
    }
    virtual void AddItem(const QString& name, double value) = 0;
    virtual void AddItem(const QString& name, bool value) = 0;
    virtual void AddItem(const QString& name, const IRpcArrayPtr& value) = 0;
    virtual void AddItem(const QString& name, const IRpcStructPtr& value) = 0;
    virtual void AddItem(const QString& name, const QDateTime& value) = 0;
    virtual void AddItemBase64(const QString& name, const QByteArray& content) = 0;
    virtual void AddItemRawBase64(const QString& name, const QString& encoded) = 0;
    virtual void AddItemBase64FromFile(const QString& name, const QString& path) = 0;
    virtual void AddItemBase64FromStream(const QString& name, QIODevice& stream) = 0;
    virtual bool KeyExists(const QString& name) const = 0;
    virtual void Delete(int index) = 0;
    virtual void Delete(const QString& name) = 0;
    virtual void Clear() = 0;
    virtual int Count() const = 0;
    // Throws EXmlRpcError "Key [name] not found".
    virtual int IndexOf(const QString& name) const = 0;
    virtual QString GetAsXML() const = 0;
    virtual void AddItemFromText(TRpcDataType kind, const QString& name, const QString& text) = 0;
};

// ---- implementations ----

class TRpcCustomItem : public virtual IRpcCustomItem {
public:
    QString AsRawString() const override;
    void SetAsRawString(const QString& value) override;
    QString AsString() const override;
    void SetAsString(const QString& value) override;
    qint32 AsInteger() const override;
    void SetAsInteger(qint32 value) override;
    double AsFloat() const override;
    void SetAsFloat(double value) override;
    bool AsBoolean() const override;
    void SetAsBoolean(bool value) override;
    QDateTime AsDateTime() const override;
    void SetAsDateTime(const QDateTime& value) override;
    QByteArray AsBase64() const override;
    void SetAsBase64(const QByteArray& content) override;
    IRpcArrayPtr AsArray() const override;
    void SetAsArray(const IRpcArrayPtr& value) override;
    IRpcStructPtr AsStruct() const override;
    void SetAsStruct(const IRpcStructPtr& value) override;
    QString AsRawBase64() const override;
    void SetAsRawBase64(const QString& encoded) override;
    TRpcDataType DataType() const override { return m_type; }
    void Clear() override;
    void LoadFromStream(QIODevice& stream) override;
    void SaveToStream(QIODevice& stream) const override;
    void LoadFromFile(const QString& path) override;
    void SaveToFile(const QString& path) const override;

protected:
    void Require(TRpcDataType type, const char* message) const;

    TRpcDataType m_type = rdtNone;
    union {
        qint32 m_integer;
        double m_float = 0;
        bool m_boolean;
    };
    QString m_text; // strings (escaped) and base64 (encoded)
    QDateTime m_dateTime;
    IRpcStructPtr m_struct;
    IRpcArrayPtr m_array;
};

class TRpcArrayItem : public TRpcCustomItem, public IRpcArrayItem {};

class TRpcStructItem : public TRpcCustomItem, public IRpcStructItem {
public:
    QString Name() const override { return m_name; }
    void SetName(const QString& name) override { m_name = name; }

private:
    QString m_name;
};

class TRpcResult : public TRpcCustomItem, public IRpcResult {
public:
    // A struct holding "faultCode" turns the result into a fault.
    void SetAsStruct(const IRpcStructPtr& value) override;
    void Clear() override;
    qint32 FaultCode() const override;
    QString FaultString() const override;
    void SetFault(qint32 code, const QString& text) override;

private:
    qint32 m_faultCode = 0;
    QString m_faultString;
};

class TRpcCustomArray : public virtual IRpcCustomArray {
public:
    IRpcArrayItemPtr Item(int index) const override;
    void SetItem(int index, const IRpcArrayItemPtr& item) override;
    using IRpcCustomArray::AddItem;
    void AddItem(const QString& value) override;
    void AddItem(qint32 value) override;
    void AddItem(bool value) override;
    void AddItem(double value) override;
    void AddItem(const IRpcStructPtr& value) override;
    void AddItem(const IRpcArrayPtr& value) override;
    void AddItemRawBase64(const QString& encoded) override;
    void AddItemBase64(const QByteArray& content) override;
    void AddItemBase64FromFile(const QString& path) override;
    void AddItemBase64FromStream(QIODevice& stream) override;
    void AddItemDateTime(const QDateTime& value) override;
    void Clear() override;
    int Count() const override { return int(m_items.size()); }
    void Delete(int index) override;

protected:
    IRpcArrayItemPtr Append();
    void CheckIndex(int index) const;

    std::vector<IRpcArrayItemPtr> m_items;
};

class TRpcArray : public TRpcCustomArray, public IRpcArray {
public:
    QString GetAsXML() const override;
    void AddItemFromText(TRpcDataType kind, const QString& text) override;
};

class TRpcFunction : public TRpcCustomArray, public IRpcFunction {
public:
    QByteArray GetRequestXML() const override;
    QByteArray GetResponseXML() const override;
    QByteArray GetFaultXML() const override;
    QString MethodName() const override { return m_methodName; }
    void SetMethodName(const QString& name) override { m_methodName = name; }
    void Clear() override;
    void SetFault(qint32 code, const QString& text) override;
    qint32 FaultCode() const override { return m_faultCode; }
    QString FaultString() const override { return m_faultString; }

private:
    QString m_methodName;
    qint32 m_faultCode = 0;
    QString m_faultString;
};

class TRpcStruct : public IRpcStruct {
public:
    IRpcStructItemPtr AddItem(const QString& name) override;
    QStringList KeyList() const override { return m_names; }
    IRpcStructItemPtr Item(int index) const override;
    void SetItem(int index, const IRpcStructItemPtr& item) override;
    IRpcStructItemPtr Key(const QString& name) const override;
    void SetKey(const QString& name, const IRpcStructItemPtr& item) override;
    using IRpcStruct::AddItem;
    void AddItem(const QString& name, qint32 value) override;
    void AddItem(const QString& name, const QString& value) override;
    void AddItem(const QString& name, double value) override;
    void AddItem(const QString& name, bool value) override;
    void AddItem(const QString& name, const IRpcArrayPtr& value) override;
    void AddItem(const QString& name, const IRpcStructPtr& value) override;
    void AddItem(const QString& name, const QDateTime& value) override;
    void AddItemBase64(const QString& name, const QByteArray& content) override;
    void AddItemRawBase64(const QString& name, const QString& encoded) override;
    void AddItemBase64FromFile(const QString& name, const QString& path) override;
    void AddItemBase64FromStream(const QString& name, QIODevice& stream) override;
    bool KeyExists(const QString& name) const override { return Find(name) >= 0; }
    void Delete(int index) override;
    void Delete(const QString& name) override;
    void Clear() override;
    int Count() const override { return int(m_items.size()); }
    int IndexOf(const QString& name) const override;
    QString GetAsXML() const override;
    void AddItemFromText(TRpcDataType kind, const QString& name, const QString& text) override;

private:
    int Find(const QString& name) const;
    void CheckIndex(int index) const;

    QStringList m_names;
    std::vector<IRpcStructItemPtr> m_items;
};

IRpcStructPtr NewRpcStruct();
IRpcArrayPtr NewRpcArray();
IRpcFunctionPtr NewRpcFunction();
IRpcResultPtr NewRpcResult();

// Stores received text of kinds rdtFloat..rdtBase64 into an item; throws
// EConvertError for text that does not convert. Other kinds store nothing
// and return false.
bool SetItemFromText(IRpcCustomItem& item, TRpcDataType kind, const QString& text);
