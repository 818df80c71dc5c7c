// The generator's seeding, with MT19937-64's parameters: word size 64, state 312 words. The
// recurrence and the tempering are in the simulator's vector kernels.
#include "sim/mt64.h"

#include "sim/noise_kernels.h"

namespace corvex::sim {

Mt19937_64::Mt19937_64(std::uint64_t seed) {
  state_[0] = seed;
  for (std::size_t i = 1; i < kStateSize; ++i) {
    state_[i] = 6364136223846793005ull * (state_[i - 1] ^ (state_[i - 1] >> 62)) + i;
  }
}

void Mt19937_64::Refill() {
  kernels::MtRefill(state_.data(), out_.data());
  next_ = 0;
}

}  // namespace corvex::sim
