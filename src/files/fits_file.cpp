#include "files/fits_file.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <string_view>

#include "files/file_messages.h"
#include "files/fits_cards.h"
#include "platform/atomic_file.h"
#include "platform/byte_order.h"
#include "platform/calendar.h"
#include "platform/read_file.h"
#include "state/messages.h"

namespace corvex {

namespace {

constexpr std::string_view kHistoryKeyword = "HISTORY = '";
constexpr std::string_view kCommentKeyword = "COMMENT = '";
constexpr std::string_view kUnsignedBzero = "BZERO   =   +0.0000000000E+00";
constexpr std::string_view kSignedBzero = "BZERO   =   +3.2768000000E+04";
constexpr std::uint16_t kSignedOffset = 32768;
constexpr std::size_t kNumberColumn = 9;  // zero-based column 10, just after "KEYWORD ="

// "    %11.10E" without the C locale's say: the decimal point is always '.'. A NaN or an
// infinity is no FITS number (and reads back as 0 here): it is written as 0.
std::string FormatNumber(double value) {
  if (!std::isfinite(value)) value = 0;
  char digits[64];
  const auto [end, ec] =
      std::to_chars(digits, digits + sizeof digits, value, std::chars_format::scientific, 10);
  std::string text = ec == std::errc() ? std::string(digits, end) : std::string("0");
  std::transform(text.begin(), text.end(), text.begin(),
                 [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
  return "    " + text;
}

// The value of a number card: the number that starts after "KEYWORD =" (leading spaces and a
// '+' skipped). A negative value runs one column past column 29 and is read whole.
double ParseNumber(const char* card) {
  const char* begin = card + kNumberColumn;
  const char* end = card + kCardBytes;
  while (begin < end && *begin == ' ') ++begin;
  if (begin < end && *begin == '+') ++begin;
  double value = 0;
  const auto result = std::from_chars(begin, end, value);
  return result.ec == std::errc() ? value : 0.0;
}

std::uint16_t Offset(const FitsHeaderFields& fields) {
  return fields.unsignedFormat ? 0 : kSignedOffset;
}

// Reads a byte stream front to back; Take fails once the bytes run out.
class ByteCursor {
 public:
  explicit ByteCursor(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
  const char* TakeCard() { return reinterpret_cast<const char*>(Take(kCardBytes)); }
  const std::uint8_t* Take(std::size_t n) {
    if (bytes_.size() - pos_ < n) return nullptr;
    const std::uint8_t* p = bytes_.data() + pos_;
    pos_ += n;
    return p;
  }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
};

bool ColumnsAre(const char* card, int firstColumn, std::string_view text) {
  return std::string_view(card + firstColumn - 1, text.size()) == text;
}

std::size_t FileLength(FitsLayout layout, bool withPlanes) {
  const std::size_t cards =
      layout == FitsLayout::kCurrent ? kFitsHeaderCards : kEarlierFitsHeaderCards;
  return cards * kCardBytes + kFitsPixelBytes + (withPlanes ? 3 * kFitsPlaneBytes : 0);
}

}  // namespace

void ResetFitsHeaderTexts(FitsHeaderFields& fields, ProcessingHistory& history) {
  ClearHistory(history);
  fields.observationDate.clear();
  fields.object.clear();
  fields.observer.clear();
  fields.telescope.clear();
  fields.commentText.clear();
  fields.historyNote.clear();
  fields.instrument = kDefaultInstrument;
}

std::string BuildFitsHeader(const FitsHeaderFields& fields, const ProcessingHistory& history) {
  std::string header;
  header.reserve(kFitsHeaderCards * kCardBytes);
  const auto add = [&header](const Card& card) { header.append(card.data(), card.size()); };
  const auto addNumber = [&](std::string_view keyword, double value) {
    add(MakeCard(std::string(keyword) + FormatNumber(value)));
  };

  add(MakeCard("SIMPLE  =                    T /"));
  add(MakeCard("BITPIX  =                   16 /"));
  add(MakeCard("NAXIS   =                    2 /"));
  add(MakeCard("NAXIS1  =                  512 /"));
  add(MakeCard("NAXIS2  =                  290 /"));
  add(MakeTextCard("OBJECT  = '", fields.object));
  add(MakeTextCard("TELESCOP= '", fields.telescope));
  add(MakeTextCard("INSTRUME= '", fields.instrument));
  add(MakeTextCard("OBSERVER= '", fields.observer));
  add(MakeTextCard("ORIGIN  = '", fields.origin));
  add(MakeTextCard("DATE-OBS= '", fields.observationDate));
  add(MakeTextCard("TIME-OBS= '", fields.observationTime));
  for (const std::string& entry : history.entries) add(MakeTextCard(kHistoryKeyword, entry));
  for (const Card& card : MakeNoteCards(kHistoryKeyword, fields.historyNote)) add(card);
  for (const Card& card : MakeNoteCards(kCommentKeyword, fields.commentText)) add(card);
  add(MakeCard(fields.unsignedFormat ? kUnsignedBzero : kSignedBzero));
  add(MakeCard("BSCALE  =   +1.0000000000E+00"));
  addNumber("PIXWIDTH=", fields.pixelWidth);
  addNumber("PIXHEIGH=", fields.pixelHeight);
  add(MakeCard(fields.unsignedFormat ? "SATURATE=                65535"
                                     : "SATURATE=                32768"));
  addNumber("EXPTIME =", fields.exposureSeconds);
  addNumber("FOCALLEN=", fields.focalLength);
  addNumber("APERTURE=", fields.aperture);
  add(MakeTextCard("FILTER  = '", fields.filterName));
  add(MakeCard("END"));
  while (header.size() < kFitsHeaderCards * kCardBytes) add(MakeCard(""));
  return header;
}

std::vector<std::uint8_t> EncodeFitsFile(const ImageBuffer& image, const FitsHeaderFields& fields,
                                         const ProcessingHistory& history,
                                         const PlaneView* planes) {
  const std::string header = BuildFitsHeader(fields, history);
  std::vector<std::uint8_t> bytes(header.begin(), header.end());
  bytes.resize(FileLength(FitsLayout::kCurrent, planes != nullptr));

  std::uint8_t* out = bytes.data() + header.size();
  const std::uint16_t offset = Offset(fields);
  for (int i = 0; i < kImageValues; ++i, out += 2) {
    StoreBe16(out, static_cast<std::uint16_t>(image[i] - offset));
  }
  if (planes != nullptr) {
    for (const std::uint8_t* plane : {planes->red, planes->green, planes->blue}) {
      out = std::copy_n(plane, kFitsPlaneBytes, out);
    }
  } else {
    bytes.resize(bytes.size() + kFitsTrailerBytes, ' ');
  }
  return bytes;
}

int DecodeFitsFile(std::span<const std::uint8_t> bytes, FitsLayout layout, bool withPlanes,
                   FitsContents& contents) {
  ByteCursor in(bytes);
  const char* cards[5];
  for (const char*& card : cards) {
    card = in.TakeCard();
    if (card == nullptr) return kFitsFailed;
  }
  if (!ColumnsAre(cards[1], 29, "16") || !ColumnsAre(cards[2], 30, "2") ||
      !ColumnsAre(cards[3], 28, "512") || !ColumnsAre(cards[4], 28, "290")) {
    return kFitsNotOurs;
  }

  FitsHeaderFields& fields = contents.fields;
  for (std::string* text : {&fields.object, &fields.telescope, &fields.instrument, &fields.observer,
                            &fields.origin, &fields.observationDate, &fields.observationTime}) {
    const char* card = in.TakeCard();
    if (card == nullptr) return kFitsFailed;
    *text = CardText(card);
  }
  for (std::string& entry : contents.history.entries) {
    const char* card = in.TakeCard();
    if (card == nullptr) return kFitsFailed;
    entry = CardText(card);
  }
  for (std::string* note : {&fields.historyNote, &fields.commentText}) {
    const std::uint8_t* noteCards = in.Take(kNoteCards * kCardBytes);
    if (noteCards == nullptr) return kFitsFailed;
    *note = JoinNoteCards(reinterpret_cast<const char*>(noteCards));
  }

  const char* bzero = in.TakeCard();
  if (bzero == nullptr) return kFitsFailed;
  if (layout == FitsLayout::kEarlier) {
    fields.unsignedFormat = false;
  } else {
    fields.unsignedFormat = std::string_view(bzero, kUnsignedBzero.size()) == kUnsignedBzero;
    const char* rest[9];  // BSCALE, PIXWIDTH, PIXHEIGH, SATURATE, EXPTIME, FOCALLEN, APERTURE,
                          // FILTER and END
    for (const char*& card : rest) {
      card = in.TakeCard();
      if (card == nullptr) return kFitsFailed;
    }
    fields.pixelWidth = ParseNumber(rest[1]);
    fields.pixelHeight = ParseNumber(rest[2]);
    fields.exposureSeconds = ParseNumber(rest[4]);
    fields.focalLength = ParseNumber(rest[5]);
    fields.aperture = ParseNumber(rest[6]);
    fields.filterName = CardText(rest[7]);
    if (in.Take((kFitsHeaderCards - 45) * kCardBytes) == nullptr) return kFitsFailed;
  }

  const std::uint8_t* pixels = in.Take(kFitsPixelBytes);
  if (pixels == nullptr) return kFitsFailed;
  const std::uint16_t offset = Offset(fields);
  contents.image.resize(kImageValues);
  for (int i = 0; i < kImageValues; ++i) {
    contents.image[i] = static_cast<std::uint16_t>(LoadBe16(pixels + 2 * i) + offset);
  }

  if (withPlanes) {
    for (std::vector<std::uint8_t>* plane : {&contents.red, &contents.green, &contents.blue}) {
      const std::uint8_t* data = in.Take(kFitsPlaneBytes);
      if (data == nullptr) return kFitsFailed;
      plane->assign(data, data + kFitsPlaneBytes);
    }
  }
  return kFitsOk;
}

int WriteFitsFile(const std::filesystem::path& path, const ImageBuffer& image,
                  const FitsHeaderFields& fields, const ProcessingHistory& history,
                  const PlaneView* planes, int* error) {
  return WriteFileAtomically(path, EncodeFitsFile(image, fields, history, planes), error)
             ? kFitsOk
             : kFitsFailed;
}

namespace {

int ReadFitsContents(const std::filesystem::path& path, FitsLayout layout, bool withPlanes,
                     FitsContents& contents) {
  const auto bytes = ReadFileBytes(path, FileLength(layout, withPlanes));
  if (!bytes) return kFitsFailed;
  return DecodeFitsFile(*bytes, layout, withPlanes, contents);
}

void CommitImage(const std::vector<std::uint16_t>& from, ImageBuffer& to) {
  std::copy(from.begin(), from.end(), to.begin());
}

}  // namespace

int ReadFitsFile(const std::filesystem::path& path, ImageBuffer& image,
                 const MutablePlaneView* planes, FitsLayout layout, FitsHeaderFields& fields,
                 ProcessingHistory& history) {
  FitsContents contents{fields, history, {}, {}, {}, {}};
  const int result = ReadFitsContents(path, layout, planes != nullptr, contents);
  if (result != kFitsOk) return result;
  CommitImage(contents.image, image);
  if (planes != nullptr) {
    std::copy(contents.red.begin(), contents.red.end(), planes->red);
    std::copy(contents.green.begin(), contents.green.end(), planes->green);
    std::copy(contents.blue.begin(), contents.blue.end(), planes->blue);
  }
  fields = std::move(contents.fields);
  history = std::move(contents.history);
  return kFitsOk;
}

int ReadFitsPixels(const std::filesystem::path& path, ImageBuffer& buffer) {
  FitsContents contents;
  const int result = ReadFitsContents(path, FitsLayout::kCurrent, false, contents);
  if (result == kFitsOk) CommitImage(contents.image, buffer);
  return result;
}

bool IsFitsFileName(const std::filesystem::path& path) {
  std::string extension = path.extension().string();
  std::transform(extension.begin(), extension.end(), extension.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return extension == ".fit" || extension == ".fits";
}

void FillObservationDate(FitsHeaderFields& fields, std::int64_t calendarSeconds) {
  if (fields.observationDate.size() >= 10) return;
  const UtcTime t = BreakDownUtc(calendarSeconds);
  char text[16];
  std::snprintf(text, sizeof text, "20%02d-%02d-%02d", t.year % 100, t.month, t.day);
  fields.observationDate = text;
}

}  // namespace corvex
