// "Label Image": a line of text burnt into rows 0-9 of the image, with the marker that tells
// processing to leave those rows alone.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "state/image_store.h"

namespace corvex {

inline constexpr int kLabelCells = 64;
inline constexpr int kDateTextCells = 24;

// "  hh:mm:ss UT dd-mm-yyyy " of a calendar time (UT).
std::string LabelDateText(std::int64_t calendarSeconds);
// " " + observationTime + " UT " + observationDate, for "Use FITs Date".
std::string LabelFitsDateText(std::string_view observationTime, std::string_view observationDate);

// The whole line: the text centred in 64 cells (24 of them kept for the date when dated),
// then the date text.
std::string LabelLine(std::string_view text, const std::string* dateText);

// Clears rows 0-9, draws the line's first 64 characters in 65535 on 0 (a character without a
// glyph leaves its cell black) and sets samples 0-5 of row 0 to 17.
void DrawImageLabel(ImageBuffer& image, std::string_view line);

}  // namespace corvex
