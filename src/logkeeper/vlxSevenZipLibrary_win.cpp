#include "logkeeper/vlxSevenZipLibrary.h"

#include "base/ztFormat.h"

#include <QDir>

// windows.h first: the SDK headers after it use its types without including it.
#include <windows.h>

#include <oleauto.h>
#include <propidl.h>

namespace sevenzip {

void* LoadSevenZipLibrary(const QString& path, QString& error) {
    const std::wstring native = QDir::toNativeSeparators(path).toStdWString();
    HMODULE library = ::LoadLibraryW(native.c_str());
    if (!library)
        error = ResultCodeText(static_cast<std::int32_t>(HRESULT_FROM_WIN32(::GetLastError())));
    return library;
}

void* SevenZipSymbol(void* library, const char* name) {
    return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(library), name));
}

bool LoadStringApi(void*, TStringApi& api) {
    api.SysAllocString = [](const wchar_t* text) -> BSTR { return ::SysAllocString(text); };
    api.SysFreeString = [](BSTR text) { ::SysFreeString(text); };
    api.VariantClear = [](void* value) -> std::int32_t {
        return ::PropVariantClear(static_cast<PROPVARIANT*>(value));
    };
    return true;
}

std::size_t PropVariantStride() {
    return sizeof(PROPVARIANT);
}

bool MissingModulePropMeansOldLayout() {
    // Windows builds never had virtual destructors in their interfaces.
    return false;
}

QString ResultCodeText(std::int32_t result) {
    wchar_t* buffer = nullptr;
    const DWORD length = ::FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
        nullptr, static_cast<DWORD>(result), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
    QString text;
    if (length && buffer)
        text = QString::fromWCharArray(buffer, static_cast<int>(length)).trimmed();
    if (buffer)
        ::LocalFree(buffer);
    if (text.isEmpty())
        text = Format("Error code 0x%08X",
                      {static_cast<long long>(static_cast<std::uint32_t>(result))});
    return text;
}

} // namespace sevenzip
