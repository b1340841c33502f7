// libFuzzer's entry into the one target a fuzzing program holds.
#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    int count = 0;
    const TFuzzTarget* targets = FuzzTargets(count);
    if (count != 1) {
        std::fprintf(stderr, "a fuzzing program holds one target, this one %d\n", count);
        std::abort();
    }
    targets[0].Function(data, size);
    return 0;
}
