// Writes a FITS file of known content for the third-party readers to check.
//
//   write_sample_fits OUT [--unsigned] [--colour] [--date TEXT] [--long-texts]
//
// Samples: value (row * 512 + col) * 7 mod 65536, except for a few fixed spots that hold the
// extremes and the values either side of the signed offset (see check_fits.py, which knows
// the same pattern). With --colour the three planes follow, each with its own pattern.
// DATE-OBS is "7/12/06", a short day/month/year text, unless --date gives another.
// --long-texts fills every processing history slot and the note and comment to the brim.
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "files/fits_file.h"
#include "files/fits_header_fields.h"
#include "processing/processing_history.h"
#include "state/image_store.h"

namespace {

using corvex::kImageStride;

struct FixedSample {
  int row;
  int col;
  std::uint16_t value;
};

// Kept in step with FIXED_SAMPLES in check_fits.py.
constexpr FixedSample kFixedSamples[] = {
    {0, 0, 0},     {0, 1, 65535},     {0, 2, 32767}, {0, 3, 32768},
    {144, 200, 1}, {144, 201, 65534}, {289, 510, 0}, {289, 511, 65535},
};

void FillSamples(corvex::ImageBuffer& image) {
  for (int i = 0; i < corvex::kImageValues; ++i) {
    image[i] = static_cast<std::uint16_t>((static_cast<std::uint32_t>(i) * 7u) % 65536u);
  }
  for (const FixedSample& s : kFixedSamples) image[s.row * kImageStride + s.col] = s.value;
}

void FillPlanes(corvex::ColourPlanes& planes) {
  for (int i = 0; i < corvex::kImageValues; ++i) {
    planes.red[i] = static_cast<std::uint8_t>((i * 3) % 256);
    planes.green[i] = static_cast<std::uint8_t>((i * 5 + 1) % 256);
    planes.blue[i] = static_cast<std::uint8_t>(255 - i % 256);
  }
}

}  // namespace

int main(int argc, char** argv) {
  const char* out = nullptr;
  bool unsignedFormat = false;
  bool colour = false;
  std::string date = "7/12/06";
  bool longTexts = false;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--unsigned") == 0) {
      unsignedFormat = true;
    } else if (std::strcmp(argv[i], "--colour") == 0) {
      colour = true;
    } else if (std::strcmp(argv[i], "--long-texts") == 0) {
      longTexts = true;
    } else if (std::strcmp(argv[i], "--date") == 0 && i + 1 < argc) {
      date = argv[++i];
    } else if (argv[i][0] != '-' && out == nullptr) {
      out = argv[i];
    } else {
      out = nullptr;
      break;
    }
  }
  if (out == nullptr) {
    std::fprintf(stderr,
                 "usage: write_sample_fits OUT [--unsigned] [--colour] [--date TEXT] "
                 "[--long-texts]\n");
    return 2;
  }

  corvex::FitsHeaderFields fields;
  fields.object = "M42 Orion";
  fields.telescope = "LX200 10in";
  fields.observer = "A. Observer";
  fields.observationDate = date;
  fields.observationTime = "22:15:03";
  fields.exposureSeconds = 12.5;
  fields.pixelWidth = 0.0098;
  fields.pixelHeight = 0.0126;
  fields.focalLength = 1600;
  fields.aperture = 254;
  fields.commentText = "Known sample pattern for reader checks";
  fields.unsignedFormat = unsignedFormat;

  corvex::ProcessingHistory history;
  corvex::AddHistoryLabel(history, "Dark frame subtracted");
  corvex::AddHistoryLabel(history, "Colour converted");
  if (longTexts) {
    for (std::size_t i = 2; i < corvex::kHistoryEntries; ++i) {
      corvex::AddHistoryLabel(
          history, "Step " + std::to_string(i + 1) + std::string(corvex::kHistoryEntryLength, '.'));
    }
    std::string note;
    std::string comment;
    for (int word = 0; note.size() < 255; ++word) note += "note" + std::to_string(word) + " ";
    for (int word = 0; comment.size() < 255; ++word) {
      comment += "comment" + std::to_string(word) + " ";
    }
    fields.historyNote = note.substr(0, 255);
    fields.commentText = comment.substr(0, 255);
  }

  corvex::ImageBuffer image;
  FillSamples(image);
  corvex::ColourPlanes planes;
  FillPlanes(planes);
  const corvex::PlaneView view{planes.red.data(), planes.green.data(), planes.blue.data()};

  if (corvex::WriteFitsFile(out, image, fields, history, colour ? &view : nullptr) !=
      corvex::kFitsOk) {
    std::fprintf(stderr, "could not write %s\n", out);
    return 1;
  }
  return 0;
}
