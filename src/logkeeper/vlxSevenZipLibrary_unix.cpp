#include "logkeeper/vlxSevenZipLibrary.h"

#include "base/ztFormat.h"

#include <QFile>
#include <cstring>
#include <dlfcn.h>

namespace sevenzip {

void* LoadSevenZipLibrary(const QString& path, QString& error) {
    // Never closed (see the header); RTLD_LOCAL keeps its symbols, which
    // share names with system ones, out of everybody else's way.
    void* library = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        const char* reason = dlerror();
        error = reason ? QString::fromLocal8Bit(reason) : QString();
    }
    return library;
}

void* SevenZipSymbol(void* library, const char* name) {
    return dlsym(library, name);
}

bool LoadStringApi(void* library, TStringApi& api) {
    api.SysAllocString =
        reinterpret_cast<BSTR (*)(const wchar_t*)>(dlsym(library, "SysAllocString"));
    api.SysFreeString = reinterpret_cast<void (*)(BSTR)>(dlsym(library, "SysFreeString"));
    api.VariantClear = reinterpret_cast<std::int32_t (*)(void*)>(dlsym(library, "VariantClear"));
    return api.SysAllocString && api.SysFreeString && api.VariantClear;
}

std::size_t PropVariantStride() {
    // vt, three reserved 16-bit words, an 8-byte union.
    return 16;
}

bool MissingModulePropMeansOldLayout() {
    return true;
}

QString ResultCodeText(std::int32_t result) {
    const auto code = static_cast<std::uint32_t>(result);
    switch (code) {
    case 0x80004001u:
        return QStringLiteral("Not implemented");
    case 0x80004002u:
        return QStringLiteral("No such interface supported");
    case 0x80004004u:
        return QStringLiteral("Operation aborted");
    case 0x80004005u:
        return QStringLiteral("Unspecified error");
    case 0x8007000Eu:
        return QStringLiteral("Not enough memory resources are available to complete this "
                              "operation");
    case 0x80070057u:
        return QStringLiteral("The parameter is incorrect");
    default:
        break;
    }
    // The library reports system errors as 0x8007xxxx around errno.
    if ((code & 0xFFFF0000u) == 0x80070000u)
        return QString::fromLocal8Bit(std::strerror(static_cast<int>(code & 0xFFFFu)));
    return Format("Error code 0x%08X", {static_cast<long long>(code)});
}

} // namespace sevenzip
