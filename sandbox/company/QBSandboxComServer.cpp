// The sandbox company behind QuickBooks' own door: an in-process COM server
// registered under the ProgID "QBXMLRP2.RequestProcessor", so the program's
// Windows path (QBRequestProcessor_win.cpp) runs unchanged against a sandbox
// company file. It answers through IDispatch only, as the program calls it,
// and fails as QuickBooks' processor does: DISP_E_EXCEPTION with the
// processor's HRESULT and text in EXCEPINFO.
//
// The file "open in QuickBooks" is the value CompanyFile of
// HKEY_CURRENT_USER\Software\OrvQ Sandbox\QBXMLRP2: while it is set,
// QuickBooks runs with that file and refuses to open another; unset,
// QuickBooks is not running and opens the file a session names.
#include "company/QBSandboxProcessor.h"

#include <QFileInfo>
#include <QSettings>

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <olectl.h>

#include <atomic>
#include <memory>
#include <optional>
#include <string>

namespace {

// {5B0D6C0E-2F6E-4B7A-9C1D-0A7E3F8B6D21}: the stand-in's own class.
const CLSID StandInClsid = {
    0x5b0d6c0e, 0x2f6e, 0x4b7a, {0x9c, 0x1d, 0x0a, 0x7e, 0x3f, 0x8b, 0x6d, 0x21}};
const wchar_t* const StandInClsidText = L"{5B0D6C0E-2F6E-4B7A-9C1D-0A7E3F8B6D21}";
const wchar_t* const ProgID = L"QBXMLRP2.RequestProcessor";
const QString OpenFileKey = QStringLiteral("HKEY_CURRENT_USER\\Software\\OrvQ Sandbox\\QBXMLRP2");

HMODULE Module = nullptr;
std::atomic<long> LiveObjects{0};

QString FromBstr(BSTR text) {
    return text ? QString::fromWCharArray(text, static_cast<int>(SysStringLen(text))) : QString();
}

BSTR ToBstr(const QString& text) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.utf16()),
                             static_cast<UINT>(text.size()));
}

QString OpenInQuickBooks() {
    return QSettings(OpenFileKey, QSettings::NativeFormat)
        .value(QStringLiteral("CompanyFile"))
        .toString();
}

bool SameFile(const QString& a, const QString& b) {
    return QFileInfo(a).absoluteFilePath().compare(QFileInfo(b).absoluteFilePath(),
                                                   Qt::CaseInsensitive) == 0;
}

enum TMethod : DISPID {
    mOpenConnection2 = 1,
    mBeginSession,
    mGetCurrentCompanyFileName,
    mQBXMLVersionsForSession,
    mProcessRequest,
    mEndSession,
    mCloseConnection,
};

struct TMethodName {
    const wchar_t* Name;
    TMethod Id;
    UINT Arguments;
};

const TMethodName Methods[] = {
    {L"OpenConnection2", mOpenConnection2, 3},
    {L"BeginSession", mBeginSession, 2},
    {L"GetCurrentCompanyFileName", mGetCurrentCompanyFileName, 1},
    {L"QBXMLVersionsForSession", mQBXMLVersionsForSession, 1},
    {L"ProcessRequest", mProcessRequest, 2},
    {L"EndSession", mEndSession, 1},
    {L"CloseConnection", mCloseConnection, 0},
};

const TMethodName* FindMethod(DISPID id) {
    for (const TMethodName& m : Methods)
        if (m.Id == id)
            return &m;
    return nullptr;
}

// A wrong argument: its position as IDispatch counts (last argument first).
struct TBadArgument {
    UINT Index;
};

// The arguments of one call, first to last.
class TArguments {
public:
    explicit TArguments(const DISPPARAMS& params) : m_params(params) {}
    QString Text(UINT position) const {
        VARIANT v = Converted(position, VT_BSTR);
        const QString text = FromBstr(v.bstrVal);
        VariantClear(&v);
        return text;
    }
    int Number(UINT position) const { return Converted(position, VT_I4).lVal; }

private:
    VARIANT Converted(UINT position, VARTYPE type) const {
        const UINT index = m_params.cArgs - 1 - position;
        VARIANT v;
        VariantInit(&v);
        if (FAILED(VariantChangeType(&v, &m_params.rgvarg[index], 0, type)))
            throw TBadArgument{index};
        return v;
    }
    const DISPPARAMS& m_params;
};

