// Opening image files: recognition by length, the merging rule, and loads that fail cleanly.
#include "files/image_loader.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "commands/file_commands.h"
#include "corvex.h"
#include "files/fits_builder.h"
#include "files/raw_file.h"
#include "files/standard_fits.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

class ImageLoaderTest : public ::testing::Test {
 protected:
  void SetUp() override {
    corvex.displayRebuild = [this](Corvex&) { ++rebuilds; };
    for (int i = 0; i < kImageValues; ++i) {
      file.image[i] = static_cast<std::uint16_t>(i * 3);
      file.red[i] = 1;
      file.green[i] = 2;
      file.blue[i] = 3;
    }
    file.fields.object = "NGC 7000";
    file.history.entries[0] = "Gaussian Filter";
  }

  // The image in memory before a load: distinct from every file written here.
  void MarkCurrentState() {
    corvex.store.currentImage.Fill(4242);
    corvex.store.redPlane.Fill(99);
    corvex.fits.object = "before";
    corvex.fits.origin = "kept";
    corvex.history.entries[0] = "before";
    corvex.state.currentImageFile = "old";
  }
  void ExpectCurrentStateUnchanged(bool colourConverted) {
    EXPECT_EQ(corvex.store.currentImage[0], 4242);
    EXPECT_EQ(corvex.store.currentImage[kImageValues - 1], 4242);
    EXPECT_EQ(corvex.store.redPlane[100], 99);
    EXPECT_EQ(corvex.fits.object, "before");
    EXPECT_EQ(corvex.history.entries[0], "before");
    EXPECT_EQ(corvex.state.colourConverted, colourConverted);
    EXPECT_EQ(corvex.state.currentImageFile, "old");
    EXPECT_EQ(rebuilds, 0);
  }

  fs::path Write(const std::string& name, std::span<const std::uint8_t> bytes) {
    const fs::path path = rig.home.path() / name;
    testing::WriteBytes(path, bytes);
    return path;
  }
  std::vector<std::uint8_t> Fits(bool planes) {
    const PlaneView view{file.red.data(), file.green.data(), file.blue.data()};
    return EncodeFitsFile(file.image, file.fields, file.history, planes ? &view : nullptr);
  }
  std::vector<std::uint8_t> Standard(bool planes) {
    const PlaneView view{file.red.data(), file.green.data(), file.blue.data()};
    return EncodeStandardFits(file.image.span().first(kImageValues), planes ? &view : nullptr,
                              file.fields, file.history, {});
  }
  std::vector<std::uint8_t> Raw(bool planes) {
    const PlaneView view{file.red.data(), file.green.data(), file.blue.data()};
    return EncodeRawImage(file.image, planes ? &view : nullptr);
  }

  testing::TestRig rig;
  Corvex& corvex = rig.corvex;
  int rebuilds = 0;
  struct {
    ImageBuffer image;
    PlaneBuffer red, green, blue;
    FitsHeaderFields fields;
    ProcessingHistory history;
  } file;
};

TEST_F(ImageLoaderTest, RecognisesExactlyTheNineLengths) {
  const std::uint64_t lengths[] = {262144, 261120, 295800, 654336, 741240,
                                   300160, 303040, 745280, 748160};
  for (std::uint64_t length : lengths) {
    ASSERT_NE(FindImageFileFormat(length), nullptr) << length;
    EXPECT_EQ(FindImageFileFormat(length)->length, length);
    EXPECT_EQ(FindImageFileFormat(length - 1), nullptr) << length - 1;
    EXPECT_EQ(FindImageFileFormat(length + 1), nullptr) << length + 1;
  }
  EXPECT_EQ(FindImageFileFormat(0), nullptr);
  EXPECT_EQ(FindImageFileFormat(1302), nullptr);
}

