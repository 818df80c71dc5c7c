// What the sorting-network kernels share, built for each instruction set Highway targets (so
// that the lambdas and networks they run are inlined into each kernel): a sweep over a row in
// vector-wide steps, a loop unrolled at compile time, and a network's exchanges run on vectors.
// Included after <hwy/highway.h> by each kernel's file; the include guard flips per target.
#if defined(CORVEX_PROCESSING_KERNELS_NETWORK_STEPS_INL_H_) == defined(HWY_TARGET_TOGGLE)
#ifdef CORVEX_PROCESSING_KERNELS_NETWORK_STEPS_INL_H_
#undef CORVEX_PROCESSING_KERNELS_NETWORK_STEPS_INL_H_
#else
#define CORVEX_PROCESSING_KERNELS_NETWORK_STEPS_INL_H_
#endif

#include <array>
#include <cstddef>
#include <type_traits>
#include <utility>

#include <hwy/highway.h>

#include "processing/kernels/sorting_networks.h"

HWY_BEFORE_NAMESPACE();
namespace corvex::kernels {
namespace HWY_NAMESPACE {
namespace network_steps {

namespace hn = hwy::HWY_NAMESPACE;

// Calls f(x) for x = first, first + step, ... so that [x, x + step) covers first..last; the
// last call is moved back to end at `last` (it overlaps the one before, which is harmless:
// every result is computed from inputs the calls do not write).
template <class F>
HWY_INLINE void Sweep(int first, int last, int step, const F& f) {
  int x = first;
  for (; x + step - 1 <= last; x += step) f(x);
  if (x <= last) f(last - step + 1);
}

template <int N, class F, int... I>
HWY_INLINE void Unrolled(const F& f, std::integer_sequence<int, I...>) {
  (f(std::integral_constant<int, I>()), ...);
}
// Calls f(std::integral_constant<int, I>) for I = 0 .. N - 1.
template <int N, class F>
HWY_INLINE void Unrolled(const F& f) {
  Unrolled<N>(f, std::make_integer_sequence<int, N>());
}

// One exchange of the network on the wires `w`: both values sorted, or only the one a later
// step reads.
template <const Network& kNet, class V, std::size_t W, std::size_t I>
HWY_INLINE void Step(std::array<V, W>& w) {
  constexpr Exchange e = kNet.steps[I];
  if constexpr (e.keep == Keep::kBoth) {
    const V low = hn::Min(w[e.low], w[e.high]);
    w[e.high] = hn::Max(w[e.low], w[e.high]);
    w[e.low] = low;
  } else if constexpr (e.keep == Keep::kLow) {
    w[e.low] = hn::Min(w[e.low], w[e.high]);
  } else {
    w[e.high] = hn::Max(w[e.low], w[e.high]);
  }
}

template <const Network& kNet, class V, std::size_t W, std::size_t... I>
HWY_INLINE void Run(std::array<V, W>& w, std::index_sequence<I...>) {
  (Step<kNet, V, W, I>(w), ...);
}

// Every exchange of the network, in order.
template <const Network& kNet, class V, std::size_t W>
HWY_INLINE void Run(std::array<V, W>& w) {
  Run<kNet>(w, std::make_index_sequence<kNet.size>());
}

}  // namespace network_steps
}  // namespace HWY_NAMESPACE
}  // namespace corvex::kernels
HWY_AFTER_NAMESPACE();

#endif  // per-target include guard
