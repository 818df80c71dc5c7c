// The 64-bit Mersenne Twister (MT19937-64), the same numbers as std::mt19937_64 for the same
// seed. The simulator draws one for almost every pixel it renders; this one refills and
// tempers its 312 numbers in plain loops the compiler turns into vector code, where the
// standard library's refill takes a branch for each of them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <limits>

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
  static constexpr std::uint64_t min() { return 0; }
  static constexpr std::uint64_t max() { return std::numeric_limits<std::uint64_t>::max(); }

 private:
  void Refill();

  std::array<std::uint64_t, kStateSize> state_;
  std::array<std::uint64_t, kStateSize> out_;  // the tempered numbers of the current state
  std::size_t next_ = kStateSize;
};

}  // namespace corvex::sim
