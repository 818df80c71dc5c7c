// FITS files: the header card by card, both sample encodings, the four lengths, both readers.
#include "files/fits_file.h"

#include <gtest/gtest.h>

#include <limits>
#include <string>
#include <vector>

#include "platform/atomic_file.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

namespace fs = std::filesystem;

std::string Padded(std::string text) {
  text.resize(80, ' ');
  return text;
}

struct Sample {
  FitsHeaderFields fields;
  ProcessingHistory history;
  ImageBuffer image;
  PlaneBuffer red, green, blue;

  Sample() {
    fields.object = "M42";
    fields.telescope = "C8";
    fields.observer = "A. Observer";
    fields.origin = "Backyard";
    fields.observationDate = "7/12/06";
    fields.observationTime = "21:04:05";
    fields.historyNote = std::string(70, 'h');  // spills into the second card
    fields.commentText = "clear sky";
    fields.exposureSeconds = 30;
    fields.pixelWidth = 0.0098;
    fields.pixelHeight = 0.0126;
    fields.focalLength = -2000;  // negative numbers run one column further
    fields.aperture = 203;
    fields.filterName = "Red";
    history.entries[0] = "Dark Frame Subtracted";
    history.entries[1] = "Normal Stretch";
    for (int i = 0; i < kImageValues; ++i) image[i] = static_cast<std::uint16_t>(i * 37);
    for (int i = 0; i < kImageValues; ++i) {
      red[i] = static_cast<std::uint8_t>(i);
      green[i] = static_cast<std::uint8_t>(i * 3);
      blue[i] = static_cast<std::uint8_t>(i * 7);
    }
  }
  PlaneView Planes() const { return {red.data(), green.data(), blue.data()}; }
};

TEST(FitsHeader, IsBuiltCardByCard) {
  Sample s;
  std::string expected;
  for (const char* text : {"SIMPLE  =                    T /", "BITPIX  =                   16 /",
                           "NAXIS   =                    2 /", "NAXIS1  =                  512 /",
                           "NAXIS2  =                  290 /", "OBJECT  = 'M42'", "TELESCOP= 'C8'",
                           "INSTRUME= 'Quellmark CCD'", "OBSERVER= 'A. Observer'",
                           "ORIGIN  = 'Backyard'", "DATE-OBS= '7/12/06'", "TIME-OBS= '21:04:05'",
                           "HISTORY = 'Dark Frame Subtracted'", "HISTORY = 'Normal Stretch'"}) {
    expected += Padded(text);
  }
  for (int i = 0; i < 13; ++i) expected += Padded("HISTORY = ''");
  expected += "HISTORY = '" + std::string(68, 'h') + "'";
  expected += "HISTORY = 'hh" + std::string(66, ' ') + "'";
  expected += "HISTORY = '" + std::string(68, ' ') + "'";
  expected += "HISTORY = '" + std::string(68, ' ') + "'";
  expected += "COMMENT = 'clear sky" + std::string(59, ' ') + "'";
  for (int i = 0; i < 3; ++i) expected += "COMMENT = '" + std::string(68, ' ') + "'";
  for (const char* text : {"BZERO   =   +3.2768000000E+04", "BSCALE  =   +1.0000000000E+00",
                           "PIXWIDTH=    9.8000000000E-03", "PIXHEIGH=    1.2600000000E-02",
                           "SATURATE=                32768", "EXPTIME =    3.0000000000E+01",
                           "FOCALLEN=    -2.0000000000E+03", "APERTURE=    2.0300000000E+02",
                           "FILTER  = 'Red'", "END"}) {
    expected += Padded(text);
  }
  for (int i = 0; i < 27; ++i) expected += Padded("");

  const std::string header = BuildFitsHeader(s.fields, s.history);
  ASSERT_EQ(header.size(), 5760u);
  for (std::size_t card = 0; card < 72; ++card) {
    EXPECT_EQ(header.substr(card * 80, 80), expected.substr(card * 80, 80)) << "card " << card + 1;
  }

  s.fields.unsignedFormat = true;
  const std::string unsignedHeader = BuildFitsHeader(s.fields, s.history);
  EXPECT_EQ(unsignedHeader.substr(35 * 80, 80), Padded("BZERO   =   +0.0000000000E+00"));
  EXPECT_EQ(unsignedHeader.substr(39 * 80, 80), Padded("SATURATE=                65535"));
}

