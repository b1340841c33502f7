// The library's objects are reached through declarations of its interface
// layout (7-Zip 23 and later: no virtual destructors). This file is built
// without UBSan's vptr check, whose type information cannot match the
// library's.
#include "logkeeper/vlxSevenZip.h"

#include "base/OwnerOnlyFiles.h"
#include "base/ztFormat.h"
#include "logkeeper/vlxSevenZipLibrary.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSaveFile>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <cwchar>
#include <string>

// The library's types and interfaces have external linkage: objects of
// another module implement them. Declared in an anonymous namespace, the
// optimiser would see no implementation of IOutArchive anywhere and turn
// the calls into the library into calls of the pure virtual stub.
namespace sevenzip {

using HRESULT = std::int32_t;
using ULONG = std::uint32_t;
using UInt32 = std::uint32_t;
using Int32 = std::int32_t;
using UInt64 = std::uint64_t;
using Int64 = std::int64_t;
using PROPID = std::uint32_t;

constexpr HRESULT kOk = 0;
constexpr HRESULT kNotImpl = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT kNoInterface = static_cast<HRESULT>(0x80004002u);
constexpr HRESULT kPointer = static_cast<HRESULT>(0x80004003u);
constexpr HRESULT kFail = static_cast<HRESULT>(0x80004005u);
constexpr HRESULT kOutOfMemory = static_cast<HRESULT>(0x8007000Eu);
constexpr HRESULT kInvalidArg = static_cast<HRESULT>(0x80070057u);

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

constexpr GUID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
// {23170F69-40C1-278A-0000-00gg00ss0000}
constexpr GUID SevenZipIid(std::uint8_t group, std::uint8_t sub) {
    return GUID{0x23170F69, 0x40C1, 0x278A, {0, 0, 0, group, 0, sub, 0, 0}};
}
constexpr GUID IID_IProgress = SevenZipIid(0x00, 0x05);
constexpr GUID IID_ISequentialInStream = SevenZipIid(0x03, 0x01);
constexpr GUID IID_ISequentialOutStream = SevenZipIid(0x03, 0x02);
constexpr GUID IID_IOutStream = SevenZipIid(0x03, 0x04);
constexpr GUID IID_ICryptoGetTextPassword2 = SevenZipIid(0x05, 0x11);
constexpr GUID IID_ISetProperties = SevenZipIid(0x06, 0x03);
constexpr GUID IID_IArchiveUpdateCallback = SevenZipIid(0x06, 0x80);
constexpr GUID IID_IOutArchive = SevenZipIid(0x06, 0xA0);
// The 7z format handler.
constexpr GUID CLSID_Format7z{0x23170F69, 0x40C1, 0x278A, {0x10, 0, 0, 0x01, 0x10, 0x07, 0, 0}};

enum : std::uint16_t {
    VT_EMPTY = 0,
    VT_BSTR = 8,
    VT_BOOL = 11,
    VT_UI4 = 19,
    VT_UI8 = 21,
    VT_FILETIME = 64
};
enum : PROPID {
    kpidPath = 3,
    kpidIsDir = 6,
    kpidSize = 7,
    kpidAttrib = 9,
    kpidCTime = 10,
    kpidMTime = 12,
    kpidIsAnti = 21
};

struct FILETIME {
    std::uint32_t Low;
    std::uint32_t High;
};

// The first 16 bytes of a PROPVARIANT: all the values used here fit. On
// systems where the real one is longer, arrays are laid out with the
// system's stride (PropVariantStride).
struct PROPVARIANT {
    std::uint16_t vt;
    std::uint16_t reserved1;
    std::uint16_t reserved2;
    std::uint16_t reserved3;
    union {
        std::int16_t boolVal;
        std::uint32_t ulVal;
        std::uint64_t uhVal;
        BSTR bstrVal;
        FILETIME filetime;
    };
};
static_assert(sizeof(PROPVARIANT) == 16, "PROPVARIANT head must be 16 bytes");

// A PROPVARIANT the library fills: room for the system's whole structure.
struct TPropVariantSlot {
    PROPVARIANT Value{};
    unsigned char Tail[16]{};
};

// Interface declarations: slot order is the library's.
struct IUnknown {
    virtual HRESULT QueryInterface(const GUID& iid, void** out) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;
};
struct IProgress : IUnknown {
    virtual HRESULT SetTotal(UInt64 total) = 0;
    virtual HRESULT SetCompleted(const UInt64* completed) = 0;
};
struct ISequentialInStream : IUnknown {
    virtual HRESULT Read(void* data, UInt32 size, UInt32* processed) = 0;
};
struct ISequentialOutStream : IUnknown {
    virtual HRESULT Write(const void* data, UInt32 size, UInt32* processed) = 0;
};
struct IOutStream : ISequentialOutStream {
    virtual HRESULT Seek(Int64 offset, UInt32 origin, UInt64* newPosition) = 0;
    virtual HRESULT SetSize(UInt64 size) = 0;
};
struct ICryptoGetTextPassword2 : IUnknown {
    virtual HRESULT CryptoGetTextPassword2(Int32* passwordIsDefined, BSTR* password) = 0;
};
struct ISetProperties : IUnknown {
    virtual HRESULT SetProperties(const wchar_t* const* names, const void* values,
                                  UInt32 count) = 0;
};
struct IArchiveUpdateCallback : IProgress {
    virtual HRESULT GetUpdateItemInfo(UInt32 index, Int32* newData, Int32* newProps,
                                      UInt32* indexInArchive) = 0;
    virtual HRESULT GetProperty(UInt32 index, PROPID propId, PROPVARIANT* value) = 0;
    virtual HRESULT GetStream(UInt32 index, ISequentialInStream** stream) = 0;
    virtual HRESULT SetOperationResult(Int32 result) = 0;
};
struct IOutArchive : IUnknown {
    virtual HRESULT UpdateItems(ISequentialOutStream* out, UInt32 count,
                                IArchiveUpdateCallback* callback) = 0;
    virtual HRESULT GetFileTimeType(UInt32* type) = 0;
};

using TCreateObject = HRESULT (*)(const GUID* clsid, const GUID* iid, void** out);
using TGetNumberOfFormats = HRESULT (*)(UInt32* count);
using TGetHandlerProperty2 = HRESULT (*)(UInt32 index, PROPID propId, PROPVARIANT* value);
using TGetModuleProp = HRESULT (*)(PROPID propId, PROPVARIANT* value);

namespace {

// A reference to a library object, released when it goes.
template <class T> class TComPtr {
public:
    TComPtr() = default;
    explicit TComPtr(T* p) : m_p(p) {}
    ~TComPtr() {
        if (m_p)
            m_p->Release();
    }
    TComPtr(const TComPtr&) = delete;
    TComPtr& operator=(const TComPtr&) = delete;
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }
    void** out() { return reinterpret_cast<void**>(&m_p); }

private:
    T* m_p = nullptr;
};

// Names and the password go to the library as UTF-16 code units widened to
// wchar_t: its writer keeps 16 bits a character on every system.
std::wstring Utf16Units(const QString& text) {
    std::wstring result;
    result.reserve(static_cast<std::size_t>(text.size()));
    for (const QChar c : text)
        result.push_back(static_cast<wchar_t>(c.unicode()));
    return result;
}

FILETIME ToFileTime(const QDateTime& time) {
    // 100 ns since 1601-01-01 UTC.
    const qint64 msecs = time.isValid() ? time.toMSecsSinceEpoch() : 0;
    const UInt64 ticks = static_cast<UInt64>(msecs * 10000 + 116444736000000000LL);
    return FILETIME{static_cast<std::uint32_t>(ticks), static_cast<std::uint32_t>(ticks >> 32)};
}

// Reference counting shared by our objects; the library calls them from
// its worker threads.
class TRefCounted {
protected:
    ULONG DoAddRef() { return ++m_refs; }
    template <class T> ULONG DoRelease(T* self) {
        const ULONG refs = --m_refs;
        if (refs == 0)
            delete self;
        return refs;
    }

private:
    std::atomic<ULONG> m_refs{1};
};

// The first failure of a source, in words, for the message of the write.
class TReadErrors {
public:
    void Record(const QFile& file) {
        QMutexLocker lock(&m_lock);
        if (m_error.isEmpty())
            m_error = Format("Cannot read file <%s>. %s",
                             {QDir::toNativeSeparators(file.fileName()), file.errorString()});
    }
    QString Error() const {
        QMutexLocker lock(&m_lock);
        return m_error;
    }

private:
    mutable QMutex m_lock;
    QString m_error;
};

class TInStream final : public ISequentialInStream, private TRefCounted {
public:
    TInStream(const TSevenZipArchive::TItem& item, TReadErrors& errors)
        : m_item(item), m_errors(errors) {}

    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out)
            return kPointer;
        *out = nullptr;
        if (!(iid == IID_IUnknown || iid == IID_ISequentialInStream))
            return kNoInterface;
        *out = static_cast<ISequentialInStream*>(this);
        AddRef();
        return kOk;
    }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(this); }

    HRESULT Read(void* data, UInt32 size, UInt32* processed) override {
        if (processed)
            *processed = 0;
        const UInt64 left = m_item.Size - m_position;
        const UInt32 wanted = static_cast<UInt32>(std::min<UInt64>(size, left));
        if (wanted == 0)
            return kOk;
        qint64 got = 0;
        if (m_item.File) {
            // Exactly the bytes counted when the file was added.
            if (!m_item.File->seek(static_cast<qint64>(m_position))) {
                m_errors.Record(*m_item.File);
                return kFail;
            }
            got = m_item.File->read(static_cast<char*>(data), wanted);
            if (got < 0) {
                m_errors.Record(*m_item.File);
                return kFail;
            }
        } else {
            std::memcpy(data, m_item.Data.constData() + m_position, wanted);
            got = wanted;
        }
        m_position += static_cast<UInt64>(got);
        if (processed)
            *processed = static_cast<UInt32>(got);
        return kOk;
    }

