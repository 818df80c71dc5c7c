// Colour synthesis of one image row: a 16-bit luminance and three 8-bit colour values per
// pixel from its 3 x 3 neighbourhood of raw colour-matrix samples.
#pragma once

#include <cstdint>

namespace corvex::kernels {

// Pixels x = first .. last (first >= 1) of the row `here`, with `above` and `below` the rows
// around it (each must hold x - 1 .. x + 1). Pixel x's column phase is `pixelOffset` for
// even x and the other one for odd x. Writes luminance[x], red[x], green[x] and blue[x];
// none of the outputs may overlap an input row or another output.
void SynthesizeRow(const std::uint16_t* above, const std::uint16_t* here,
                   const std::uint16_t* below, int first, int last, bool pixelOffset, bool rowPhase,
                   std::uint16_t* luminance, std::uint8_t* red, std::uint8_t* green,
                   std::uint8_t* blue);

}  // namespace corvex::kernels
