// Reading, checking, writing and listing the settings file.
#include "files/settings_file.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <optional>
#include <string_view>
#include <system_error>

#include "files/fits_cards.h"
#include "platform/atomic_file.h"
#include "platform/byte_order.h"
#include "platform/file_error.h"
#include "platform/read_file.h"
#include "state/messages.h"

namespace corvex {

namespace {

// How a 16-bit field is read, checked and written.
struct U16Rule {
  bool unsignedRead = false;  // else the 16 bits are sign-extended
  bool checked = false;       // values outside min..max fail the read check
  int min = 0;
  int max = 0;
  std::optional<int> fallback;       // a failed check stores this and reading goes on
  std::optional<int> writtenFor50s;  // what a value of 50 or more is written as

  U16Rule Unsigned() const {
    U16Rule r = *this;
    r.unsignedRead = true;
    return r;
  }
  U16Rule Range(int low, int high) const {
    U16Rule r = *this;
    r.checked = true;
    r.min = low;
    r.max = high;
    return r;
  }
  U16Rule OrElse(int value) const {
    U16Rule r = *this;
    r.fallback = value;
    return r;
  }
  U16Rule FiftyOrMoreAs(int value) const {
    U16Rule r = *this;
    r.writtenFor50s = value;
    return r;
  }
};
constexpr U16Rule kPlain{};

// How a one-letter flag is read.
enum class FlagRule {
  kLenient,      // any letter but the true one means false
  kStrict,       // a letter other than the two fails the read check
  kWarnAndKeep,  // a letter other than the two is reported and the old value kept
};

constexpr std::string_view kFastParallelWarning = "Failed to read fast_par value";
constexpr std::string_view kFastParallelCaption = "Corvex ";
constexpr std::size_t kAutosaveDirectoryBytes = 100;
constexpr std::size_t kFilterNameBytes = 10;
constexpr std::size_t kDirectoryApostropheLimit = 80;  // an apostrophe up to here ends the text
constexpr const char* kDefaultAutosaveDirectory = "c:\\AUTOSAVE";
// More than a settings file ever holds, so that a damaged copy keeps whatever was there.
constexpr std::size_t kSettingsReadLimit = 64 * 1024;

// The file's letters for north, south, east and west, from the table kept for east, west,
// north and south.
constexpr int kFileToTable[4] = {2, 3, 0, 1};

char ComPortForCode(int code) {
  return code >= 1 && code <= 4 ? static_cast<char>('0' + code) : '5';
}
int CodeForComPort(char port) {
  return port >= '1' && port <= '4' ? port - '0' : 5;
}

// The one list of fields, in file order. Every visitor (writer, reader, lister) walks it, so
// the three can never disagree about the layout.
template <typename Visitor, typename Settings, typename Fields>
void VisitSettingsFields(Visitor& v, Settings& s, Fields& f) {
  v.U16("lastFileNumber", s.lastFileNumber, kPlain.Unsigned());
  v.U16("utOffsetHours", f.utOffsetHours, kPlain);
  v.YesNo("lightPollutionCorrection", s.lightPollutionCorrection, FlagRule::kLenient);
  v.YesNo("lineOffset", s.lineOffset, FlagRule::kLenient);
  v.YesNo("pixelOffset", s.pixelOffset, FlagRule::kLenient);
  v.YesNo("fastParallel", s.fastParallel, FlagRule::kWarnAndKeep);
  v.U16("reservedChoiceA", s.reservedChoiceA, kPlain);
  v.U16("starMaskRadius", s.starMaskRadius, kPlain);
  v.YesNo("antiAlias", s.antiAlias, FlagRule::kLenient);
  v.YesNo("weakStretch", s.weakStretch, FlagRule::kLenient);
  v.YesNo("strongStretch", s.strongStretch, FlagRule::kLenient);
  v.YesNo("irFilterUsed", s.irFilterUsed, FlagRule::kLenient);
  v.U16("saturationFactor", s.saturationFactor, kPlain.Unsigned().Range(1, 9).OrElse(3));
  v.U16("reservedChoiceB", s.reservedChoiceB, kPlain);
  v.Letter("backgroundColour", s.backgroundColour, "lgr");
  v.ZeroOne("focusOneSecondDelay", s.focusOneSecondDelay, FlagRule::kLenient);
  v.YesNo("userStretch", s.userStretch, FlagRule::kLenient);
  v.U16("userStretchValue", s.userStretchValue, kPlain.Range(1, 36));
  v.YesNo("highPassLowPower", s.highPassLowPower, FlagRule::kStrict);
  v.YesNo("unsharpMask", s.unsharpMask, FlagRule::kStrict);
  v.U16("unsharpDiameter", s.unsharpDiameter, kPlain.Unsigned().Range(1, 6));
  v.U16("unsharpPower", s.unsharpPower, kPlain.Unsigned().Range(1, 6));
  v.YesNo("removeBackground", s.removeBackground, FlagRule::kStrict);
  v.YesNo("disableInterruptsDuringDownload", s.disableInterruptsDuringDownload, FlagRule::kStrict);
  v.YesNo("reservedFlagA", s.reservedFlagA, FlagRule::kLenient);
  v.Card("object", "OBJECT  = '", f.object);
  v.Card("telescope", "TELESCOP= '", f.telescope);
  v.Card("instrument", "INSTRUME= '", f.instrument);
  v.Card("observer", "OBSERVER= '", f.observer);
  v.Card("origin", "ORIGIN  = '", f.origin);
  v.Note("historyNote", "HISTORY = '", f.historyNote);
  v.Note("commentText", "COMMENT = '", f.commentText);
  v.YesNo("alternativeColourCoefficients", s.alternativeColourCoefficients, FlagRule::kLenient);
  v.ComPort("comPortChar", s.comPortChar);
  v.U16("selfGuideTrainingSeconds", s.selfGuideTrainingSeconds, kPlain);
  v.U16("selfGuideRaRate", s.selfGuideRaRate, kPlain);
  v.U16("selfGuideDecRate", s.selfGuideDecRate, kPlain);
  v.U16("selfGuideRaBacklash", s.selfGuideRaBacklash, kPlain.Range(0, 20));
  v.U16("selfGuideDecBacklash", s.selfGuideDecBacklash, kPlain);
  v.ZeroOne("ignoreSmallDrift", s.ignoreSmallDrift, FlagRule::kStrict);
  v.Letter("telescopeMethod", s.telescopeMethod, "lnb");
  v.U16("selfGuideRaHysteresis", s.selfGuideRaHysteresis, kPlain);
  v.U16("selfGuideDecHysteresis", s.selfGuideDecHysteresis, kPlain);
  v.Directions("directionTable", s.directionTable);
  v.YesNo("beepWhenDone", s.beepWhenDone, FlagRule::kLenient);
  v.YesNo("directionChangeDelay", s.directionChangeDelay, FlagRule::kLenient);
  v.Directory("autosaveDirectory", s.autosaveDirectory);
  v.YesNo("portChosen", s.portChosen, FlagRule::kLenient);
  v.YesNo("verboseCameraMessages", s.verboseCameraMessages, FlagRule::kLenient);
  v.ZeroOne("reservedFlagB", s.reservedFlagB, FlagRule::kStrict);
  v.U16("filterCount", s.filterCount, kPlain);
  static constexpr const char* kFilterNameFields[8] = {
      "filterNames[1]", "filterNames[2]", "filterNames[3]", "filterNames[4]",
      "filterNames[5]", "filterNames[6]", "filterNames[7]", "filterNames[8]"};
  for (std::size_t i = 0; i < s.filterNames.size(); ++i) {
    v.Text(kFilterNameFields[i], s.filterNames[i], kFilterNameBytes);
  }
  v.YesNo("filterWheelAvailable", s.filterWheelAvailable, FlagRule::kLenient);
  v.U16("guiderRaRate", s.guiderRaRate, kPlain.FiftyOrMoreAs(10));
  v.U16("guiderDecRate", s.guiderDecRate, kPlain.FiftyOrMoreAs(10));
  v.U16("guiderRaBacklash", s.guiderRaBacklash, kPlain.Range(0, 30).FiftyOrMoreAs(10));
  v.U16("guiderDecBacklash", s.guiderDecBacklash, kPlain.FiftyOrMoreAs(0));
  v.U16("guiderRaHysteresis", s.guiderRaHysteresis, kPlain.FiftyOrMoreAs(10));
  v.U16("guiderDecHysteresis", s.guiderDecHysteresis, kPlain.FiftyOrMoreAs(10));
  v.YesNo("ignoreBacklash", s.ignoreBacklash, FlagRule::kLenient);
  v.RaAngle("defaultRaAngle", s.defaultRaAngle);
  v.YesNo("ignoreRaAngle", s.ignoreRaAngle, FlagRule::kLenient);
  v.YesNo("acceptAnyProductId", s.acceptAnyProductId, FlagRule::kLenient);
}

// ---- Writing ----

class SettingsWriter {
 public:
  std::vector<std::uint8_t> bytes;