TEST_F(ImageLoaderTest, LoadsFitsWithPlanesAndReplacesTheHeaderTexts) {
  MarkCurrentState();
  const fs::path path = Write("M31.FIT", Fits(true));
  ASSERT_EQ(LoadImageFile(corvex, path), 0);
  EXPECT_EQ(corvex.store.currentImage[1000], file.image[1000]);
  EXPECT_EQ(corvex.store.bluePlane[1000], 3);
  EXPECT_TRUE(corvex.state.colourConverted);
  EXPECT_EQ(corvex.fits.object, "NGC 7000");
  EXPECT_EQ(corvex.history.entries[0], "Gaussian Filter");
  EXPECT_EQ(corvex.state.currentImageFile, path.string());
  EXPECT_EQ(rebuilds, 1);
  EXPECT_TRUE(rig.host.messages.empty());

  // A raw file carries no texts: the header texts are reset, the planes stay but are invalid.
  corvex.fits.origin = "kept";
  ASSERT_EQ(LoadImageFile(corvex, Write("~raw", Raw(false))), 0);
  EXPECT_FALSE(corvex.state.colourConverted);
  EXPECT_EQ(corvex.fits.object, "");
  EXPECT_EQ(corvex.fits.origin, "kept");
  EXPECT_EQ(corvex.history.entries[0], "");
  EXPECT_EQ(corvex.store.bluePlane[1000], 3);
}

TEST_F(ImageLoaderTest, RawFilesKeepColumnsTheyDoNotHold) {
  MarkCurrentState();
  ASSERT_EQ(LoadImageFile(corvex, Write("~colour", Raw(true))), 0);
  EXPECT_TRUE(corvex.state.colourConverted);
  EXPECT_EQ(corvex.store.currentImage[509], file.image[509]);
  EXPECT_EQ(corvex.store.currentImage[510], 4242);
  EXPECT_EQ(corvex.store.currentImage[289 * 512 + 511], 4242);
  EXPECT_EQ(corvex.store.greenPlane[5], 2);

  auto earlier = Raw(false);
  earlier.resize(kEarlierRawLength);
  ASSERT_EQ(LoadImageFile(corvex, Write("~old", earlier)), 0);
  EXPECT_EQ(corvex.store.currentImage[255 * 512 + 7], file.image[255 * 512 + 7]);
  EXPECT_EQ(corvex.store.currentImage[256 * 512 + 7], 0);
}

TEST_F(ImageLoaderTest, RefusedFilesChangeNothing) {
  MarkCurrentState();
  corvex.state.colourConverted = true;
  auto notOurs = Fits(false);
  notOurs[80 + 28] = ' ';
  notOurs[80 + 29] = '8';  // BITPIX 8
  auto shortFits = Fits(false);
  shortFits.pop_back();
  auto shortRaw = Raw(true);
  shortRaw.pop_back();

  EXPECT_EQ(LoadImageFile(corvex, Write("a.FIT", notOurs)), 14);
  EXPECT_EQ(LoadImageFile(corvex, Write("b.FIT", shortFits)), 12);
  EXPECT_EQ(LoadImageFile(corvex, Write("~c", shortRaw)), 12);
  EXPECT_EQ(LoadImageFile(corvex, Write("d.txt", std::vector<std::uint8_t>(1302))), 12);
  // What cannot be opened is not "a file of the wrong kind": the message says what it is.
  const fs::path missing = rig.home.path() / "missing.FIT";
  const fs::path fifo = rig.home.path() / "pipe.FIT";
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  EXPECT_EQ(LoadImageFile(corvex, missing), 50);
  EXPECT_EQ(LoadImageFile(corvex, rig.home.path()), 50);
  EXPECT_EQ(LoadImageFile(corvex, fifo), 50) << "and a FIFO does not block the program";
  EXPECT_EQ(
      rig.host.MessageTexts(),
      (std::vector<std::string>{
          "Unable to load FITS file, File was not saved by this program",
          "You didn't choose a valid QZ File", "You didn't choose a valid QZ File",
          "You didn't choose a valid QZ File",
          "Unable to open " + missing.string() + ": No such file or directory",
          "Unable to open " + rig.home.path().string() + ": it is a directory, not a regular file",
          "Unable to open " + fifo.string() + ": it is a FIFO, not a regular file"}));
  ExpectCurrentStateUnchanged(true);
}