private:
    const TSevenZipArchive::TItem& m_item;
    TReadErrors& m_errors;
    UInt64 m_position = 0;
};

class TOutStream final : public IOutStream, private TRefCounted {
public:
    explicit TOutStream(QIODevice& device) : m_device(device) {}

    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out)
            return kPointer;
        *out = nullptr;
        if (!(iid == IID_IUnknown || iid == IID_ISequentialOutStream || iid == IID_IOutStream))
            return kNoInterface;
        *out = static_cast<IOutStream*>(this);
        AddRef();
        return kOk;
    }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(this); }

    HRESULT Write(const void* data, UInt32 size, UInt32* processed) override {
        if (processed)
            *processed = 0;
        QMutexLocker lock(&m_lock);
        const qint64 written = m_device.write(static_cast<const char*>(data), size);
        if (written != static_cast<qint64>(size)) {
            Fail();
            return kFail;
        }
        if (processed)
            *processed = size;
        return kOk;
    }
    HRESULT Seek(Int64 offset, UInt32 origin, UInt64* newPosition) override {
        QMutexLocker lock(&m_lock);
        qint64 base = 0;
        switch (origin) {
        case 0:
            break;
        case 1:
            base = m_device.pos();
            break;
        case 2:
            base = m_device.size();
            break;
        default:
            return kInvalidArg;
        }
        const qint64 target = base + offset;
        if (target < 0)
            return kInvalidArg;
        if (!m_device.seek(target)) {
            Fail();
            return kFail;
        }
        if (newPosition)
            *newPosition = static_cast<UInt64>(target);
        return kOk;
    }
    HRESULT SetSize(UInt64 size) override {
        QMutexLocker lock(&m_lock);
        auto* file = qobject_cast<QFileDevice*>(&m_device);
        if (file ? file->resize(static_cast<qint64>(size))
                 : m_device.size() == static_cast<qint64>(size))
            return kOk;
        Fail();
        return kFail;
    }

    QString Error() const {
        QMutexLocker lock(&m_lock);
        return m_error;
    }

