#include "guiding/star_pick.h"

#include <cstdio>

#include "corvex.h"
#include "guiding/star_centroid.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr int kPickMargin = 3;  // beyond the search size, for the main image

void ReportPosition(Corvex& corvex, const char* prefix, int x, int y) {
  char text[160];
  std::snprintf(text, sizeof text, "%sx position = %5d\ny position = %5d", prefix, x, y);
  ShowMessage(corvex.host, kFreeTextMessage, text);
}

}  // namespace

bool PickGuideStar(Corvex& corvex, int x, int y, const std::function<void(int x, int y)>& moved) {
  ProgramState& state = corvex.state;
  const int margin = state.maskRadius + kPickMargin;
  if (x < margin || x > kImageStride - 1 - margin || y < margin ||
      y > kImageRows - 1 - margin) {
    ReportPosition(corvex, "Sorry, outside Image area - try again\n\n", x, y);
    return false;
  }
  if (RefineStarPosition(corvex, x, y, state.maskRadius, moved) == 0) return false;
  state.pickedStarX = state.starX;
  state.pickedStarY = state.starY;
  state.guideStarPicked = true;
  ReportPosition(corvex, "", state.starX, state.starY);
  return true;
}

bool SelectGuiderStar(Corvex& corvex, int x, int y,
                      const std::function<void(int x, int y)>& moved) {
  ProgramState& state = corvex.state;
  GuidingState& guiding = corvex.guiding;
  const int r = state.maskRadius;
  if (x < r || x > kReadoutWidth - r || y < r || y > kImageRows - r) {
    ShowMessage(corvex.host, kFreeTextMessage, "Sorry, outside Image area - try again");
    return false;
  }
  for (int pass = 0; pass < 3; ++pass) {
    if (FindGuiderStarCentre(corvex, x, y, r) != kStarFound) return false;
    x = state.guiderStarX;
    y = state.guiderStarY;
    if (moved) moved(x, y);
  }
  guiding.selectedGuiderStarX = x;
  guiding.selectedGuiderStarY = y;
  guiding.guiderStarSelected = true;
  ReportPosition(corvex, "", x, y);
  return true;
}

std::optional<SamplePoint> BrightestStar(const std::uint16_t* values, int width, int height,
                                         int stride, int margin) {
  std::optional<SamplePoint> best;
  long long bestSum = -1;
  for (int y = margin; y < height - margin; ++y) {
    for (int x = margin; x < width - margin; ++x) {
      long long sum = 0;
      for (int dy = -1; dy <= 1; ++dy) {
        const std::uint16_t* row = values + static_cast<std::ptrdiff_t>(y + dy) * stride;
        sum += row[x - 1] + row[x] + row[x + 1];
      }
      if (sum > bestSum) {
        bestSum = sum;
        best = SamplePoint{x, y};
      }
    }
  }
  return best;
}

}  // namespace corvex
