// The 64-bit Mersenne Twister (MT19937-64), the same numbers as std::mt19937_64 for the same
// seed. The simulator draws one for almost every pixel it renders; this one refills and
// tempers its 312 numbers in vector code for the machine's instruction set, where the
// standard library's refill takes a branch for each of them, and lets a caller that takes
// many numbers at once read them straight from its buffer.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>
#include <span>

namespace corvex::sim {

class Mt19937_64 {
 public:
  using result_type = std::uint64_t;
  static constexpr std::size_t kStateSize = 312;

  explicit Mt19937_64(std::uint64_t seed);

  std::uint64_t operator()() {
    if (next_ == kStateSize) Refill();
    return out_[next_++];
  }
  // The numbers not yet drawn, in the order operator() gives them (refilled first when none
  // are left); Skip(n) then counts the first n of them as drawn.
  std::span<const std::uint64_t> Pending() {
    if (next_ == kStateSize) Refill();
    return std::span<const std::uint64_t>(out_).subspan(next_);
  }
  void Skip(std::size_t n) { next_ += n; }

  static constexpr std::uint64_t min() { return 0; }
  static constexpr std::uint64_t max() { return std::numeric_limits<std::uint64_t>::max(); }

 private:
  void Refill();

  std::array<std::uint64_t, kStateSize> state_;
  std::array<std::uint64_t, kStateSize> out_;  // the tempered numbers of the current state
  std::size_t next_ = kStateSize;
};

}  // namespace corvex::sim
