// Fuzz targets: each fuzz_<name>.cpp defines one with ORVQ_FUZZ_TARGET. The
// fuzzing build (scripts/fuzz.sh) makes one libFuzzer program of each; the
// test builds replay every target's corpus under tests/data/fuzz/<name>.
#pragma once

#include <cstddef>
#include <cstdint>

using TFuzzFunction = void (*)(const std::uint8_t* data, std::size_t size);

struct TFuzzTarget {
    const char* Name;
    TFuzzFunction Function;
};

bool RegisterFuzzTarget(const char* name, TFuzzFunction function);
// In registration order.
const TFuzzTarget* FuzzTargets(int& count);

#define ORVQ_FUZZ_TARGET(name)                                                                     \
    static void FuzzOne_##name(const std::uint8_t* data, std::size_t size);                        \
    static const bool g_fuzzRegistered_##name = RegisterFuzzTarget(#name, &FuzzOne_##name);        \
    static void FuzzOne_##name(const std::uint8_t* data, std::size_t size)

// A broken promise of the code under test: reported, then abort, so that
// libFuzzer keeps the input and the replay test fails.
[[noreturn]] void FuzzFailure(const char* condition, const char* file, int line);
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            FuzzFailure(#condition, __FILE__, __LINE__);                                           \
    } while (false)
