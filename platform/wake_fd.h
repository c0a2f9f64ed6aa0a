// A descriptor that one thread makes readable to wake another that watches it (a
// poll() or a Qt socket notifier): an eventfd counter.
#pragma once

#include "platform/unique_fd.h"

namespace orvandel {

class WakeFd {
public:
    // Throws std::system_error when the system has no eventfd left to give.
    WakeFd();

    // What to watch for reading.
    int Get() const { return m_fd.Get(); }
    // Any thread: makes the descriptor readable. The counter cannot overflow before
    // the watcher clears it.
    void Signal();
    // The watcher: readable no more until the next Signal().
    void Clear();

private:
    UniqueFd m_fd;
};

}  // namespace orvandel