TEST(FitsHeader, TextsTooLongForACardAreCutAtColumn80) {
  FitsHeaderFields fields;
  fields.object = std::string(100, 'o');
  fields.filterName = std::string(72, 'f');
  fields.historyNote = std::string(300, 'n');
  ProcessingHistory history;
  const std::string header = BuildFitsHeader(fields, history);
  ASSERT_EQ(header.size(), 5760u);
  EXPECT_EQ(header.substr(5 * 80, 80), "OBJECT  = '" + std::string(68, 'o') + "'");
  EXPECT_EQ(header.substr(43 * 80, 80), "FILTER  = '" + std::string(68, 'f') + "'");
  // Only 4 x 68 characters of the note fit; the fourth card ends with its quote.
  EXPECT_EQ(header.substr(30 * 80, 80), "HISTORY = '" + std::string(68, 'n') + "'");
}

// A NaN or infinity (from a damaged settings file or header) would make a card no FITS reader
// takes, and one this program reads back as 0: it is written as 0.
TEST(FitsHeader, NumbersThatAreNotFiniteAreWrittenAsZero) {
  FitsHeaderFields fields;
  fields.exposureSeconds = std::numeric_limits<double>::quiet_NaN();
  fields.focalLength = -std::numeric_limits<double>::infinity();
  fields.aperture = std::numeric_limits<double>::infinity();
  const std::string header = BuildFitsHeader(fields, ProcessingHistory{});
  EXPECT_EQ(header.substr(40 * 80, 80), Padded("EXPTIME =    0.0000000000E+00"));
  EXPECT_EQ(header.substr(41 * 80, 80), Padded("FOCALLEN=    0.0000000000E+00"));
  EXPECT_EQ(header.substr(42 * 80, 80), Padded("APERTURE=    0.0000000000E+00"));
}

TEST(FitsEncoding, StoresBothEncodingsOfTheExtremeSamples) {
  Sample s;
  s.image[0] = 0;
  s.image[1] = 65535;
  for (bool isUnsigned : {false, true}) {
    s.fields.unsignedFormat = isUnsigned;
    const auto bytes = EncodeFitsFile(s.image, s.fields, s.history, nullptr);
    ASSERT_EQ(bytes.size(), kFitsLength);
    const std::uint8_t* pixels = bytes.data() + 5760;
    if (isUnsigned) {
      EXPECT_EQ(std::vector<int>(pixels, pixels + 4), (std::vector<int>{0x00, 0x00, 0xFF, 0xFF}));
    } else {
      EXPECT_EQ(std::vector<int>(pixels, pixels + 4), (std::vector<int>{0x80, 0x00, 0x7F, 0xFF}));
    }
    // Row 1 starts 1024 bytes on: rows are 512 samples, most significant byte first.
    const std::uint16_t offset = isUnsigned ? 0 : 32768;
    const std::uint16_t stored = static_cast<std::uint16_t>(s.image[512] - offset);
    EXPECT_EQ(pixels[1024], stored >> 8);
    EXPECT_EQ(pixels[1025], stored & 0xFF);
    EXPECT_EQ(std::string(bytes.end() - 320, bytes.end()), std::string(320, ' '));
  }
}

TEST(FitsEncoding, ColourPlanesFollowTheSamplesWithNothingAfter) {
  Sample s;
  const PlaneView planes = s.Planes();
  const auto bytes = EncodeFitsFile(s.image, s.fields, s.history, &planes);
  ASSERT_EQ(bytes.size(), kFitsColourLength);
  const std::size_t red = 5760 + kFitsPixelBytes;
  EXPECT_EQ(bytes[red + 1000], s.red[1000]);
  EXPECT_EQ(bytes[red + kFitsPlaneBytes + 1000], s.green[1000]);
  EXPECT_EQ(bytes.back(), s.blue[kImageValues - 1]);
}

class FitsFileTest : public ::testing::Test {
 protected:
  void TearDown() override { SetFileWriteFaultForTesting(std::nullopt); }

  int Read(const fs::path& file, bool withPlanes, FitsLayout layout = FitsLayout::kCurrent) {
    const MutablePlaneView planes{red.data(), green.data(), blue.data()};
    return ReadFitsFile(file, image, withPlanes ? &planes : nullptr, layout, fields, history);
  }

