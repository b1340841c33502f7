// QuickBooks' own request processor (COM class QBXMLRP2.RequestProcessor)
// behind the seam, driven through IDispatch so no type library is needed.
#include "quickbooks/QBRequestProcessor.h"

#include "base/ztFormat.h"

// windows.h first: the SDK headers after it use its types without including it.
#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

#include <vector>

namespace {

QString ComText(BSTR text) {
    return text ? QString::fromWCharArray(text, static_cast<int>(SysStringLen(text))) : QString();
}

[[noreturn]] void Fail(HRESULT hr, const EXCEPINFO* info, const QString& what) {
    quint32 code = static_cast<quint32>(hr);
    QString description;
    if (hr == DISP_E_EXCEPTION && info) {
        code = static_cast<quint32>(info->scode ? info->scode : hr);
        description = ComText(info->bstrDescription);
    }
    // The processor's own words say best what happened; the advice for the
    // code follows in any case.
    QString message = description.isEmpty() ? QBProcessorMessage(code) : description;
    if (message.isEmpty())
        message = Format("%s failed (%X).", {what, code});
    throw EQBProcessorError(code, message);
}

class TVariant {
public:
    TVariant() { VariantInit(&m_v); }
    explicit TVariant(const QString& text) {
        VariantInit(&m_v);
        m_v.vt = VT_BSTR;
        m_v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.utf16()),
                                        static_cast<UINT>(text.size()));
    }
    explicit TVariant(int value) {
        VariantInit(&m_v);
        m_v.vt = VT_I4;
        m_v.lVal = value;
    }
    ~TVariant() { VariantClear(&m_v); }
    TVariant(const TVariant&) = delete;
    TVariant& operator=(const TVariant&) = delete;
    VARIANT* Get() { return &m_v; }

private:
    VARIANT m_v;
};

class TQBXMLRP2Processor : public IQBRequestProcessor {
public:
    TQBXMLRP2Processor() {
        m_comInitialized = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    }
    ~TQBXMLRP2Processor() override {
        if (m_rp)
            m_rp->Release();
        if (m_comInitialized)
            CoUninitialize();
    }

    void OpenConnection(const QString& appID, const QString& appName) override {
        if (!m_rp) {
            CLSID clsid;
            HRESULT hr = CLSIDFromProgID(L"QBXMLRP2.RequestProcessor", &clsid);
            if (FAILED(hr))
                Fail(static_cast<HRESULT>(qbhr::NotInstalled), nullptr,
                     QStringLiteral("Finding QuickBooks"));
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IDispatch,
                                  reinterpret_cast<void**>(&m_rp));
            if (FAILED(hr))
                Fail(hr, nullptr, QStringLiteral("Starting QuickBooks' request processor"));
        }
        TVariant id(appID), name(appName), type(1); // 1: local QuickBooks
        Call(L"OpenConnection2", {&id, &name, &type}, nullptr);
    }

    QString BeginSession(const QString& companyFile, int openMode) override {
        // Only a file the run names is opened; empty is the file open in
        // QuickBooks. The alias "QBCompanyFile" names the sandbox's company,
        // never one for QuickBooks.
        TVariant file(companyFile), mode(openMode);
        TVariant ticket;
        Call(L"BeginSession", {&file, &mode}, &ticket);
        return ticket.Get()->vt == VT_BSTR ? ComText(ticket.Get()->bstrVal) : QString();
    }

    QString GetCurrentCompanyFileName(const QString& ticket) override {
        TVariant t(ticket), result;
        Call(L"GetCurrentCompanyFileName", {&t}, &result);
        return result.Get()->vt == VT_BSTR ? ComText(result.Get()->bstrVal) : QString();
    }

    QStringList QBXMLVersionsForSession(const QString& ticket) override {
        TVariant t(ticket), result;
        Call(L"QBXMLVersionsForSession", {&t}, &result);
        QStringList versions;
        VARIANT* v = result.Get();
        if ((v->vt & VT_ARRAY) == 0 || !v->parray)
            return versions;
        SAFEARRAY* array = v->parray;
        LONG lower = 0, upper = -1;
        SafeArrayGetLBound(array, 1, &lower);
        SafeArrayGetUBound(array, 1, &upper);
        for (LONG i = lower; i <= upper; ++i) {
            if ((v->vt & VT_TYPEMASK) == VT_BSTR) {
                BSTR item = nullptr;
                if (SUCCEEDED(SafeArrayGetElement(array, &i, &item))) {
                    versions << ComText(item);
                    SysFreeString(item);
                }
            } else if ((v->vt & VT_TYPEMASK) == VT_VARIANT) {
                VARIANT item;
                VariantInit(&item);
                if (SUCCEEDED(SafeArrayGetElement(array, &i, &item)) && item.vt == VT_BSTR)
                    versions << ComText(item.bstrVal);
                VariantClear(&item);
            }
        }
        return versions;
    }

    QString ProcessRequest(const QString& ticket, const QString& request) override {
        TVariant t(ticket), text(request), result;
        Call(L"ProcessRequest", {&t, &text}, &result);
        return result.Get()->vt == VT_BSTR ? ComText(result.Get()->bstrVal) : QString();
    }

    void EndSession(const QString& ticket) override {
        TVariant t(ticket);
        Call(L"EndSession", {&t}, nullptr);
    }

    void CloseConnection() override {
        if (m_rp)
            Call(L"CloseConnection", {}, nullptr);
    }

private:
    // IDispatch takes its arguments last to first.
    void Call(const wchar_t* method, std::vector<TVariant*> args, TVariant* result) {
        if (!m_rp)
            Fail(static_cast<HRESULT>(qbhr::CannotAccess), nullptr,
                 QStringLiteral("Talking to QuickBooks"));
        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(method);
        HRESULT hr = m_rp->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
        if (FAILED(hr))
            Fail(hr, nullptr, QString::fromWCharArray(method));
        std::vector<VARIANT> reversed;
        for (auto it = args.rbegin(); it != args.rend(); ++it)
            reversed.push_back(*(*it)->Get());
        DISPPARAMS params{reversed.empty() ? nullptr : reversed.data(), nullptr,
                          static_cast<UINT>(reversed.size()), 0};
        EXCEPINFO info{};
        hr = m_rp->Invoke(id, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                          result ? result->Get() : nullptr, &info, nullptr);
        const QString what = QString::fromWCharArray(method);
        if (FAILED(hr)) {
            struct TFree {
                EXCEPINFO& i;
                ~TFree() {
                    SysFreeString(i.bstrSource);
                    SysFreeString(i.bstrDescription);
                    SysFreeString(i.bstrHelpFile);
                }
            } free{info};
            Fail(hr, &info, what);
        }
    }

    IDispatch* m_rp = nullptr;
    bool m_comInitialized = false;
};

} // namespace

IQBRequestProcessorPtr CreateQBXMLRP2Processor(const TQBProcessorConfig&) {
    return std::make_unique<TQBXMLRP2Processor>();
}
