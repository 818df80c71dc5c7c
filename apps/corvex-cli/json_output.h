// The command line's machine-readable results: one JSON object per command on stdout, built
// up field by field. Texts are escaped as JSON requires, bytes that are not UTF-8 become
// U+FFFD (file names may hold anything), and numbers that are not finite become null, so
// that any JSON reader takes the output.
#pragma once

#include <string>
#include <string_view>

namespace corvex::cli {

// `text` as a JSON string, quotes included.
std::string JsonString(std::string_view text);
// `value` as a JSON number (shortest form that reads back exactly), or null.
std::string JsonNumber(double value);

class JsonObject {
 public:
  JsonObject& Text(std::string_view key, std::string_view value);
  JsonObject& Number(std::string_view key, double value);
  JsonObject& Whole(std::string_view key, long long value);
  JsonObject& Flag(std::string_view key, bool value);
  JsonObject& Null(std::string_view key);
  // A value that is JSON already: an object's or an array's Json().
  JsonObject& Raw(std::string_view key, std::string_view json);
  std::string Json() const { return "{" + fields_ + "}"; }

 private:
  void Key(std::string_view key);
  std::string fields_;
};

class JsonArray {
 public:
  JsonArray& Raw(std::string_view json);
  JsonArray& Text(std::string_view value) { return Raw(JsonString(value)); }
  bool empty() const { return items_.empty(); }
  std::string Json() const { return "[" + items_ + "]"; }

 private:
  std::string items_;
};

// The command's report under --json. Stdout is kept for it alone: from Begin on, whatever
// else the command prints goes to stderr, with its messages and progress. The command adds
// what it wrote and measured; Finish adds the exit code and writes the object on stdout.
class JsonReport {
 public:
  static JsonReport& Get();
  // False (with stdout left as it was) when the descriptors cannot be moved.
  bool Begin();
  bool active() const { return out_ >= 0; }
  JsonObject& fields() { return fields_; }
  // Writes the report with "exit_code" and "ok"; returns `exitCode`, or 1 when the report
  // could not be written.
  int Finish(int exitCode);

 private:
  JsonObject fields_;
  int out_ = -1;  // the real stdout
};

}  // namespace corvex::cli
