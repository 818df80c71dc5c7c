// The numbered quick save: counter, path, the stamp of mid-exposure, the settings write, and
// its promises: no earlier file is ever overwritten, and no failure is reported as success.
#include "commands/quick_save.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>

#include "commands/file_commands.h"
#include "commands/settings_commands.h"
#include "corvex.h"
#include "files/fits_builder.h"
#include "files/fits_file.h"
#include "files/image_loader.h"
#include "files/program_options_file.h"
#include "files/settings_file.h"
#include "platform/atomic_file.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

constexpr const char* kDiskSpaceText = "Unable to create file, check disk space";

TEST(QuickSaveCounter, WrapsAfter65530) {
  EXPECT_EQ(NextFileNumber(0), 1);
  EXPECT_EQ(NextFileNumber(65529), 65530);
  EXPECT_EQ(NextFileNumber(65530), 1);
  EXPECT_EQ(NextFileNumber(65535), 1);
}

TEST(QuickSaveTexts, DatesAndTimes) {
  const std::int64_t t = 1165449600 + 21 * 3600 + 4 * 60 + 5;  // 2006-12-07 21:04:05 UT
  EXPECT_EQ(FormatObservationDate(t), "7/12/06");
  EXPECT_EQ(FormatObservationTime(t), "21:04:05");
  EXPECT_EQ(FormatObservationDate(946684800), "1/1/00");  // 2000-01-01
}

class QuickSaveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corvex.quickSaved = [this](const fs::path& file) { announced.push_back(file); };
  }
  void TearDown() override {
    SetFileWriteFaultForTesting(std::nullopt);
    SetFileCreateFaultForTesting(0);
  }

  fs::path Autosave(const std::string& name) { return rig.home.path() / "autosave" / name; }
  void Put(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
  }
  std::string Contents(const fs::path& path) {
    const auto bytes = testing::FileBytes(path);
    return std::string(bytes.begin(), bytes.end());
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  std::vector<fs::path> announced;
};

TEST_F(QuickSaveTest, SavesTheNextNumberStampedAtMidExposure) {
  corvex.state.settings.lastFileNumber = 16;
  corvex.state.exposureStartTime = 1165449600;  // 00:00:00
  corvex.state.exposureEndTime = 1165449600 + 61;
  corvex.fits.object = "M57";
  corvex.store.currentImage[10] = 1234;

  ASSERT_EQ(QuickSaveFits(corvex), 0);
  const fs::path saved = Autosave("IMG17.FIT");
  EXPECT_EQ(AutosaveFilePath(corvex, 17), saved);
  ASSERT_TRUE(fs::exists(saved));
  EXPECT_EQ(fs::file_size(saved), 303040u);
  EXPECT_EQ(announced, std::vector<fs::path>{saved});
  EXPECT_EQ(corvex.state.exposureStartTime, 1165449600 + 30);
  EXPECT_EQ(corvex.fits.observationTime, "00:00:30");
  EXPECT_EQ(corvex.fits.observationDate, "7/12/06");

  // The counter survives in the settings file; the image reads back with its stamp.
  corvex.state.settings.lastFileNumber = 0;
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(corvex.state.settings.lastFileNumber, 17);
  ASSERT_EQ(LoadImageFile(corvex, saved), 0);
  EXPECT_EQ(corvex.fits.object, "M57");
  EXPECT_EQ(corvex.fits.observationTime, "00:00:30");
  EXPECT_EQ(corvex.store.currentImage[10], 1234);

  corvex.state.colourConverted = true;
  ASSERT_EQ(QuickSaveFits(corvex), 0);
  EXPECT_EQ(fs::file_size(Autosave("IMG18.FIT")), 748160u);
  EXPECT_TRUE(rig.host.messages.empty());
}

// The "Saving Image" box names the folder the file really goes to, whatever form the settings
// keep it in.
TEST_F(QuickSaveTest, AutosaveDirectoryMayBeAWindowsOrALocalPath) {
  EXPECT_EQ(SavingImageText(corvex), "into " + (rig.home.path() / "autosave").string());
  corvex.state.settings.autosaveDirectory = "D:\\Astro\\Night1";
  EXPECT_EQ(AutosaveFilePath(corvex, 3), rig.home.path() / "d" / "astro" / "night1" / "IMG3.FIT");
  EXPECT_EQ(SavingImageText(corvex), "into " + (rig.home.path() / "d" / "astro" / "night1").string());
  const fs::path local = rig.home.path() / "Local Dir";
  corvex.state.settings.autosaveDirectory = local.string();
  EXPECT_EQ(AutosaveFilePath(corvex, 3), local / "IMG3.FIT");
  EXPECT_EQ(SavingImageText(corvex), "into " + local.string());
  ASSERT_EQ(QuickSaveFits(corvex), 0);
  EXPECT_TRUE(fs::exists(local / "IMG1.FIT"));
}