TEST_F(ImageLoaderTest, MergingOverAColourImageNeedsAColourFile) {
  MarkCurrentState();
  corvex.state.mergingMode = true;
  corvex.state.colourConverted = true;
  EXPECT_EQ(LoadImageFile(corvex, Write("mono.FIT", Fits(false))), 12);
  EXPECT_EQ(LoadImageFile(corvex, Write("~mono", Raw(false))), 12);
  ExpectCurrentStateUnchanged(true);
  EXPECT_EQ(LoadImageFile(corvex, Write("colour.FIT", Fits(true))), 0);
  EXPECT_TRUE(corvex.state.colourConverted);

  // Over a mono image in merging mode a mono file loads and the flag is left as it was.
  corvex.state.colourConverted = false;
  EXPECT_EQ(LoadImageFile(corvex, Write("mono2.FIT", Fits(false))), 0);
  EXPECT_FALSE(corvex.state.colourConverted);
}

TEST_F(ImageLoaderTest, SecondImageTakesSamplesOnly) {
  ImageBuffer& second = corvex.store.secondaryImage;
  second.Fill(5);
  corvex.fits.object = "before";
  EXPECT_EQ(LoadSecondImage(corvex, Write("colour.FIT", Fits(true)), second), 0);
  EXPECT_EQ(second[77], file.image[77]);
  EXPECT_EQ(corvex.fits.object, "before");
  EXPECT_FALSE(corvex.state.colourConverted);
  EXPECT_EQ(corvex.store.bluePlane[0], 0);

  second.Fill(5);
  EXPECT_EQ(LoadSecondImage(corvex, Write("~colour", Raw(true)), second), 0);
  EXPECT_EQ(second[77], file.image[77]);
  EXPECT_EQ(second[510], 0) << "columns 510-511 are not in the file: nothing stale stays";
  EXPECT_EQ(corvex.store.bluePlane[0], 0);

  // The earlier FITS header, other lengths and missing files are refused.
  second.Fill(5);
  auto earlier = Fits(false);
  earlier.resize(kEarlierFitsLength);
  auto notOurs = Fits(false);
  notOurs[3 * 80 + 29] = '1';  // NAXIS1 511
  EXPECT_EQ(LoadSecondImage(corvex, Write("old.FIT", earlier), second), 1);
  EXPECT_EQ(LoadSecondImage(corvex, rig.home.path() / "missing", second), 1);
  EXPECT_EQ(LoadSecondImage(corvex, Write("bad.FIT", notOurs), second), 2);
  EXPECT_EQ(
      rig.host.MessageTexts(),
      (std::vector<std::string>{"Sorry, you didn't choose an QZ File",
                                "Unable to open " + (rig.home.path() / "missing").string() +
                                    ": No such file or directory",
                                "Unable to load FITS file, File was not saved by this program"}));
  EXPECT_EQ(second[0], 5);
  EXPECT_EQ(rebuilds, 0);
}

TEST_F(ImageLoaderTest, OpensStandardFitsOfItsSize) {
  MarkCurrentState();
  const fs::path mono = Write("frame.fits", Standard(false));
  ASSERT_EQ(LoadImageFile(corvex, mono), 0);
  EXPECT_EQ(corvex.store.currentImage[1000], file.image[1000]);
  EXPECT_EQ(corvex.store.currentImage[510], 0) << "the file has 510 columns";
  EXPECT_FALSE(corvex.state.colourConverted);
  EXPECT_EQ(corvex.fits.object, "NGC 7000");
  EXPECT_EQ(corvex.history.entries[0], "Gaussian Filter");
  EXPECT_EQ(corvex.state.currentImageFile, mono.string());
  EXPECT_EQ(rebuilds, 1);

  ASSERT_EQ(LoadImageFile(corvex, Write("colour.fits", Standard(true))), 0);
  EXPECT_TRUE(corvex.state.colourConverted);
  EXPECT_EQ(corvex.store.currentImage[1000], file.image[1000]);

  // The same through the bytes, as the fuzzers feed them.
  ASSERT_EQ(LoadImageBytes(corvex, "mem.fits", Standard(false)), 0);
  EXPECT_FALSE(corvex.state.colourConverted);

  // A 512-wide image written by another program keeps all its columns.
  std::vector<double> values(512 * 290, 700.0);
  auto wide = testing::FitsBuilder(16, {512, 290}).Build(values);
  ASSERT_EQ(LoadImageFile(corvex, Write("wide.fit", wide)), 0);
  EXPECT_EQ(corvex.store.currentImage[511], 700);
  EXPECT_EQ(corvex.fits.instrument, "");
  EXPECT_TRUE(rig.host.messages.empty());
}

