// The processing history's slots: first empty slot, full list, and removing the last entry.
#include "processing/processing_history.h"

#include <gtest/gtest.h>

namespace corvex {
namespace {

TEST(ProcessingHistory, FillsSlotsInOrderAndDropsWhenFull) {
  ProcessingHistory history;
  AddHistoryLabel(history, std::string(50, 'x'));
  EXPECT_EQ(history.entries[0].size(), 39u);
  for (int i = 1; i < 16; ++i) AddHistoryLabel(history, "label " + std::to_string(i));
  EXPECT_EQ(history.entries[14], "label 14");

  RemoveLastHistoryEntry(history);  // all used: the 15th goes
  EXPECT_EQ(history.entries[14], "");
  EXPECT_EQ(history.entries[13], "label 13");
  RemoveLastHistoryEntry(history);
  EXPECT_EQ(history.entries[13], "");

  ClearHistory(history);
  RemoveLastHistoryEntry(history);  // nothing to remove
  for (const std::string& entry : history.entries) EXPECT_EQ(entry, "");
}

}  // namespace
}  // namespace corvex
