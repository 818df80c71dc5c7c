// Colour synthesis: a raw one-shot-colour frame becomes a 16-bit luminance image and three
// 8-bit colour planes, computed from each pixel's 3 x 3 neighbourhood by its phase in the
// colour filter pattern; commands/colour_commands adds the steps the synthesis options choose.
#pragma once

#include <cstdint>
#include <functional>

#include "state/image_store.h"
#include "state/program_settings.h"

namespace corvex {

struct SynthesisPixel {
  std::uint16_t luminance = 0;
  std::uint8_t red = 0, green = 0, blue = 0;
};

// One pixel (not in row 0 or column 0) of `image` at (x, y) with the given phases.
SynthesisPixel SynthesizePixel(const ImageBuffer& image, int x, int y, bool columnPhase,
                               bool rowPhase);

// Rows 0-288 of `image` into `luminance` and the planes; row 289 and columns 510-511 of the
// planes are 0. With `labelled`, rows 0-9 keep their values and their planes are 255.
void SynthesizeRows(const ImageBuffer& image, ImageBuffer& luminance,
                    const MutablePlaneView& planes, bool pixelOffset, bool lineOffset,
                    bool labelled, const std::function<void(int row)>& progress = {});

// Every value below the black level m becomes 0, values of 65500 and more stay, the rest
// drop by m.
void SubtractBlackLevel(ImageBuffer& image, int m);

// Light pollution correction: each plane's most common sky value (rows 10-39), measured
// against the reference plane, is taken off the pixels at or above it.
void CorrectLightPollution(const MutablePlaneView& planes);

}  // namespace corvex