TEST_F(ImageLoaderTest, StandardFitsRefusalsSayWhatTheFileHoldsAndChangeNothing) {
  MarkCurrentState();
  auto big = testing::FitsBuilder(-32, {4656, 3520, 3}).HeaderOnly();
  auto damaged = Standard(false);
  damaged.resize(damaged.size() - 2880 * 20);
  const fs::path damagedPath = Write("damaged.fits", damaged);
  EXPECT_EQ(LoadImageFile(corvex, Write("big.fits", big)), 50);
  EXPECT_EQ(LoadImageFile(corvex, damagedPath), 50);
  EXPECT_EQ(LoadImageBytes(corvex, "big.fits", big), 50);
  ASSERT_EQ(rig.host.messages.size(), 3u);
  EXPECT_EQ(rig.host.messages[0].text,
            "FITS image 4656 x 3520 x 3, BITPIX -32: Corvex opens images of 510 x 290");
  EXPECT_EQ(rig.host.messages[1].text.rfind(
                "Unable to load FITS file " + damagedPath.string() + ": the FITS file", 0),
            0u)
      << rig.host.messages[1].text;
  ExpectCurrentStateUnchanged(false);

  // A native length is always the native layout, whatever its first bytes.
  auto nativeLength = Standard(false);
  nativeLength.resize(kRawLength);
  rig.host.messages.clear();
  ASSERT_EQ(LoadImageFile(corvex, Write("~looks_like_fits", nativeLength)), 0);
  EXPECT_EQ(corvex.fits.object, "") << "read as a raw file, which has no header";

  // Merging over a colour image still needs a colour file.
  MarkCurrentState();
  rebuilds = 0;
  corvex.state.mergingMode = true;
  corvex.state.colourConverted = true;
  EXPECT_EQ(LoadImageFile(corvex, Write("mono.fits", Standard(false))), 12);
  ExpectCurrentStateUnchanged(true);
  EXPECT_EQ(LoadImageFile(corvex, Write("colour.fits", Standard(true))), 0);
}

TEST_F(ImageLoaderTest, SecondImageFromStandardFits) {
  ImageBuffer& second = corvex.store.secondaryImage;
  second.Fill(5);
  EXPECT_EQ(LoadSecondImage(corvex, Write("dark.fits", Standard(false)), second), 0);
  EXPECT_EQ(second[77], file.image[77]);
  EXPECT_EQ(second[510], 0);
  EXPECT_EQ(LoadSecondImage(corvex, Write("colour.fits", Standard(true)), second), 0);
  EXPECT_EQ(second[77], file.image[77]) << "a colour image's luminance";
  EXPECT_FALSE(corvex.state.colourConverted);

  second.Fill(5);
  auto big = testing::FitsBuilder(16, {1000, 1000}).HeaderOnly();
  EXPECT_EQ(LoadSecondImage(corvex, Write("big.fits", big), second), 1);
  EXPECT_EQ(rig.host.MessageTexts(),
            std::vector<std::string>{
                "FITS image 1000 x 1000, BITPIX 16: Corvex opens images of 510 x 290"});
  EXPECT_EQ(second[0], 5);
  EXPECT_EQ(rebuilds, 0);
}

}  // namespace
}  // namespace corvex
