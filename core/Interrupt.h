#pragma once

#include <stdexcept>

namespace qm {

// A request to stop, made from a signal handler (Ctrl-C, a terminal closing): extraction looks at it
// between pieces of data and stops as a failure would, so that its files are closed, a file half written
// is removed and what was written whole stays. Nothing in the windows makes the request.
void requestStop() noexcept; // async-signal-safe
bool stopRequested() noexcept;

class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("interrupted") {}
};

// Throws Interrupted once a stop was requested.
void stopIfRequested();

} // namespace qm