TEST_F(QuickSaveTest, ExistingFilesAreSkippedWhateverTheCounterSays) {
  // A lost settings file puts the counter back to 0 over a night's images.
  Put(Autosave("IMG1.FIT"), "first");
  Put(Autosave("img2.fit"), "second, in other letters");
  fs::create_directories(Autosave("IMG3.FIT"));                        // a folder
  fs::create_symlink(rig.home.path() / "gone", Autosave("IMG4.FIT"));  // a dangling link
  corvex.state.settings.lastFileNumber = 0;

  const QuickSaveResult result = QuickSaveImage(corvex);
  ASSERT_EQ(result.code, kQuickSaved);
  EXPECT_EQ(result.file, Autosave("IMG5.FIT"));
  EXPECT_EQ(announced, std::vector<fs::path>{Autosave("IMG5.FIT")});
  EXPECT_EQ(corvex.state.settings.lastFileNumber, 5);
  EXPECT_EQ(Contents(Autosave("IMG1.FIT")), "first");
  EXPECT_EQ(Contents(Autosave("img2.fit")), "second, in other letters");
  EXPECT_TRUE(fs::is_directory(Autosave("IMG3.FIT")));
  EXPECT_TRUE(fs::is_symlink(Autosave("IMG4.FIT")));
  EXPECT_FALSE(fs::exists(rig.home.path() / "gone"));
  EXPECT_EQ(fs::file_size(Autosave("IMG5.FIT")), 303040u);
  corvex.state.settings.lastFileNumber = 0;
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(corvex.state.settings.lastFileNumber, 5);
}

TEST_F(QuickSaveTest, TheCounterWrapsAt65530AndStillSkips) {
  Put(Autosave("IMG65530.FIT"), "last");
  Put(Autosave("IMG1.FIT"), "first");
  corvex.state.settings.lastFileNumber = 65529;
  ASSERT_EQ(QuickSaveFits(corvex), 0);
  EXPECT_EQ(corvex.state.settings.lastFileNumber, 2);
  EXPECT_EQ(announced, std::vector<fs::path>{Autosave("IMG2.FIT")});
  EXPECT_EQ(Contents(Autosave("IMG65530.FIT")), "last");
  EXPECT_EQ(Contents(Autosave("IMG1.FIT")), "first");

  corvex.state.settings.lastFileNumber = 65530;
  fs::remove(Autosave("IMG1.FIT"));
  ASSERT_EQ(QuickSaveFits(corvex), 0);
  EXPECT_EQ(corvex.state.settings.lastFileNumber, 1);
}

TEST_F(QuickSaveTest, FailuresAreReportedWithTheirCauseAndNothingIsAnnounced) {
  Put(Autosave("IMG1.FIT"), "first");
  corvex.state.settings.lastFileNumber = 0;

  // A full disk: the message that says so.
  SetFileWriteFaultForTesting(1000);
  QuickSaveResult result = QuickSaveImage(corvex);
  SetFileWriteFaultForTesting(std::nullopt);
  EXPECT_EQ(result.code, kQuickSaveImageFailed);
  EXPECT_EQ(result.error, ENOSPC);
  ReportQuickSave(corvex, result);
  EXPECT_EQ(rig.host.MessageTexts(), std::vector<std::string>{kDiskSpaceText});
  EXPECT_FALSE(fs::exists(corvex.paths.SettingsFile())) << "no settings write after a failure";

  // A folder the user may not write to is not a disk space problem.
  rig.host.messages.clear();
  SetFileCreateFaultForTesting(EACCES);
  result = QuickSaveImage(corvex);
  SetFileCreateFaultForTesting(0);
  ReportQuickSave(corvex, result);
  EXPECT_EQ(rig.host.MessageTexts(),
            std::vector<std::string>{"Unable to create file " + Autosave("IMG3.FIT").string() +
                                     ": Permission denied"});

  // A name too long for the file system.
  rig.host.messages.clear();
  corvex.state.settings.autosaveDirectory = (rig.home.path() / std::string(300, 'd')).string();
  result = QuickSaveImage(corvex);
  ReportQuickSave(corvex, result);
  EXPECT_EQ(result.code, kQuickSaveImageFailed);
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_NE(rig.host.messages[0].text.find("File name too long"), std::string::npos);
  EXPECT_TRUE(announced.empty());
  EXPECT_EQ(Contents(Autosave("IMG1.FIT")), "first");
}

