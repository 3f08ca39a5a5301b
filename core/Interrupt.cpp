#include "Interrupt.h"

#include <atomic>

namespace qm {

namespace {

std::atomic<const StopRequest*> watched{nullptr};

} // namespace

void watchForStop(const StopRequest* stop) noexcept {
    watched.store(stop);
}

void stopIfRequested() {
    stopIfRequested(watched.load());
}

void stopIfRequested(const StopRequest* stop) {
    if (stop != nullptr && stop->requested())
        throw Interrupted();
}

} // namespace qm
