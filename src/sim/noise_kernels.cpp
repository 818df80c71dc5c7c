// The simulator's inner loops for each instruction set. The refill and the square roots are
// plain loops the compiler turns into vector code for the target; the ziggurat's common path
// and the noisy row are written with Highway's operations, a vector at a time: the first
// looks its layers up in tables and lists the draws that leave the common path, so that the
// caller finishes them in order and the stream of numbers stays the same. Only operations
// that round as the scalar code does are used (no fused multiply-add: the build turns
// contraction off), so each target gives the same bits.
#include "sim/noise_kernels.h"

#include <algorithm>
#include <cmath>

#include "sim/mt64.h"

#undef HWY_TARGET_INCLUDE
#define HWY_TARGET_INCLUDE "sim/noise_kernels.cpp"
#include <hwy/foreach_target.h>  // IWYU pragma: keep
#include <hwy/highway.h>

HWY_BEFORE_NAMESPACE();
namespace corvex::sim::kernels {
namespace HWY_NAMESPACE {

namespace hn = hwy::HWY_NAMESPACE;

constexpr std::size_t kStateSize = Mt19937_64::kStateSize;
constexpr std::size_t kMiddle = 156;
constexpr std::uint64_t kMatrix = 0xB5026F5AA96619E9ull;
constexpr std::uint64_t kUpperMask = ~std::uint64_t{0} << 31;
constexpr std::uint64_t kLowerMask = ~kUpperMask;
constexpr int kLayerMask = 127;

// The next state word from the upper bits of one word, the lower bits of the next and the
// word `kMiddle` further on. The matrix is applied with a mask rather than a branch.
inline std::uint64_t Twist(std::uint64_t word, std::uint64_t next, std::uint64_t middle) {
  const std::uint64_t y = (word & kUpperMask) | (next & kLowerMask);
  return middle ^ (y >> 1) ^ ((0 - (y & 1)) & kMatrix);
}

void MtRefillImpl(std::uint64_t* HWY_RESTRICT x, std::uint64_t* HWY_RESTRICT out) {
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
    out[k] = z;
  }
}

// The layer's entries of `table` for the `lanes` draws from `bits`. AVX2's gather is slower
// than loading the lanes one by one on the machines this runs on (two gathers took more time
// than the rest of the draw), so there the lanes are loaded and put together.
template <class D>
HWY_INLINE hn::Vec<D> LayerEntries(D d, const double* HWY_RESTRICT table,
                                   const std::uint64_t* HWY_RESTRICT bits,
                                   hn::Vec<hn::RebindToSigned<D>> layer) {
#if HWY_TARGET == HWY_AVX2
  (void)d;
  (void)layer;
  hn::Vec<D> v;
  v.raw = _mm256_set_pd(table[bits[3] & kLayerMask], table[bits[2] & kLayerMask],
                        table[bits[1] & kLayerMask], table[bits[0] & kLayerMask]);
  return v;
#else
  (void)bits;
  return hn::GatherIndex(d, table, layer);
#endif
}

std::size_t ZigguratInnerValuesImpl(const std::uint64_t* HWY_RESTRICT bits, std::size_t count,
                                    const double* HWY_RESTRICT layerX,
                                    const double* HWY_RESTRICT inside, double* HWY_RESTRICT values,
                                    std::uint16_t* HWY_RESTRICT outside) {
  const hn::ScalableTag<double> d;
  const hn::RebindToUnsigned<decltype(d)> du;
  const hn::RebindToSigned<decltype(d)> di;
  const std::size_t lanes = hn::Lanes(d);
  const auto low52 = hn::Set(du, (std::uint64_t{1} << 52) - 1);
  const auto exponent52 = hn::Set(du, 0x4330000000000000ull);  // the bits of 2^52
  const auto two52 = hn::Set(d, 4503599627370496.0);
  const auto half = hn::Set(d, 0.5);
  const auto step = hn::Set(d, 1.0 / 9007199254740992.0);  // a power of two: exact as / 2^53
  const auto one = hn::Set(d, 1.0);
  const auto layerMask = hn::Set(du, kLayerMask);
  std::size_t outsideCount = 0;
  std::size_t done = 0;
  for (; done + lanes <= count; done += lanes) {
    const auto b = hn::LoadU(du, bits + done);
    // The top 53 bits as a double, exactly: below 2^52 they are 2^52 + bits less 2^52, and
    // from 2^52 up, where bit 52 stands in the exponent's place, 2^52 + the low 52 bits is
    // the number itself.
    const auto top = hn::ShiftRight<11>(b);
    const auto biased = hn::BitCast(d, hn::Or(hn::And(top, low52), exponent52));
    const auto high = hn::RebindMask(d, hn::Eq(hn::ShiftRight<52>(top), hn::Zero(du)));
    const auto whole = hn::Sub(biased, hn::IfThenElseZero(high, two52));
    const auto uniform = hn::Mul(hn::Add(whole, half), step);
    const auto u = hn::Sub(hn::Add(uniform, uniform), one);  // 2 x uniform is exact
    const auto layer = hn::BitCast(di, hn::And(b, layerMask));
    const auto value = hn::Mul(u, LayerEntries(d, layerX, bits + done, layer));
    const auto inner = hn::Lt(hn::Abs(u), LayerEntries(d, inside, bits + done, layer));
    hn::StoreU(value, d, values + done);
    // About one draw in eighty leaves the common path.
    if (HWY_UNLIKELY(!hn::AllTrue(d, inner))) {
      std::uint8_t maskBits[8] = {};
      hn::StoreMaskBits(d, hn::Not(inner), maskBits);
      for (std::size_t lane = 0; lane < lanes; ++lane) {
        if ((maskBits[lane / 8] >> (lane % 8)) & 1) {
          outside[outsideCount++] = static_cast<std::uint16_t>(done + lane);
        }
      }
    }
  }
  for (; done < count; ++done) {
    const std::uint64_t b = bits[done];
    const double uniform =
        (static_cast<double>(static_cast<std::int64_t>(b >> 11)) + 0.5) / 9007199254740992.0;
    const double u = 2 * uniform - 1;
    const int i = static_cast<int>(b & kLayerMask);
    values[done] = u * layerX[i];
    if (!(std::fabs(u) < inside[i])) outside[outsideCount++] = static_cast<std::uint16_t>(done);
  }
  return outsideCount;
}

void NoiseSigmasImpl(const double* HWY_RESTRICT signal, std::size_t count, double readVariance,
                     double* HWY_RESTRICT sigma) {
  for (std::size_t i = 0; i < count; ++i) sigma[i] = std::sqrt(signal[i] + readVariance);
}

// Written with Highway's operations: the compiler's own conversion of a double to a 16-bit
// value for the plain loop took more instructions than the rest of it.
void NoisyRowImpl(const double* HWY_RESTRICT signal, const double* HWY_RESTRICT sigma,
                  const double* HWY_RESTRICT normals, std::size_t count, double biasAdu,
                  std::uint16_t* HWY_RESTRICT out) {
  const hn::ScalableTag<double> d;
  const hn::Rebind<std::int32_t, decltype(d)> d32;
  const hn::Rebind<std::uint16_t, decltype(d)> d16;
  const std::size_t lanes = hn::Lanes(d);
  const auto bias = hn::Set(d, biasAdu);
  const auto zero = hn::Zero(d);
  const auto top = hn::Set(d, 65535.0);
  std::size_t col = 0;
  for (; col + lanes <= count; col += lanes) {
    const auto mean = hn::Add(bias, hn::LoadU(d, signal + col));
    const auto value =
        hn::Add(mean, hn::Mul(hn::LoadU(d, normals + col), hn::LoadU(d, sigma + col)));
    // Cut to 0 .. 65535 first, so that both narrowings (the first truncates, as a cast does)
    // keep the value.
    const auto kept = hn::Min(hn::Max(value, zero), top);
    hn::StoreU(hn::DemoteTo(d16, hn::DemoteTo(d32, kept)), d16, out + col);
  }
  for (; col < count; ++col) {
    out[col] = static_cast<std::uint16_t>(
        std::min(std::max(biasAdu + signal[col] + normals[col] * sigma[col], 0.0), 65535.0));
  }
}

}  // namespace HWY_NAMESPACE
}  // namespace corvex::sim::kernels
HWY_AFTER_NAMESPACE();

