// File replacement never loses the old file, never writes through anything already standing
// at a name, and never replaces what the user protected, whatever fails on the way.
#include "platform/atomic_file.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

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

void Put(const fs::path& path, std::string_view text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::vector<std::uint8_t> Bytes(std::string_view text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

std::vector<std::string> Names(const fs::path& dir) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    names.push_back(entry.path().filename().string());
  }
  std::sort(names.begin(), names.end());
  return names;
}

mode_t Mode(const fs::path& path) {
  struct stat st {};
  ::stat(path.c_str(), &st);
  return st.st_mode & 07777;
}

// A process id that is certainly not running: a child that has ended and been reaped.
pid_t EndedProcessId() {
  const pid_t child = ::fork();
  if (child == 0) ::_exit(0);
  ::waitpid(child, nullptr, 0);
  return child;
}

class AtomicFileTest : public ::testing::Test {
 protected:
  void SetUp() override { Put(target, "old contents"); }
  void TearDown() override {
    SetFileWriteFaultForTesting(std::nullopt);
    SetFileCreateFaultForTesting(0);
  }

  testing::TempDirectory dir;
  fs::path target = dir.path() / "IMG1.FIT";
};

TEST_F(AtomicFileTest, ReplacesTheFileWhenEveryByteWasWritten) {
  AtomicFileWriter writer(target);
  ASSERT_TRUE(writer.Open());
  // A hidden name of its own beside the target, which says whose it is.
  EXPECT_EQ(writer.TempPath().parent_path(), dir.path());
  EXPECT_EQ(TemporaryFileOwner(writer.TempPath().filename().string()), ::getpid());
  EXPECT_TRUE(writer.Write(Bytes("new ")));
  EXPECT_EQ(Contents(target), "old contents");  // nothing changes before the commit
  EXPECT_TRUE(writer.Write(Bytes("contents")));
  EXPECT_TRUE(writer.Commit());
  EXPECT_EQ(Contents(target), "new contents");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"IMG1.FIT"});
  EXPECT_EQ(writer.Error(), 0);
}

TEST_F(AtomicFileTest, FailuresLeaveTheOldFileAndNoTemporary) {
  // A full disk part-way through.
  SetFileWriteFaultForTesting(6);
  {
    AtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Open());
    EXPECT_TRUE(writer.Write(Bytes("first")));
    EXPECT_FALSE(writer.Write(Bytes("second")));  // only one byte of it goes out
    EXPECT_FALSE(writer.Write(Bytes("x")));       // a failed writer stays failed
    EXPECT_FALSE(writer.Commit());
    EXPECT_EQ(writer.Error(), ENOSPC);
  }
  SetFileWriteFaultForTesting(std::nullopt);
  EXPECT_EQ(Contents(target), "old contents");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"IMG1.FIT"});

  // A writer abandoned half-way.
  {
    AtomicFileWriter writer(target);
    ASSERT_TRUE(writer.Open());
    writer.Write(Bytes("half"));
  }
  EXPECT_EQ(Contents(target), "old contents");
  EXPECT_EQ(Names(dir.path()), std::vector<std::string>{"IMG1.FIT"});

  // A directory that is not there, and one the user may not write to.
  int error = 0;
  EXPECT_FALSE(WriteFileAtomically(dir.path() / "no-such-dir" / "x.fit", Bytes("x"), &error));
  EXPECT_EQ(error, ENOENT);
  SetFileCreateFaultForTesting(EACCES);
  EXPECT_FALSE(WriteFileAtomically(target, Bytes("denied"), &error));
  EXPECT_EQ(error, EACCES);
  EXPECT_EQ(Contents(target), "old contents");
}

TEST_F(AtomicFileTest, ARealReadOnlyDirectoryRefusesTheWrite) {
  if (::geteuid() == 0) GTEST_SKIP() << "root writes anywhere; the create fault covers this";
  const fs::path locked = dir.path() / "locked";
  fs::create_directory(locked);
  Put(locked / "x.fit", "kept");
  fs::permissions(locked, fs::perms::owner_read | fs::perms::owner_exec);
  int error = 0;
  EXPECT_FALSE(WriteFileAtomically(locked / "x.fit", Bytes("new"), &error));
  fs::permissions(locked, fs::perms::owner_all);
  EXPECT_EQ(error, EACCES);
  EXPECT_EQ(Contents(locked / "x.fit"), "kept");
}

