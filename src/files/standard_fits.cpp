#include "files/standard_fits.h"

#include <fitsio.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <numbers>

#include "files/fits_cards.h"
#include "platform/atomic_file.h"
#include "platform/calendar.h"
#include "platform/read_file.h"

namespace corvex {

namespace {

constexpr int kRows = kImageRows;
constexpr int kCardTextColumn = 8;          // HISTORY and COMMENT text starts in column 9
constexpr int kCardTextLength = 72;         // ... and runs to column 80
constexpr int kSaturatedLuminance = 65280;  // high byte 255: the display shows white
constexpr std::string_view kFilterComment = "Colour filter: ";
constexpr std::string_view kNoteMark = "Note: ";  // starts the HISTORY of the header's note
// The two COMMENT cards cfitsio (and many programs through it) put into every new file.
constexpr std::string_view kBoilerplate[] = {"Flexible Image Transport System",
                                             "2001A&A...376..359H"};
constexpr int kMaxHdusSearched = 64;
constexpr int kMaxAxes = 16;
constexpr std::size_t kShortStringLength = 68;  // characters a string value holds in one card

// ---- Texts ----

// FITS headers hold printable ASCII only: anything else becomes '?'.
std::string Printable(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c < 32 || c > 126) c = '?';
  }
  return out;
}

std::string TrimEnd(std::string_view text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string_view::npos ? std::string() : std::string(text.substr(0, end + 1));
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

// ---- Calendar ----

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
  y -= m <= 2 ? 1 : 0;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const std::int64_t yoe = y - era * 400;
  const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + doe - 719468;
}