VARIANT VersionList(const QStringList& versions) {
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(versions.size()));
    for (LONG i = 0; i < versions.size(); ++i) {
        BSTR item = ToBstr(versions[i]);
        SafeArrayPutElement(array, &i, item); // copies the string
        SysFreeString(item);
    }
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_ARRAY | VT_BSTR;
    v.parray = array;
    return v;
}

VARIANT TextResult(const QString& text) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = ToBstr(text);
    return v;
}

class TRequestProcessor : public IDispatch {
public:
    TRequestProcessor() { ++LiveObjects; }
    virtual ~TRequestProcessor() { --LiveObjects; }

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IDispatch)) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return ++m_references; }
    ULONG STDMETHODCALLTYPE Release() override {
        const ULONG left = --m_references;
        if (left == 0)
            delete this;
        return left;
    }

    // No type library: callers find the methods by name.
    HRESULT STDMETHODCALLTYPE GetTypeInfoCount(UINT* count) override {
        if (!count)
            return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetTypeInfo(UINT, LCID, ITypeInfo** info) override {
        if (info)
            *info = nullptr;
        return DISP_E_BADINDEX;
    }
    HRESULT STDMETHODCALLTYPE GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID,
                                            DISPID* ids) override {
        if (!names || !ids || count == 0)
            return E_INVALIDARG;
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i)
            ids[i] = DISPID_UNKNOWN;
        for (const TMethodName& m : Methods)
            if (_wcsicmp(names[0], m.Name) == 0)
                ids[0] = m.Id;
        // A method takes no named arguments.
        if (ids[0] == DISPID_UNKNOWN || count > 1)
            hr = DISP_E_UNKNOWNNAME;
        return hr;
    }

    HRESULT STDMETHODCALLTYPE Invoke(DISPID id, REFIID, LCID, WORD flags, DISPPARAMS* params,
                                     VARIANT* result, EXCEPINFO* exception,
                                     UINT* badArgument) override {
        const TMethodName* method = FindMethod(id);
        if (!method)
            return DISP_E_MEMBERNOTFOUND;
        if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0)
            return DISP_E_MEMBERNOTFOUND;
        if (!params || params->cNamedArgs != 0)
            return DISP_E_NONAMEDARGS;
        if (params->cArgs != method->Arguments)
            return DISP_E_BADPARAMCOUNT;
        if (result)
            VariantInit(result);
        try {
            std::optional<VARIANT> answer = Call(method->Id, TArguments(*params));
            if (answer) {
                if (result)
                    *result = *answer;
                else
                    VariantClear(&*answer);
            }
            return S_OK;
        } catch (const TBadArgument& bad) {
            if (badArgument)
                *badArgument = bad.Index;
            return DISP_E_TYPEMISMATCH;
        } catch (const EQBProcessorError& e) {
            return Raise(exception, e.HResult(), e.Reason());
        } catch (const EztException& e) {
            return Raise(exception, static_cast<quint32>(E_FAIL), e.Message());
        } catch (...) {
            return Raise(exception, static_cast<quint32>(E_UNEXPECTED),
                         QStringLiteral("Unexpected failure of the request processor."));
        }
    }

