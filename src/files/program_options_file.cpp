#include "files/program_options_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <system_error>

#include "platform/atomic_file.h"
#include "platform/file_error.h"
#include "platform/read_file.h"

namespace corvex {

namespace {

// Every setting of corvex.conf. Adding one is adding its line here.
constexpr OptionDefinition kOptions[] = {
    {kAutosaveFormatKey, OptionKind::kChoice, "native", 0, 0, "native|standard|both",
     "What the automatic save of a capture run writes for each frame: native (IMG<n>.FIT, the "
     "program's own FITS layout), standard (IMG<n>.fits, standard FITS that Siril, astropy "
     "and other programs read) or both (the two files under one number)."},
    {kDitherKey, OptionKind::kFlag, "no", 0, 0, "",
     "Dither between the exposures of a guided series: after each frame but the last the guide "
     "star's reference moves to a new random place near where guiding started, and the next "
     "exposure waits until guiding has settled there."},
    {kDitherAmountKey, OptionKind::kWhole, "3", 2, 20, "",
     "How far a dither may move the guide star from where guiding started, in pixels of the "
     "camera that guides, on each axis. Moves are whole even pixels, so that the sensor's "
     "colour matrix lines up again."},
    {kDitherSettlePxKey, OptionKind::kReal, "0.5", 0.1, 5, "",
     "Guiding has settled after a dither when its error stays below this many pixels ..."},
    {kDitherSettleSecondsKey, OptionKind::kWhole, "5", 0, 300, "",
     "... for this many seconds."},
    {kDitherTimeoutKey, OptionKind::kWhole, "60", 1, 900, "",
     "Seconds after which the next exposure starts even when guiding has not settled (you are "
     "told so)."},
    {kTelescopeMethodKey, OptionKind::kChoice, "camera", 0, 0, "camera|indi",
     "How the telescope is moved: camera (as Corvex.ini's telescopeMethod says: LX200 commands "
     "through the camera's serial port, or the control box's relays) or indi (a mount on an "
     "INDI server, see indi.server and indi.mount)."},
    {kIndiServerKey, OptionKind::kText, "localhost:7624", 0, 0, "",
     "The INDI server of the mount, as HOST:PORT."},
    {kIndiMountKey, OptionKind::kText, "", 0, 0, "",
     "The mount's INDI device name (for example \"EQMod Mount\"); empty takes the first device "
     "on the server that has equatorial coordinates."},
};

constexpr std::size_t kMaxFileBytes = 1 << 20;
constexpr std::size_t kMaxTextValue = 200;

std::string_view Trim(std::string_view text) {
  const std::size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string_view::npos) return {};
  const std::size_t end = text.find_last_not_of(" \t");
  return text.substr(begin, end - begin + 1);
}

std::string Lower(std::string_view text) {
  std::string out(text);
  for (char& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

bool KeyCharacter(char c) {
  return std::isalnum(static_cast<unsigned char>(c)) || c == '.' || c == '_' || c == '-';
}

std::string Quoted(std::string_view text) {
  return "\"" + std::string(text) + "\"";
}

std::string RangeText(const OptionDefinition& definition) {
  const auto number = [](double v) {
    char text[32];
    const auto [end, ec] = std::to_chars(text, text + sizeof text, v);
    return ec == std::errc() ? std::string(text, end) : std::string("?");
  };
  return number(definition.low) + " to " + number(definition.high);
}

std::string ChoicesText(std::string_view choices) {
  std::string text(choices);
  std::replace(text.begin(), text.end(), '|', ',');
  const std::size_t last = text.rfind(',');
  if (last != std::string::npos) text.replace(last, 1, " or ");
  std::string spaced;
  for (char c : text) spaced += c == ',' ? std::string(", ") : std::string(1, c);
  return spaced;
}

// One line of the file, split.
struct Line {
  std::string_view text;  // without its line end
  bool crlf = false;
  std::string key;  // lower case; empty for comments, blank and unreadable lines
  std::string_view value;
  bool malformed = false;
};

std::vector<Line> SplitLines(std::string_view text) {
  std::vector<Line> lines;
  std::size_t at = 0;
  while (at < text.size()) {
    std::size_t end = text.find('\n', at);
    const bool last = end == std::string_view::npos;
    if (last) end = text.size();
    Line line;
    line.text = text.substr(at, end - at);
    if (!line.text.empty() && line.text.back() == '\r') {
      line.text.remove_suffix(1);
      line.crlf = true;
    }
    const std::string_view content = Trim(line.text);
    if (!content.empty() && content.front() != '#') {
      const std::size_t equals = content.find('=');
      const std::string_view key =
          Trim(content.substr(0, equals == std::string_view::npos ? 0 : equals));
      if (equals == std::string_view::npos || key.empty() ||
          !std::all_of(key.begin(), key.end(), KeyCharacter)) {
        line.malformed = true;
      } else {
        line.key = Lower(key);
        line.value = Trim(content.substr(equals + 1));
      }
    }
    lines.push_back(line);
    at = end + 1;
  }
  return lines;
}

std::string ValueLine(std::string_view key, std::string_view value) {
  return std::string(key) + " = " + std::string(value);
}

// The help text as comment lines of at most about 90 characters.
std::string HelpLines(std::string_view help) {
  std::string out;
  std::string line = "#";
  std::size_t at = 0;
  while (at < help.size()) {
    std::size_t end = help.find(' ', at);
    if (end == std::string_view::npos) end = help.size();
    const std::string_view word = help.substr(at, end - at);
    if (line.size() > 1 && line.size() + 1 + word.size() > 90) {
      out += line + "\n";
      line = "#";
    }
    line += " " + std::string(word);
    at = end + 1;
  }
  return out + line + "\n";
}

}  // namespace

std::span<const OptionDefinition> ProgramOptionTable() {
  return kOptions;
}

const OptionDefinition* FindProgramOption(std::string_view key) {
  const std::string lower = Lower(key);
  for (const OptionDefinition& definition : kOptions) {
    if (definition.key == lower) return &definition;
  }
  return nullptr;
}

std::optional<std::string> CheckOptionValue(const OptionDefinition& definition,
                                            std::string_view value, std::string& why) {
  value = Trim(value);
  switch (definition.kind) {
    case OptionKind::kFlag: {
      const std::string lower = Lower(value);
      if (lower == "yes" || lower == "true" || lower == "on" || lower == "1") return "yes";
      if (lower == "no" || lower == "false" || lower == "off" || lower == "0") return "no";
      why = "is not yes or no";
      return std::nullopt;
    }
    case OptionKind::kWhole: {
      long long number = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
          number < definition.low || number > definition.high) {
        why = "is not a whole number from " + RangeText(definition);
        return std::nullopt;
      }
      return std::to_string(number);
    }
    case OptionKind::kReal: {
      double number = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), number);
      if (value.empty() || ec != std::errc() || end != value.data() + value.size() ||
          !std::isfinite(number) || number < definition.low || number > definition.high) {
        why = "is not a number from " + RangeText(definition);
        return std::nullopt;
      }
      char text[32];
      const auto [textEnd, textEc] = std::to_chars(text, text + sizeof text, number);
      return textEc == std::errc() ? std::string(text, textEnd) : std::string(value);
    }
    case OptionKind::kChoice: {
      const std::string lower = Lower(value);
      std::string_view choices = definition.choices;
      while (!choices.empty()) {
        const std::size_t bar = choices.find('|');
        const std::string_view choice = choices.substr(0, bar);
        if (!lower.empty() && lower == choice) return std::string(choice);
        choices = bar == std::string_view::npos ? std::string_view() : choices.substr(bar + 1);
      }
      why = "is not " + ChoicesText(definition.choices);
      return std::nullopt;
    }
    case OptionKind::kText: {
      const bool control = std::any_of(value.begin(), value.end(), [](char c) {
        return static_cast<unsigned char>(c) < 32 || c == 127;
      });
      if (control || value.size() > kMaxTextValue) {
        why = "holds control characters or more than 200 characters";
        return std::nullopt;
      }
      return std::string(value);
    }
  }
  why = "cannot be read";
  return std::nullopt;
}