TEST_F(QuickSaveTest, AnImageSavedWithoutItsCounterIsSaidSo) {
  fs::create_directories(corvex.paths.SettingsFile());  // a folder where the file goes
  const QuickSaveResult result = QuickSaveImage(corvex);
  EXPECT_EQ(result.code, kQuickSaveSettingsFailed);
  EXPECT_EQ(announced, std::vector<fs::path>{Autosave("IMG1.FIT")});
  ReportQuickSave(corvex, result);
  ASSERT_EQ(rig.host.messages.size(), 1u);
  EXPECT_EQ(rig.host.messages[0].text,
            "Saved " + Autosave("IMG1.FIT").string() + ", but the settings file " +
                corvex.paths.SettingsFile().string() +
                " could not be written: it is a directory, not a regular file.\nThe file "
                "number was not stored; the next save still takes a free one.");
}

TEST_F(QuickSaveTest, StandardAndBothShareOneNumberPerFrame) {
  corvex.state.exposureStartTime = 1165449600;  // 2006-12-07 00:00:00
  corvex.state.exposureEndTime = 1165449600 + 61;
  corvex.fits.exposureSeconds = 60;
  // A number is taken when either of its names is.
  Put(Autosave("img1.FITS"), "someone's");
  Put(Autosave("IMG2.FIT"), "native");

  QuickSaveResult result = QuickSaveImage(corvex, AutosaveFormat::kStandard);
  ASSERT_EQ(result.code, kQuickSaved);
  EXPECT_EQ(result.files, std::vector<fs::path>{Autosave("IMG3.fits")});
  EXPECT_EQ(announced, result.files);
  const auto cards = testing::ReadCards(testing::FileBytes(Autosave("IMG3.fits")));
  EXPECT_EQ(cards.values.at("DATE-OBS"), "2006-12-07T00:00:00");  // the exposure's start
  EXPECT_EQ(cards.values.at("DATE-AVG"), "2006-12-07T00:00:30");  // its middle
  EXPECT_EQ(corvex.fits.observationTime, "00:00:30");             // as the native save stamps
  EXPECT_FALSE(fs::exists(Autosave("IMG3.FIT")));

  announced.clear();
  corvex.state.colourConverted = true;
  result = QuickSaveImage(corvex, AutosaveFormat::kBoth);
  ASSERT_EQ(result.code, kQuickSaved);
  EXPECT_EQ(result.files, (std::vector<fs::path>{Autosave("IMG4.FIT"), Autosave("IMG4.fits")}));
  EXPECT_EQ(announced, result.files);
  EXPECT_EQ(fs::file_size(Autosave("IMG4.FIT")), 748160u);
  EXPECT_EQ(testing::ReadCards(testing::FileBytes(Autosave("IMG4.fits"))).values.at("NAXIS3"), "3");
  EXPECT_EQ(Contents(Autosave("img1.FITS")), "someone's");
  corvex.state.settings.lastFileNumber = 0;
  ASSERT_EQ(ReadSettingsFile(corvex), kSettingsOk);
  EXPECT_EQ(corvex.state.settings.lastFileNumber, 4);
  EXPECT_TRUE(rig.host.messages.empty());

  // The format comes from corvex.conf's setting.
  ProgramOptions options;
  EXPECT_EQ(AutosaveFormatOf(options), AutosaveFormat::kNative);
  ASSERT_TRUE(options.Set(kAutosaveFormatKey, "both"));
  EXPECT_EQ(AutosaveFormatOf(options), AutosaveFormat::kBoth);
}

TEST_F(QuickSaveTest, BothFormatsKeepTheFirstFileWhenTheSecondFails) {
  // Room for the native file and not for the standard one.
  SetFileWriteFaultForTesting(303040 + 1000);
  const QuickSaveResult result = QuickSaveImage(corvex, AutosaveFormat::kBoth);
  SetFileWriteFaultForTesting(std::nullopt);
  EXPECT_EQ(result.code, kQuickSaveImageFailed);
  EXPECT_EQ(result.file, Autosave("IMG1.fits"));
  EXPECT_EQ(result.files, std::vector<fs::path>{Autosave("IMG1.FIT")});
  EXPECT_EQ(announced, result.files);
  EXPECT_TRUE(fs::exists(Autosave("IMG1.FIT")));
  EXPECT_FALSE(fs::exists(Autosave("IMG1.fits")));
  ReportQuickSave(corvex, result);
  EXPECT_EQ(
      rig.host.MessageTexts(),
      (std::vector<std::string>{
          kDiskSpaceText, "The frame was saved as " + Autosave("IMG1.FIT").string() + " only."}));
  // The next frame takes the next number: IMG1.fits stays free rather than half a pair.
  ASSERT_EQ(QuickSaveImage(corvex, AutosaveFormat::kBoth).code, kQuickSaved);
  EXPECT_TRUE(fs::exists(Autosave("IMG2.fits")));
}

