#include "base/vlxGlobalWaitIndicator.h"

namespace {

TWaitIndicatorProxy& Proxy() {
    static TWaitIndicatorProxy proxy(std::make_shared<THourglassWaitIndicator>());
    return proxy;
}

} // namespace

IWaitIndicator& WaitIndicator() {
    return Proxy();
}

void SetWaitIndicator(IWaitIndicatorPtr indicator) {
    Proxy().SetIndicator(std::move(indicator));
}