int DaysInMonth(int year, int month) {
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

// A whole number of exactly `digits` digits at text[at].
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t digits) {
  if (at + digits > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + digits; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

std::optional<std::int64_t> CalendarSeconds(int year, int month, int day, int hour, int minute,
                                            int second) {
  if (month < 1 || month > 12 || day < 1 || day > DaysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 60) {
    return std::nullopt;
  }
  return DaysFromCivil(year, month, day) * 86400 + hour * 3600 + minute * 60 + second;
}

// "hh:mm:ss" (fractions of a second dropped) as seconds of the day.
std::optional<int> ParseClock(std::string_view text) {
  const auto h = Digits(text, 0, 2);
  const auto m = Digits(text, 3, 2);
  const auto s = Digits(text, 6, 2);
  if (!h || !m || !s || text[2] != ':' || text[5] != ':' || *h > 23 || *m > 59 || *s > 60) {
    return std::nullopt;
  }
  if (text.size() > 8 && text[8] != '.') return std::nullopt;
  return *h * 3600 + *m * 60 + *s;
}

// The native header's date: "d/m/yy" (the quick save's), "yyyy-mm-dd" or an ISO date-time
// (whose time is then returned as well).
struct NativeDate {
  std::int64_t midnight = 0;
  std::optional<int> clock;
};
std::optional<NativeDate> ParseNativeDate(std::string_view text) {
  const std::string trimmed = TrimEnd(text);
  if (const auto iso = ParseIsoDateTime(trimmed)) {
    NativeDate date{*iso - ((*iso % 86400) + 86400) % 86400, std::nullopt};
    if (trimmed.size() > 10) date.clock = static_cast<int>(*iso - date.midnight);
    return date;
  }
  int parts[3] = {0, 0, 0};
  std::size_t at = 0;
  for (int i = 0; i < 3; ++i) {
    const char* begin = trimmed.data() + at;
    const char* end = trimmed.data() + trimmed.size();
    const auto [next, ec] = std::from_chars(begin, end, parts[i]);
    if (ec != std::errc() || next == begin || next - begin > 4) return std::nullopt;
    at = static_cast<std::size_t>(next - trimmed.data());
    if (i < 2) {
      if (at >= trimmed.size() || trimmed[at] != '/') return std::nullopt;
      ++at;
    }
  }
  if (at != trimmed.size()) return std::nullopt;
  int year = parts[2];
  if (year < 100) year += year < 70 ? 2000 : 1900;  // the two-digit years of "7/12/06"
  const auto seconds = CalendarSeconds(year, parts[1], parts[0], 0, 0, 0);
  if (!seconds) return std::nullopt;
  return NativeDate{*seconds, std::nullopt};
}

std::string IsoDate(std::int64_t calendarSeconds) {
  return IsoDateTime(calendarSeconds).substr(0, 10);
}

// ---- The colour filter ----

// What a pixel of this phase sees, in the sensor's own channel scales. The colour synthesis
// formulas recover red, green and blue exactly from these four mixtures (the simulated sensor
// is built on them), and from no RGB Bayer pattern.
const char* PixelKind(bool columnPhase, bool rowPhase) {
  if (columnPhase) return rowPhase ? "R+G+2B" : "2G+B";
  return rowPhase ? "R+2G" : "2R+G+B";
}

// ---- cfitsio ----

std::string CfitsioText(int status) {
  char text[FLEN_STATUS] = {};
  fits_get_errstatus(status, text);
  fits_clear_errmsg();
  return text;
}

// Closes the file however the function holding it ends.
class OpenFits {
 public:
  OpenFits() = default;
  ~OpenFits() {
    if (file_ != nullptr) {
      int status = 0;
      fits_close_file(file_, &status);
      fits_clear_errmsg();
    }
  }
  OpenFits(const OpenFits&) = delete;
  OpenFits& operator=(const OpenFits&) = delete;
  fitsfile** out() { return &file_; }
  fitsfile* get() const { return file_; }

 private:
  fitsfile* file_ = nullptr;
};

std::optional<std::string> ReadText(fitsfile* file, const char* keyword) {
  int status = 0;
  char* value = nullptr;
  fits_read_key_longstr(file, keyword, &value, nullptr, &status);
  std::optional<std::string> text;
  if (status == 0 && value != nullptr) text = TrimEnd(value);
  if (value != nullptr) {
    int freeStatus = 0;
    fits_free_memory(value, &freeStatus);
  }
  fits_clear_errmsg();
  return text;
}

std::optional<double> ReadNumber(fitsfile* file, const char* keyword) {
  int status = 0;
  double value = 0;
  fits_read_key_dbl(file, keyword, &value, nullptr, &status);
  fits_clear_errmsg();
  if (status != 0 || !std::isfinite(value)) return std::nullopt;
  return value;
}

// ---- Writing ----

class HeaderWriter {
 public:
  explicit HeaderWriter(fitsfile* file) : file_(file) {}
  int status() const { return status_; }

  void Text(const char* keyword, std::string_view value, const char* comment) {
    const std::string text = Printable(TrimEnd(value));
    if (text.empty()) return;
    // A value longer than one card goes on in CONTINUE cards, announced once by LONGSTRN
    // (without the COMMENT cards cfitsio would add, which a reader takes for the user's).
    if (text.size() > kShortStringLength && !longStrings_) {
      fits_write_key_str(file_, "LONGSTRN", "OGIP 1.0", "long strings continue in CONTINUE cards",
                         &status_);
      longStrings_ = true;
    }
    fits_write_key_longstr(file_, keyword, text.c_str(), comment, &status_);
  }
  void Number(const char* keyword, double value, const char* comment) {
    if (!std::isfinite(value)) return;
    fits_write_key_dbl(file_, keyword, value, -15, comment, &status_);
  }
  // Only a value that is known: the native header writes 0 for "not given".
  void Positive(const char* keyword, double value, const char* comment) {
    if (value > 0) Number(keyword, value, comment);
  }
  void Whole(const char* keyword, long long value, const char* comment) {
    fits_write_key_lng(file_, keyword, value, comment, &status_);
  }
  void History(std::string_view text) {
    const std::string line = Printable(TrimEnd(text));
    if (!line.empty()) fits_write_history(file_, line.c_str(), &status_);
  }
  void Comment(std::string_view text) {
    const std::string line = Printable(TrimEnd(text));
    if (!line.empty()) fits_write_comment(file_, line.c_str(), &status_);
  }

 private:
  fitsfile* file_;
  int status_ = 0;
  bool longStrings_ = false;
};

void WriteHeader(HeaderWriter& out, const FitsHeaderFields& fields,
                 const ProcessingHistory& history, const StandardFitsExtras& extras, bool colour) {
  out.Text("OBJECT", fields.object, "name of the object observed");
  out.Text("TELESCOP", fields.telescope, "telescope");
  out.Text("INSTRUME", fields.instrument, "camera");
  out.Text("OBSERVER", fields.observer, "observer");
  out.Text("ORIGIN", fields.origin, "origin of the image");
  out.Text("FILTER", fields.filterName, "filter");
  out.Text("DATE-OBS", extras.dateObs, "exposure start, UT");
  out.Text("DATE-AVG", extras.dateAvg, "middle of the exposure, UT");
  if (std::isfinite(fields.exposureSeconds) && fields.exposureSeconds >= 0) {
    out.Number("EXPTIME", fields.exposureSeconds, "exposure time [s]");
  }
  out.Positive("XPIXSZ", fields.pixelWidth * 1000, "pixel width [um]");
  out.Positive("YPIXSZ", fields.pixelHeight * 1000, "pixel height [um]");
  out.Whole("XBINNING", 1, "binning");
  out.Whole("YBINNING", 1, "binning");
  out.Positive("FOCALLEN", fields.focalLength * kMillimetresPerInch, "focal length [mm]");
  out.Positive("APTAREA", fields.aperture * kSquareMillimetresPerSquareInch, "aperture area [mm2]");
  out.Text("IMAGETYP", ImageTypeName(extras.imageType), "type of image");
  out.Text("ROWORDER", "TOP-DOWN", "the first row is the top of the image");
  out.Text("SWCREATE", extras.creator, "program that wrote this file");
  if (colour) {
    out.Comment("Colour image: the three planes are red, green and blue.");
  } else {
    const std::string prefix(kFilterComment);
    out.Comment(prefix + "not an RGB Bayer pattern, so there is no BAYERPAT.");
    out.Comment(prefix + "each 2x2 cell sees mixtures of red, green and blue;");
    out.Comment(prefix + "rows 1 and 2: " + FilterCellText(extras.phase));
    out.Comment(prefix + "for colour, save Corvex's colour image (an RGB cube).");
  }
  for (const std::string& entry : history.entries) out.History(entry);
  // The note is marked so that a reader tells it from the labels, however short it is.
  if (!TrimEnd(fields.historyNote).empty())
    out.History(std::string(kNoteMark) + fields.historyNote);
  out.Comment(fields.commentText);
}

// The samples the file holds, plane after plane, row after row.
std::vector<std::uint16_t> FileSamples(std::span<const std::uint16_t> image,
                                       const PlaneView* planes, int saturation) {
  const std::size_t planeValues = static_cast<std::size_t>(kStandardFitsWidth) * kRows;
  std::vector<std::uint16_t> samples(planeValues * (planes != nullptr ? 3 : 1));
  for (int row = 0; row < kRows; ++row) {
    for (int col = 0; col < kStandardFitsWidth; ++col) {
      const std::size_t i = static_cast<std::size_t>(row) * kImageStride + col;
      const std::size_t out = static_cast<std::size_t>(row) * kStandardFitsWidth + col;
      if (planes == nullptr) {
        samples[out] = image[i];
        continue;
      }
      const auto rgb =
          ColourCubePixel(image[i], planes->red[i], planes->green[i], planes->blue[i], saturation);
      for (std::size_t c = 0; c < 3; ++c) samples[c * planeValues + out] = rgb[c];
    }
  }
  return samples;
}

// ---- Reading ----

// Moves to the first HDU that holds an image and reads its shape.
int FindImage(fitsfile* file, FitsImageShape& shape) {
  int status = 0;
  int hdus = 0;
  if (fits_get_num_hdus(file, &hdus, &status) != 0) return status;
  for (int hdu = 1; hdu <= std::min(hdus, kMaxHdusSearched); ++hdu) {
    int type = 0;
    if (fits_movabs_hdu(file, hdu, &type, &status) != 0) return status;
    if (type != IMAGE_HDU) continue;
    int bitpix = 0;
    int naxis = 0;
    long long axes[kMaxAxes] = {};
    if (fits_get_img_paramll(file, kMaxAxes, &bitpix, &naxis, axes, &status) != 0) return status;
    if (naxis <= 0) continue;
    shape.bitpix = bitpix;
    shape.axes.assign(axes, axes + std::min(naxis, kMaxAxes));
    return 0;
  }
  return 0;
}

// Turns the file's values into counts 0-65535, in place. Whole numbers stored as integers are
// counts (bytes scaled to 16 bits). Anything else is scaled: 0-1 (the normalised range Siril
// and others write) to 0-65535, values already inside 0-65535 kept, any other range stretched
// from its smallest to its largest value. Undefined values (NaN, BLANK) become 0.
void ScaleToCounts(std::vector<double>& values, int bitpix, int equivalentType) {
  const bool counts = bitpix > 0 && std::all_of(values.begin(), values.end(), [](double v) {
                        return !std::isfinite(v) || v == std::floor(v);
                      });
  double scale = 1;
  double offset = 0;
  if (counts && equivalentType == BYTE_IMG) {
    scale = 257;
  } else if (!counts) {
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    for (double v : values) {
      if (!std::isfinite(v)) continue;
      low = std::min(low, v);
      high = std::max(high, v);
    }
    if (low >= 0 && high <= 1) {
      scale = 65535;
    } else if (!(low >= 0 && high <= 65535) && high > low) {
      offset = low;
      scale = 65535 / (high - low);
    }
  }
  for (double& v : values) {
    v = std::isfinite(v) ? std::clamp(std::round((v - offset) * scale), 0.0, 65535.0) : 0.0;
  }
}

void ReadHeader(fitsfile* file, StandardFitsContents& contents) {
  FitsHeaderFields& fields = contents.fields;
  const auto text = [file](const char* keyword, std::size_t limit) {
    std::string value = Printable(ReadText(file, keyword).value_or(""));
    if (value.size() > limit) value.resize(limit);
    return value;
  };
  fields.object = text("OBJECT", 80);
  fields.telescope = text("TELESCOP", 80);
  fields.instrument = text("INSTRUME", 80);
  fields.observer = text("OBSERVER", 80);
  fields.origin = text("ORIGIN", 80);
  fields.filterName = ReadText(file, "FILTER") ? text("FILTER", 72) : std::string("None");

  fields.exposureSeconds =
      ReadNumber(file, "EXPTIME").value_or(ReadNumber(file, "EXPOSURE").value_or(0));
  fields.pixelWidth = ReadNumber(file, "XPIXSZ").value_or(0) / 1000;
  fields.pixelHeight = ReadNumber(file, "YPIXSZ").value_or(0) / 1000;
  fields.focalLength = ReadNumber(file, "FOCALLEN").value_or(0) / kMillimetresPerInch;
  // The native aperture is an area in square inches; other programs give a diameter in mm.
  const double diameter =
      ReadNumber(file, "APTDIA").value_or(ReadNumber(file, "APERTURE").value_or(0));
  fields.aperture =
      ReadNumber(file, "APTAREA").value_or(std::numbers::pi * diameter * diameter / 4) /
      kSquareMillimetresPerSquareInch;

  // The native header's date and time are the exposure's middle.
  fields.observationDate.clear();
  fields.observationTime.clear();
  const std::string dateObs = ReadText(file, "DATE-OBS").value_or("");
  std::optional<std::int64_t> middle;
  if (const auto average = ReadText(file, "DATE-AVG"); average && average->size() > 10) {
    middle = ParseIsoDateTime(*average);
  }
  if (!middle && dateObs.size() > 10) {
    if (const auto start = ParseIsoDateTime(dateObs)) {
      middle = *start + static_cast<std::int64_t>(
                            std::floor(std::clamp(fields.exposureSeconds, 0.0, 1e7) / 2));
    }
  }
  if (!middle && dateObs.size() == 10) {
    // An older convention keeps the time apart.
    const auto date = ParseIsoDateTime(dateObs);
    const auto clock = ParseClock(ReadText(file, "TIME-OBS").value_or(""));
    if (date && clock) middle = *date + *clock;
    if (date && !clock) fields.observationDate = dateObs;
  }
  if (middle) {
    fields.observationDate = IsoDate(*middle);
    fields.observationTime = IsoDateTime(*middle).substr(11);
  }
  contents.rowOrder = TrimEnd(Lower(ReadText(file, "ROWORDER").value_or("")));

  // HISTORY: the short labels first fill the processing history; the rest is the note.
  // COMMENT: everything but the boilerplate and the colour filter's description.
  ClearHistory(contents.history);
  std::size_t entry = 0;
  bool inNote = false;
  std::string note;
  std::string comment;
  bool noteFull = false;
  bool commentFull = false;
  const auto join = [](std::string& to, bool& previousFull, std::string_view raw) {
    const std::string piece = TrimEnd(raw);
    if (!to.empty() && !previousFull) to += ' ';
    to += piece;
    previousFull = piece.size() == static_cast<std::size_t>(kCardTextLength);
  };
  int status = 0;
  int cards = 0;
  fits_get_hdrspace(file, &cards, nullptr, &status);
  for (int i = 1; status == 0 && i <= cards; ++i) {
    char card[FLEN_CARD] = {};
    if (fits_read_record(file, i, card, &status) != 0) break;
    const std::string_view line(card);
    const std::string raw =
        Printable(line.size() > kCardTextColumn ? line.substr(kCardTextColumn, kCardTextLength)
                                                : std::string_view());
    const std::string keyword = TrimEnd(line.substr(0, std::min<std::size_t>(line.size(), 8)));
    if (keyword == "HISTORY") {
      const std::string label = TrimEnd(raw);
      if (!inNote && label.starts_with(kNoteMark)) {
        inNote = true;
        join(note, noteFull, raw.substr(kNoteMark.size()));
        // The first piece of a full card is shorter by the mark.
        noteFull = label.size() == static_cast<std::size_t>(kCardTextLength);
        continue;
      }
      if (!inNote && entry < kHistoryEntries && label.size() <= kHistoryEntryLength) {
        if (!label.empty()) contents.history.entries[entry++] = label;
        continue;
      }
      inNote = true;
      join(note, noteFull, raw);
    } else if (keyword == "COMMENT") {
      const std::string trimmed = TrimEnd(raw);
      const bool ours = trimmed.starts_with(kFilterComment) ||
                        trimmed.starts_with("Colour image: the three planes");
      const bool boilerplate =
          std::any_of(std::begin(kBoilerplate), std::end(kBoilerplate),
                      [&](std::string_view b) { return trimmed.find(b) != std::string::npos; });
      if (!ours && !boilerplate) join(comment, commentFull, raw);
    }
  }
  fits_clear_errmsg();
  if (note.size() > kNoteReadLimit) note.resize(kNoteReadLimit);
  if (comment.size() > kNoteReadLimit) comment.resize(kNoteReadLimit);
  fields.historyNote = note;
  fields.commentText = comment;
}

int Fail(std::string& problem, int code, std::string text) {
  problem = std::move(text);
  return code;
}

// `fileBytes` is the whole file's length: cfitsio reads a missing end of the data as zeros,
// and a frame cut short must be refused, not opened with its last rows black.
int DecodeOpenFile(fitsfile* file, std::uint64_t fileBytes, int saturation,
                   StandardFitsContents& contents, std::string& problem) {
  contents.shape = {};
  if (const int status = FindImage(file, contents.shape); status != 0) {
    return Fail(problem, kStandardFitsDamaged,
                "the FITS file is damaged (" + CfitsioText(status) + ")");
  }
  const FitsImageShape& shape = contents.shape;
  if (!shape.Opens()) return Fail(problem, kStandardFitsWrongShape, WrongShapeText(shape));

  const int width = static_cast<int>(shape.axes[0]);
  const int planes = shape.Colour() ? 3 : 1;
  const std::size_t planeValues = static_cast<std::size_t>(width) * kRows;
  std::vector<double> values(planeValues * planes);
  int status = 0;
  long long headerStart = 0, dataStart = 0, dataEnd = 0;
  fits_get_hduaddrll(file, &headerStart, &dataStart, &dataEnd, &status);
  const std::uint64_t dataBytes =
      values.size() * static_cast<std::uint64_t>(std::abs(shape.bitpix) / 8);
  if (status != 0 || static_cast<std::uint64_t>(dataStart) + dataBytes > fileBytes) {
    return Fail(problem, kStandardFitsDamaged,
                "the FITS file is damaged (it ends before its image data)");
  }
  int equivalentType = 0;
  fits_get_img_equivtype(file, &equivalentType, &status);
  long long first[3] = {1, 1, 1};
  double blank = std::numeric_limits<double>::quiet_NaN();
  int anyBlank = 0;
  fits_read_pixll(file, TDOUBLE, first, static_cast<long long>(values.size()), &blank,
                  values.data(), &anyBlank, &status);
  if (status != 0) {
    return Fail(problem, kStandardFitsDamaged,
                "the FITS file's image cannot be read (" + CfitsioText(status) + ")");
  }
  ScaleToCounts(values, shape.bitpix, equivalentType);
  ReadHeader(file, contents);

  const bool bottomUp = contents.rowOrder == "bottom-up";
  contents.colour = planes == 3;
  contents.image.assign(kImageValues, 0);
  if (contents.colour) {
    for (auto* plane : {&contents.red, &contents.green, &contents.blue}) {
      plane->assign(kImageValues, 0);
    }
  } else {
    contents.red.clear(), contents.green.clear(), contents.blue.clear();
  }
  for (int fileRow = 0; fileRow < kRows; ++fileRow) {
    const int row = bottomUp ? kRows - 1 - fileRow : fileRow;
    for (int col = 0; col < width; ++col) {
      const std::size_t in = static_cast<std::size_t>(fileRow) * width + col;
      const std::size_t i = static_cast<std::size_t>(row) * kImageStride + col;
      if (!contents.colour) {
        contents.image[i] = static_cast<std::uint16_t>(values[in]);
        continue;
      }
      const auto pixel = PixelFromColourCube(
          static_cast<int>(values[in]), static_cast<int>(values[planeValues + in]),
          static_cast<int>(values[2 * planeValues + in]), saturation);
      contents.image[i] = static_cast<std::uint16_t>(pixel[0]);
      contents.red[i] = static_cast<std::uint8_t>(pixel[1]);
      contents.green[i] = static_cast<std::uint8_t>(pixel[2]);
      contents.blue[i] = static_cast<std::uint8_t>(pixel[3]);
    }
  }
  return kStandardFitsOk;
}

}  // namespace

const char* ImageTypeName(ImageType type) {
  switch (type) {
    case ImageType::kDark:
      return "Dark";
    case ImageType::kFlat:
      return "Flat";
    case ImageType::kLight:
      break;
  }
  return "Light";
}

std::optional<ImageType> ParseImageType(std::string_view text) {
  const std::string lower = Lower(text);
  if (lower == "light") return ImageType::kLight;
  if (lower == "dark") return ImageType::kDark;
  if (lower == "flat") return ImageType::kFlat;
  return std::nullopt;
}

std::string FilterCellText(const FilterPhase& phase) {
  const bool column = phase.pixelOffset;
  const bool row = phase.lineOffset;
  return std::string(PixelKind(column, row)) + ", " + PixelKind(!column, row) + " / " +
         PixelKind(column, !row) + ", " + PixelKind(!column, !row);
}

std::string IsoDateTime(std::int64_t calendarSeconds) {
  const UtcTime t = BreakDownUtc(calendarSeconds);
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d", t.year, t.month, t.day, t.hour,
                t.minute, t.second);
  return text;
}

