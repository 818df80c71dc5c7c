#include "files/pgm_file.h"

#include <cctype>
#include <string_view>

#include "platform/atomic_file.h"
#include "platform/byte_order.h"
#include "platform/read_file.h"

namespace corvex {

namespace {

constexpr std::size_t kLargestPgm = 1 << 24;

// Header fields are separated by whitespace; '#' starts a comment that runs to the line end.
std::optional<long> NextNumber(std::span<const std::uint8_t> bytes, std::size_t& pos) {
  while (pos < bytes.size()) {
    if (bytes[pos] == '#') {
      while (pos < bytes.size() && bytes[pos] != '\n') ++pos;
    } else if (std::isspace(bytes[pos])) {
      ++pos;
    } else {
      break;
    }
  }
  long value = 0;
  std::size_t digits = 0;
  while (pos < bytes.size() && std::isdigit(bytes[pos]) && digits < 9) {
    value = value * 10 + (bytes[pos++] - '0');
    ++digits;
  }
  if (digits == 0) return std::nullopt;
  return value;
}

}  // namespace

std::vector<std::uint8_t> EncodePgm16(std::span<const std::uint16_t> values, int width,
                                      int height) {
  const std::string header =
      "P5\n" + std::to_string(width) + " " + std::to_string(height) + "\n65535\n";
  std::vector<std::uint8_t> bytes(header.begin(), header.end());
  const std::size_t count = static_cast<std::size_t>(width) * height;
  bytes.resize(header.size() + 2 * count);
  for (std::size_t i = 0; i < count && i < values.size(); ++i) {
    StoreBe16(&bytes[header.size() + 2 * i], values[i]);
  }
  return bytes;
}

PgmImage DecodePgm(std::span<const std::uint8_t> bytes, int width, int height) {
  if (bytes.size() < 2 || bytes[0] != 'P' || bytes[1] != '5') return {{}, "not a binary PGM file"};
  std::size_t pos = 2;
  const auto w = NextNumber(bytes, pos);
  const auto h = NextNumber(bytes, pos);
  const auto maxval = NextNumber(bytes, pos);
  if (!w || !h || !maxval || *maxval < 1 || *maxval > 65535 || pos >= bytes.size() ||
      !std::isspace(bytes[pos])) {
    return {{}, "damaged PGM header"};
  }
  ++pos;  // the one whitespace byte before the samples
  if (*w != width || *h != height) {
    return {{},
            "a " + std::to_string(width) + " x " + std::to_string(height) +
                " image is needed, this one is " + std::to_string(*w) + " x " + std::to_string(*h)};
  }
  const bool wide = *maxval > 255;
  const std::size_t count = static_cast<std::size_t>(width) * height;
  if (bytes.size() - pos < count * (wide ? 2 : 1)) return {{}, "the PGM file is cut short"};
  PgmImage image;
  image.values.resize(count);
  for (std::size_t i = 0; i < count; ++i) {
    image.values[i] =
        wide ? LoadBe16(&bytes[pos + 2 * i]) : static_cast<std::uint16_t>(bytes[pos + i] << 8);
  }
  return image;
}

bool WritePgm16(const std::filesystem::path& path, std::span<const std::uint16_t> values, int width,
                int height) {
  return WriteFileAtomically(path, EncodePgm16(values, width, height));
}

PgmImage ReadPgm(const std::filesystem::path& path, int width, int height) {
  const auto bytes = ReadFileBytes(path, kLargestPgm);
  if (!bytes) return {{}, "cannot read " + path.string()};
  return DecodePgm(*bytes, width, height);
}

}  // namespace corvex