  void U16(const char*, int value, const U16Rule& rule) {
    if (rule.writtenFor50s && value >= 50) value = *rule.writtenFor50s;
    PutU16(value);
  }
  void YesNo(const char*, bool value, FlagRule) { bytes.push_back(value ? 'y' : 'n'); }
  void ZeroOne(const char*, bool value, FlagRule) { bytes.push_back(value ? '1' : '0'); }
  void Letter(const char*, char value, std::string_view) {
    bytes.push_back(static_cast<std::uint8_t>(value));
  }
  void Card(const char*, std::string_view keyword, const std::string& text) {
    PutCard(MakeTextCard(keyword, text));
  }
  void Note(const char*, std::string_view keyword, const std::string& text) {
    for (const corvex::Card& card : MakeNoteCards(keyword, text)) PutCard(card);
  }
  void ComPort(const char*, char port) { PutU16(CodeForComPort(port)); }
  void Directions(const char*, const std::array<char, 4>& table) {
    for (int tableIndex : kFileToTable) {
      bytes.push_back(static_cast<std::uint8_t>(table[tableIndex]));
    }
  }
  // A zero-terminated string in a buffer of `size` bytes; longer texts are cut.
  void Text(const char*, const std::string& text, std::size_t size) {
    const std::size_t kept = std::min(text.size(), size - 1);
    bytes.insert(bytes.end(), text.begin(), text.begin() + kept);
    bytes.insert(bytes.end(), size - kept, 0);
  }
  void Directory(const char* name, const std::string& text) {
    Text(name, text, kAutosaveDirectoryBytes);
  }
  void RaAngle(const char*, double angle) {
    PutU16(std::isfinite(angle) ? static_cast<int>(std::trunc(std::clamp(angle, -1e6, 1e6))) : 0);
  }

