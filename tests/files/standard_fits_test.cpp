// Standard FITS: the file other programs read (layout, header keywords, samples), the colour
// cube against the colour display, and files other programs write, read or refused.
#include "files/standard_fits.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>

#include "files/fits_builder.h"
#include "platform/byte_order.h"
#include "processing/display_image.h"
#include "sim/sky.h"
#include "support/test_rig.h"

namespace corvex {
namespace {

using testing::FitsBuilder;
using testing::ReadCards;

constexpr std::int64_t kNoon = 1165492800;  // 2006-12-07 12:00:00 UT

struct Frame {
  ImageBuffer image;
  PlaneBuffer red, green, blue;
  FitsHeaderFields fields;
  ProcessingHistory history;
  StandardFitsExtras extras;

  Frame() {
    for (int i = 0; i < kImageValues; ++i) {
      image[i] = static_cast<std::uint16_t>(i * 37);
      red[i] = static_cast<std::uint8_t>(i);
      green[i] = static_cast<std::uint8_t>(i / 3);
      blue[i] = static_cast<std::uint8_t>(i / 7);
    }
    extras.creator = "Corvex 9.9";
  }
  PlaneView Planes() const { return {red.data(), green.data(), blue.data()}; }
  std::vector<std::uint8_t> Encode(bool colour) const {
    const PlaneView planes = Planes();
    return EncodeStandardFits(image.span().first(kImageValues), colour ? &planes : nullptr, fields,
                              history, extras);
  }
};

std::uint16_t SampleAt(const std::vector<std::uint8_t>& file, std::size_t dataStart,
                       std::size_t index) {
  return static_cast<std::uint16_t>(LoadBe16(file.data() + dataStart + 2 * index) + 32768);
}

TEST(StandardFitsFile, MonoFrameIs510By290UnsignedInWholeBlocks) {
  Frame frame;
  const auto file = frame.Encode(false);
  ASSERT_FALSE(file.empty());
  const auto cards = ReadCards(file);
  EXPECT_EQ(file.size() % 2880, 0u);
  EXPECT_EQ(file.size(), cards.headerBytes + (295800 + 2879) / 2880 * 2880);
  EXPECT_EQ(cards.values.at("BITPIX"), "16");
  EXPECT_EQ(cards.values.at("NAXIS"), "2");
  EXPECT_EQ(cards.values.at("NAXIS1"), "510");
  EXPECT_EQ(cards.values.at("NAXIS2"), "290");
  EXPECT_EQ(std::stod(cards.values.at("BZERO")), 32768);
  EXPECT_EQ(cards.values.at("ROWORDER"), "TOP-DOWN");
  EXPECT_EQ(cards.values.at("SWCREATE"), "Corvex 9.9");
  EXPECT_EQ(cards.values.at("IMAGETYP"), "Light");
  // Row 0 first, columns 0-509 of the buffer: the native raw file's grid.
  for (int row : {0, 1, 145, 289}) {
    for (int col : {0, 1, 300, 509}) {
      EXPECT_EQ(SampleAt(file, cards.headerBytes, row * 510 + col), frame.image[row * 512 + col]);
    }
  }
  // The padding after the samples is zeros.
  for (std::size_t i = cards.headerBytes + 295800; i < file.size(); ++i) ASSERT_EQ(file[i], 0);
}

TEST(StandardFitsFile, HeaderCarriesTheNativeFieldsInTheirStandardKeywords) {
  Frame frame;
  FitsHeaderFields& f = frame.fields;
  f.object = "M42";
  f.telescope = "C8";
  f.observer = "A. Observer";
  f.origin = "Backyard";
  f.filterName = "Red";
  f.exposureSeconds = 30;
  f.pixelWidth = 0.0098;
  f.pixelHeight = 0.0126;
  f.focalLength = 80;  // inches
  f.aperture = 10;     // square inches
  f.observationDate = "7/12/06";
  f.observationTime = "21:04:05";
  SetHeaderDates(f, frame.extras);
  frame.extras.imageType = ImageType::kDark;
  const auto cards = ReadCards(frame.Encode(false));
  const auto& v = cards.values;
  EXPECT_EQ(v.at("OBJECT"), "M42");
  EXPECT_EQ(v.at("TELESCOP"), "C8");
  EXPECT_EQ(v.at("INSTRUME"), "Quellmark CCD");
  EXPECT_EQ(v.at("OBSERVER"), "A. Observer");
  EXPECT_EQ(v.at("ORIGIN"), "Backyard");
  EXPECT_EQ(v.at("FILTER"), "Red");
  EXPECT_EQ(v.at("DATE-OBS"), "2006-12-07T21:03:50");  // the middle less half of 30 s
  EXPECT_EQ(v.at("DATE-AVG"), "2006-12-07T21:04:05");
  EXPECT_DOUBLE_EQ(std::stod(v.at("EXPTIME")), 30);
  EXPECT_DOUBLE_EQ(std::stod(v.at("XPIXSZ")), 9.8);
  EXPECT_DOUBLE_EQ(std::stod(v.at("YPIXSZ")), 12.6);
  EXPECT_EQ(v.at("XBINNING"), "1");
  EXPECT_EQ(v.at("YBINNING"), "1");
  EXPECT_DOUBLE_EQ(std::stod(v.at("FOCALLEN")), 2032);
  EXPECT_DOUBLE_EQ(std::stod(v.at("APTAREA")), 6451.6);
  EXPECT_EQ(v.at("IMAGETYP"), "Dark");
  EXPECT_EQ(v.count("BAYERPAT"), 0u);
  EXPECT_EQ(v.count("TIME-OBS"), 0u);
}

TEST(StandardFitsFile, UnknownValuesAreLeftOutAndTextsKeptWhole) {
  Frame frame;
  frame.fields.instrument.clear();
  frame.fields.exposureSeconds = std::numeric_limits<double>::quiet_NaN();
  frame.fields.object = std::string(100, 'o') + "'s end";  // longer than one card
  frame.fields.observer = "Ren\xC3\xA9\x1B";               // UTF-8 and an escape
  frame.history.entries[0] = "Dark Frame Subtracted";
  frame.history.entries[2] = "Normal Stretch";  // slot 2 empty: no empty card
  frame.fields.historyNote = "night of the comet" + std::string(237, ' ');
  frame.fields.commentText = std::string(150, 'c') + " two words";
  const auto file = frame.Encode(false);
  const auto cards = ReadCards(file);
  for (const char* absent : {"INSTRUME", "EXPTIME", "XPIXSZ", "FOCALLEN", "APTAREA", "DATE-OBS",
                             "DATE-AVG", "TELESCOP"}) {
    EXPECT_EQ(cards.values.count(absent), 0u) << absent;
  }
  EXPECT_EQ(cards.values.at("LONGSTRN"), "OGIP 1.0");
  EXPECT_EQ(cards.values.at("OBSERVER"), "Ren???");
  EXPECT_EQ(cards.history, (std::vector<std::string>{"Dark Frame Subtracted", "Normal Stretch",
                                                     "Note: night of the comet"}));
  for (const std::string& line : cards.history) EXPECT_FALSE(line.empty());

  // The reader gives back what the native header holds.
  StandardFitsContents back;
  std::string problem;
  ASSERT_EQ(DecodeStandardFits(file, 2, back, problem), kStandardFitsOk) << problem;
  EXPECT_EQ(back.fields.object, frame.fields.object.substr(0, 80));
  EXPECT_EQ(back.fields.historyNote, "night of the comet");
  EXPECT_EQ(back.fields.commentText, frame.fields.commentText);
  EXPECT_EQ(back.history.entries[0], "Dark Frame Subtracted");
  EXPECT_EQ(back.history.entries[1], "Normal Stretch");
  EXPECT_EQ(back.history.entries[2], "");
  EXPECT_EQ(back.fields.instrument, "");
}

TEST(StandardFitsFile, NumbersAndDatesReadBackInTheNativeUnits) {
  Frame frame;
  FitsHeaderFields& f = frame.fields;
  f.exposureSeconds = 45;
  f.pixelWidth = 0.0098;
  f.pixelHeight = 0.0126;
  f.focalLength = 31.5;
  f.aperture = 12;
  f.filterName = "Ha";
  f.observationDate = "2006-12-07";
  f.observationTime = "21:04:05";
  SetHeaderDates(f, frame.extras);
  StandardFitsContents back;
  std::string problem;
  ASSERT_EQ(DecodeStandardFits(frame.Encode(false), 2, back, problem), kStandardFitsOk);
  EXPECT_DOUBLE_EQ(back.fields.exposureSeconds, 45);
  EXPECT_NEAR(back.fields.pixelWidth, 0.0098, 1e-12);
  EXPECT_NEAR(back.fields.pixelHeight, 0.0126, 1e-12);
  EXPECT_NEAR(back.fields.focalLength, 31.5, 1e-9);
  EXPECT_NEAR(back.fields.aperture, 12, 1e-9);
  EXPECT_EQ(back.fields.filterName, "Ha");
  // The native header's date and time are the exposure's middle: they survive the trip.
  EXPECT_EQ(back.fields.observationDate, "2006-12-07");
  EXPECT_EQ(back.fields.observationTime, "21:04:05");
}

TEST(StandardFitsDates, FromTheHeaderAndFromTheExposure) {
  StandardFitsExtras extras;
  FitsHeaderFields f;
  f.observationDate = "7/12/06";
  f.observationTime = "00:00:10";
  f.exposureSeconds = 61;
  SetHeaderDates(f, extras);
  EXPECT_EQ(extras.dateObs, "2006-12-06T23:59:40");  // across midnight
  EXPECT_EQ(extras.dateAvg, "2006-12-07T00:00:10");

  f.observationTime.clear();  // a date alone: no time is made up
  SetHeaderDates(f, extras);
  EXPECT_EQ(extras.dateObs, "2006-12-07");
  EXPECT_EQ(extras.dateAvg, "");

  for (const char* date : {"", "yesterday", "31/2/06", "2006-13-01", "7/12"}) {
    f.observationDate = date;
    f.observationTime = "10:00:00";
    SetHeaderDates(f, extras);
    EXPECT_EQ(extras.dateObs, "") << date;
    EXPECT_EQ(extras.dateAvg, "") << date;
  }
  f.observationDate = "1/1/99";
  SetHeaderDates(f, extras);
  EXPECT_EQ(extras.dateAvg, "1999-01-01T10:00:00");
  f.observationDate = "2024-02-29T22:13:05.25";
  SetHeaderDates(f, extras);
  EXPECT_EQ(extras.dateAvg, "2024-02-29T22:13:05");

  SetExposureDates(kNoon, kNoon + 31, extras);
  EXPECT_EQ(extras.dateObs, "2006-12-07T12:00:00");
  EXPECT_EQ(extras.dateAvg, "2006-12-07T12:00:15");

  EXPECT_EQ(ParseIsoDateTime("2006-12-07T12:00:00"), kNoon);
  EXPECT_EQ(ParseIsoDateTime("2006-12-07"), kNoon - 43200);
  for (const char* bad : {"2023-02-29", "2006-12-07 12:00:00", "2006-12-07T25:00:00", "06-12-07"}) {
    EXPECT_FALSE(ParseIsoDateTime(bad)) << bad;
  }
}

// What a pixel of the simulated sensor sees, as "2R+G+B": its response to each colour
// relative to that colour's weakest non-zero response on the sensor.
std::string SimulatedKind(int sensorX, int sensorY) {
  double lowest[3] = {1e9, 1e9, 1e9};
  for (int y = 0; y < 2; ++y) {
    for (int x = 0; x < 2; ++x) {
      const sim::FilterResponse r = sim::PixelResponse(x, y);
      for (int c = 0; c < 3; ++c) {
        const double v = c == 0 ? r.red : c == 1 ? r.green : r.blue;
        if (v > 0) lowest[c] = std::min(lowest[c], v);
      }
    }
  }
  const sim::FilterResponse r = sim::PixelResponse(sensorX, sensorY);
  std::string text;
  int colours = 0;
  for (int c = 0; c < 3; ++c) {
    const double v = c == 0 ? r.red : c == 1 ? r.green : r.blue;
    const int weight = static_cast<int>(std::lround(v / lowest[c]));
    if (weight == 0) continue;
    ++colours;
    if (!text.empty()) text += "+";
    if (weight > 1) text += std::to_string(weight);
    text += "RGB"[c];
  }
  EXPECT_GE(colours, 2) << "a pixel that sees one colour only would make an RGB Bayer pattern";
  return text;
}

TEST(StandardFitsFilter, TheCommentDescribesTheSensorsPattern) {
  // The simulated frame sits at column 6 of the image; its pattern is the one the default
  // phase ("Pixel Offset" on, "Line Offset" off) describes.
  const std::string expected = SimulatedKind(0, 0) + ", " + SimulatedKind(1, 0) + " / " +
                               SimulatedKind(0, 1) + ", " + SimulatedKind(1, 1);
  EXPECT_EQ(FilterCellText({true, false}), expected);
  EXPECT_EQ(FilterCellText({true, false}), "2G+B, 2R+G+B / R+G+2B, R+2G");
  // Each offset shifts the cell by one pixel.
  EXPECT_EQ(FilterCellText({false, false}), "2R+G+B, 2G+B / R+2G, R+G+2B");
  EXPECT_EQ(FilterCellText({true, true}), "R+G+2B, R+2G / 2G+B, 2R+G+B");

  Frame frame;
  frame.extras.phase = {false, true};
  const auto mono = ReadCards(frame.Encode(false));
  EXPECT_EQ(mono.values.count("BAYERPAT"), 0u);
  EXPECT_NE(std::find(mono.comments.begin(), mono.comments.end(),
                      "Colour filter: rows 1 and 2: R+2G, R+G+2B / 2R+G+B, 2G+B"),
            mono.comments.end());
  const auto colour = ReadCards(frame.Encode(true));
  for (const std::string& line : colour.comments) {
    EXPECT_EQ(line.find("Colour filter"), std::string::npos) << "a cube is RGB already";
  }
}

TEST(StandardFitsColour, CubeIsTheColourDisplayAtSixteenBits) {
  Frame frame;
  const auto file = frame.Encode(true);
  const auto cards = ReadCards(file);
  EXPECT_EQ(cards.values.at("NAXIS"), "3");
  EXPECT_EQ(cards.values.at("NAXIS3"), "3");
  EXPECT_EQ(file.size(), cards.headerBytes + (3 * 295800 + 2879) / 2880 * 2880);
  const std::size_t plane = 510 * 290;
  for (int i : {0, 700, 75000, 147000}) {
    const int row = i / 510, col = i % 510;
    const int at = row * 512 + col;
    const auto rgb = ColourCubePixel(frame.image[at], frame.red[at], frame.green[at],
                                     frame.blue[at], frame.extras.saturation);
    for (std::size_t c = 0; c < 3; ++c) {
      EXPECT_EQ(SampleAt(file, cards.headerBytes, c * plane + i), rgb[c]);
    }
  }

  // Against the display: the same colour, 256 times finer.
  for (int saturation : {1, 2, 5, 9}) {
    for (int lum : {0, 100, 5000, 30000, 60000}) {
      for (const auto& planes : {std::array{0, 0, 0}, std::array{200, 40, 10},
                                 std::array{12, 90, 255}, std::array{60, 60, 61}}) {
        const auto cube = ColourCubePixel(lum, planes[0], planes[1], planes[2], saturation);
        const auto bgr =
            ColourPixel(lum / 256, planes[0], planes[1], planes[2], false, 0, saturation);
        for (int c = 0; c < 3; ++c) {
          EXPECT_NEAR(cube[c] / 256.0, bgr[2 - c], 1.5) << lum << " " << saturation << " " << c;
        }
        EXPECT_EQ(*std::max_element(cube.begin(), cube.end()), lum);
      }
    }
  }
  // Grey stays grey; a saturated luminance shows white.
  EXPECT_EQ(ColourCubePixel(40000, 7, 7, 7, 9),
            (std::array<std::uint16_t, 3>{40000, 40000, 40000}));
  EXPECT_EQ(ColourCubePixel(65300, 250, 0, 0, 9),
            (std::array<std::uint16_t, 3>{65300, 65300, 65300}));
}

TEST(StandardFitsColour, ACubeReadsBackAsTheSameLuminanceAndDisplay) {
  Frame frame;
  StandardFitsContents back;
  std::string problem;
  ASSERT_EQ(DecodeStandardFits(frame.Encode(true), frame.extras.saturation, back, problem),
            kStandardFitsOk);
  ASSERT_TRUE(back.colour);
  for (int row = 0; row < 290; row += 7) {
    for (int col = 0; col < 510; col += 3) {
      const int i = row * 512 + col;
      ASSERT_EQ(back.image[i], frame.image[i]) << row << " " << col;
      const auto before = ColourCubePixel(frame.image[i], frame.red[i], frame.green[i],
                                          frame.blue[i], frame.extras.saturation);
      const auto after = ColourCubePixel(back.image[i], back.red[i], back.green[i], back.blue[i],
                                         frame.extras.saturation);
      for (int c = 0; c < 3; ++c) {
        ASSERT_NEAR(after[c], before[c], frame.image[i] / 256.0 + 1) << row << " " << col;
      }
    }
  }
  EXPECT_EQ(PixelFromColourCube(0, 0, 0, 2), (std::array<int, 4>{0, 0, 0, 0}));
  EXPECT_EQ(PixelFromColourCube(1000, 1000, 1000, 2), (std::array<int, 4>{1000, 255, 255, 255}));
}

// ---- Files other programs write ----

std::vector<double> Ramp(std::size_t n, double scale, double offset = 0) {
  std::vector<double> values(n);
  for (std::size_t i = 0; i < n; ++i) values[i] = offset + scale * static_cast<double>(i % 1000);
  return values;
}

StandardFitsContents Decode(const std::vector<std::uint8_t>& file, int expected = kStandardFitsOk,
                            std::string* problemOut = nullptr) {
  StandardFitsContents contents;
  std::string problem;
  EXPECT_EQ(DecodeStandardFits(file, 2, contents, problem), expected) << problem;
  if (problemOut != nullptr) *problemOut = problem;
  return contents;
}

TEST(StandardFitsForeign, EveryBitpixBecomesCounts) {
  const std::size_t n = 510 * 290;
  // Unsigned 16-bit as astropy writes it: BZERO 32768.
  std::vector<double> stored = Ramp(n, 60, -32768);
  auto u16 = Decode(FitsBuilder(16, {510, 290}).Value("BZERO", "32768").Build(stored));
  EXPECT_EQ(u16.image[0], 0);
  EXPECT_EQ(u16.image[512 + 489], 59940);       // file value 999: row 1, column 489
  EXPECT_EQ(u16.image[512], Ramp(n, 60)[510]);  // row 1 starts after 510 file values
  EXPECT_EQ(u16.image[510], 0);                 // the two columns a 510-wide file has not
  // Signed 16-bit: negative counts are 0.
  auto s16 = Decode(FitsBuilder(16, {510, 290}).Build(Ramp(n, 1, -500)));
  EXPECT_EQ(s16.image[0], 0);
  EXPECT_EQ(s16.image[512 + 190], 200);
  // 8-bit: 255 is the top of the range.
  auto u8 = Decode(FitsBuilder(8, {510, 290}).Build(Ramp(n, 0.255)));
  EXPECT_EQ(u8.image[0], 0);
  EXPECT_EQ(u8.image[512 + 489], static_cast<std::uint8_t>(254.745) * 257);
  // 32-bit with BSCALE: counts above 65535 are 65535.
  auto s32 =
      Decode(FitsBuilder(32, {512, 290}).Value("BSCALE", "2").Build(Ramp(n / 510 * 512, 100)));
  EXPECT_EQ(s32.image[100], 20000);
  EXPECT_EQ(s32.image[511], 65535);
  // Floating point in 0-1, as Siril writes 32-bit images: scaled to 0-65535.
  auto unit = Decode(FitsBuilder(-32, {510, 290}).Build(Ramp(n, 0.001)));
  EXPECT_EQ(unit.image[500], 32768);
  EXPECT_EQ(unit.image[512 + 489], static_cast<int>(std::lround(0.999f * 65535.0)));
  // Floating point already in counts: kept, rounded.
  auto counts = Decode(FitsBuilder(-64, {510, 290}).Build(Ramp(n, 50.4)));
  EXPECT_EQ(counts.image[10], 504);
  EXPECT_EQ(counts.image[512 + 489], 50350);
  // Floating point in any other range: stretched from its least to its greatest value, and
  // NaN (undefined) is 0.
  std::vector<double> odd = Ramp(n, 1, -100);
  odd[3] = std::numeric_limits<double>::quiet_NaN();
  auto stretched = Decode(FitsBuilder(-32, {510, 290}).Build(odd));
  EXPECT_EQ(stretched.image[0], 0);
  EXPECT_EQ(stretched.image[3], 0);
  EXPECT_EQ(stretched.image[512 + 489], 65535);
  EXPECT_NEAR(stretched.image[500], 32800, 40);
  // Integer BLANK values are undefined too.
  std::vector<double> blanks = Ramp(n, 1);
  blanks[7] = -1;
  auto blank = Decode(FitsBuilder(16, {510, 290}).Value("BLANK", "-1").Build(blanks));
  EXPECT_EQ(blank.image[7], 0);
  EXPECT_EQ(blank.image[8], 8);
}

TEST(StandardFitsForeign, RowOrderCubesAndImageExtensions) {
  const std::size_t n = 510 * 290;
  std::vector<double> rows(n);
  for (std::size_t i = 0; i < n; ++i) rows[i] = static_cast<double>(i / 510);
  // No ROWORDER: the file's first row is the image's first row, as our files and astropy's.
  EXPECT_EQ(Decode(FitsBuilder(16, {510, 290}).Build(rows)).image[0], 0);
  auto flipped = Decode(FitsBuilder(16, {510, 290}).Text("ROWORDER", "BOTTOM-UP").Build(rows));
  EXPECT_EQ(flipped.image[0], 289);
  EXPECT_EQ(flipped.image[289 * 512], 0);

  // An RGB cube in floating point: one scale for all three planes.
  std::vector<double> cube(3 * n, 0.0);
  for (std::size_t i = 0; i < n; ++i) {
    cube[i] = 0.5;          // red
    cube[n + i] = 0.25;     // green
    cube[2 * n + i] = 0.5;  // blue
  }
  auto colour = Decode(FitsBuilder(-32, {510, 290, 3}).Build(cube));
  ASSERT_TRUE(colour.colour);
  EXPECT_EQ(colour.image[0], 32768);
  EXPECT_EQ(colour.red[0], colour.blue[0]);
  EXPECT_LT(colour.green[0], colour.red[0]);
  // A third axis of one is a mono image.
  EXPECT_FALSE(Decode(FitsBuilder(16, {510, 290, 1}).Build(rows)).colour);

  // The image in the first extension, the primary empty (as tile-compressing programs do):
  // an extension starts with XTENSION where a file starts with SIMPLE.
  std::vector<std::uint8_t> file = FitsBuilder(16, {}).Value("EXTEND", "T").HeaderOnly();
  auto extension = FitsBuilder(16, {510, 290})
                       .Value("PCOUNT", "0")
                       .Value("GCOUNT", "1")
                       .Text("OBJECT", "M1")
                       .Build(rows);
  std::string xtension = "XTENSION= 'IMAGE   '";
  xtension.resize(80, ' ');
  std::copy(xtension.begin(), xtension.end(), extension.begin());
  file.insert(file.end(), extension.begin(), extension.end());
  auto fromExtension = Decode(file);
  EXPECT_EQ(fromExtension.fields.object, "M1");
  EXPECT_EQ(fromExtension.image[289 * 512], 289);
}

TEST(StandardFitsForeign, AnythingElseIsRefusedSayingWhatItHolds) {
  std::string problem;
  Decode(FitsBuilder(-32, {4656, 3520, 3}).HeaderOnly(), kStandardFitsWrongShape, &problem);
  EXPECT_EQ(problem, "FITS image 4656 x 3520 x 3, BITPIX -32: Corvex opens images of 510 x 290");
  Decode(FitsBuilder(16, {510, 290, 2}).HeaderOnly(), kStandardFitsWrongShape, &problem);
  EXPECT_EQ(problem, "FITS image 510 x 290 x 2, BITPIX 16: Corvex opens images of 510 x 290");
  Decode(FitsBuilder(16, {510, 289}).HeaderOnly(), kStandardFitsWrongShape, &problem);
  EXPECT_EQ(problem, "FITS image 510 x 289, BITPIX 16: Corvex opens images of 510 x 290");
  Decode(FitsBuilder(16, {500}).HeaderOnly(), kStandardFitsWrongShape, &problem);
  EXPECT_EQ(problem, "FITS image 500, BITPIX 16: Corvex opens images of 510 x 290");
  Decode(FitsBuilder(8, {}).HeaderOnly(), kStandardFitsWrongShape, &problem);
  EXPECT_EQ(problem, "FITS file without an image: Corvex opens images of 510 x 290");

  // A file that ends before its data, and bytes that are no FITS file at all.
  auto whole = FitsBuilder(16, {510, 290}).Build(Ramp(510 * 290, 1));
  whole.resize(whole.size() - 2880);
  Decode(whole, kStandardFitsDamaged, &problem);
  EXPECT_NE(problem.find("damaged"), std::string::npos) << problem;
  auto notFits = FitsBuilder(16, {510, 290}).HeaderOnly();
  notFits[0] = 'X';
  Decode(notFits, kStandardFitsNotFits);
  auto falseSimple = FitsBuilder(16, {510, 290}).HeaderOnly();
  falseSimple[29] = 'F';
  Decode(falseSimple, kStandardFitsNotFits);
}

TEST(StandardFitsFiles, WrittenAtomicallyAndReadFromDisk) {
  testing::TempDirectory dir;
  Frame frame;
  frame.fields.object = "M13";
  const auto path = dir.path() / "m13.fits";
  const PlaneView planes = frame.Planes();
  ASSERT_TRUE(WriteStandardFits(path, frame.image.span().first(kImageValues), &planes, frame.fields,
                                frame.history, frame.extras));
  EXPECT_TRUE(FileStartsAsFits(path));
  StandardFitsContents back;
  std::string problem;
  ASSERT_EQ(ReadStandardFits(path, 2, back, problem), kStandardFitsOk) << problem;
  EXPECT_EQ(back.fields.object, "M13");
  EXPECT_TRUE(back.colour);
  EXPECT_EQ(back.image[1000], frame.image[1000]);

  // A name that cfitsio would read as file-name syntax is just a name.
  const auto odd = dir.path() / "frame[1].fits";
  ASSERT_TRUE(WriteStandardFits(odd, frame.image.span().first(kImageValues), nullptr, frame.fields,
                                frame.history, frame.extras));
  EXPECT_EQ(ReadStandardFits(odd, 2, back, problem), kStandardFitsOk) << problem;
  EXPECT_FALSE(back.colour);

  // A failed write keeps the earlier file.
  const auto before = testing::FileBytes(path);
  int error = 0;
  EXPECT_FALSE(WriteStandardFits(dir.path() / "missing" / "x.fits",
                                 frame.image.span().first(kImageValues), nullptr, frame.fields,
                                 frame.history, frame.extras, &error));
  EXPECT_EQ(error, ENOENT);
  EXPECT_EQ(testing::FileBytes(path), before);
}

}  // namespace
}  // namespace corvex