TEST_F(AtomicFileTest, NothingAlreadyAtANameIsFollowedOrDestroyed) {
  // What used to be the fixed temporary name: a link there leading elsewhere, and a user's
  // own file of that name.
  const fs::path victim = dir.path() / "victim.txt";
  Put(victim, "someone else's");
  fs::create_symlink(victim, dir.path() / "out.fit.tmp");
  Put(dir.path() / "x.fit.tmp", "the user's own");
  ASSERT_TRUE(WriteFileAtomically(dir.path() / "out.fit", Bytes("image")));
  ASSERT_TRUE(WriteFileAtomically(dir.path() / "x.fit", Bytes("image")));
  EXPECT_EQ(Contents(victim), "someone else's");
  EXPECT_TRUE(fs::is_symlink(dir.path() / "out.fit.tmp"));
  EXPECT_EQ(Contents(dir.path() / "x.fit.tmp"), "the user's own");
  EXPECT_EQ(Contents(dir.path() / "out.fit"), "image");

  // Two writers of one target at once each write their own file: the result is one of them
  // whole, never a mix of both.
  AtomicFileWriter first(target);
  AtomicFileWriter second(target);
  ASSERT_TRUE(first.Open());
  ASSERT_TRUE(second.Open());
  EXPECT_NE(first.TempPath(), second.TempPath());
  EXPECT_TRUE(first.Write(Bytes("first writer, longer text")));
  EXPECT_TRUE(second.Write(Bytes("second")));
  EXPECT_TRUE(second.Commit());
  EXPECT_TRUE(first.Commit());
  EXPECT_EQ(Contents(target), "first writer, longer text");
}

TEST_F(AtomicFileTest, AReplacedFileKeepsItsPermissionsAndOwner) {
  fs::permissions(target, fs::perms::owner_read | fs::perms::owner_write);
  ASSERT_TRUE(WriteFileAtomically(target, Bytes("private")));
  EXPECT_EQ(Mode(target), 0600u);
  fs::permissions(target, static_cast<fs::perms>(0664));
  ASSERT_TRUE(WriteFileAtomically(target, Bytes("shared")));
  EXPECT_EQ(Mode(target), 0664u);

  // A new file gets the usual permissions less the umask.
  const mode_t mask = ::umask(022);
  ASSERT_TRUE(WriteFileAtomically(dir.path() / "new.fit", Bytes("new")));
  ::umask(mask);
  EXPECT_EQ(Mode(dir.path() / "new.fit"), 0644u);

  if (::geteuid() == 0) {
    // Root replacing a user's file leaves it the user's.
    ASSERT_EQ(::chown(target.c_str(), 4321, 4321), 0);
    ASSERT_TRUE(WriteFileAtomically(target, Bytes("still theirs")));
    struct stat st {};
    ::stat(target.c_str(), &st);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_EQ(st.st_gid, 4321u);
  }
}

TEST_F(AtomicFileTest, ProtectedAndSpecialTargetsAreRefused) {
  // Read-only on purpose: refused even for root, who could write it.
  fs::permissions(target, fs::perms::owner_read | fs::perms::group_read);
  int error = 0;
  EXPECT_FALSE(WriteFileAtomically(target, Bytes("new"), &error));
  EXPECT_EQ(error, kWriteProtected);
  EXPECT_EQ(Contents(target), "old contents");
  EXPECT_EQ(Mode(target), 0440u);

  // A directory or a FIFO where the file should be (the FIFO must not block the writer).
  fs::create_directory(dir.path() / "folder.fit");
  EXPECT_FALSE(WriteFileAtomically(dir.path() / "folder.fit", Bytes("x"), &error));
  EXPECT_EQ(error, kNotRegularFile);
  ASSERT_EQ(::mkfifo((dir.path() / "pipe.fit").c_str(), 0600), 0);
  EXPECT_FALSE(WriteFileAtomically(dir.path() / "pipe.fit", Bytes("x"), &error));
  EXPECT_EQ(error, kNotRegularFile);
  EXPECT_EQ(FileErrorText(dir.path() / "pipe.fit", error), "it is a FIFO, not a regular file");
  EXPECT_EQ(Names(dir.path()), (std::vector<std::string>{"IMG1.FIT", "folder.fit", "pipe.fit"}));
}

TEST_F(AtomicFileTest, ALinkAtTheTargetIsFollowedAndKept) {
  fs::create_directory(dir.path() / "night1");
  const fs::path real = dir.path() / "night1" / "m42.fit";
  Put(real, "old");
  const fs::path link = dir.path() / "latest.fit";
  fs::create_symlink(real, link);
  ASSERT_TRUE(WriteFileAtomically(link, Bytes("new")));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(Contents(real), "new");
  EXPECT_EQ(Names(dir.path() / "night1"), std::vector<std::string>{"m42.fit"});
}