 private:
  void PutU16(int value) {
    std::uint8_t le[2];
    StoreLe16(le, static_cast<std::uint16_t>(value));
    bytes.insert(bytes.end(), le, le + 2);
  }
  void PutCard(const corvex::Card& card) { bytes.insert(bytes.end(), card.begin(), card.end()); }
};

// ---- Reading ----

class SettingsReader {
 public:
  explicit SettingsReader(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

  SettingsDecodeResult result;

  void U16(const char* name, int& value, const U16Rule& rule) {
    const std::uint8_t* p = Take(2);
    if (p == nullptr) return;
    const std::uint16_t raw = LoadLe16(p);
    const int read = rule.unsignedRead ? raw : static_cast<std::int16_t>(raw);
    if (rule.checked && (read < rule.min || read > rule.max)) {
      if (rule.fallback) {
        value = *rule.fallback;
        result.saturationReplaced = true;
      } else {
        Bad(name);
      }
      return;
    }
    value = read;
  }
  void YesNo(const char* name, bool& value, FlagRule rule) { Flag(name, value, rule, 'y', 'n'); }
  void ZeroOne(const char* name, bool& value, FlagRule rule) { Flag(name, value, rule, '1', '0'); }
  void Letter(const char* name, char& value, std::string_view allowed) {
    const std::uint8_t* p = Take(1);
    if (p == nullptr) return;
    if (allowed.find(static_cast<char>(*p)) == std::string_view::npos) return Bad(name);
    value = static_cast<char>(*p);
  }
  void Card(const char*, std::string_view, std::string& text) {
    const std::uint8_t* p = Take(kCardBytes);
    if (p != nullptr) text = CardText(reinterpret_cast<const char*>(p));
  }
  void Note(const char*, std::string_view, std::string& text) {
    const std::uint8_t* p = Take(kNoteCards * kCardBytes);
    if (p != nullptr) text = JoinNoteCards(reinterpret_cast<const char*>(p));
  }
  void ComPort(const char*, char& port) {
    const std::uint8_t* p = Take(2);
    if (p != nullptr) port = ComPortForCode(static_cast<std::int16_t>(LoadLe16(p)));
  }
  // East and west must be the letters 'e' and 'w', north and south 'n' and 's': any other
  // letter would be sent to the mount as a move direction.
  void Directions(const char* name, std::array<char, 4>& table) {
    const std::uint8_t* p = Take(4);
    if (p == nullptr) return;
    const auto isNorthSouth = [](std::uint8_t c) { return c == 'n' || c == 's'; };
    const auto isEastWest = [](std::uint8_t c) { return c == 'e' || c == 'w'; };
    if (!isNorthSouth(p[0]) || !isNorthSouth(p[1]) || !isEastWest(p[2]) || !isEastWest(p[3])) {
      return Bad(name);
    }
    for (int i = 0; i < 4; ++i) table[kFileToTable[i]] = static_cast<char>(p[i]);
  }
  void Text(const char*, std::string& text, std::size_t size) {
    const std::uint8_t* p = Take(size);
    if (p == nullptr) return;
    text.assign(reinterpret_cast<const char*>(p), std::find(p, p + size, 0) - p);
  }
  // A text(100) in which an apostrophe among characters 2 to 80 also ends the text.
  void Directory(const char*, std::string& text) {
    std::string read;
    Text(nullptr, read, kAutosaveDirectoryBytes);
    if (!result.complete) return;
    const std::size_t apostrophe = read.find('\'', 1);
    if (apostrophe != std::string::npos && apostrophe < kDirectoryApostropheLimit) {
      read.resize(apostrophe);
    }
    text = std::move(read);
  }
  void RaAngle(const char*, double& angle) {
    const std::uint8_t* p = Take(2);
    if (p != nullptr) angle = static_cast<std::int16_t>(LoadLe16(p));
  }

 private:
  // The next n bytes, or nullptr once the bytes have run out. `fieldStart_` remembers where
  // the field being read begins, for naming a bad one.
  const std::uint8_t* Take(std::size_t n) {
    if (!result.complete) return nullptr;
    if (bytes_.size() - pos_ < n) {
      result.complete = false;
      return nullptr;
    }
    fieldStart_ = pos_;
    const std::uint8_t* p = bytes_.data() + pos_;
    pos_ += n;
    return p;
  }
  void Bad(const char* name) { result.badFields.push_back({name, fieldStart_}); }
  void Flag(const char* name, bool& value, FlagRule rule, char yes, char no) {
    const std::uint8_t* p = Take(1);
    if (p == nullptr) return;
    const bool known = *p == yes || *p == no;
    if (!known && rule == FlagRule::kStrict) return Bad(name);
    if (!known && rule == FlagRule::kWarnAndKeep) {
      result.fastParallelUnknown = true;
      return;
    }
    value = *p == yes;
  }

  std::span<const std::uint8_t> bytes_;
  std::size_t pos_ = 0;
  std::size_t fieldStart_ = 0;
};

// ---- Listing ----

class SettingsLister {
 public:
  std::vector<std::pair<std::string, std::string>> rows;

