// The ziggurat covers the normal density with 128 layers of equal area: a bottom layer that
// includes the tail beyond R, and 127 rectangles stacked above it. A draw picks a layer and a
// point across it; inside the part of the layer that lies wholly under the curve (most
// draws) the point is the answer. Otherwise the point is tested against the curve itself, or,
// in the bottom layer, a value is drawn from the tail. Every path accepts with exactly the
// density's probability, so the result is normal, not an approximation of it.
#include "sim/ziggurat.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "sim/noise_kernels.h"

namespace corvex::sim {

namespace {

constexpr int kLayers = 128;
constexpr double kTailStart = 3.442619855899;       // R: where the bottom layer's tail begins
constexpr double kLayerArea = 9.91256303526217e-3;  // each layer's area under exp(-x^2 / 2)

struct Tables {
  std::array<double, kLayers + 1> x;   // layer i spans 0 .. x[i], and x[i + 1] of it is inside
  std::array<double, kLayers> inside;  // x[i + 1] / x[i]
};

Tables MakeTables() {
  Tables t{};
  double f = std::exp(-0.5 * kTailStart * kTailStart);
  t.x[0] = kLayerArea / f;  // the bottom layer as a rectangle of the same area
  t.x[1] = kTailStart;
  t.x[kLayers] = 0;
  for (int i = 2; i < kLayers; ++i) {
    t.x[i] = std::sqrt(-2 * std::log(kLayerArea / t.x[i - 1] + f));
    f = std::exp(-0.5 * t.x[i] * t.x[i]);
  }
  for (int i = 0; i < kLayers; ++i) t.inside[i] = t.x[i + 1] / t.x[i];
  return t;
}

// Uniform on (0, 1) from the top 53 bits, never 0 (the tail takes its logarithm).
double Uniform(std::uint64_t bits) {
  // Through a signed integer, which converts in one instruction: the 53 bits fit either way.
  return (static_cast<double>(static_cast<std::int64_t>(bits >> 11)) + 0.5) / 9007199254740992.0;
}

// Beyond R, by Marsaglia's method for the normal tail.
template <class Engine>
double Tail(Engine& engine, bool negative) {
  double x = 0, y = 0;
  do {
    x = std::log(Uniform(engine())) / kTailStart;
    y = std::log(Uniform(engine()));
  } while (-2 * y < x * x);
  return negative ? x - kTailStart : kTailStart - x;
}

const Tables& TheTables() {
  static const Tables t = MakeTables();
  return t;
}

// A draw that fell outside its layer's inner part: the edge of the layer or the tail. `bits`
// is the draw that picked the layer; the loop goes on with fresh draws if it is rejected.
template <class Engine>
double OutsideInner(Engine& engine, const Tables& t, std::uint64_t bits) {
  for (;;) {
    const double u = 2 * Uniform(bits) - 1;
    const int i = static_cast<int>(bits & (kLayers - 1));
    if (std::fabs(u) < t.inside[i]) return u * t.x[i];
    if (i == 0) return Tail(engine, u < 0);
    // Outside the inner part: a height between the layer's bottom and top, as shares of the
    // density at x, is under the curve when it is below 1.
    const double x = u * t.x[i];
    const double bottom = std::exp(-0.5 * (t.x[i] * t.x[i] - x * x));
    const double top = std::exp(-0.5 * (t.x[i + 1] * t.x[i + 1] - x * x));
    if (top + Uniform(engine()) * (bottom - top) < 1) return x;
    bits = engine();
  }
}

}  // namespace

template <class Engine>
double ZigguratNormal(Engine& engine) {
  return OutsideInner(engine, TheTables(), engine());
}

namespace {

// The simulator's engine, counting the numbers drawn through it.
struct CountingEngine {
  Mt19937_64& engine;
  std::size_t drawn = 0;
  std::uint64_t operator()() {
    ++drawn;
    return engine();
  }
};

}  // namespace

// The simulator's own engine hands over its buffered numbers. The common path is worked out
// for a run of them at once in vector code, straight into `out`, and the draws that leave it
// are listed; each is finished with the scalar code, which takes any further numbers it needs
// from the engine, as single draws would. The run's later results stay valid, since each
// depends only on its own draw: they just move down by the numbers the scalar code took.
void ZigguratNormals(Mt19937_64& engine, std::span<double> out) {
  const Tables& t = TheTables();
  std::array<std::uint16_t, Mt19937_64::kStateSize> outside;
  std::size_t done = 0;
  while (done < out.size()) {
    const std::span<const std::uint64_t> pending = engine.Pending();
    const std::size_t count = std::min(pending.size(), out.size() - done);
    // The result of draw k is written at run[k], and belongs at run[k - taken].
    double* run = out.data() + done;
    const std::size_t outsideCount = kernels::ZigguratInnerValues(
        pending.data(), count, t.x.data(), t.inside.data(), run, outside.data());
    // The next of `pending` to draw; the engine has been moved past the ones before it.
    std::size_t next = 0;
    std::size_t taken = 0;  // numbers the edge and tail paths took from `pending`
    for (std::size_t k = 0; k < outsideCount && next < count; ++k) {
      const std::size_t draw = outside[k];
      if (draw < next) continue;  // a number an earlier draw took for its edge or tail
      if (taken > 0) std::copy(run + next, run + draw, run + next - taken);
      engine.Skip(draw + 1 - next);
      CountingEngine counting{engine};
      run[draw - taken] = OutsideInner(counting, t, pending[draw]);
      // Past the end of `pending` the engine has refilled itself, and is where it should be.
      next = draw + 1 + counting.drawn;
      taken += counting.drawn;
    }
    if (next < count) {
      if (taken > 0) std::copy(run + next, run + count, run + next - taken);
      engine.Skip(count - next);
      next = count;
    }
    done += next - taken;
  }
}

template double ZigguratNormal(std::mt19937_64&);
template double ZigguratNormal(Mt19937_64&);

}  // namespace corvex::sim
