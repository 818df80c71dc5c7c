// The simulator's normal numbers: their distribution against the normal one (the whole
// shape by a Kolmogorov-Smirnov bound, the moments, and the far tail that takes its own
// path), and the same numbers again for the same seed.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <span>
#include <vector>

#include "sim/mt64.h"
#include "sim/sky.h"
#include "sim/ziggurat.h"

namespace corvex::sim {
namespace {

double NormalCdf(double x) {
  return 0.5 * std::erfc(-x / std::sqrt(2.0));
}

TEST(Ziggurat, DrawsFollowTheNormalDistribution) {
  std::mt19937_64 engine(20261208);
  constexpr int kDraws = 400000;
  std::vector<double> draws(kDraws);
  double sum = 0, squares = 0, fourths = 0;
  int beyondTailStart = 0, beyond4 = 0;
  for (double& d : draws) {
    d = ZigguratNormal(engine);
    sum += d;
    squares += d * d;
    fourths += d * d * d * d;
    beyondTailStart += std::fabs(d) > 3.442619855899 ? 1 : 0;
    beyond4 += std::fabs(d) > 4 ? 1 : 0;
  }
  EXPECT_NEAR(sum / kDraws, 0, 0.006);
  EXPECT_NEAR(squares / kDraws, 1, 0.008);
  EXPECT_NEAR(fourths / kDraws, 3, 0.06);
  // The tail beyond R comes from its own branch: 2 x (1 - Phi(R)) = 5.76e-4 of the draws.
  EXPECT_NEAR(beyondTailStart, kDraws * 5.76e-4, 60);
  EXPECT_NEAR(beyond4, kDraws * 6.33e-5, 16);
  // Kolmogorov-Smirnov: the largest gap between the sample's and the normal distribution.
  std::sort(draws.begin(), draws.end());
  double gap = 0;
  for (int i = 0; i < kDraws; ++i) {
    const double f = NormalCdf(draws[i]);
    gap = std::max({gap, f - static_cast<double>(i) / kDraws, (i + 1.0) / kDraws - f});
  }
  EXPECT_LT(gap, 1.63 / std::sqrt(kDraws)) << "beyond the 1 % level";
}

TEST(Ziggurat, TheSameSeedGivesTheSameNumbers) {
  NoiseSource a(7), b(7), c(8);
  int differ = 0;
  for (int i = 0; i < 1000; ++i) {
    const double x = a.Normal();
    ASSERT_EQ(x, b.Normal());
    differ += x != c.Normal() ? 1 : 0;
  }
  EXPECT_EQ(differ, 1000);
}

// The simulator's own engine is the standard 64-bit Mersenne Twister: the same numbers for
// the same seed, across many refills of its state.
TEST(Ziggurat, TheEngineGivesTheStandardMersenneTwistersNumbers) {
  for (const std::uint64_t seed : {0ull, 1ull, 5489ull, 0xC0FFEEull, ~0ull}) {
    std::mt19937_64 standard(seed);
    Mt19937_64 ours(seed);
    for (int i = 0; i < 5000; ++i)
      ASSERT_EQ(ours(), standard()) << "seed " << seed << " draw " << i;
  }
}

// Filling a buffer from the simulator's engine gives the numbers one call at a time gives
// from the standard engine, through the edge and tail paths too (100000 draws take each of
// them hundreds of times), and leaves the engine at the same place.
TEST(Ziggurat, ABufferHoldsTheNumbersOfSingleDraws) {
  std::mt19937_64 single(99);
  Mt19937_64 batch(99);
  std::vector<double> filled(100000);
  ZigguratNormals(batch, std::span<double>(filled).subspan(0, 3));
  ZigguratNormals(batch, std::span<double>(filled).subspan(3));
  int tail = 0;
  for (const double value : filled) {
    ASSERT_EQ(value, ZigguratNormal(single));
    tail += std::fabs(value) > 3.442619855899 ? 1 : 0;
  }
  EXPECT_GT(tail, 20);
  EXPECT_EQ(single(), batch());
}

}  // namespace
}  // namespace corvex::sim
