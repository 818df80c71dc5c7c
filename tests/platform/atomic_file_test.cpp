// File replacement never loses the old file, whatever fails on the way.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "support/test_rig.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

std::string Contents(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override { std::ofstream(target, std::ios::binary) << "old contents"; }
  void TearDown() override { SetFileWriteFaultForTesting(std::nullopt); }

  testing::TempDirectory dir;
  fs::path target = dir.path() / "IMG1.FIT";
};

TEST_F(AtomicFileTest, ReplacesTheFileWhenEveryByteWasWritten) {
  AtomicFileWriter writer(target);
  ASSERT_TRUE(writer.Open());
  EXPECT_EQ(writer.TempPath(), dir.path() / "IMG1.FIT.tmp");
  EXPECT_TRUE(writer.Write(Bytes("new ")));
  EXPECT_EQ(Contents(target), "old contents");  // nothing changes before the commit
  EXPECT_TRUE(writer.Write(Bytes("contents")));
  EXPECT_TRUE(writer.Commit());
  EXPECT_EQ(Contents(target), "new contents");
  EXPECT_FALSE(fs::exists(writer.TempPath()));
}

TEST_F(AtomicFileTest, AShortWriteLeavesTheOldFileAndNoTemporary) {
  SetFileWriteFaultForTesting(6);
  AtomicFileWriter writer(target);
  ASSERT_TRUE(writer.Open());
  EXPECT_TRUE(writer.Write(Bytes("first")));
  EXPECT_FALSE(writer.Write(Bytes("second")));  // only one byte of it goes out
  EXPECT_FALSE(writer.Write(Bytes("x")));       // a failed writer stays failed
  EXPECT_FALSE(writer.Commit());
  EXPECT_EQ(Contents(target), "old contents");
  EXPECT_FALSE(fs::exists(dir.path() / "IMG1.FIT.tmp"));
}

TEST_F(AtomicFileTest, AnAbandonedWriterRemovesItsTemporary) {
  {
    AtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Open());
    writer.Write(Bytes("half"));
  }
  EXPECT_EQ(Contents(target), "old contents");
  EXPECT_FALSE(fs::exists(dir.path() / "IMG1.FIT.tmp"));
}

TEST_F(AtomicFileTest, AMissingDirectoryFailsAtOpen) {
  AtomicFileWriter writer(dir.path() / "no-such-dir" / "x.fit");
  EXPECT_FALSE(writer.Open());
  EXPECT_FALSE(writer.Write(Bytes("x")));
  EXPECT_FALSE(writer.Commit());
  EXPECT_FALSE(WriteFileAtomically(dir.path() / "no-such-dir" / "x.fit", Bytes("x")));
}

TEST_F(AtomicFileTest, WholeFileHelperCreatesAndReplaces) {
  const fs::path fresh = dir.path() / "fresh.raw";
  EXPECT_TRUE(WriteFileAtomically(fresh, Bytes("abc")));
  EXPECT_EQ(Contents(fresh), "abc");
  SetFileWriteFaultForTesting(0);
  EXPECT_FALSE(WriteFileAtomically(fresh, Bytes("defgh")));
  EXPECT_EQ(Contents(fresh), "abc");
}

}  // namespace
}  // namespace corvex
