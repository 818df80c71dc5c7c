#include "files/image_label.h"

#include <algorithm>
#include <cstdio>

#include "files/label_font.h"
#include "platform/calendar.h"

namespace corvex {

namespace {
constexpr int kCellWidth = 8;
constexpr int kCellRows = 10;
constexpr std::uint16_t kMarker = 17;

const LabelGlyph* GlyphFor(char c) {
  for (const LabelGlyph& glyph : kLabelGlyphs) {
    if (glyph.character == c) return &glyph;
  }
  return nullptr;
}
}  // namespace

std::string LabelDateText(std::int64_t calendarSeconds) {
  const UtcTime t = BreakDownUtc(calendarSeconds);
  char text[64];
  std::snprintf(text, sizeof text, "  %02d:%02d:%02d UT %02d-%02d-%d ", t.hour, t.minute, t.second,
                t.day, t.month, t.year);
  return text;
}

std::string LabelFitsDateText(std::string_view observationTime, std::string_view observationDate) {
  return " " + std::string(observationTime) + " UT " + std::string(observationDate);
}

std::string LabelLine(std::string_view text, const std::string* dateText) {
  const int free = kLabelCells - static_cast<int>(text.size()) - (dateText ? kDateTextCells : 0);
  std::string line(std::max(free / 2, 0), ' ');
  line += text;
  if (dateText) line += *dateText;
  return line;
}

void DrawImageLabel(ImageBuffer& image, std::string_view line) {
  std::fill_n(image.begin(), kCellRows * kImageStride, 0);
  const int cells = std::min<int>(static_cast<int>(line.size()), kLabelCells);
  for (int n = 0; n < cells; ++n) {
    const LabelGlyph* glyph = GlyphFor(line[n]);
    if (glyph == nullptr) continue;
    for (int row = 0; row < kCellRows; ++row) {
      for (int bit = 0; bit < kCellWidth; ++bit) {
        if (glyph->rows[row] & (0x80 >> bit))
          image[row * kImageStride + kCellWidth * n + bit] = 65535;
      }
    }
  }
  std::fill_n(image.begin(), 6, kMarker);
}

}  // namespace corvex