private:
    std::optional<VARIANT> Call(TMethod method, const TArguments& args) {
        switch (method) {
        case mOpenConnection2:
            // Every connection sees the file open in QuickBooks at that moment.
            m_processor = std::make_unique<TQBSandboxProcessor>(
                TQBSandboxProcessor::TOptions{OpenInQuickBooks(), QString(), {}});
            m_processor->OpenConnection(args.Text(0), args.Text(1));
            return std::nullopt;
        case mBeginSession:
            return TextResult(BeginSession(args.Text(0), args.Number(1)));
        case mGetCurrentCompanyFileName:
            return TextResult(Processor().GetCurrentCompanyFileName(args.Text(0)));
        case mQBXMLVersionsForSession:
            return VersionList(Processor().QBXMLVersionsForSession(args.Text(0)));
        case mProcessRequest:
            return TextResult(Processor().ProcessRequest(args.Text(0), args.Text(1)));
        case mEndSession:
            Processor().EndSession(args.Text(0));
            return std::nullopt;
        case mCloseConnection:
            if (m_processor)
                m_processor->CloseConnection();
            m_processor.reset();
            return std::nullopt;
        }
        return std::nullopt;
    }

    QString BeginSession(const QString& companyFile, int openMode) {
        const QString open = OpenInQuickBooks();
        if (companyFile.isEmpty() && open.isEmpty())
            throw EQBProcessorError(qbhr::NotRunning, QBProcessorMessage(qbhr::NotRunning));
        if (!companyFile.isEmpty() && !open.isEmpty() && !SameFile(companyFile, open))
            throw EQBProcessorError(qbhr::OtherFileOpen, QBProcessorMessage(qbhr::OtherFileOpen));
        return Processor().BeginSession(companyFile, openMode);
    }

    TQBSandboxProcessor& Processor() {
        if (!m_processor)
            throw EQBProcessorError(qbhr::CannotAccess, QBProcessorMessage(qbhr::CannotAccess));
        return *m_processor;
    }

    static HRESULT Raise(EXCEPINFO* exception, quint32 hresult, const QString& text) {
        if (!exception)
            return static_cast<HRESULT>(hresult);
        *exception = EXCEPINFO{};
        exception->bstrSource = SysAllocString(ProgID);
        exception->bstrDescription = ToBstr(text);
        exception->scode = static_cast<SCODE>(hresult);
        return DISP_E_EXCEPTION;
    }

    std::atomic<ULONG> m_references{1};
    std::unique_ptr<TQBSandboxProcessor> m_processor;
};

class TFactory : public IClassFactory {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_IClassFactory)) {
            *object = static_cast<IClassFactory*>(this);
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // One factory for the module's life.
    ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
    ULONG STDMETHODCALLTYPE Release() override { return 1; }
    HRESULT STDMETHODCALLTYPE CreateInstance(IUnknown* outer, REFIID iid, void** object) override {
        if (!object)
            return E_POINTER;
        *object = nullptr;
        if (outer)
            return CLASS_E_NOAGGREGATION;
        auto* processor = new (std::nothrow) TRequestProcessor;
        if (!processor)
            return E_OUTOFMEMORY;
        const HRESULT hr = processor->QueryInterface(iid, object);
        processor->Release();
        return hr;
    }
    HRESULT STDMETHODCALLTYPE LockServer(BOOL lock) override {
        lock ? ++LiveObjects : --LiveObjects;
        return S_OK;
    }
};

TFactory Factory;

// In HKEY_CLASSES_ROOT: Wine's CLSIDFromProgID does not look at the
// per-user classes (HKCU\Software\Classes).
bool SetKey(const std::wstring& key, const wchar_t* name, const std::wstring& value) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const LONG rc =
        RegSetValueExW(handle, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                       static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(handle);
    return rc == ERROR_SUCCESS;
}

void DeleteKey(const std::wstring& key) {
    RegDeleteTreeW(HKEY_CLASSES_ROOT, key.c_str());
}

} // namespace

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID) {
    if (reason == DLL_PROCESS_ATTACH) {
        Module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* object) {
    if (!object)
        return E_POINTER;
    *object = nullptr;
    if (!IsEqualCLSID(clsid, StandInClsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    return Factory.QueryInterface(iid, object);
}

STDAPI DllCanUnloadNow() {
    return LiveObjects == 0 ? S_OK : S_FALSE;
}

STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH];
    const DWORD length = GetModuleFileNameW(Module, path, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return SELFREG_E_CLASS;
    const std::wstring clsidKey = std::wstring(L"CLSID\\") + StandInClsidText;
    const bool ok =
        SetKey(clsidKey, nullptr, L"QuickBooks request processor (OrvQ sandbox company)") &&
        SetKey(clsidKey + L"\\InprocServer32", nullptr, path) &&
        SetKey(clsidKey + L"\\InprocServer32", L"ThreadingModel", L"Apartment") &&
        SetKey(clsidKey + L"\\ProgID", nullptr, ProgID) &&
        SetKey(ProgID, nullptr, L"QuickBooks request processor (OrvQ sandbox company)") &&
        SetKey(std::wstring(ProgID) + L"\\CLSID", nullptr, StandInClsidText);
    return ok ? S_OK : SELFREG_E_CLASS;
}

STDAPI DllUnregisterServer() {
    DeleteKey(std::wstring(L"CLSID\\") + StandInClsidText);
    DeleteKey(ProgID);
    return S_OK;
}