  void U16(const char* name, int value, const U16Rule&) { Add(name, std::to_string(value)); }
  void YesNo(const char* name, bool value, FlagRule) { Add(name, value ? "y" : "n"); }
  void ZeroOne(const char* name, bool value, FlagRule) { Add(name, value ? "1" : "0"); }
  void Letter(const char* name, char value, std::string_view) { Add(name, std::string(1, value)); }
  void Card(const char* name, std::string_view, const std::string& text) { Quoted(name, text); }
  void Note(const char* name, std::string_view, const std::string& text) { Quoted(name, text); }
  void ComPort(const char* name, char port) { Add(name, std::string(1, port)); }
  void Directions(const char* name, const std::array<char, 4>& table) {
    Add(name, std::string(table.begin(), table.end()) + " (east, west, north, south)");
  }
  void Text(const char* name, const std::string& text, std::size_t) { Quoted(name, text); }
  void Directory(const char* name, const std::string& text) { Quoted(name, text); }
  void RaAngle(const char* name, double angle) { Add(name, std::to_string(angle)); }

 private:
  void Add(const char* name, std::string value) { rows.emplace_back(name, std::move(value)); }
  void Quoted(const char* name, const std::string& text) { Add(name, "\"" + text + "\""); }
};

// An empty directory means the default one.
void DeriveAutosaveDirectory(ProgramSettings& settings) {
  if (settings.autosaveDirectory.empty()) settings.autosaveDirectory = kDefaultAutosaveDirectory;
}

}  // namespace

std::vector<std::uint8_t> EncodeSettings(const ProgramSettings& settings,
                                         const FitsHeaderFields& fields) {
  SettingsWriter writer;
  writer.bytes.reserve(kSettingsFileBytes);
  VisitSettingsFields(writer, settings, fields);
  return std::move(writer.bytes);
}

SettingsDecodeResult DecodeSettings(std::span<const std::uint8_t> bytes, ProgramSettings& settings,
                                    FitsHeaderFields& fields) {
  SettingsReader reader(bytes);
  VisitSettingsFields(reader, settings, fields);
  return std::move(reader.result);
}

std::vector<std::pair<std::string, std::string>> ListSettings(const ProgramSettings& settings,
                                                              const FitsHeaderFields& fields) {
  SettingsLister lister;
  VisitSettingsFields(lister, settings, fields);
  return std::move(lister.rows);
}

namespace {

// Sets the one field called `name` from `text`; the other fields are passed by.
class SettingsSetter {
 public:
  SettingsSetter(std::string_view name, std::string_view text) : name_(name), text_(text) {}

