// The short list of what was done to the current image, stored in FITS files as HISTORY cards.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace corvex {

inline constexpr std::size_t kHistoryEntries = 15;
inline constexpr std::size_t kHistoryEntryLength = 39;  // characters a slot holds

struct ProcessingHistory {
  std::array<std::string, kHistoryEntries> entries;
};

// Puts `label` (cut to 39 characters) into the first empty entry; with all 15 used it is dropped.
void AddHistoryLabel(ProcessingHistory& history, std::string_view label);
void ClearHistory(ProcessingHistory& history);
// Empties the entry before the first empty one; entry 15 when all are used; nothing when empty.
void RemoveLastHistoryEntry(ProcessingHistory& history);

}  // namespace corvex