TEST_F(AtomicFileTest, KeepingAnExistingFileNeverReplacesAnything) {
  int error = 0;
  EXPECT_FALSE(WriteFileAtomically(target, Bytes("new"), &error, ExistingFile::kKeep));
  EXPECT_EQ(error, EEXIST);
  EXPECT_EQ(Contents(target), "old contents");

  // A dangling link counts as taken too.
  fs::create_symlink(dir.path() / "nowhere", dir.path() / "IMG2.FIT");
  EXPECT_FALSE(
      WriteFileAtomically(dir.path() / "IMG2.FIT", Bytes("new"), &error, ExistingFile::kKeep));
  EXPECT_FALSE(fs::exists(dir.path() / "nowhere"));

  // A file that appears while the writer is at work wins.
  const fs::path fresh = dir.path() / "IMG3.FIT";
  AtomicFileWriter writer(fresh, ExistingFile::kKeep);
  ASSERT_TRUE(writer.Open());
  EXPECT_TRUE(writer.Write(Bytes("mine")));
  Put(fresh, "another program's");
  EXPECT_FALSE(writer.Commit());
  EXPECT_EQ(writer.Error(), EEXIST);
  EXPECT_EQ(Contents(fresh), "another program's");

  ASSERT_TRUE(
      WriteFileAtomically(dir.path() / "IMG4.FIT", Bytes("four"), &error, ExistingFile::kKeep));
  EXPECT_EQ(Names(dir.path()),
            (std::vector<std::string>{"IMG1.FIT", "IMG2.FIT", "IMG3.FIT", "IMG4.FIT"}));
}

TEST(AtomicFileTemporaries, OnlyThisWritersNamesAreRecognised) {
  EXPECT_EQ(TemporaryFileOwner(".IMG1.FIT.corvex-1234-aB3xY9"), 1234);
  EXPECT_EQ(TemporaryFileOwner(".a.corvex-b.corvex-77-zzzzzz"), 77);
  EXPECT_EQ(TemporaryFileOwner("IMG1.FIT.corvex-1234-aB3xY9"), std::nullopt);  // not hidden
  EXPECT_EQ(TemporaryFileOwner("IMG1.FIT.tmp"), std::nullopt);
  EXPECT_EQ(TemporaryFileOwner(".IMG1.FIT.corvex-1234-aB3x"), std::nullopt);
  EXPECT_EQ(TemporaryFileOwner(".IMG1.FIT.corvex-12x4-aB3xY9"), std::nullopt);
  EXPECT_EQ(TemporaryFileOwner(".IMG1.FIT.corvex--aB3xY9"), std::nullopt);
  EXPECT_EQ(TemporaryFileOwner(".IMG1.FIT.corvex-0-aB3xY9"), std::nullopt);
  EXPECT_EQ(TemporaryFileOwner(".IMG1.FIT.corvex-1234-aB3.Y9"), std::nullopt);
}

TEST(AtomicFileTemporaries, AKilledRunsLeftoversAreRemovedAndNothingElse) {
  testing::TempDirectory dir;
  const std::string dead = std::to_string(EndedProcessId());
  const std::string alive = std::to_string(::getppid());
  const std::vector<std::string> kept = {
      ".x.fit.corvex-" + alive + "-abcdef",  // a run that is still writing
      ".x.fit.corvex-" + dead + "-abc",      // not this writer's pattern
      "x.fit.tmp",                           // the user's own
      "x.fit.corvex-" + dead + "-abcdef",    // not hidden: not ours
  };
  for (const std::string& name : kept) Put(dir.path() / name, "keep");
  Put(dir.path() / (".x.fit.corvex-" + dead + "-abcdef"), "stale");
  Put(dir.path() / (".IMG7.FIT.corvex-" + dead + "-Zz0Zz0"), "stale");
  fs::create_directory(dir.path() / (".d.corvex-" + dead + "-qwerty"));  // not a file

  // The first write into the directory clears them.
  ASSERT_TRUE(WriteFileAtomically(dir.path() / "x.fit", Bytes("image")));
  std::vector<std::string> expected = kept;
  expected.push_back(".d.corvex-" + dead + "-qwerty");
  expected.push_back("x.fit");
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(Names(dir.path()), expected);
  for (const std::string& name : kept) EXPECT_EQ(Contents(dir.path() / name), "keep") << name;
}

}  // namespace
}  // namespace corvex
