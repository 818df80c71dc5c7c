// FITS files of the one fixed geometry: 512 x 290 16-bit samples behind a 72-card header,
// then either the three 8-bit colour planes or 320 spaces. Files written by the earlier
// version of the program (a 36-card header) are read too.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

#include "files/fits_header_fields.h"
#include "processing/processing_history.h"
#include "state/image_store.h"

namespace corvex {

inline constexpr std::size_t kFitsHeaderCards = 72;
inline constexpr std::size_t kEarlierFitsHeaderCards = 36;
inline constexpr std::size_t kFitsPixelBytes = 296960;  // 290 rows x 512 samples x 2 bytes
inline constexpr std::size_t kFitsPixelBlock = 4640;
inline constexpr std::size_t kFitsPlaneBytes = 148480;
inline constexpr std::size_t kFitsTrailerBytes = 320;

// The four file lengths, which are also how an opened file is recognised.
inline constexpr std::uint64_t kFitsLength = 303040;
inline constexpr std::uint64_t kFitsColourLength = 748160;
inline constexpr std::uint64_t kEarlierFitsLength = 300160;
inline constexpr std::uint64_t kEarlierFitsColourLength = 745280;

enum class FitsLayout { kCurrent, kEarlier };

// Result codes of the readers and the writer.
inline constexpr int kFitsOk = 0;
inline constexpr int kFitsFailed = 1;   // cannot open, read or write; file too short
inline constexpr int kFitsNotOurs = 2;  // the header check failed

// The 72 cards of the current header, 5760 bytes.
std::string BuildFitsHeader(const FitsHeaderFields& fields, const ProcessingHistory& history);

// The whole file: header, big-endian samples offset by BZERO, and then the colour planes
// when `planes` is given, else 320 spaces.
std::vector<std::uint8_t> EncodeFitsFile(const ImageBuffer& image, const FitsHeaderFields& fields,
                                         const ProcessingHistory& history, const PlaneView* planes);

// What a FITS file holds. `fields` and `history` start as the caller's, so that the fields a
// file does not carry (the earlier layout has no numbers) keep their values.
struct FitsContents {
  FitsHeaderFields fields;
  ProcessingHistory history;
  std::vector<std::uint16_t> image;            // 148480 samples once decoded
  std::vector<std::uint8_t> red, green, blue;  // 148480 bytes each when planes were read
};

// Parses a file held in memory. Returns kFitsOk, kFitsFailed (the bytes end before the
// layout does) or kFitsNotOurs (BITPIX, NAXIS, NAXIS1 or NAXIS2 are not 16, 2, 512, 290).
int DecodeFitsFile(std::span<const std::uint8_t> bytes, FitsLayout layout, bool withPlanes,
                   FitsContents& contents);

// Writes the file through an atomic replace: a failure leaves any earlier file as it was, and
// `error` (when given) says why it failed.
int WriteFitsFile(const std::filesystem::path& path, const ImageBuffer& image,
                  const FitsHeaderFields& fields, const ProcessingHistory& history,
                  const PlaneView* planes, int* error = nullptr);

// Reads a file into `image`, `fields`, `history` and, when `planes` is given, the colour
// planes. Nothing is changed unless the whole read succeeds.
int ReadFitsFile(const std::filesystem::path& path, ImageBuffer& image,
                 const MutablePlaneView* planes, FitsLayout layout, FitsHeaderFields& fields,
                 ProcessingHistory& history);

// The samples of a current-layout file into `buffer`; no header field or plane changes.
int ReadFitsPixels(const std::filesystem::path& path, ImageBuffer& buffer);

// Whether a file name asks for FITS: it ends in .fit or .fits, in any case.
bool IsFitsFileName(const std::filesystem::path& path);

// "Save as FITS" fills in today's date (UT) as "20yy-mm-dd" when `observationDate` holds
// fewer than 10 characters.
void FillObservationDate(FitsHeaderFields& fields, std::int64_t calendarSeconds);

}  // namespace corvex