private:
    void Fail() {
        if (m_error.isEmpty())
            m_error = m_device.errorString();
    }

    QIODevice& m_device;
    mutable QMutex m_lock;
    QString m_error;
};

class TUpdateCallback final : public IArchiveUpdateCallback,
                              public ICryptoGetTextPassword2,
                              private TRefCounted {
public:
    TUpdateCallback(const std::vector<TSevenZipArchive::TItem>& items, const QString& password,
                    const TStringApi& api)
        : m_items(items), m_password(password), m_api(api) {}

    HRESULT QueryInterface(const GUID& iid, void** out) override {
        if (!out)
            return kPointer;
        *out = nullptr;
        if (iid == IID_IUnknown || iid == IID_IProgress || iid == IID_IArchiveUpdateCallback)
            *out = static_cast<IArchiveUpdateCallback*>(this);
        else if (iid == IID_ICryptoGetTextPassword2)
            *out = static_cast<ICryptoGetTextPassword2*>(this);
        else
            return kNoInterface;
        AddRef();
        return kOk;
    }
    ULONG AddRef() override { return DoAddRef(); }
    ULONG Release() override { return DoRelease(this); }

    HRESULT SetTotal(UInt64) override { return kOk; }
    HRESULT SetCompleted(const UInt64*) override { return kOk; }

    HRESULT GetUpdateItemInfo(UInt32 index, Int32* newData, Int32* newProps,
                              UInt32* indexInArchive) override {
        if (index >= m_items.size())
            return kInvalidArg;
        if (newData)
            *newData = 1;
        if (newProps)
            *newProps = 1;
        if (indexInArchive)
            *indexInArchive = 0xFFFFFFFFu;
        return kOk;
    }

    HRESULT GetProperty(UInt32 index, PROPID propId, PROPVARIANT* value) override {
        if (!value)
            return kPointer;
        if (index >= m_items.size())
            return kInvalidArg;
        const TSevenZipArchive::TItem& item = m_items[index];
        value->vt = VT_EMPTY;
        switch (propId) {
        case kpidPath: {
            const std::wstring name = Utf16Units(item.Name);
            value->bstrVal = m_api.SysAllocString(name.c_str());
            if (!value->bstrVal)
                return kOutOfMemory;
            value->vt = VT_BSTR;
            break;
        }
        case kpidIsDir:
        case kpidIsAnti:
            value->vt = VT_BOOL;
            value->boolVal = 0;
            break;
        case kpidSize:
            value->vt = VT_UI8;
            value->uhVal = item.Size;
            break;
        case kpidAttrib:
            value->vt = VT_UI4;
            value->ulVal = item.Attributes;
            break;
        case kpidCTime:
            value->vt = VT_FILETIME;
            value->filetime = ToFileTime(item.Created);
            break;
        case kpidMTime:
            value->vt = VT_FILETIME;
            value->filetime = ToFileTime(item.Modified);
            break;
        default:
            break;
        }
        return kOk;
    }

    HRESULT GetStream(UInt32 index, ISequentialInStream** stream) override {
        if (!stream)
            return kPointer;
        *stream = nullptr;
        if (index >= m_items.size())
            return kInvalidArg;
        try {
            *stream = new TInStream(m_items[index], m_readErrors);
        } catch (...) {
            return kOutOfMemory;
        }
        return kOk;
    }

    HRESULT SetOperationResult(Int32) override { return kOk; }

    HRESULT CryptoGetTextPassword2(Int32* passwordIsDefined, BSTR* password) override {
        if (!passwordIsDefined || !password)
            return kPointer;
        *password = nullptr;
        *passwordIsDefined = m_password.isEmpty() ? 0 : 1;
        if (m_password.isEmpty())
            return kOk;
        const std::wstring text = Utf16Units(m_password);
        *password = m_api.SysAllocString(text.c_str());
        return *password ? kOk : kOutOfMemory;
    }

    QString ReadError() const { return m_readErrors.Error(); }

private:
    const std::vector<TSevenZipArchive::TItem>& m_items;
    TReadErrors m_readErrors;
    QString m_password;
    TStringApi m_api;
};