std::optional<std::int64_t> ParseIsoDateTime(std::string_view text) {
  const auto year = Digits(text, 0, 4);
  const auto month = Digits(text, 5, 2);
  const auto day = Digits(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
  const auto midnight = CalendarSeconds(*year, *month, *day, 0, 0, 0);
  if (!midnight) return std::nullopt;
  if (text.size() == 10) return midnight;
  if (text[10] != 'T') return std::nullopt;
  const auto clock = ParseClock(text.substr(11));
  if (!clock) return std::nullopt;
  return *midnight + *clock;
}

void SetExposureDates(std::int64_t start, std::int64_t end, StandardFitsExtras& extras) {
  extras.dateObs = IsoDateTime(start);
  extras.dateAvg = IsoDateTime(start + (std::max(end, start) - start) / 2);
}

void SetHeaderDates(const FitsHeaderFields& fields, StandardFitsExtras& extras) {
  extras.dateObs.clear();
  extras.dateAvg.clear();
  const auto date = ParseNativeDate(fields.observationDate);
  if (!date) return;
  std::optional<int> clock = date->clock;
  if (!clock) clock = ParseClock(TrimEnd(fields.observationTime));
  if (!clock) {
    extras.dateObs = IsoDate(date->midnight);
    return;
  }
  const std::int64_t middle = date->midnight + *clock;
  const double exposure =
      std::isfinite(fields.exposureSeconds) ? std::clamp(fields.exposureSeconds, 0.0, 1e7) : 0.0;
  // The middle was taken as the start plus half the exposure, rounded down: the same way back.
  extras.dateObs = IsoDateTime(middle - static_cast<std::int64_t>(std::floor(exposure / 2)));
  extras.dateAvg = IsoDateTime(middle);
}

std::array<std::uint16_t, 3> ColourCubePixel(int luminance, int red, int green, int blue,
                                             int saturation) {
  double rR = 1, rG = 1, rB = 1;
  if (luminance < kSaturatedLuminance) {
    const double average = (red + green + blue + 90) / 3.0;
    rR = (red + 30) / average;
    rG = (green + 30) / average;
    rB = (blue + 30) / average;
    const double largest = std::max({rR, rG, rB});
    rR /= largest, rG /= largest, rB /= largest;
  }
  const float s = static_cast<float>(saturation + 1) / 2;
  const auto channel = [&](double ratio) {
    const float v = (static_cast<float>(ratio - 1) * s + 1) * static_cast<float>(luminance);
    if (v >= 65535) return std::uint16_t{65535};
    if (v < 0) return std::uint16_t{0};
    return static_cast<std::uint16_t>(v);
  };
  return {channel(rR), channel(rG), channel(rB)};
}

std::array<int, 4> PixelFromColourCube(int red, int green, int blue, int saturation) {
  const int luminance = std::max({red, green, blue, 0});
  if (luminance == 0) return {0, 0, 0, 0};
  const double s = (saturation + 1) / 2.0;
  // The display's ratio of a plane value P to the brightest B is (P + 30) / (B + 30); with the
  // brightest at 255 every ratio the display can show is reachable.
  const auto plane = [&](int channel) {
    const double ratio = (static_cast<double>(channel) / luminance - 1) / s + 1;
    return static_cast<int>(std::clamp(std::round(ratio * 285 - 30), 0.0, 255.0));
  };
  return {luminance, plane(red), plane(green), plane(blue)};
}

std::vector<std::uint8_t> EncodeStandardFits(std::span<const std::uint16_t> image,
                                             const PlaneView* planes,
                                             const FitsHeaderFields& fields,
                                             const ProcessingHistory& history,
                                             const StandardFitsExtras& extras) {
  std::vector<std::uint16_t> samples = FileSamples(image, planes, extras.saturation);
  std::size_t size = kFitsBlockBytes * 4 + samples.size() * 2;
  void* memory = std::malloc(size);
  if (memory == nullptr) return {};

  int status = 0;
  fitsfile* file = nullptr;
  fits_create_memfile(&file, &memory, &size, kFitsBlockBytes * 8, std::realloc, &status);
  long axes[3] = {kStandardFitsWidth, kRows, 3};
  fits_create_img(file, USHORT_IMG, planes != nullptr ? 3 : 2, axes, &status);
  HeaderWriter header(file);
  if (status == 0) {
    WriteHeader(header, fields, history, extras, planes != nullptr);
    status = header.status();
  }
  long first[3] = {1, 1, 1};
  fits_write_pix(file, TUSHORT, first, static_cast<long long>(samples.size()), samples.data(),
                 &status);
  fits_flush_file(file, &status);
  long long headerStart = 0, dataStart = 0, dataEnd = 0;
  fits_get_hduaddrll(file, &headerStart, &dataStart, &dataEnd, &status);
  if (file != nullptr) fits_close_file(file, &status);
  fits_clear_errmsg();

  std::vector<std::uint8_t> bytes;
  const std::size_t length =
      (static_cast<std::size_t>(dataEnd) + kFitsBlockBytes - 1) / kFitsBlockBytes * kFitsBlockBytes;
  if (status == 0 && memory != nullptr && length <= size) {
    const auto* begin = static_cast<const std::uint8_t*>(memory);
    bytes.assign(begin, begin + length);
  }
  std::free(memory);
  return bytes;
}

bool WriteStandardFits(const std::filesystem::path& path, std::span<const std::uint16_t> image,
                       const PlaneView* planes, const FitsHeaderFields& fields,
                       const ProcessingHistory& history, const StandardFitsExtras& extras,
                       int* error) {
  const std::vector<std::uint8_t> bytes =
      EncodeStandardFits(image, planes, fields, history, extras);
  if (bytes.empty()) {
    if (error != nullptr) *error = ENOMEM;
    return false;
  }
  return WriteFileAtomically(path, bytes, error);
}

std::string FitsImageShape::Describe() const {
  if (axes.empty()) return "FITS file without an image";
  std::string text = "FITS image ";
  for (std::size_t i = 0; i < axes.size(); ++i) {
    text += (i == 0 ? "" : " x ") + std::to_string(axes[i]);
  }
  return text + ", BITPIX " + std::to_string(bitpix);
}

bool FitsImageShape::Opens() const {
  if (axes.size() < 2 || axes.size() > 3) return false;
  const bool width = axes[0] == kStandardFitsWidth || axes[0] == kImageStride;
  const bool depth = axes.size() == 2 || axes[2] == 1 || axes[2] == 3;
  return width && axes[1] == kRows && depth;
}

std::string WrongShapeText(const FitsImageShape& shape) {
  return shape.Describe() + ": Corvex opens images of 510 x 290";
}

bool StartsAsFits(std::span<const std::uint8_t> firstBytes) {
  constexpr std::string_view kSimple = "SIMPLE  =";
  if (firstBytes.size() < 80) return false;
  const std::string_view card(reinterpret_cast<const char*>(firstBytes.data()), 80);
  if (!card.starts_with(kSimple)) return false;
  const std::size_t value = card.find_first_not_of(' ', kSimple.size());
  return value != std::string_view::npos && card[value] == 'T';
}

bool FileStartsAsFits(const std::filesystem::path& path) {
  const auto bytes = ReadFileBytes(path, 80);
  return bytes && StartsAsFits(*bytes);
}

int DecodeStandardFits(std::span<const std::uint8_t> bytes, int saturation,
                       StandardFitsContents& contents, std::string& problem) {
  if (!StartsAsFits(bytes)) return Fail(problem, kStandardFitsNotFits, "not a FITS file");
  OpenFits file;
  int status = 0;
  // cfitsio reads the memory only; READONLY keeps it from writing there.
  void* memory = const_cast<std::uint8_t*>(bytes.data());
  std::size_t size = bytes.size();
  fits_open_memfile(file.out(), "corvex.fits", READONLY, &memory, &size, 0, nullptr, &status);
  if (status != 0) {
    return Fail(problem, kStandardFitsDamaged,
                "the FITS file is damaged (" + CfitsioText(status) + ")");
  }
  return DecodeOpenFile(file.get(), bytes.size(), saturation, contents, problem);
}

int ReadStandardFits(const std::filesystem::path& path, int saturation,
                     StandardFitsContents& contents, std::string& problem) {
  if (!FileStartsAsFits(path)) return Fail(problem, kStandardFitsNotFits, "not a FITS file");
  OpenFits file;
  int status = 0;
  // The name is taken as it is: no cfitsio file-name syntax ("[1]", "-", "mem://") applies.
  fits_open_diskfile(file.out(), path.c_str(), READONLY, &status);
  if (status != 0) {
    return Fail(problem, kStandardFitsDamaged,
                "the FITS file cannot be read (" + CfitsioText(status) + ")");
  }
  std::error_code error;
  const std::uint64_t length = std::filesystem::file_size(path, error);
  return DecodeOpenFile(file.get(), error ? 0 : length, saturation, contents, problem);
}

}  // namespace corvex