  testing::TempDirectory dir;
  fs::path path = dir.path() / "IMG1.FIT";
  Sample s;
  ImageBuffer image;
  PlaneBuffer red, green, blue;
  FitsHeaderFields fields;
  ProcessingHistory history;
};

TEST_F(FitsFileTest, RoundTripsImagePlanesAndHeader) {
  for (bool isUnsigned : {false, true}) {
    s.fields.unsignedFormat = isUnsigned;
    const PlaneView planes = s.Planes();
    ASSERT_EQ(WriteFitsFile(path, s.image, s.fields, s.history, &planes), kFitsOk);
    EXPECT_EQ(fs::file_size(path), kFitsColourLength);
    ASSERT_EQ(Read(path, true), kFitsOk);

    EXPECT_TRUE(std::equal(image.begin(), image.begin() + kImageValues, s.image.begin()));
    EXPECT_TRUE(std::equal(blue.begin(), blue.begin() + kImageValues, s.blue.begin()));
    EXPECT_TRUE(std::equal(red.begin(), red.begin() + kImageValues, s.red.begin()));
    EXPECT_EQ(fields.unsignedFormat, isUnsigned);
    EXPECT_EQ(fields.object, "M42");
    EXPECT_EQ(fields.observationTime, "21:04:05");
    EXPECT_EQ(fields.instrument, "Quellmark CCD");
    EXPECT_EQ(fields.filterName, "Red");
    EXPECT_EQ(fields.pixelWidth, 0.0098);
    EXPECT_EQ(fields.focalLength, -2000);
    EXPECT_EQ(fields.exposureSeconds, 30);
    EXPECT_EQ(history.entries, s.history.entries);
    // Notes come back padded to 255 characters.
    EXPECT_EQ(fields.historyNote, std::string(70, 'h') + std::string(185, ' '));
    EXPECT_EQ(fields.commentText.substr(0, 10), "clear sky ");
  }
}

TEST_F(FitsFileTest, ShortNoteReadsBackPaddedAndApostropheCutsText) {
  s.fields.historyNote = "abcde";
  s.fields.object = "Bode's Galaxy";
  ASSERT_EQ(WriteFitsFile(path, s.image, s.fields, s.history, nullptr), kFitsOk);
  EXPECT_EQ(fs::file_size(path), kFitsLength);
  ASSERT_EQ(Read(path, false), kFitsOk);
  EXPECT_EQ(fields.historyNote, "abcde" + std::string(250, ' '));
  EXPECT_EQ(fields.object, "Bode");
}

TEST_F(FitsFileTest, EarlierLayoutIsAlwaysOffsetDecoded) {
  // The earlier header: the first 35 cards as now, one more card, then the samples.
  s.fields.unsignedFormat = true;  // its card 36 says BZERO 0, which the old layout ignores
  const auto current = EncodeFitsFile(s.image, s.fields, s.history, nullptr);
  std::vector<std::uint8_t> earlier(current.begin(), current.begin() + 36 * 80);
  std::vector<std::uint8_t> pixels(current.begin() + 5760, current.end());
  earlier.insert(earlier.end(), pixels.begin(), pixels.end());
  ASSERT_EQ(earlier.size(), kEarlierFitsLength);
  testing::WriteBytes(path, earlier);

  fields.unsignedFormat = true;
  fields.pixelWidth = 1.5;
  ASSERT_EQ(Read(path, false, FitsLayout::kEarlier), kFitsOk);
  EXPECT_FALSE(fields.unsignedFormat);
  EXPECT_EQ(image[1], static_cast<std::uint16_t>(s.image[1] + 32768));
  EXPECT_EQ(fields.object, "M42");
  EXPECT_EQ(fields.pixelWidth, 1.5) << "the earlier header carries no numbers";
}

