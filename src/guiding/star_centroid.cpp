#include "guiding/star_centroid.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include "corvex.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr std::string_view kMainCaption = "CORVEX  - Find Centre";
constexpr std::string_view kGuiderCaption = "VIREO  - Find Centre";
constexpr int kWindowSide = 128;
constexpr int kHalfWindow = 64;
// A guider search finds the guide star when the star it finds is at least this share
// (1 / n) as bright above the background as the guide star was.
constexpr int kFaintestGuideStarShare = 4;

struct Frame {
  const std::uint16_t* pixels;
  int width;
  int height;
};

struct Centroid {
  double cx = 0;  // within the square, from its top-left corner
  double cy = 0;
  int signal = 0;  // the square's brightest value above its background
};

enum class Camera { kMain, kGuider };

// Steps 2-9 of the search: the bounds, the background, the normalised copy and the weighted
// centre. Empty when the square leaves the frame (`outside` set) or holds nothing to centre on.
std::optional<Centroid> Measure(const Frame& frame, int x, int y, int r, Camera camera,
                                bool& outside) {
  // In 64 bits: a position far outside the frame must not wrap round into it.
  const std::int64_t left = std::int64_t{x} - r, top = std::int64_t{y} - r;
  outside = r < 0 || left < 0 || top < 0 || left + 2 * std::int64_t{r} + 1 > frame.width ||
            top + 2 * std::int64_t{r} + 1 > frame.height;
  if (outside) return std::nullopt;
  const int side = 2 * r + 1;

  std::array<int, 4096> counts{};
  std::vector<std::uint32_t> copy;
  copy.reserve(side * side);
  std::uint32_t maximum = 0;
  // The fullest bin, the lowest of equally full ones, kept as the counts grow: a search over
  // all 4096 bins took longer than the square itself.
  int bin = 0;
  for (int row = y - r; row <= y + r; ++row) {
    for (int col = x - r; col <= x + r; ++col) {
      const std::uint32_t v = frame.pixels[row * frame.width + col];
      const int b = static_cast<int>(v / 16);
      ++counts[b];
      if (counts[b] > counts[bin] || (counts[b] == counts[bin] && b < bin)) bin = b;
      copy.push_back(v);
      maximum = std::max(maximum, v);
    }
  }
  std::uint32_t background = 0;
  if (camera == Camera::kMain) {
    background = bin >= 4015 ? 65535 : static_cast<std::uint32_t>(bin * 16.32);
    if (maximum <= background) return std::nullopt;
    const std::uint32_t scale = 65535 / (maximum - background);
    for (std::uint32_t& v : copy) v = v <= background ? 0 : (v - background) * scale;
  } else {
    background = static_cast<std::uint32_t>(bin * 16.64);
    // A square with nothing above its background (a frame that never arrived reads all 0)
    // holds no star: measuring it anyway would report its corner as the star's position.
    if (maximum <= background) return std::nullopt;
    for (std::uint32_t& v : copy) {
      v = v <= background ? 0 : v - background;
      if (maximum < 17000) v *= 4;
      if (v >= 16384 && maximum < 17000) v = 65535;
    }
  }
  std::uint64_t sum = 0;
  for (std::uint32_t v : copy) sum += v;
  const std::int64_t mean = static_cast<std::int64_t>(sum / (side * side));

  // The accumulators start at 1, which keeps an empty square away from a division by zero.
  double weights = 1, rows = 1, cols = 1;
  for (int row = 0; row < side; ++row) {
    for (int col = 0; col < side; ++col) {
      const std::int64_t w = static_cast<std::int64_t>(copy[row * side + col]) - mean;
      if (w <= 0) continue;
      weights += static_cast<double>(w);
      rows += static_cast<double>(w) * row;
      cols += static_cast<double>(w) * col;
    }
  }
  return Centroid{cols / weights, rows / weights, static_cast<int>(maximum - background)};
}

// Whole pixels plus tenths, from the square's corner and the centre inside it.
void WithTenths(int corner, double centre, int& whole, int& tenths) {
  const int part = static_cast<int>(centre);
  whole = corner + part;
  tenths = static_cast<int>(centre * 10) - 10 * part;
}

}  // namespace