// Takes our first reference to an object of ours and drops it at the end.
template <class T> class TOwnRef {
public:
    explicit TOwnRef(T* p) : m_p(p) {}
    ~TOwnRef() { m_p->Release(); }
    TOwnRef(const TOwnRef&) = delete;
    TOwnRef& operator=(const TOwnRef&) = delete;
    T* get() const { return m_p; }
    T* operator->() const { return m_p; }

private:
    T* m_p;
};

} // namespace
} // namespace sevenzip

using namespace sevenzip;

struct TSevenZipArchive::TLibrary {
    TCreateObject CreateObject = nullptr;
    TGetModuleProp GetModuleProp = nullptr;
    TStringApi Strings;
};

TSevenZipArchive::TSevenZipArchive(const QString& libraryPath)
    : m_library(std::make_unique<TLibrary>()), m_libraryPath(libraryPath) {
    const QString shown = QDir::toNativeSeparators(libraryPath);
    QString reason;
    void* library = LoadSevenZipLibrary(libraryPath, reason);
    if (!library) {
        QString message = Format("Error loading library %s", {shown});
        if (!reason.isEmpty())
            message += QStringLiteral("\r\n\r\n") + reason;
        throw ESevenZipError(message);
    }
    m_library->CreateObject =
        reinterpret_cast<TCreateObject>(SevenZipSymbol(library, "CreateObject"));
    if (!m_library->CreateObject)
        throw ESevenZipError(Format("%s is not a 7z library", {shown}));
    auto getNumberOfFormats =
        reinterpret_cast<TGetNumberOfFormats>(SevenZipSymbol(library, "GetNumberOfFormats"));
    auto getHandlerProperty2 =
        reinterpret_cast<TGetHandlerProperty2>(SevenZipSymbol(library, "GetHandlerProperty2"));
    if (!getNumberOfFormats || !getHandlerProperty2 ||
        !SevenZipSymbol(library, "GetHandlerProperty"))
        throw ESevenZipError(Format("%s is not a Format library", {shown}));
    if (!LoadStringApi(library, m_library->Strings))
        throw ESevenZipError(Format("%s is not a 7z library", {shown}));

    // The layout gate comes before any object is created: an older library
    // has two more slots in every interface and would be called wrongly.
    m_library->GetModuleProp =
        reinterpret_cast<TGetModuleProp>(SevenZipSymbol(library, "GetModuleProp"));
    bool newLayout = !MissingModulePropMeansOldLayout();
    if (m_library->GetModuleProp) {
        TPropVariantSlot valueSlot;
        PROPVARIANT& value = valueSlot.Value;
        newLayout =
            m_library->GetModuleProp(0, &value) == kOk && value.vt == VT_UI4 && value.ulVal == 0;
        if (value.vt != VT_EMPTY)
            m_library->Strings.VariantClear(&value);
    }
    if (!newLayout)
        throw ESevenZipError(
            Format("%s is a 7-Zip library with the interfaces of versions before 23, which "
                   "this program cannot use; install 7-Zip 23 or later",
                   {shown}));

    UInt32 formats = 0;
    bool has7z = false;
    if (getNumberOfFormats(&formats) == kOk) {
        for (UInt32 i = 0; i < formats && !has7z; ++i) {
            TPropVariantSlot nameSlot;
            PROPVARIANT& name = nameSlot.Value;
            if (getHandlerProperty2(i, 0, &name) != kOk)
                continue;
            has7z = name.vt == VT_BSTR && name.bstrVal && std::wcscmp(name.bstrVal, L"7z") == 0;
            if (name.vt != VT_EMPTY)
                m_library->Strings.VariantClear(&name);
        }
    }
    if (!has7z)
        throw ESevenZipError(Format("%s is not a 7z library", {shown}));
}