TEST_F(FitsFileTest, RefusesFilesOfOtherShapesAndChangesNothing) {
  const auto good = EncodeFitsFile(s.image, s.fields, s.history, nullptr);
  struct Case {
    int card;
    int column;  // 1-based, where `text` goes
    std::string text;
  };
  const Case cases[] = {{2, 29, " 8"}, {3, 30, "3"}, {4, 28, "511"}, {5, 28, "300"}};
  image.Fill(7);
  fields.object = "before";
  for (const Case& c : cases) {
    auto bytes = good;
    std::copy(c.text.begin(), c.text.end(), bytes.begin() + (c.card - 1) * 80 + c.column - 1);
    testing::WriteBytes(path, bytes);
    EXPECT_EQ(Read(path, false), kFitsNotOurs) << "card " << c.card;
    EXPECT_EQ(ReadFitsPixels(path, image), kFitsNotOurs) << "card " << c.card;
  }
  // Files ending early, anywhere from the header to the last plane.
  for (std::size_t length : {0ul, 79ul, 400ul, 2000ul, 5760ul, 302719ul}) {
    testing::WriteBytes(path, std::span(good).first(std::min(length, good.size())));
    EXPECT_EQ(Read(path, false), kFitsFailed) << length;
  }
  testing::WriteBytes(path, good);  // no planes where planes are expected
  EXPECT_EQ(Read(path, true), kFitsFailed);
  EXPECT_EQ(Read(dir.path() / "missing.fit", false), kFitsFailed);

  EXPECT_EQ(image[0], 7);
  EXPECT_EQ(image[kImageValues - 1], 7);
  EXPECT_EQ(fields.object, "before");
}

TEST_F(FitsFileTest, PixelsOnlyReaderLeavesHeaderAndPlanesAlone) {
  s.fields.unsignedFormat = true;
  const PlaneView planes = s.Planes();
  ASSERT_EQ(WriteFitsFile(path, s.image, s.fields, s.history, &planes), kFitsOk);
  ASSERT_EQ(ReadFitsPixels(path, image), kFitsOk);
  EXPECT_EQ(image[5], s.image[5]);
  EXPECT_EQ(image[kImageValues - 1], s.image[kImageValues - 1]);
}

TEST_F(FitsFileTest, FailedWriteKeepsTheEarlierFile) {
  ASSERT_EQ(WriteFitsFile(path, s.image, s.fields, s.history, nullptr), kFitsOk);
  const auto before = testing::FileBytes(path);
  s.fields.object = "changed";
  SetFileWriteFaultForTesting(100000);
  EXPECT_EQ(WriteFitsFile(path, s.image, s.fields, s.history, nullptr), kFitsFailed);
  SetFileWriteFaultForTesting(std::nullopt);
  EXPECT_EQ(testing::FileBytes(path), before);
  EXPECT_EQ(
      WriteFitsFile(dir.path() / "no" / "such" / "dir.fit", s.image, s.fields, s.history, nullptr),
      kFitsFailed);
}

TEST(FitsDates, SaveAsFillsTodayOnlyWhenTheDateIsShort) {
  FitsHeaderFields fields;
  fields.observationDate = "7/12/06";
  FillObservationDate(fields, 1165449600 + 3600);  // 2006-12-07 01:00 UT
  EXPECT_EQ(fields.observationDate, "2006-12-07");
  fields.observationDate = "2001-01-01T00";
  FillObservationDate(fields, 1165449600);
  EXPECT_EQ(fields.observationDate, "2001-01-01T00");
}

TEST(FitsHeaderTexts, ResetClearsTheImageTextsOnly) {
  FitsHeaderFields fields;
  ProcessingHistory history;
  history.entries[3] = "x";
  fields.object = fields.observer = fields.telescope = fields.observationDate = "t";
  fields.commentText = fields.historyNote = "t";
  fields.instrument = "Other";
  fields.origin = fields.observationTime = "kept";
  fields.filterName = "Blue";
  fields.exposureSeconds = 4;
  ResetFitsHeaderTexts(fields, history);
  EXPECT_EQ(history.entries[3], "");
  EXPECT_EQ(fields.object + fields.observer + fields.telescope + fields.observationDate +
                fields.commentText + fields.historyNote,
            "");
  EXPECT_EQ(fields.instrument, "Quellmark CCD");
  EXPECT_EQ(fields.origin, "kept");
  EXPECT_EQ(fields.observationTime, "kept");
  EXPECT_EQ(fields.filterName, "Blue");
  EXPECT_EQ(fields.exposureSeconds, 4);
}

}  // namespace
}  // namespace corvex
