// Stand-ins for broken 7-Zip libraries: each build exports a different set
// of entry points (FAKE_* definitions), none of them usable.
#include <cstdint>

#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))

namespace {
struct TPropVariant {
    std::uint16_t vt;
    std::uint16_t reserved[3];
    std::uint64_t value;
};
} // namespace

FAKE_EXPORT std::int32_t CreateObject(const void*, const void*, void** out) {
    *out = nullptr;
    return static_cast<std::int32_t>(0x80004005u);
}

#ifdef FAKE_FORMAT
FAKE_EXPORT std::int32_t GetNumberOfFormats(std::uint32_t* count) {
    *count = 0;
    return 0;
}
FAKE_EXPORT std::int32_t GetHandlerProperty(std::uint32_t, void*) {
    return static_cast<std::int32_t>(0x80004001u);
}
FAKE_EXPORT std::int32_t GetHandlerProperty2(std::uint32_t, std::uint32_t, void*) {
    return static_cast<std::int32_t>(0x80004001u);
}
FAKE_EXPORT wchar_t* SysAllocString(const wchar_t*) {
    return nullptr;
}
FAKE_EXPORT void SysFreeString(wchar_t*) {}
FAKE_EXPORT std::int32_t VariantClear(void*) {
    return 0;
}
#endif

#ifdef FAKE_MODULE_PROP
// 1: the interfaces have virtual destructors (before 7-Zip 23).
FAKE_EXPORT std::int32_t GetModuleProp(std::uint32_t, TPropVariant* value) {
    value->vt = 19;
    value->value = 1;
    return 0;
}
#endif
