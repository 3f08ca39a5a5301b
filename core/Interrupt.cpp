#include "Interrupt.h"

#include <csignal>

namespace qm {

namespace {

// Written by a signal handler: only a lock-free object of this type may be.
volatile std::sig_atomic_t stopFlag = 0;

} // namespace

void requestStop() noexcept {
    stopFlag = 1;
}

bool stopRequested() noexcept {
    return stopFlag != 0;
}

void stopIfRequested() {
    if (stopRequested())
        throw Interrupted();
}

} // namespace qm
