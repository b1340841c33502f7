#include "FuzzTarget.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

namespace {

std::vector<TFuzzTarget>& Registry() {
    static std::vector<TFuzzTarget> targets;
    return targets;
}

} // namespace

bool RegisterFuzzTarget(const char* name, TFuzzFunction function) {
    Registry().push_back({name, function});
    return true;
}

const TFuzzTarget* FuzzTargets(int& count) {
    count = int(Registry().size());
    return Registry().data();
}

void FuzzFailure(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "%s:%d: fuzz check failed: %s\n", file, line, condition);
    std::abort();
}
