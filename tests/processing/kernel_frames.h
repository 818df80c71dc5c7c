// Frames that the kernel tests run the fast and the reference kernels on: the whole 16-bit
// range, values piled up at the extremes and around the median filter's 65000 cap, long runs
// of equal values (ties decide where sorting networks go wrong), and a labelled frame.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include <hwy/targets.h>

#include "state/image_store.h"

// Under the sanitizers (unoptimised, every access checked) the SIMD kernels run hundreds of
// times slower. There the tests take fewer frames and settings: enough to reach every code
// path for the checkers; the optimised build runs them all.
#if defined(__SANITIZE_ADDRESS__)
#define CORVEX_KERNEL_TESTS_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define CORVEX_KERNEL_TESTS_SANITIZED 1
#endif
#endif

namespace corvex::testing {

#ifdef CORVEX_KERNEL_TESTS_SANITIZED
inline constexpr bool kSanitized = true;
#else
inline constexpr bool kSanitized = false;
#endif

class Lcg {
 public:
  explicit Lcg(std::uint32_t seed) : state_(seed) {}
  std::uint32_t Next() {
    state_ = state_ * 1664525u + 1013904223u;
    return state_ >> 8;
  }
  int In(int low, int high) { return low + static_cast<int>(Next() % (high - low + 1)); }

 private:
  std::uint32_t state_;
};

struct TestFrame {
  std::string name;
  std::function<int(Lcg&, int x, int y)> value;
};

inline std::vector<TestFrame> KernelTestFrames() {
  std::vector<TestFrame> frames{
      {"full range", [](Lcg& r, int, int) { return r.In(0, 65535); }},
      {"extremes",
       [](Lcg& r, int, int) { return r.In(0, 3) == 0 ? r.In(0, 2) : 65535 - r.In(0, 2); }},
      {"around the cap", [](Lcg& r, int, int) { return r.In(64900, 65535); }},
      {"few values", [](Lcg& r, int, int) { return 1000 + r.In(0, 3); }},
      {"sky and stars",
       [](Lcg& r, int x, int y) {
         const int star = (x % 37 == 5 && y % 23 == 7) ? 40000 : 0;
         return std::min(65535, 900 + r.In(0, 200) + star + (r.In(0, 500) == 0 ? 30000 : 0));
       }},
      {"flat", [](Lcg&, int, int) { return 4321; }},
  };
  if (kSanitized) frames.resize(2);
  return frames;
}

inline void FillFrame(ImageBuffer& image, const TestFrame& frame, std::uint32_t seed) {
  Lcg random(seed);
  for (int y = 0; y < kImageRows; ++y) {
    for (int x = 0; x < kImageStride; ++x) {
      image[y * kImageStride + x] = static_cast<std::uint16_t>(frame.value(random, x, y));
    }
  }
}

// Runs `check` once for each instruction set the kernels were built for and this processor
// has (AVX2, SSE4, plain C++ on most machines), the kernels dispatching to it alone.
inline void ForEachInstructionSet(const std::function<void(const char* name)>& check) {
  for (const std::int64_t target : hwy::SupportedAndGeneratedTargets()) {
    hwy::SetSupportedTargetsForTest(target);
    check(hwy::TargetName(target));
  }
  hwy::SetSupportedTargetsForTest(0);
}

}  // namespace corvex::testing
