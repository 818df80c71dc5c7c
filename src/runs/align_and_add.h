// Align and add: each new frame of a multi-exposure run is shifted onto the sum so far, by
// the guide star's centre or by the brightness profiles of a region, and added to it. After
// every frame the current image is the sum (or, averaging, the mean) of the frames so far.
//
// The sum lives in the run's own buffers (store.run.seriesSum and seriesCount), uncapped and
// with a count per pixel, so that what the image shows can always be worked out from it:
// colour synthesis and the other steps after a frame change the current image, never the sum.
#pragma once

#include <array>

#include "state/image_store.h"

namespace corvex {

struct Corvex;

inline constexpr int kAlignOk = 0;
inline constexpr int kAlignStarLost = 1;  // message 33
inline constexpr int kAlignNoRegion = 2;  // message 34

// What the two routines remember between the frames of a run.
struct AlignState {
  int frames = 0;  // frames in the sum
  // By the star: where the first frame's star lies in the sum (x 0 means no reference yet),
  // and its peak.
  int referenceX = 0;
  int referenceY = 0;
  int referencePeak = 0;
  // By the profiles: the region's start row, the shifts so far, the reference value (0 means
  // no reference yet) and the reference row and column profiles.
  int regionRow = 0;
  int columnShift = 0;
  int rowShift = 0;
  int referenceValue = 0;
  std::array<long, 100> rowProfile{};
  std::array<long, 100> columnProfile{};
};

// Forgets the reference: the next frame starts a new sum.
void ClearAlignReference(AlignState& align);

// An odd shift between -9 and 9 loses one pixel (1 -> 0, -1 -> -2); others stay.
int EvenedShift(int shift);

// The series as an image: each pixel's sum divided by its frame count when averaging,
// else the sum, 65535 at most.
void RenderSeries(const RunBuffers& run, bool average, ImageBuffer& image);

// The first routine: finds the guide star (three passes from the guide star position, then
// from the reference), refuses a star whose peak changed more than threefold (the image goes
// back to the sum so far) and adds the sum shifted by the star's movement. A first frame on
// which the star cannot be found starts the sum but gives kAlignStarLost: without a
// reference no later frame could be aligned.
int AlignAndAdd(Corvex& corvex, AlignState& align);

// "Alternative Slew Method": registers frames by the row and column brightness profiles of a
// 100 x 100 region.
int AlignAndAddByProfiles(Corvex& corvex, AlignState& align);

}  // namespace corvex