// ---- A disk that fills up, and one that is read-only ----

// Where the test's disk runs out. On a small tmpfs of its own when the machine allows one;
// otherwise the atomic writer's fault seam stands in, counting bytes as the disk would.
class TestDisk {
 public:
  virtual ~TestDisk() = default;
  // Leaves room for `bytes` more bytes of file data.
  virtual void LeaveRoomFor(std::uint64_t bytes) = 0;
  virtual void MakeReadOnly() = 0;
  virtual void Restore() = 0;
};

class InjectedDisk final : public TestDisk {
 public:
  ~InjectedDisk() override { Restore(); }
  void LeaveRoomFor(std::uint64_t bytes) override { SetFileWriteFaultForTesting(bytes); }
  void MakeReadOnly() override { SetFileCreateFaultForTesting(EROFS); }
  void Restore() override {
    SetFileWriteFaultForTesting(std::nullopt);
    SetFileCreateFaultForTesting(0);
  }
};

class TmpfsDisk final : public TestDisk {
 public:
  explicit TmpfsDisk(fs::path root) : root_(std::move(root)) {}
  void LeaveRoomFor(std::uint64_t bytes) override {
    ::unlink(Filler().c_str());
    struct statvfs vfs {};
    ::statvfs(root_.c_str(), &vfs);
    const std::uint64_t page = vfs.f_bsize;
    const std::uint64_t free = static_cast<std::uint64_t>(vfs.f_bavail) * page;
    const std::uint64_t room = (bytes + page - 1) / page * page;
    const int fd = ::open(Filler().c_str(), O_WRONLY | O_CREAT, 0600);
    if (free > room) ::posix_fallocate(fd, 0, static_cast<off_t>(free - room));
    ::close(fd);
  }
  void MakeReadOnly() override {
    ::mount(nullptr, root_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr);
  }
  void Restore() override {
    ::mount(nullptr, root_.c_str(), nullptr, MS_REMOUNT, nullptr);
    ::unlink(Filler().c_str());
  }

 private:
  fs::path Filler() const { return root_ / "filler"; }
  fs::path root_;
};

