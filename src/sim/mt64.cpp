// The generator's recurrence and tempering, with MT19937-64's parameters: word size 64,
// state 312 words, middle word 156, 31 lower bits in the twist.
#include "sim/mt64.h"

namespace corvex::sim {

namespace {

constexpr std::size_t kMiddle = 156;
constexpr std::uint64_t kMatrix = 0xB5026F5AA96619E9ull;
constexpr std::uint64_t kUpperMask = ~std::uint64_t{0} << 31;
constexpr std::uint64_t kLowerMask = ~kUpperMask;

// The next state word from the upper bits of one word, the lower bits of the next and the
// word `kMiddle` further on. The matrix is applied with a mask rather than a branch.
inline std::uint64_t Twist(std::uint64_t word, std::uint64_t next, std::uint64_t middle) {
  const std::uint64_t y = (word & kUpperMask) | (next & kLowerMask);
  return middle ^ (y >> 1) ^ ((0 - (y & 1)) & kMatrix);
}

}  // namespace

Mt19937_64::Mt19937_64(std::uint64_t seed) {
  state_[0] = seed;
  for (std::size_t i = 1; i < kStateSize; ++i) {
    state_[i] = 6364136223846793005ull * (state_[i - 1] ^ (state_[i - 1] >> 62)) + i;
  }
}

void Mt19937_64::Refill() {
  auto& x = state_;
  // Each word is replaced in place; the first half reads words not yet replaced, the second
  // half reads the first half's new words.
  for (std::size_t k = 0; k < kStateSize - kMiddle; ++k) {
    x[k] = Twist(x[k], x[k + 1], x[k + kMiddle]);
  }
  for (std::size_t k = kStateSize - kMiddle; k < kStateSize - 1; ++k) {
    x[k] = Twist(x[k], x[k + 1], x[k + kMiddle - kStateSize]);
  }
  x[kStateSize - 1] = Twist(x[kStateSize - 1], x[0], x[kMiddle - 1]);
  for (std::size_t k = 0; k < kStateSize; ++k) {
    std::uint64_t z = x[k];
    z ^= (z >> 29) & 0x5555555555555555ull;
    z ^= (z << 17) & 0x71D67FFFEDA60000ull;
    z ^= (z << 37) & 0xFFF7EEE000000000ull;
    z ^= z >> 43;
    out_[k] = z;
  }
  next_ = 0;
}

}  // namespace corvex::sim
