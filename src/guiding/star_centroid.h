// Where, to a tenth of a pixel, the guide star is inside a small square around its last known
// position: on the main camera's frame (or its 128 x 128 guide window) and on the guider
// camera's frame. Also the placement of the guide window around a picked star.
#pragma once

#include <cstdint>
#include <functional>

#include "state/image_store.h"

namespace corvex {

struct Corvex;

inline constexpr int kStarFound = 0;
inline constexpr int kStarNotFound = 1;

// Searches the square of side 2 x radius + 1 centred on (x, y) of the main camera's frame in
// currentImage: 512 x 290, or the 128 x 128 guide window while self-guiding or once the guide
// window is placed. Sets starX, starY, their tenths and guiding.starSignal (the brightest
// value above the background) and returns 0; returns 1 (after its
// message, unless `selfGuidedExposure`) and changes nothing when the square leaves the frame or
// holds nothing above the background.
int FindStarCentre(Corvex& corvex, int x, int y, int radius, bool selfGuidedExposure = false);

// The same on the guider camera's 500 x 290 frame in guiderImage; sets guiderStarX,
// guiderStarY and their tenths, and guiding.guiderStarSignal. Fails as FindStarCentre does,
// with its messages unless `quiet` (the guiding loops report a lost star themselves).
int FindGuiderStarCentre(Corvex& corvex, int x, int y, int radius, bool quiet = false);

// Whether a guider search that found a star `signal` above its background found the guide
// star, which rose `guideSignal` above it when it was chosen: much fainter is noise, a hot
// pixel or another star. (Thin cloud dims a star by less.) A guideSignal of 0 accepts any.
bool LooksLikeGuideStar(int signal, int guideSignal);

// Up to three passes of FindStarCentre from a clicked point, each starting where the last
// ended; `moved` hears every new position (the window moves the mouse cursor by it). Returns
// the number of passes that succeeded.
int RefineStarPosition(Corvex& corvex, int x, int y, int radius,
                       const std::function<void(int x, int y)>& moved = {});

// Places the 128 x 128 guide window around pickedStarX, pickedStarY: sets focusLeft, focusTop,
// the star's position inside the window in starX, starY, and guideWindowActive. The position
// it replaces is kept in guiding.savedStarX, savedStarY.
void PlaceGuideWindow(Corvex& corvex);

}  // namespace corvex
