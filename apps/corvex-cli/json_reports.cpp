#include "json_reports.h"

#include <algorithm>
#include <numbers>

#include "commands/quick_save.h"
#include "corvex.h"
#include "files/image_loader.h"
#include "files/raw_file.h"
#include "files/settings_file.h"
#include "json_output.h"
#include "platform/read_file.h"

namespace corvex::cli {

namespace {

// A header text without the spaces that pad the note cards.
std::string Trimmed(const std::string& text) {
  const std::size_t end = text.find_last_not_of(' ');
  return end == std::string::npos ? "" : text.substr(0, end + 1);
}

}  // namespace

void ReportImageFile(const Corvex& corvex, const std::filesystem::path& file) {
  JsonReport& report = JsonReport::Get();
  if (!report.active()) return;
  const std::optional<std::uint64_t> length = RegularFileLength(file);
  const ImageFileFormat* format = length ? FindImageFileFormat(*length) : nullptr;
  if (format == nullptr) return;
  const FitsHeaderFields& fits = corvex.fits;
  const int columns = format->fits ? kImageStride : kRawRowSamples;
  JsonObject header;
  header.Text("OBJECT", Trimmed(fits.object))
      .Text("TELESCOP", Trimmed(fits.telescope))
      .Text("INSTRUME", Trimmed(fits.instrument))
      .Text("OBSERVER", Trimmed(fits.observer))
      .Text("ORIGIN", Trimmed(fits.origin))
      .Text("DATE-OBS", Trimmed(fits.observationDate))
      .Text("TIME-OBS", Trimmed(fits.observationTime))
      .Text("FILTER", Trimmed(fits.filterName))
      .Number("EXPTIME", fits.exposureSeconds)
      .Number("PIXWIDTH", fits.pixelWidth)
      .Number("PIXHEIGH", fits.pixelHeight)
      .Number("FOCALLEN", fits.focalLength)
      .Number("APERTURE", fits.aperture)
      .Text("HISTORY", Trimmed(fits.historyNote))
      .Text("COMMENT", Trimmed(fits.commentText));
  JsonArray history;
  for (const std::string& entry : corvex.history.entries) {
    if (!entry.empty()) history.Text(entry);
  }
  // Over the columns and rows the file actually holds.
  unsigned low = 65535, high = 0;
  double sum = 0;
  for (int row = 0; row < format->rows; ++row) {
    for (int col = 0; col < columns; ++col) {
      const unsigned v = corvex.store.currentImage[row * kImageStride + col];
      low = std::min(low, v);
      high = std::max(high, v);
      sum += v;
    }
  }
  JsonObject samples;
  samples.Whole("min", low)
      .Whole("max", high)
      .Number("mean", sum / (static_cast<double>(columns) * format->rows));
  report.fields()
      .Text("file", file.string())
      .Text("kind", format->description)
      .Whole("bytes", static_cast<long long>(format->length))
      .Text("format", format->fits ? "fits" : "native raw")
      .Whole("columns", columns)
      .Whole("rows", format->rows)
      .Flag("colour_planes", format->colourPlanes);
  if (format->fits) {
    report.fields().Text("encoding", fits.unsignedFormat ? "unsigned" : "signed");
  } else {
    report.fields().Null("encoding");
  }
  report.fields()
      .Raw("header", header.Json())
      .Raw("history", history.Json())
      .Raw("samples", samples.Json());
}

namespace {

std::string BareSettingValue(std::string_view name, const std::string& listed) {
  // The listing quotes texts and explains the direction letters; a script wants the value
  // itself, as settings --set takes it.
  if (listed.size() >= 2 && listed.front() == '"' && listed.back() == '"') {
    return listed.substr(1, listed.size() - 2);
  }
  if (name == "directionTable") return listed.substr(0, listed.find(' '));
  return listed;
}

}  // namespace

void ReportSettings(const Corvex& corvex) {
  JsonReport& report = JsonReport::Get();
  if (!report.active()) return;
  JsonObject values;
  for (const auto& [name, value] : ListSettings(corvex.state.settings, corvex.fits)) {
    values.Text(name, BareSettingValue(name, value));
  }
  report.fields()
      .Text("file", corvex.paths.SettingsFile().string())
      .Raw("settings", values.Json())
      .Text("autosavePath", AutosaveFilePath(corvex, 1).parent_path().string());
}

void ReportTraining(const Corvex& corvex, bool guider) {
  JsonReport& report = JsonReport::Get();
  if (!report.active()) return;
  JsonObject trained;
  if (guider) {
    const GuiderTraining& t = corvex.guiding.training;
    const auto pair = [](double x, double y) {
      return JsonArray().Raw(JsonNumber(x)).Raw(JsonNumber(y)).Json();
    };
    trained.Text("camera", "guider")
        .Number("ra_angle_deg", t.trainedRaAngle * 180 / std::numbers::pi)
        .Raw("west_move_px_per_s", pair(t.raMotionX, t.raMotionY))
        .Raw("north_move_px_per_s", pair(t.decMotionX, t.decMotionY))
        .Whole("ra_backlash_ms", t.raBacklashMs)
        .Whole("dec_backlash_ms", t.decBacklashMs)
        .Whole("move_seconds", t.trainingSeconds);
  } else {
    // As the settings file keeps them for self-guiding.
    const ProgramSettings& s = corvex.state.settings;
    trained.Text("camera", "main")
        .Whole("selfGuideRaRate", s.selfGuideRaRate)
        .Whole("selfGuideDecRate", s.selfGuideDecRate)
        .Whole("selfGuideRaBacklash", s.selfGuideRaBacklash)
        .Whole("selfGuideDecBacklash", s.selfGuideDecBacklash)
        .Whole("move_seconds", s.selfGuideTrainingSeconds);
  }
  report.fields().Raw("training", trained.Json());
}

}  // namespace corvex::cli