TSevenZipArchive::~TSevenZipArchive() = default;

quint32 TSevenZipArchive::LibraryVersion() const {
    if (!m_library->GetModuleProp)
        return 0;
    TPropVariantSlot valueSlot;
    PROPVARIANT& value = valueSlot.Value;
    quint32 version = 0;
    if (m_library->GetModuleProp(1, &value) == kOk && value.vt == VT_UI4)
        version = value.ulVal;
    if (value.vt != VT_EMPTY)
        m_library->Strings.VariantClear(&value);
    return version;
}

void TSevenZipArchive::AddFile(const QString& path, const QString& nameInArchive) {
    auto file = std::make_shared<QFile>(path);
    if (!file->open(QIODevice::ReadOnly))
        throw ESevenZipError(Format("Cannot open file <%s>. %s",
                                    {QDir::toNativeSeparators(path), file->errorString()}));
    const QFileInfo info(path);
    TItem item;
    item.Name = nameInArchive;
    item.File = file;
    item.Size = static_cast<quint64>(file->size());
    item.Modified = info.lastModified();
    item.Created = info.birthTime().isValid() ? info.birthTime() : item.Modified;
    m_items.push_back(std::move(item));
}

void TSevenZipArchive::AddData(const QByteArray& data, const QString& nameInArchive,
                               const QDateTime& time, quint32 attributes) {
    TItem item;
    item.Name = nameInArchive;
    item.Data = data;
    item.Size = static_cast<quint64>(data.size());
    item.Attributes = attributes;
    item.Created = time;
    item.Modified = time;
    m_items.push_back(std::move(item));
}