  bool found = false;
  std::optional<std::string> problem;

  void U16(const char* name, int& value, const U16Rule& rule) {
    if (!Mine(name)) return;
    int low = rule.unsignedRead ? 0 : -32768;
    int high = rule.unsignedRead ? 65535 : 32767;
    if (rule.checked) low = rule.min, high = rule.max;
    // The defaults dialog's own limits.
    const std::string_view field(name);
    if (field.ends_with("Hysteresis")) low = 0, high = 20;
    if (field == "filterCount") low = 1, high = 8;
    // Guide-camera values of 50 or more would be stored as something else.
    if (rule.writtenFor50s) high = std::min(high, 49);
    long long number = 0;
    const char* begin = text_.data();
    const char* end = begin + text_.size();
    if (begin != end && *begin == '+') ++begin;
    const auto [stop, error] = std::from_chars(begin, end, number);
    if (text_.empty() || error != std::errc() || stop != end || number < low || number > high) {
      problem = "a whole number from " + std::to_string(low) + " to " + std::to_string(high);
      return;
    }
    value = static_cast<int>(number);
  }
  void YesNo(const char* name, bool& value, FlagRule) { Flag(name, value, "y", "n"); }
  void ZeroOne(const char* name, bool& value, FlagRule) { Flag(name, value, "1", "0"); }
  void Letter(const char* name, char& value, std::string_view allowed) {
    if (!Mine(name)) return;
    if (text_.size() != 1 || allowed.find(text_[0]) == std::string_view::npos) {
      std::string letters;
      for (const char c : allowed) letters += letters.empty() ? "" : ", ", letters += c;
      problem = "one of " + letters;
      return;
    }
    value = text_[0];
  }
  void Card(const char* name, std::string_view, std::string& text) { Words(name, text, 68); }
  void Note(const char* name, std::string_view, std::string& text) { Words(name, text, 272); }
  void ComPort(const char* name, char& port) {
    if (!Mine(name)) return;
    if (text_.size() != 1 || text_[0] < '1' || text_[0] > '5') {
      problem = "a port from 1 to 5";
      return;
    }
    port = text_[0];
  }
  void Directions(const char* name, std::array<char, 4>&) { Unsettable(name); }
  void Text(const char* name, std::string& text, std::size_t size) { Words(name, text, size - 1); }
  void Directory(const char* name, std::string& text) {
    Words(name, text, kAutosaveDirectoryBytes - 1);
  }
  void RaAngle(const char* name, double&) { Unsettable(name); }

