// Choosing the guide star: the click on the main image ("Pick Guide Star"), the click on the
// guider camera dialog's frame ("Select Guide Star"), and, for the command-line tool, the
// brightest star of a frame.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "state/guiding_state.h"

namespace corvex {

struct Corvex;

// A click at (x, y) of the 512 x 290 main image. It must lie the search size plus 3 pixels
// inside the image, else "Sorry, outside Image area - try again" with the position; inside,
// up to three star searches move the point (and, through `moved`, the cursor) onto the star,
// which becomes the picked guide star and is reported. False when it was refused or nothing
// was found.
bool PickGuideStar(Corvex& corvex, int x, int y,
                   const std::function<void(int x, int y)>& moved = {});

// A click at (x, y) of the 500 x 290 guider frame (dialog coordinates less the frame's
// origin). Accepted within the search size of the edges; three guider searches, each moving
// the point and the cursor, then the star counts as selected and is reported.
bool SelectGuiderStar(Corvex& corvex, int x, int y,
                      const std::function<void(int x, int y)>& moved = {});

// The centre of the brightest 3 x 3 patch at least `margin` pixels inside a frame: a star's
// light spreads over its neighbours, a hot pixel's does not.
std::optional<SamplePoint> BrightestStar(const std::uint16_t* values, int width, int height,
                                         int stride, int margin);

// The brightest peaks of 3 x 3 sums within `reach` pixels of `around` and at least `margin`
// inside the frame, brightest first, at most `limit` of them: where to look for a star that
// went further than its search square reaches.
std::vector<SamplePoint> StarPeaksNear(const std::uint16_t* values, int width, int height,
                                       int stride, SamplePoint around, int reach, int margin,
                                       std::size_t limit);

}  // namespace corvex
