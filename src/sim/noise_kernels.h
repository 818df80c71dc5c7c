// The simulator's inner loops, built for each instruction set Highway targets and chosen at
// run time: the Mersenne Twister's refill, the ziggurat's common path and the noise added to
// a row. Every one gives the same numbers, bit for bit, on every instruction set.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvex::sim::kernels {

// MT19937-64's next 312 state words, replaced in `state` in place, and their tempered output
// numbers into `out`.
void MtRefill(std::uint64_t* state, std::uint64_t* out);

// The ziggurat's common path for each of the 64-bit draws `bits[0 .. count)`: the draw's top
// 53 bits are a point u in (-1, 1) and its low 7 bits a layer i, and where |u| < inside[i]
// the standard normal number is u x layerX[i]. values[k] is that product for draw k; the
// draws that leave the common path are listed in `outside` in order (count is at most
// 65536), and their number is returned.
std::size_t ZigguratInnerValues(const std::uint64_t* bits, std::size_t count, const double* layerX,
                                const double* inside, double* values, std::uint16_t* outside);

// The standard deviation of the shot and read noise on each signal: the square root of the
// signal plus the read noise's variance.
void NoiseSigmas(const double* signal, std::size_t count, double readVariance, double* sigma);

// Main-camera values: bias plus signal plus the normal number times the noise's standard
// deviation, cut to 0 .. 65535.
void NoisyRow(const double* signal, const double* sigma, const double* normals, std::size_t count,
              double biasAdu, std::uint16_t* out);

}  // namespace corvex::sim::kernels