#if HWY_ONCE
namespace corvex::sim::kernels {

HWY_EXPORT(MtRefillImpl);
HWY_EXPORT(ZigguratInnerValuesImpl);
HWY_EXPORT(NoiseSigmasImpl);
HWY_EXPORT(NoisyRowImpl);

void MtRefill(std::uint64_t* state, std::uint64_t* out) {
  HWY_DYNAMIC_DISPATCH(MtRefillImpl)(state, out);
}

std::size_t ZigguratInnerValues(const std::uint64_t* bits, std::size_t count, const double* layerX,
                                const double* inside, double* values, std::uint16_t* outside) {
  return HWY_DYNAMIC_DISPATCH(ZigguratInnerValuesImpl)(bits, count, layerX, inside, values,
                                                       outside);
}

void NoiseSigmas(const double* signal, std::size_t count, double readVariance, double* sigma) {
  HWY_DYNAMIC_DISPATCH(NoiseSigmasImpl)(signal, count, readVariance, sigma);
}

void NoisyRow(const double* signal, const double* sigma, const double* normals, std::size_t count,
              double biasAdu, std::uint16_t* out) {
  HWY_DYNAMIC_DISPATCH(NoisyRowImpl)(signal, sigma, normals, count, biasAdu, out);
}

}  // namespace corvex::sim::kernels
#endif
