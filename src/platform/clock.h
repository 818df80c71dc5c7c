// The millisecond clock every exposure, wait, timeout and telescope move is timed on.
// SteadyClock is real time; VirtualClock only moves when somebody waits on it, so a
// ten-minute exposure in a test takes no time at all.
#pragma once

#include <cstdint>

namespace corvex {

class Clock {
 public:
  virtual ~Clock() = default;
  // Milliseconds since an arbitrary fixed origin; never goes backwards.
  virtual std::int64_t NowMs() const = 0;
  // Blocks until NowMs() >= deadlineMs (returns at once for a deadline in the past).
  virtual void SleepUntil(std::int64_t deadlineMs) = 0;
  void SleepFor(std::int64_t ms) { SleepUntil(NowMs() + ms); }
  // Calendar time in whole seconds since 1970-01-01 00:00 UT, for file dates and times.
  virtual std::int64_t CalendarSeconds() const = 0;
};

class SteadyClock final : public Clock {
 public:
  SteadyClock();
  std::int64_t NowMs() const override;
  void SleepUntil(std::int64_t deadlineMs) override;
  std::int64_t CalendarSeconds() const override;

 private:
  std::int64_t originNs_;
};

class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::int64_t startMs = 0) : nowMs_(startMs) {}
  std::int64_t NowMs() const override { return nowMs_; }
  void SleepUntil(std::int64_t deadlineMs) override {
    if (deadlineMs > nowMs_) nowMs_ = deadlineMs;
  }
  // Moves time forward by ms (negative values are ignored: time never runs back).
  void Advance(std::int64_t ms) {
    if (ms > 0) nowMs_ += ms;
  }
  // The calendar runs with the clock from a fixed moment: by default 2006-12-07 00:00:00 UT
  // at NowMs() == 0.
  std::int64_t CalendarSeconds() const override {
    return calendarOriginSeconds_ + nowMs_ / 1000;
  }
  void SetCalendarOrigin(std::int64_t secondsAtZero) { calendarOriginSeconds_ = secondsAtZero; }

 private:
  std::int64_t nowMs_;
  std::int64_t calendarOriginSeconds_ = 1165449600;
};

}  // namespace corvex
