// Real-time clock on the monotonic system clock.
#include "platform/clock.h"

#include <chrono>
#include <ctime>
#include <thread>

namespace corvex {

namespace {
std::int64_t MonotonicNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

SteadyClock::SteadyClock() : originNs_(MonotonicNs()) {}

std::int64_t SteadyClock::NowMs() const { return (MonotonicNs() - originNs_) / 1'000'000; }

void SteadyClock::SleepUntil(std::int64_t deadlineMs) {
  const std::int64_t waitMs = deadlineMs - NowMs();
  if (waitMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(waitMs));
}

std::int64_t SteadyClock::CalendarSeconds() const { return std::time(nullptr); }

}  // namespace corvex
