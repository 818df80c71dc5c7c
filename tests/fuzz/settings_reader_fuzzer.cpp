// The settings reader on arbitrary bytes. Whatever the file held, the values it leaves in
// memory must make a settings file that reads back whole, without a warning, to itself:
// otherwise the file the program writes after a bad read would be no better than the old one.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "files/settings_file.h"
#include "quiet_host.h"

using namespace corvex;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzz::QuietHost host;
  ProgramSettings settings;
  FitsHeaderFields fields;
  const SettingsDecodeOutcome outcome =
      DecodeSettings(std::span<const std::uint8_t>(data, size), settings, fields, host);
  if (outcome == SettingsDecodeOutcome::kTruncated) {
    fuzz::Require(size < kSettingsFileBytes, "a whole file is not 'truncated'");
  }
  if (outcome == SettingsDecodeOutcome::kComplete) {
    fuzz::Require(size >= kSettingsFileBytes, "a short file is not read whole");
  }

  const std::vector<std::uint8_t> written = EncodeSettings(settings, fields);
  fuzz::Require(written.size() == kSettingsFileBytes, "the writer keeps the file length");

  fuzz::QuietHost rereadHost;
  ProgramSettings reread;
  FitsHeaderFields rereadFields;
  fuzz::Require(
      DecodeSettings(written, reread, rereadFields, rereadHost) == SettingsDecodeOutcome::kComplete,
      "a written file reads back whole");
  fuzz::Require(rereadHost.messages == 0, "a written file reads back without a warning");
  fuzz::Require(EncodeSettings(reread, rereadFields) == written,
                "a written file reads back to the same values");
  return 0;
}