ProgramOptions::ProgramOptions() {
  for (const OptionDefinition& definition : kOptions)
    values_[std::string(definition.key)] = definition.defaultValue;
}

const std::string& ProgramOptions::Text(std::string_view key) const {
  const auto it = values_.find(Lower(key));
  if (it == values_.end()) {
    static const std::string kNone;
    return kNone;
  }
  return it->second;
}

bool ProgramOptions::Flag(std::string_view key) const {
  return Text(key) == "yes";
}

long long ProgramOptions::Whole(std::string_view key) const {
  const std::string& text = Text(key);
  long long value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

double ProgramOptions::Real(std::string_view key) const {
  const std::string& text = Text(key);
  double value = 0;
  std::from_chars(text.data(), text.data() + text.size(), value);
  return value;
}

bool ProgramOptions::Set(std::string_view key, std::string_view value, std::string* why) {
  const OptionDefinition* definition = FindProgramOption(key);
  std::string reason;
  if (definition == nullptr) {
    if (why != nullptr) *why = "is not a setting";
    return false;
  }
  const auto checked = CheckOptionValue(*definition, value, reason);
  if (!checked) {
    if (why != nullptr) *why = reason;
    return false;
  }
  values_[std::string(definition->key)] = *checked;
  return true;
}

OptionsReadResult ParseProgramOptions(std::string_view text, ProgramOptions& options) {
  OptionsReadResult result;
  std::map<std::string, int> firstLine;
  const std::vector<Line> lines = SplitLines(text);
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const Line& line = lines[i];
    const int number = static_cast<int>(i) + 1;
    const std::string where = "line " + std::to_string(number) + ": ";
    if (line.malformed) {
      result.problems.push_back(where + Quoted(Trim(line.text)) +
                                " is not \"key = value\" and is not used");
      continue;
    }
    if (line.key.empty()) continue;
    const OptionDefinition* definition = FindProgramOption(line.key);
    if (definition == nullptr) {
      result.unknownKeys.push_back(where + line.key +
                                   " is not a setting of this version; the line is kept");
      continue;
    }
    if (const auto [it, added] = firstLine.emplace(line.key, number); !added) {
      result.problems.push_back(where + line.key + " is set again; this line counts, line " +
                                std::to_string(it->second) + " does not");
      it->second = number;
    }
    std::string why;
    if (!options.Set(line.key, line.value, &why)) {
      options.Set(line.key, definition->defaultValue);
      result.problems.push_back(where + line.key + " = " + Quoted(line.value) + " " + why + "; " +
                                std::string(definition->defaultValue) + " is used");
    }
  }
  return result;
}

