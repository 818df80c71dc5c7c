// The simulator's vector kernels on every instruction set they were built for that this
// processor has: the engine against the standard library's, the buffered normal numbers
// against single draws (through the ziggurat's edge and tail paths and across refills), and
// the noisy row against the arithmetic done one value at a time, out to both clamps.
#include <gtest/gtest.h>

#include <hwy/targets.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <random>
#include <span>
#include <utility>
#include <vector>

#include "sim/mt64.h"
#include "sim/noise_kernels.h"
#include "sim/ziggurat.h"

namespace corvex::sim {
namespace {

// Runs `check` once for each instruction set, the kernels dispatching to it alone.
void ForEachInstructionSet(const std::function<void(const char* name)>& check) {
  for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
    hwy::SetSupportedTargetsForTest(target);
    check(hwy::TargetName(target));
  }
  hwy::SetSupportedTargetsForTest(0);
}

TEST(NoiseKernels, TheEngineAndItsNormalNumbersMatchTheStandardEngineDrawnOneAtATime) {
  ForEachInstructionSet([](const char* name) {
    for (const std::uint64_t seed : {0ull, 5489ull, ~0ull}) {
      std::mt19937_64 standard(seed);
      Mt19937_64 ours(seed);
      for (int i = 0; i < 2000; ++i) ASSERT_EQ(ours(), standard()) << name << " draw " << i;
    }
    // Buffers of every length from empty to longer than the engine's state, so that runs
    // start and end anywhere in it, with single draws of the engine in between.
    std::mt19937_64 single(20261208);
    Mt19937_64 batch(20261208);
    std::mt19937 lengths(7);
    std::vector<double> filled(1000);
    int outside = 0;
    for (int round = 0; round < 3000; ++round) {
      const std::span<double> part(filled.data(), lengths() % filled.size());
      ZigguratNormals(batch, part);
      for (std::size_t i = 0; i < part.size(); ++i) {
        const double expected = ZigguratNormal(single);
        ASSERT_EQ(part[i], expected) << name << " round " << round << " number " << i;
        outside += std::fabs(expected) > 3.442619855899 ? 1 : 0;
      }
      if (round % 5 == 0) {
        ASSERT_EQ(batch(), single()) << name << " round " << round;
      }
    }
    EXPECT_GT(outside, 200) << name << ": the tail path was hardly taken";
    EXPECT_EQ(batch(), single()) << name;
  });
}

// The ziggurat's common path against its definition, for draws that put u on and next to
// the layers' limits and at the ends of (-1, 1).
TEST(NoiseKernels, TheCommonPathListsExactlyTheDrawsThatLeaveIt) {
  std::vector<std::uint64_t> bits;
  std::mt19937_64 random(3);
  for (int i = 0; i < 997; ++i) bits.push_back(random());
  for (const std::uint64_t top : {0ull, 1ull, (1ull << 52) - 1, 1ull << 52, (1ull << 53) - 1}) {
    for (std::uint64_t layer = 0; layer < 128; layer += 31) bits.push_back(top << 11 | layer);
  }
  std::vector<double> layerX(129), inside(128);
  for (int i = 0; i < 128; ++i) {
    layerX[i] = 3.7 - i * 0.0289;
    inside[i] = i % 3 == 0 ? 0.5 : 1 - 1.0 / (i + 2);
  }
  // Draws whose |u| falls exactly on a layer's limit: the limit is left out.
  inside[5] = std::fabs(2 * ((static_cast<double>(bits[0] >> 11) + 0.5) / 9007199254740992.0) - 1);
  bits[0] = (bits[0] & ~std::uint64_t{127}) | 5;
  ForEachInstructionSet([&](const char* name) {
    std::vector<double> values(bits.size());
    std::vector<std::uint16_t> listed(bits.size());
    const std::size_t count = kernels::ZigguratInnerValues(
        bits.data(), bits.size(), layerX.data(), inside.data(), values.data(), listed.data());
    std::size_t next = 0;
    for (std::size_t k = 0; k < bits.size(); ++k) {
      const double uniform = (static_cast<double>(static_cast<std::int64_t>(bits[k] >> 11)) + 0.5) /
                             9007199254740992.0;
      const double u = 2 * uniform - 1;
      const int i = static_cast<int>(bits[k] & 127);
      if (std::fabs(u) < inside[i]) {
        ASSERT_EQ(values[k], u * layerX[i]) << name << " draw " << k;
      } else {
        ASSERT_LT(next, count) << name << " draw " << k;
        ASSERT_EQ(listed[next++], k) << name;
      }
    }
    EXPECT_EQ(next, count) << name;
  });
}

TEST(NoiseKernels, NoisyRowsAreTheValuesWorkedOutOneAtATime) {
  std::mt19937_64 random(11);
  std::uniform_real_distribution<double> signalDraw(0, 70000), normalDraw(-7, 7);
  std::vector<double> signal, normals;
  for (int i = 0; i < 203; ++i) {
    signal.push_back(signalDraw(random));
    normals.push_back(normalDraw(random));
  }
  // Both clamps, and values that land on and just below whole numbers.
  for (const auto& [s, n] : std::vector<std::pair<double, double>>{{0, -200},
                                                                   {0, 0},
                                                                   {65535, 0},
                                                                   {65434.5, 0},
                                                                   {65436, 1e9},
                                                                   {1e300, 1},
                                                                   {0.75, 0},
                                                                   {std::nextafter(0.0, 1.0), 0},
                                                                   {27.999999999999996, 0},
                                                                   {1234.5, -0.0}}) {
    signal.push_back(s);
    normals.push_back(n);
  }
  ForEachInstructionSet([&](const char* name) {
    // Every length up to a few vectors, so that every remainder is taken.
    for (std::size_t start : {0, 1, 3}) {
      const std::size_t count = signal.size() - start;
      std::vector<double> sigma(count);
      std::vector<std::uint16_t> out(count);
      kernels::NoiseSigmas(signal.data() + start, count, 64, sigma.data());
      kernels::NoisyRow(signal.data() + start, sigma.data(), normals.data() + start, count, 100,
                        out.data());
      for (std::size_t k = 0; k < count; ++k) {
        const double s = signal[start + k];
        const double expectedSigma = std::sqrt(s + 64);
        ASSERT_EQ(sigma[k], expectedSigma) << name << " value " << start + k;
        const double value = 100 + s + normals[start + k] * expectedSigma;
        ASSERT_EQ(out[k], static_cast<std::uint16_t>(std::clamp(value, 0.0, 65535.0)))
            << name << " value " << start + k;
      }
    }
  });
}

}  // namespace
}  // namespace corvex::sim
