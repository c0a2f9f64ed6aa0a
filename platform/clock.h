// Monotonic milliseconds and sleeping, behind an interface so that time-outs can be
// tested without waiting for them.
#pragma once

#include <cstdint>

namespace orvandel {

class Clock {
public:
    virtual ~Clock();
    // Milliseconds on a monotonic clock; only differences are meaningful.
    virtual std::int64_t NowMs() const = 0;
    virtual void SleepMs(int ms) = 0;
};

// The process-wide steady clock. Safe to use from any thread.
Clock& SystemClock();

}  // namespace orvandel
