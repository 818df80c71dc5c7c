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
  ProgramSettings settings;
  FitsHeaderFields fields;
  const SettingsDecodeResult result =
      DecodeSettings(std::span<const std::uint8_t>(data, size), settings, fields);
  fuzz::Require(result.complete == (size >= kSettingsFileBytes),
                "exactly the files shorter than the layout are incomplete");
  for (const SettingsFieldProblem& bad : result.badFields) {
    fuzz::Require(bad.offset < kSettingsFileBytes && bad.offset < size,
                  "a bad field is named where it lies in the bytes");
  }

  const std::vector<std::uint8_t> written = EncodeSettings(settings, fields);
  fuzz::Require(written.size() == kSettingsFileBytes, "the writer keeps the file length");

  ProgramSettings reread;
  FitsHeaderFields rereadFields;
  fuzz::Require(DecodeSettings(written, reread, rereadFields).Sound(),
                "a written file reads back whole, without a bad value or a warning");
  fuzz::Require(EncodeSettings(reread, rereadFields) == written,
                "a written file reads back to the same values");
  return 0;
}