// Saves a night's frames on a disk that fills up and one that turns read-only. Returns what
// went wrong, empty when every promise held.
std::vector<std::string> RunFullDiskNight(const fs::path& home, TestDisk& disk) {
  std::vector<std::string> broken;
  const auto check = [&broken](bool holds, const std::string& promise) {
    if (!holds) broken.push_back(promise);
  };
  VirtualClock clock;
  testing::ScriptedHost host(&clock);
  Corvex corvex(host, clock, home);
  const fs::path autosave = home / "autosave";
  const fs::path settingsFile = corvex.paths.SettingsFile();
  const auto names = [&] {
    std::vector<std::string> list;
    for (const auto& entry : fs::directory_iterator(autosave)) {
      list.push_back(entry.path().filename().string());
    }
    std::sort(list.begin(), list.end());
    return list;
  };
  const auto save = [&](std::uint16_t mark) {
    corvex.store.currentImage[0] = mark;
    host.messages.clear();
    const QuickSaveResult result = QuickSaveImage(corvex);
    ReportQuickSave(corvex, result);
    return result;
  };

  check(WriteSettingsFile(corvex) == kSettingsOk, "the settings file is written");
  check(save(1).code == kQuickSaved, "the first frame is saved");
  const auto first = testing::FileBytes(autosave / "IMG1.FIT");
  const auto settingsAfterFirst = testing::FileBytes(settingsFile);

  // No room for a frame: nothing is written, nothing earlier changes, the disk is blamed.
  disk.LeaveRoomFor(200000);
  QuickSaveResult result = save(2);
  check(result.code == kQuickSaveImageFailed && result.error == ENOSPC, "a full disk fails");
  check(host.MessageTexts() == std::vector<std::string>{kDiskSpaceText}, "and says so");
  check(names() == std::vector<std::string>{"Corvex.ini", "IMG1.FIT"}, "nothing half-written");
  check(testing::FileBytes(settingsFile) == settingsAfterFirst, "the settings are unchanged");

  // Room for the frame but not for the settings file: the frame is kept and the failure said.
  disk.LeaveRoomFor(kFitsLength);
  result = save(3);
  check(result.code == kQuickSaveSettingsFailed, "a frame without its counter is result 3");
  check(result.file == autosave / "IMG3.FIT", "the frame goes to the next number");
  check(fs::file_size(autosave / "IMG3.FIT") == kFitsLength, "the frame is whole");
  check(host.messages.size() == 1 &&
            host.messages[0].text.rfind(
                "Saved " + (autosave / "IMG3.FIT").string() + ", but the settings file", 0) == 0,
        "the lost counter is reported");
  check(testing::FileBytes(settingsFile) == settingsAfterFirst, "the old settings stay whole");
  const auto third = testing::FileBytes(autosave / "IMG3.FIT");
  disk.Restore();

  // The next start reads the old counter (1); IMG3 is passed over, not overwritten.
  corvex.state.settings.lastFileNumber = 0;
  check(ReadSettingsFile(corvex) == kSettingsOk, "the settings read back");
  check(save(4).file == autosave / "IMG2.FIT", "a free number is used");
  check(save(5).file == autosave / "IMG4.FIT", "a taken number is passed over");
  check(testing::FileBytes(autosave / "IMG1.FIT") == first, "IMG1 is never overwritten");
  check(testing::FileBytes(autosave / "IMG3.FIT") == third, "IMG3 is never overwritten");

  // A read-only disk: its real cause, not "check disk space".
  disk.MakeReadOnly();
  result = save(6);
  disk.Restore();
  check(result.code == kQuickSaveImageFailed && result.error == EROFS, "read-only fails");
  check(host.MessageTexts() ==
            std::vector<std::string>{"Unable to create file " + (autosave / "IMG5.FIT").string() +
                                     ": Read-only file system"},
        "and says why");
  check(names() ==
            std::vector<std::string>{"Corvex.ini", "IMG1.FIT", "IMG2.FIT", "IMG3.FIT", "IMG4.FIT"},
        "and writes nothing");
  return broken;
}

// Runs the night in a child process on a 2 MB tmpfs of its own mount namespace. nullopt
// when this machine does not let the test mount one.
std::optional<std::vector<std::string>> RunOnTmpfs(const fs::path& mountPoint) {
  constexpr int kCannotMount = 77;
  int pipeEnds[2];
  if (::pipe(pipeEnds) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    const uid_t uid = ::geteuid();
    const gid_t gid = ::getegid();
    if (::unshare(CLONE_NEWNS) != 0) {
      // Not allowed to make a mount namespace: a user namespace may still allow it.
      if (::unshare(CLONE_NEWUSER | CLONE_NEWNS) != 0) ::_exit(kCannotMount);
      std::ofstream("/proc/self/setgroups") << "deny";
      std::ofstream("/proc/self/uid_map") << "0 " << uid << " 1";
      std::ofstream("/proc/self/gid_map") << "0 " << gid << " 1";
    }
    // Keep this namespace's mounts to itself.
    ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr);
    if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, "size=2m,mode=0700") != 0) {
      ::_exit(kCannotMount);
    }
    TmpfsDisk disk(mountPoint);
    std::string report;
    for (const std::string& broken : RunFullDiskNight(mountPoint, disk)) report += broken + "\n";
    (void)!::write(pipeEnds[1], report.data(), report.size());
    ::_exit(0);
  }
  ::close(pipeEnds[1]);
  std::string report;
  char buffer[256];
  ssize_t got;
  while ((got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0) report.append(buffer, got);
  ::close(pipeEnds[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (WIFEXITED(status) && WEXITSTATUS(status) == kCannotMount) return std::nullopt;
  std::vector<std::string> broken;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) broken.push_back("the child crashed");
  std::size_t start = 0;
  for (std::size_t end; (end = report.find('\n', start)) != std::string::npos; start = end + 1) {
    broken.push_back(report.substr(start, end - start));
  }
  return broken;
}

TEST(QuickSaveDisk, AFullOrReadOnlyDiskNeverCostsAFrameOrLies) {
  testing::TempDirectory mountPoint;
  std::optional<std::vector<std::string>> broken = RunOnTmpfs(mountPoint.path());
  if (!broken) {
    // No tmpfs to be had here: the same night on the writer's fault seam.
    InjectedDisk disk;
    broken = RunFullDiskNight(mountPoint.path(), disk);
  }
  EXPECT_EQ(*broken, std::vector<std::string>{});
}

}  // namespace
}  // namespace corvex
