#include "json_output.h"

#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace corvex::cli {

namespace {

// The length of the valid UTF-8 sequence at the start of `text`, or 0 when it is not one
// (overlong forms, surrogates and code points past U+10FFFF are not).
std::size_t Utf8Length(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  char32_t code = 0;
  if (lead < 0x80) return 1;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2, code = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3, code = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4, code = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() < length) return 0;
  for (std::size_t i = 1; i < length; ++i) {
    if ((byte(i) & 0xC0) != 0x80) return 0;
    code = (code << 6) | (byte(i) & 0x3F);
  }
  if ((length == 3 && code < 0x800) || (length == 4 && code < 0x10000) || code > 0x10FFFF ||
      (code >= 0xD800 && code <= 0xDFFF)) {
    return 0;
  }
  return length;
}

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  for (std::size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
      ++i;
    } else if (c < 0x20 || c == 0x7F) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
      ++i;
    } else if (const std::size_t length = Utf8Length(text.substr(i)); length > 0) {
      out.append(text.substr(i, length));
      i += length;
    } else {
      out += "\\ufffd";
      ++i;
    }
  }
  return out + "\"";
}

std::string JsonNumber(double value) {
  if (!std::isfinite(value)) return "null";
  char text[32];
  const auto result = std::to_chars(text, text + sizeof text, value);
  return std::string(text, result.ptr);
}

void JsonObject::Key(std::string_view key) {
  if (!fields_.empty()) fields_ += ',';
  fields_ += JsonString(key);
  fields_ += ':';
}

JsonObject& JsonObject::Text(std::string_view key, std::string_view value) {
  return Raw(key, JsonString(value));
}

JsonObject& JsonObject::Number(std::string_view key, double value) {
  return Raw(key, JsonNumber(value));
}

JsonObject& JsonObject::Whole(std::string_view key, long long value) {
  return Raw(key, std::to_string(value));
}

JsonObject& JsonObject::Flag(std::string_view key, bool value) {
  return Raw(key, value ? "true" : "false");
}

JsonObject& JsonObject::Null(std::string_view key) {
  return Raw(key, "null");
}

JsonObject& JsonObject::Raw(std::string_view key, std::string_view json) {
  Key(key);
  fields_.append(json);
  return *this;
}

JsonArray& JsonArray::Raw(std::string_view json) {
  if (!items_.empty()) items_ += ',';
  items_.append(json);
  return *this;
}

JsonReport& JsonReport::Get() {
  static JsonReport report;
  return report;
}

bool JsonReport::Begin() {
  std::fflush(stdout);
  const int saved = dup(STDOUT_FILENO);
  if (saved < 0) return false;
  if (dup2(STDERR_FILENO, STDOUT_FILENO) < 0) {
    close(saved);
    return false;
  }
  out_ = saved;
  return true;
}

int JsonReport::Finish(int exitCode) {
  if (!active()) return exitCode;
  std::fflush(stdout);
  fields_.Whole("exit_code", exitCode).Flag("ok", exitCode == 0);
  const std::string text = fields_.Json() + "\n";
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = write(out_, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return exitCode == 0 ? 1 : exitCode;
    done += static_cast<std::size_t>(n);
  }
  return exitCode;
}

}  // namespace corvex::cli