int FindStarCentre(Corvex& corvex, int x, int y, int radius, bool selfGuidedExposure) {
  ProgramState& state = corvex.state;
  const bool window = state.selfGuidingActive || state.guideWindowActive;
  const Frame frame{corvex.store.currentImage.data(), window ? kWindowSide : kImageStride,
                    window ? kWindowSide : kImageRows};
  bool outside = false;
  const std::optional<Centroid> centre = Measure(frame, x, y, radius, Camera::kMain, outside);
  if (!centre) {
    if (outside) {
      corvex.host.ShowMessageBox("Find centre failed - outside image area", kMainCaption,
                                 MessageButtons::kOk, MessageIcon::kNone);
    } else if (!selfGuidedExposure) {
      corvex.host.ShowMessageBox("Sorry, Nothing found to centre on", kMainCaption,
                                 MessageButtons::kOk, MessageIcon::kNone);
    }
    return kStarNotFound;
  }
  const bool tenths =
      !state.settings.ignoreSmallDrift && (selfGuidedExposure || state.selfGuidingActive);
  if (tenths) {
    WithTenths(x - radius, centre->cx, state.starX, state.starXTenths);
    WithTenths(y - radius, centre->cy, state.starY, state.starYTenths);
  } else {
    state.starX = x - radius + static_cast<int>(centre->cx + 0.5);
    state.starY = y - radius + static_cast<int>(centre->cy + 0.5);
    state.starXTenths = state.starYTenths = 0;
  }
  corvex.guiding.starSignal = centre->signal;
  return kStarFound;
}

int FindGuiderStarCentre(Corvex& corvex, int x, int y, int radius, bool quiet) {
  ProgramState& state = corvex.state;
  const Frame frame{corvex.store.guiderImage.data(), kReadoutWidth, kImageRows};
  bool outside = false;
  const std::optional<Centroid> centre = Measure(frame, x, y, radius, Camera::kGuider, outside);
  if (!centre) {
    if (!quiet) {
      corvex.host.ShowMessageBox(
          outside ? "Find centre failed - outside image area" : "Sorry, Nothing found to centre on",
          kGuiderCaption, MessageButtons::kOk, MessageIcon::kNone);
    }
    return kStarNotFound;
  }
  WithTenths(x - radius, centre->cx, state.guiderStarX, state.guiderStarXTenths);
  WithTenths(y - radius, centre->cy, state.guiderStarY, state.guiderStarYTenths);
  corvex.guiding.guiderStarSignal = centre->signal;
  return kStarFound;
}

bool LooksLikeGuideStar(int signal, int guideSignal) {
  return signal > 0 && static_cast<long long>(signal) * kFaintestGuideStarShare >= guideSignal;
}

int RefineStarPosition(Corvex& corvex, int x, int y, int radius,
                       const std::function<void(int x, int y)>& moved) {
  int passes = 0;
  for (; passes < 3; ++passes) {
    if (FindStarCentre(corvex, x, y, radius) != kStarFound) break;
    x = corvex.state.starX;
    y = corvex.state.starY;
    if (moved) moved(x, y);
  }
  return passes;
}

void PlaceGuideWindow(Corvex& corvex) {
  ProgramState& state = corvex.state;
  const auto place = [](int at, int usable, int& origin, int& inside) {
    if (kHalfWindow < at && at < usable - kHalfWindow) {
      origin = at - kHalfWindow;
      inside = kHalfWindow;
    } else if (at <= kHalfWindow) {
      origin = 0;
      inside = at;
    } else {
      origin = usable - 2 * kHalfWindow;
      inside = at - origin;
    }
  };
  corvex.guiding.savedStarX = state.starX;
  corvex.guiding.savedStarY = state.starY;
  int left = 0, top = 0, insideX = 0, insideY = 0;
  place(state.pickedStarX, 510, left, insideX);
  if (left > 3) left -= 4;
  place(state.pickedStarY, kImageRows, top, insideY);
  if (top < 156) top += 6;
  const int xOffset = left % 3;
  insideX += xOffset;
  state.focusLeft = static_cast<std::int16_t>(left);
  state.focusTop = static_cast<std::int16_t>(top);
  state.starX = insideX;
  state.starY = insideY;
  state.guideWindowActive = true;
  if (state.settings.verboseCameraMessages) {
    char text[200];
    std::snprintf(text, sizeof text,
                  "xcent=%5d, ycent = %5d, focus_x = %5d, focus_y = %5d,  xoffset = %5d, "
                  "yoffset = %5d",
                  insideX, insideY, left, top, xOffset, 0);
    ShowMessage(corvex.host, kFreeTextMessage, text);
  }
}

}  // namespace corvex
