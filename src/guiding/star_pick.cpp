#include "guiding/star_pick.h"

#include <algorithm>
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
  // The search size the user set, as every guiding and training run uses it.
  state.maskRadius = state.settings.starMaskRadius;
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
  guiding.guideStarSignal = guiding.guiderStarSignal;
  ReportPosition(corvex, "", x, y);
  return true;
}

namespace {

long long PatchSum(const std::uint16_t* values, int stride, int x, int y) {
  long long sum = 0;
  for (int dy = -1; dy <= 1; ++dy) {
    const std::uint16_t* row = values + static_cast<std::ptrdiff_t>(y + dy) * stride;
    sum += row[x - 1] + row[x] + row[x + 1];
  }
  return sum;
}

}  // namespace

std::vector<SamplePoint> StarPeaksNear(const std::uint16_t* values, int width, int height,
                                       int stride, SamplePoint around, int reach, int margin,
                                       std::size_t limit) {
  // Peaks need their neighbours' sums too: keep one more pixel from every edge.
  const int edge = std::max(margin, 2);
  const int x0 = std::max(around.x - reach, edge),
            x1 = std::min(around.x + reach, width - 1 - edge);
  const int y0 = std::max(around.y - reach, edge),
            y1 = std::min(around.y + reach, height - 1 - edge);
  struct Peak {
    long long sum;
    SamplePoint at;
  };
  std::vector<Peak> peaks;
  for (int y = y0; y <= y1; ++y) {
    for (int x = x0; x <= x1; ++x) {
      const int dx = x - around.x, dy = y - around.y;
      if (dx * dx + dy * dy > reach * reach) continue;
      const long long sum = PatchSum(values, stride, x, y);
      if (sum == 0) continue;
      // A peak is above every neighbour; of two equal neighbours the first one scanned counts.
      bool peak = true;
      for (int ny = -1; ny <= 1 && peak; ++ny) {
        for (int nx = -1; nx <= 1 && peak; ++nx) {
          if (nx == 0 && ny == 0) continue;
          const long long other = PatchSum(values, stride, x + nx, y + ny);
          const bool earlier = ny < 0 || (ny == 0 && nx < 0);
          peak = earlier ? sum > other : sum >= other;
        }
      }
      if (peak) peaks.push_back({sum, {x, y}});
    }
  }
  std::stable_sort(peaks.begin(), peaks.end(),
                   [](const Peak& a, const Peak& b) { return a.sum > b.sum; });
  std::vector<SamplePoint> points;
  for (std::size_t i = 0; i < peaks.size() && i < limit; ++i) points.push_back(peaks[i].at);
  return points;
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
