// Colour synthesis of image rows: a 16-bit luminance and three 8-bit colour values per
// pixel from its 3 x 3 neighbourhood of raw colour-matrix samples.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvex::kernels {

// Pixels x = first .. last (first >= 1) of `rows` consecutive rows `stride` values apart, the
// first of them the line after `above`; every row needs the lines above and below it, each
// holding x - 1 .. x + 1. Pixel x's column phase is `pixelOffset` for even x and the other one
// for odd x; the first row's phase is `rowPhase` and each row after takes the other one.
// Writes luminance[x], red[x], green[x] and blue[x] of each row, the outputs `stride` values
// apart as well; none of them may overlap an input line or another output.
void SynthesizeRows(const std::uint16_t* above, std::ptrdiff_t stride, int rows, int first,
                    int last, bool pixelOffset, bool rowPhase, std::uint16_t* luminance,
                    std::uint8_t* red, std::uint8_t* green, std::uint8_t* blue);

}  // namespace corvex::kernels