 private:
  bool Mine(const char* name) {
    if (name_ != name) return false;
    found = true;
    return true;
  }
  void Flag(const char* name, bool& value, const char* on, const char* off) {
    if (!Mine(name)) return;
    if (text_ != on && text_ != off) {
      problem = std::string(on) + " or " + off;
      return;
    }
    value = text_ == on;
  }
  // Printable text without the apostrophe that ends a header card's text.
  void Words(const char* name, std::string& text, std::size_t limit) {
    if (!Mine(name)) return;
    for (const char c : text_) {
      if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '\'') {
        problem = "text without control characters or apostrophes";
        return;
      }
    }
    if (text_.size() > limit) {
      problem = "at most " + std::to_string(limit) + " characters";
      return;
    }
    text = std::string(text_);
  }
  void Unsettable(const char* name) {
    if (Mine(name)) problem = "set by training or the telescope panel, not here";
  }

  std::string_view name_;
  std::string_view text_;
};

}  // namespace

std::optional<std::string> SetSetting(ProgramSettings& settings, FitsHeaderFields& fields,
                                      std::string_view name, std::string_view value) {
  ProgramSettings newSettings = settings;
  FitsHeaderFields newFields = fields;
  SettingsSetter setter(name, value);
  VisitSettingsFields(setter, newSettings, newFields);
  if (!setter.found) return "there is no setting called " + std::string(name);
  if (setter.problem) return std::string(name) + " takes " + *setter.problem;
  // What the file would hold for the field must read back as set.
  ProgramSettings stored = newSettings;
  FitsHeaderFields storedFields = newFields;
  const SettingsDecodeResult read =
      DecodeSettings(EncodeSettings(newSettings, newFields), stored, storedFields);
  const auto valueOf = [name](const std::vector<std::pair<std::string, std::string>>& rows) {
    const auto row =
        std::find_if(rows.begin(), rows.end(), [name](const auto& r) { return r.first == name; });
    return row == rows.end() ? std::string() : row->second;
  };
  const bool bad = std::any_of(read.badFields.begin(), read.badFields.end(),
                               [name](const SettingsFieldProblem& p) { return p.name == name; });
  if (!read.complete || bad ||
      valueOf(ListSettings(stored, storedFields)) !=
          valueOf(ListSettings(newSettings, newFields))) {
    return "the settings file cannot hold " + std::string(name) + " = " + std::string(value);
  }
  settings = newSettings;
  fields = newFields;
  return std::nullopt;
}

BackgroundRgb BackgroundColour(char letter) {
  switch (letter) {
    case 'g':
      return {90, 90, 90};
    case 'r':
      return {120, 40, 40};
    default:
      return {192, 192, 192};
  }
}

namespace {

std::filesystem::path DamagedCopyPath(const std::filesystem::path& path) {
  return std::filesystem::path(path.string() + kDamagedSettingsSuffix);
}

// Whether these bytes are a settings file with nothing wrong in it.
bool SettingsBytesAreSound(std::span<const std::uint8_t> bytes) {
  ProgramSettings settings;
  FitsHeaderFields fields;
  return bytes.size() == kSettingsFileBytes && DecodeSettings(bytes, settings, fields).Sound();
}

// Keeps a damaged settings file (its bytes `old`) as "<name>.bad" before it is replaced, so
// that whatever the user had in it can still be looked at. False (with `error`) when the copy
// cannot be written; a sound file, or none, needs no copy.
bool KeepDamagedCopy(const std::filesystem::path& path,
                     const std::optional<std::vector<std::uint8_t>>& old, int& error) {
  // A file that cannot be read cannot be copied; whether it may be replaced is the writer's
  // question.
  if (!old || SettingsBytesAreSound(*old)) return true;
  return WriteFileAtomically(DamagedCopyPath(path), *old, &error);
}

// "backgroundColour (byte 20, kept as l), ..." for the fields that failed their check.
std::string DescribeBadFields(const std::vector<SettingsFieldProblem>& bad,
                              const ProgramSettings& settings, const FitsHeaderFields& fields) {
  const auto rows = ListSettings(settings, fields);
  std::string text;
  for (const SettingsFieldProblem& problem : bad) {
    if (!text.empty()) text += ", ";
    text += problem.name + " (byte " + std::to_string(problem.offset);
    const auto row = std::find_if(rows.begin(), rows.end(),
                                  [&](const auto& r) { return r.first == problem.name; });
    if (row != rows.end()) text += ", kept as " + row->second;
    text += ")";
  }
  return text;
}

}  // namespace

void ShowSettingsMessage(Host& host, const std::string& text) {
  host.ShowMessageBox(text, kMessageCaption, MessageButtons::kOk, MessageIcon::kNone);
}

namespace {

// Says why the file could not be read. A missing file keeps the warning it has always had.
void ReportUnreadable(Host& host, const std::filesystem::path& path, int error) {
  if (error == ENOENT) {
    host.ShowMessageBox(kNoSettingsFileWarning, "", MessageButtons::kOk, MessageIcon::kNone);
    return;
  }
  ShowSettingsMessage(host, "Unable to read the settings file " + path.string() + ": " +
                                FileErrorText(path, error) + ".\nThe defaults are used.");
}

}  // namespace

int WriteSettingsFile(const std::filesystem::path& path, const ProgramSettings& settings,
                      const FitsHeaderFields& fields, int* error) {
  std::error_code ec;
  std::filesystem::create_directories(path.parent_path(), ec);
  const std::vector<std::uint8_t> bytes = EncodeSettings(settings, fields);
  int readError = 0;
  const auto old = ReadFileBytes(path, kSettingsReadLimit, &readError);
  // Most writes (every colour synthesis, for one) store the values the file already holds: a
  // file that already has these very bytes is left as it is, its date and its disk alone.
  if (old && *old == bytes) {
    if (error) *error = 0;
    return kSettingsOk;
  }
  int cause = 0;
  const bool written =
      KeepDamagedCopy(path, old, cause) && WriteFileAtomically(path, bytes, &cause);
  if (error) *error = cause;
  return written ? kSettingsOk : kSettingsWriteFailed;
}

int ReadSettingsFile(Host& host, const std::filesystem::path& path, ProgramSettings& settings,
                     FitsHeaderFields& fields, SettingsRepair repair) {
  // First run: the directory is new, so there is nothing to read; write the defaults.
  std::error_code ec;
  if (std::filesystem::create_directories(path.parent_path(), ec)) {
    return WriteSettingsFile(path, settings, fields);
  }
  int readError = 0;
  const auto bytes = ReadFileBytes(path, kSettingsReadLimit, &readError);
  if (!bytes) {
    ReportUnreadable(host, path, readError);
    return kSettingsUnreadable;
  }
  const std::span<const std::uint8_t> fileBytes(*bytes);
  const SettingsDecodeResult result = DecodeSettings(
      fileBytes.first(std::min(fileBytes.size(), kSettingsFileBytes)), settings, fields);
  DeriveAutosaveDirectory(settings);
  if (result.fastParallelUnknown) {
    host.ShowMessageBox(kFastParallelWarning, kFastParallelCaption, MessageButtons::kOk,
                        MessageIcon::kNone);
  }
  if (!result.complete) {
    host.ShowMessageBox(kNoSettingsFileWarning, "", MessageButtons::kOk, MessageIcon::kNone);
    return kSettingsUnreadable;
  }
  if (result.badFields.empty()) return kSettingsOk;

  const std::string what = "The settings file " + path.string() + " has a bad value for " +
                           DescribeBadFields(result.badFields, settings, fields) +
                           ". Every other setting was read from it.\n";
  if (repair == SettingsRepair::kLeaveFile) {
    ShowSettingsMessage(host, what +
                                  "The file is left as it is; saving the settings "
                                  "rewrites it and keeps the damaged one as " +
                                  DamagedCopyPath(path).string() + ".");
    return kSettingsDamaged;
  }
  int writeError = 0;
  const int written = WriteSettingsFile(path, settings, fields, &writeError);
  if (written == kSettingsOk) {
    ShowSettingsMessage(host, what + "The file was rewritten, and the damaged one kept as " +
                                  DamagedCopyPath(path).string() + ".");
  } else {
    ShowSettingsMessage(
        host, what + "The file could not be rewritten: " + FileErrorText(path, writeError) + ".");
  }
  return written;
}

}  // namespace corvex
