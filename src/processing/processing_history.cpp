#include "processing/processing_history.h"

#include <algorithm>

namespace corvex {

namespace {
auto FirstEmpty(ProcessingHistory& history) {
  return std::find_if(history.entries.begin(), history.entries.end(),
                      [](const std::string& entry) { return entry.empty(); });
}
}  // namespace

void AddHistoryLabel(ProcessingHistory& history, std::string_view label) {
  const auto slot = FirstEmpty(history);
  if (slot != history.entries.end()) *slot = std::string(label.substr(0, kHistoryEntryLength));
}

void ClearHistory(ProcessingHistory& history) {
  for (std::string& entry : history.entries) entry.clear();
}

void RemoveLastHistoryEntry(ProcessingHistory& history) {
  const auto slot = FirstEmpty(history);
  if (slot == history.entries.end()) {
    history.entries.back().clear();
  } else if (slot != history.entries.begin()) {
    std::prev(slot)->clear();
  }
}

}  // namespace corvex