OptionsReadResult ReadProgramOptions(const std::filesystem::path& path, ProgramOptions& options) {
  OptionsReadResult result;
  std::error_code ec;
  if (!std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    result.missing = true;
    return result;
  }
  int error = 0;
  const auto bytes = ReadFileBytes(path, kMaxFileBytes + 1, &error);
  if (!bytes) {
    result.error = error;
    return result;
  }
  if (bytes->size() > kMaxFileBytes) {
    result.error = EFBIG;
    return result;
  }
  return ParseProgramOptions(
      std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()), options);
}

std::string UpdateProgramOptionsText(std::string_view text, const ProgramOptions& options,
                                     std::span<const std::string_view> keys) {
  std::vector<Line> lines = SplitLines(text);
  std::vector<std::string> replaced(lines.size());
  std::vector<bool> isReplaced(lines.size(), false);
  std::string added;
  for (const std::string_view key : keys) {
    const OptionDefinition* definition = FindProgramOption(key);
    if (definition == nullptr) continue;
    const std::string value = ValueLine(definition->key, options.Text(definition->key));
    bool found = false;
    for (std::size_t i = lines.size(); i-- > 0;) {
      if (lines[i].key == definition->key) {
        replaced[i] = value;
        isReplaced[i] = true;
        found = true;
        break;
      }
    }
    if (!found) added += "\n" + HelpLines(definition->help) + value + "\n";
  }
  std::string out;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    out += isReplaced[i] ? replaced[i] : std::string(lines[i].text);
    out += lines[i].crlf ? "\r\n" : "\n";
  }
  // A file that did not end its last line keeps it as it was when nothing follows.
  if (!text.empty() && text.back() != '\n' && added.empty() && !lines.empty() &&
      !lines.back().crlf) {
    out.pop_back();
  }
  return out + added;
}

std::string NewProgramOptionsText(const ProgramOptions& options) {
  std::string text =
      "# Corvex settings that Corvex.ini has no place for. One setting a line, \"key = value\";\n"
      "# lines starting with # are comments. Corvex changes only the lines of the settings it\n"
      "# sets and keeps everything else.\n";
  for (const OptionDefinition& definition : kOptions) {
    text += "\n" + HelpLines(definition.help) +
            ValueLine(definition.key, options.Text(definition.key)) + "\n";
  }
  return text;
}

bool SaveProgramOptions(const std::filesystem::path& path, const ProgramOptions& options,
                        std::span<const std::string_view> keys, int* error) {
  std::string text;
  std::error_code ec;
  if (std::filesystem::exists(std::filesystem::symlink_status(path, ec))) {
    int readError = 0;
    const auto bytes = ReadFileBytes(path, kMaxFileBytes + 1, &readError);
    if (!bytes || bytes->size() > kMaxFileBytes) {
      if (error != nullptr) *error = bytes ? EFBIG : readError;
      return false;
    }
    const std::string_view old(reinterpret_cast<const char*>(bytes->data()), bytes->size());
    text = UpdateProgramOptionsText(old, options, keys);
    // Values the file already holds need no write: the file keeps its date and its disk.
    if (text == old) {
      if (error != nullptr) *error = 0;
      return true;
    }
  } else {
    std::filesystem::create_directories(path.parent_path(), ec);
    text = NewProgramOptionsText(options);
  }
  const auto* begin = reinterpret_cast<const std::uint8_t*>(text.data());
  return WriteFileAtomically(path, std::span<const std::uint8_t>(begin, text.size()), error);
}

std::filesystem::path ProgramOptionsPath(const std::filesystem::path& settingsFile) {
  return settingsFile.parent_path() / kProgramOptionsFileName;
}

}  // namespace corvex
