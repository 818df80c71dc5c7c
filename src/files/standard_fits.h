// Standard FITS files, written and read through cfitsio: the files Siril, astropy, DS9 and
// every other astronomy program read, and the ones they write.
//
// A mono frame is a primary image of 510 x 290 unsigned 16-bit samples (BITPIX 16, BZERO
// 32768), the grid of the native raw file and the TIFF export, first row at the top. A colour
// image is an RGB cube of three such planes, built from the luminance and the colour planes
// by the colour display's combination at 16 bits. The header carries what the native header
// holds, in the keywords other programs read.
//
// The sensor's two-by-two colour filter is no RGB Bayer pattern: each of its four pixel kinds
// sees a mixture of colours (see FilterCellText). A raw frame therefore carries no BAYERPAT,
// which would make other programs debayer it into false colours; a COMMENT says what the
// pattern is, and colour goes to other programs as the colour export.
//
// Nothing here knows the program's context: callers hand in buffers, header fields, the
// processing history and paths. Only this file's implementation includes cfitsio.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "files/fits_header_fields.h"
#include "processing/processing_history.h"
#include "state/image_store.h"

namespace corvex {

inline constexpr int kStandardFitsWidth = 510;  // columns 0-509 of the image buffer
inline constexpr std::size_t kFitsBlockBytes = 2880;
inline constexpr double kMillimetresPerInch = 25.4;
inline constexpr double kSquareMillimetresPerSquareInch = 645.16;

enum class ImageType { kLight, kDark, kFlat };
// "Light", "Dark" or "Flat", as IMAGETYP holds it.
const char* ImageTypeName(ImageType type);
// "light", "dark" or "flat" in any case; nullopt for anything else.
std::optional<ImageType> ParseImageType(std::string_view text);

// Where the colour filter pattern starts: the "Pixel Offset" and "Line Offset" settings.
struct FilterPhase {
  bool pixelOffset = true;
  bool lineOffset = false;
};

// What the four pixels of one filter cell see, starting with the first pixel of the first
// row, row by row: for example "2G+B, 2R+G+B / R+G+2B, R+2G" (in the sensor's own channel
// scales).
std::string FilterCellText(const FilterPhase& phase);

// What a standard file holds beyond the image and the native header fields.
struct StandardFitsExtras {
  std::string dateObs;  // DATE-OBS: the exposure's start ("2024-05-01T22:13:05", or only the
                        // date when that is all that is known); empty when unknown
  std::string dateAvg;  // DATE-AVG: the exposure's middle; empty when unknown
  ImageType imageType = ImageType::kLight;
  FilterPhase phase;    // what the COMMENT of a mono frame says about its colour filter
  int saturation = 2;   // the colour display's saturation factor, 1-9
  std::string creator;  // SWCREATE, the program's name and version
};

// "2024-05-01T22:13:05" of calendar seconds, UT.
std::string IsoDateTime(std::int64_t calendarSeconds);
// Calendar seconds of "2024-05-01T22:13:05" (fractions of a second dropped), or of a date
// alone at midnight; nullopt when the text is no such date.
std::optional<std::int64_t> ParseIsoDateTime(std::string_view text);

// DATE-OBS and DATE-AVG of an exposure that ran from `start` to `end` (calendar seconds).
void SetExposureDates(std::int64_t start, std::int64_t end, StandardFitsExtras& extras);
// DATE-OBS and DATE-AVG from the native header. Its date ("7/12/06", "2006-12-07") and time
// ("hh:mm:ss") are the exposure's middle, as the quick save stamps them; the start is that
// less half of EXPTIME. A date without a time gives DATE-OBS as that date alone, and no date
// gives neither.
void SetHeaderDates(const FitsHeaderFields& fields, StandardFitsExtras& extras);

// The 16-bit red, green and blue of one colour pixel, from its 16-bit luminance and its three
// plane values, as the colour display combines them: the planes give the colour ratios, the
// luminance the brightness, and a saturated luminance (high byte 255) shows white.
std::array<std::uint16_t, 3> ColourCubePixel(int luminance, int red, int green, int blue,
                                             int saturation);
// The way back, for a colour image read from a file: the brightest channel is the luminance,
// and the planes take the colour ratios with the brightest at 255, so the image shows as it
// was written. Returns the luminance and the three plane values.
std::array<int, 4> PixelFromColourCube(int red, int green, int blue, int saturation);

// The whole standard file. `image` holds 290 rows of 512 values (columns 0-509 are written);
// with `planes` the file is the colour cube, without it the mono frame. Empty only when
// cfitsio could not build it (out of memory).
std::vector<std::uint8_t> EncodeStandardFits(std::span<const std::uint16_t> image,
                                             const PlaneView* planes,
                                             const FitsHeaderFields& fields,
                                             const ProcessingHistory& history,
                                             const StandardFitsExtras& extras);

// Writes the file through an atomic replace (an existing file is kept when `existing` says
// so); false with `error` (when given) on failure, and any earlier file stays as it was.
bool WriteStandardFits(const std::filesystem::path& path, std::span<const std::uint16_t> image,
                       const PlaneView* planes, const FitsHeaderFields& fields,
                       const ProcessingHistory& history, const StandardFitsExtras& extras,
                       int* error = nullptr);

// ---- Reading ----

// The first image of a FITS file: its axes and BITPIX.
struct FitsImageShape {
  std::vector<long long> axes;  // NAXIS1, NAXIS2, ...; empty when the file holds no image
  int bitpix = 0;
  // "FITS image 4656 x 3520 x 3, BITPIX -32"
  std::string Describe() const;
  // 510 or 512 wide, 290 high, and mono or three colour planes.
  bool Opens() const;
  bool Colour() const { return axes.size() == 3 && axes[2] == 3; }
};

struct StandardFitsContents {
  FitsHeaderFields fields;  // the caller's, with what the file's header carries put in
  ProcessingHistory history;
  std::vector<std::uint16_t> image;            // 148480 values once read
  std::vector<std::uint8_t> red, green, blue;  // 148480 bytes each for a colour image
  FitsImageShape shape;
  bool colour = false;
  std::string rowOrder;  // ROWORDER as the file gives it, or empty
};

inline constexpr int kStandardFitsOk = 0;
inline constexpr int kStandardFitsNotFits = 1;     // it does not start as a FITS file does
inline constexpr int kStandardFitsDamaged = 2;     // cfitsio cannot read it; `problem` says why
inline constexpr int kStandardFitsWrongShape = 3;  // not an image Corvex opens; `problem` names it

// Whether bytes start as every FITS file does ("SIMPLE  =" and T). Nothing else is handed to
// cfitsio: a compressed or foreign file is not unpacked to find out what it is.
bool StartsAsFits(std::span<const std::uint8_t> firstBytes);
// The same for a file, reading only its first card.
bool FileStartsAsFits(const std::filesystem::path& path);

// Reads a standard FITS image held in memory (DecodeStandardFits) or in a file
// (ReadStandardFits). Mono images of 510 or 512 columns and 290 rows, of any BITPIX, and RGB
// cubes of that size are read; integer samples are taken as counts (0-65535; 8-bit ones are
// scaled by 257), floating-point ones are scaled into 0-65535 (see the implementation).
// A ROWORDER of 'BOTTOM-UP' is turned the right way up. `saturation` is the colour display's,
// used to turn a cube into luminance and planes. Anything else returns a refusal with
// `problem` saying what the file holds; `contents` is complete only on kStandardFitsOk.
int DecodeStandardFits(std::span<const std::uint8_t> bytes, int saturation,
                       StandardFitsContents& contents, std::string& problem);
int ReadStandardFits(const std::filesystem::path& path, int saturation,
                     StandardFitsContents& contents, std::string& problem);

// "... : Corvex opens images of 510 x 290": the refusal of an image of another shape.
std::string WrongShapeText(const FitsImageShape& shape);

}  // namespace corvex
