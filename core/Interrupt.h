#pragma once

#include <atomic>
#include <stdexcept>

namespace qm {

// A request to stop a run, made by whoever runs it (the command line's handler of Ctrl-C, SIGTERM and a
// closing terminal's SIGHUP). Extraction looks at it before each chunk of data it copies and stops as a
// failure would: its files are closed, the file being written is removed and what was written whole
// stays. Nothing in the windows makes the request.
class StopRequest {
public:
    // Safe in a signal handler: the flag is a lock-free atomic.
    void request() noexcept { m_requested.store(true, std::memory_order_relaxed); }
    bool requested() const noexcept { return m_requested.load(std::memory_order_relaxed); }

private:
    static_assert(std::atomic<bool>::is_always_lock_free);
    std::atomic<bool> m_requested{false};
};

class Interrupted : public std::runtime_error {
public:
    Interrupted() : std::runtime_error("interrupted") {}
};

// Throws Interrupted once `stop` (when given) was requested.
void stopIfRequested(const StopRequest* stop);

// Game-folder discovery runs before an operation exists and through layers that take no request: it asks
// the one request the program watches, set once at start (the command line's signal handler's).
void watchForStop(const StopRequest* stop) noexcept;
// Throws Interrupted once the watched request was made; nothing when none is watched.
void stopIfRequested();

} // namespace qm
