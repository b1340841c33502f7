// What differs between systems when the 7-Zip library is used: loading it,
// the string allocator of its BSTR values, the size of PROPVARIANT and the
// text of a result code. vlxSevenZipLibrary_unix.cpp / _win.cpp.
#pragma once

#include <QString>
#include <cstddef>
#include <cstdint>

namespace sevenzip {

using BSTR = wchar_t*;

// The string functions whose BSTRs the library frees or hands back. On
// Unix the library exports them itself; on Windows they are OleAut32's.
struct TStringApi {
    BSTR (*SysAllocString)(const wchar_t* text) = nullptr;
    void (*SysFreeString)(BSTR text) = nullptr;
    std::int32_t (*VariantClear)(void* value) = nullptr;
};

// The library loaded for the rest of the process: its worker threads and
// the objects it hands out must never outlive its code. Null on failure,
// with the system's reason in error.
void* LoadSevenZipLibrary(const QString& path, QString& error);
void* SevenZipSymbol(void* library, const char* name);
// False when the library or the system lacks one of them.
bool LoadStringApi(void* library, TStringApi& api);

// Bytes between two PROPVARIANTs of an array handed to the library.
std::size_t PropVariantStride();

// Whether a library without "GetModuleProp" must be refused: on Unix such a
// library predates 7-Zip 23 and has two more slots in every interface.
bool MissingModulePropMeansOldLayout();

// The system's text for a result code of the library.
QString ResultCodeText(std::int32_t result);

} // namespace sevenzip
