// Compare-exchange networks built at compile time, for the median kernels: Batcher's
// odd-even merge and merge sort, and pruning, which drops every exchange whose results no
// later step reads (and turns an exchange of which only one side is read into a plain min or
// max). A network is a list of steps on numbered wires; the SIMD kernels apply it to vectors,
// one pixel per lane.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

namespace corvex::kernels {

inline constexpr int kMaxWires = 64;
inline constexpr std::size_t kMaxSteps = 512;

// What a step keeps: both sides of the exchange, only the smaller value (on `low`) or only
// the larger (on `high`).
enum class Keep : std::uint8_t { kBoth, kLow, kHigh };

struct Exchange {
  std::uint8_t low = 0;   // receives the smaller value
  std::uint8_t high = 0;  // receives the larger value
  Keep keep = Keep::kBoth;
};

struct Network {
  std::array<Exchange, kMaxSteps> steps{};
  std::size_t size = 0;
  int wires = 0;
  // order[i]: the wire that holds the i-th smallest value once the steps have run.
  std::array<int, kMaxWires> order{};
  // After pruning: the wires whose values the remaining steps and outputs read.
  std::array<bool, kMaxWires> inputs{};

  constexpr void Add(int low, int high) {
    steps[size++] = {static_cast<std::uint8_t>(low), static_cast<std::uint8_t>(high), Keep::kBoth};
  }
  // The wires still read, counting min/max steps as one operation and exchanges as two.
  constexpr int Operations() const {
    int count = 0;
    for (std::size_t i = 0; i < size; ++i) count += steps[i].keep == Keep::kBoth ? 2 : 1;
    return count;
  }
};

namespace detail {

// Batcher's odd-even merge of the sorted wire lists a and b (any lengths): merges the
// even-indexed and the odd-indexed elements separately, then one row of exchanges between
// neighbours finishes the job. Writes the merged order into `out`.
constexpr void OddEvenMerge(Network& net, const int* a, int la, const int* b, int lb, int* out) {
  if (la == 0 || lb == 0) {
    for (int i = 0; i < la; ++i) out[i] = a[i];
    for (int i = 0; i < lb; ++i) out[i] = b[i];
    return;
  }
  if (la == 1 && lb == 1) {
    net.Add(a[0], b[0]);
    out[0] = a[0];
    out[1] = b[0];
    return;
  }
  int aEven[kMaxWires] = {}, aOdd[kMaxWires] = {}, bEven[kMaxWires] = {}, bOdd[kMaxWires] = {};
  int lae = 0, lao = 0, lbe = 0, lbo = 0;
  for (int i = 0; i < la; ++i) (i % 2 == 0 ? aEven[lae++] : aOdd[lao++]) = a[i];
  for (int i = 0; i < lb; ++i) (i % 2 == 0 ? bEven[lbe++] : bOdd[lbo++]) = b[i];
  int even[kMaxWires] = {}, odd[kMaxWires] = {};
  OddEvenMerge(net, aEven, lae, bEven, lbe, even);
  OddEvenMerge(net, aOdd, lao, bOdd, lbo, odd);
  const int evens = lae + lbe;
  const int odds = lao + lbo;
  int n = 0;
  out[n++] = even[0];
  for (int k = 0; k < odds || k + 1 < evens; ++k) {
    if (k < odds && k + 1 < evens) {
      net.Add(odd[k], even[k + 1]);
      out[n++] = odd[k];
      out[n++] = even[k + 1];
    } else if (k < odds) {
      out[n++] = odd[k];
    } else {
      out[n++] = even[k + 1];
    }
  }
}

constexpr void MergeSort(Network& net, const int* wires, int n, int* out) {
  if (n == 1) out[0] = wires[0];
  if (n <= 1) return;
  const int half = n / 2;
  int a[kMaxWires] = {}, b[kMaxWires] = {};
  MergeSort(net, wires, half, a);
  MergeSort(net, wires + half, n - half, b);
  OddEvenMerge(net, a, half, b, n - half, out);
}

}  // namespace detail

// Sorts wires 0..n-1.
constexpr Network SortingNetwork(int n) {
  Network net;
  net.wires = n;
  int wires[kMaxWires] = {};
  for (int i = 0; i < n; ++i) wires[i] = i;
  int out[kMaxWires] = {};
  detail::MergeSort(net, wires, n, out);
  for (int i = 0; i < n; ++i) net.order[i] = out[i];
  return net;
}

// Merges two sorted lists: wires 0..la-1 and la..la+lb-1, each smallest first.
constexpr Network MergingNetwork(int la, int lb) {
  Network net;
  net.wires = la + lb;
  int a[kMaxWires] = {}, b[kMaxWires] = {};
  for (int i = 0; i < la; ++i) a[i] = i;
  for (int i = 0; i < lb; ++i) b[i] = la + i;
  int out[kMaxWires] = {};
  detail::OddEvenMerge(net, a, la, b, lb, out);
  for (int i = 0; i < la + lb; ++i) net.order[i] = out[i];
  return net;
}

// Keeps only what the outputs at the given ranks (positions in `order`) depend on.
constexpr Network Pruned(const Network& full, const std::array<bool, kMaxWires>& ranks) {
  std::array<bool, kMaxWires> read{};
  for (int r = 0; r < full.wires; ++r) {
    if (ranks[r]) read[full.order[r]] = true;
  }
  Network kept;
  kept.wires = full.wires;
  kept.order = full.order;
  Exchange reversed[kMaxSteps] = {};
  std::size_t count = 0;
  for (std::size_t i = full.size; i-- > 0;) {
    Exchange step = full.steps[i];
    const bool low = read[step.low];
    const bool high = read[step.high];
    if (!low && !high) continue;
    step.keep = low && high ? Keep::kBoth : low ? Keep::kLow : Keep::kHigh;
    // Both values of an exchange feed whichever side is kept.
    read[step.low] = read[step.high] = true;
    reversed[count++] = step;
  }
  for (std::size_t i = 0; i < count; ++i) kept.steps[i] = reversed[count - 1 - i];
  kept.size = count;
  kept.inputs = read;
  return kept;
}

// Ranks from `first` to `last` (inclusive), for Pruned.
constexpr std::array<bool, kMaxWires> Ranks(int first, int last) {
  std::array<bool, kMaxWires> ranks{};
  for (int r = first; r <= last; ++r) ranks[r] = true;
  return ranks;
}

// The ranks of one input list of a pruned merging network that its steps still read: the
// list's values sit on wires offset..offset+length-1, smallest first.
constexpr std::array<bool, kMaxWires> ReadRanks(const Network& net, int offset, int length) {
  std::array<bool, kMaxWires> ranks{};
  for (int p = 0; p < length; ++p) ranks[p] = net.inputs[offset + p];
  return ranks;
}

constexpr std::array<bool, kMaxWires> Either(const std::array<bool, kMaxWires>& a,
                                             const std::array<bool, kMaxWires>& b) {
  std::array<bool, kMaxWires> both{};
  for (int i = 0; i < kMaxWires; ++i) both[i] = a[i] || b[i];
  return both;
}

}  // namespace corvex::kernels
