// Rows of values, one per rank of a sorted list, that the median kernels keep for the windows
// of an image row: each window reads its neighbours' sorted columns and pairs from them.
#pragma once

#include <cstddef>
#include <vector>

namespace corvex::kernels {

// Where rank rows lie: two numbers, which a loop body can copy into locals. Vector stores may
// alias any memory, so a row address read through a reference is read again after every
// store; the 16-bit median's loop bodies take copies for that reason. (The anti-alias
// filter's byte median measured the same either way, and reads through its RankRows.)
template <class T>
struct RankView {
  T* base;
  std::ptrdiff_t width;
  T* operator[](int rank) const { return base + rank * width; }
};

// Rows of `width` values, one per rank.
template <class T>
class RankRows {
 public:
  RankRows(int ranks, int width)
      : width_(width), values_(static_cast<std::size_t>(ranks) * width) {}
  T* operator[](int rank) { return View()[rank]; }
  RankView<T> View() { return {values_.data(), width_}; }

 private:
  std::ptrdiff_t width_;
  std::vector<T> values_;
};

}  // namespace corvex::kernels