void TSevenZipArchive::WriteToDevice(QIODevice& device) {
    // Files may have changed size since they were added: take what they
    // hold now at most, so the declared size and the data agree.
    for (TItem& item : m_items) {
        if (item.File && static_cast<quint64>(item.File->size()) < item.Size)
            throw ESevenZipError(Format("The file <%s> was shortened while it was packed",
                                        {QDir::toNativeSeparators(item.File->fileName())}));
    }

    TComPtr<IOutArchive> archive;
    HRESULT result = m_library->CreateObject(&CLSID_Format7z, &IID_IOutArchive, archive.out());
    if (result != kOk || !archive.get())
        throw ESevenZipError(ResultCodeText(result != kOk ? result : kFail));

    {
        TComPtr<ISetProperties> properties;
        result = archive->QueryInterface(IID_ISetProperties, properties.out());
        if (result != kOk || !properties.get())
            throw ESevenZipError(ResultCodeText(result != kOk ? result : kNoInterface));
        // One call: each call starts the properties afresh.
        std::vector<const wchar_t*> names{L"x"};
        std::vector<PROPVARIANT> values(1);
        values[0].vt = VT_UI4;
        values[0].ulVal = static_cast<std::uint32_t>(m_level);
        if (!m_password.isEmpty()) {
            names.push_back(L"he");
            PROPVARIANT on{};
            on.vt = VT_BOOL;
            on.boolVal = -1;
            values.push_back(on);
        }
        names.push_back(L"tc");
        PROPVARIANT on{};
        on.vt = VT_BOOL;
        on.boolVal = -1;
        values.push_back(on);
        const std::size_t stride = PropVariantStride();
        std::vector<unsigned char> laidOut(stride * values.size(), 0);
        for (std::size_t i = 0; i < values.size(); ++i)
            std::memcpy(laidOut.data() + i * stride, &values[i], sizeof(PROPVARIANT));
        result = properties->SetProperties(names.data(), laidOut.data(),
                                           static_cast<UInt32>(names.size()));
        if (result != kOk)
            throw ESevenZipError(ResultCodeText(result));
    }

    TOwnRef<TOutStream> out(new TOutStream(device));
    TOwnRef<TUpdateCallback> callback(new TUpdateCallback(m_items, m_password, m_library->Strings));
    result = archive->UpdateItems(out.get(), static_cast<UInt32>(m_items.size()), callback.get());
    if (result != kOk) {
        QString error = out->Error();
        if (error.isEmpty())
            error = callback->ReadError();
        throw ESevenZipError(error.isEmpty() ? ResultCodeText(result) : error);
    }
}

void TSevenZipArchive::WriteTo(const QString& fileName) {
    const QString shown = QDir::toNativeSeparators(fileName);
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly))
        throw ESevenZipError(Format("Cannot create file <%s>. %s", {shown, file.errorString()}));
    platform::KeepToOwner(file);
    try {
        WriteToDevice(file);
    } catch (const ESevenZipError& error) {
        file.cancelWriting();
        throw ESevenZipError(Format("Cannot write file <%s>. %s", {shown, error.Message()}));
    }
    // The rename happens here, over an older archive of the same name.
    if (!file.commit())
        throw ESevenZipError(Format("Cannot write file <%s>. %s", {shown, file.errorString()}));
}
