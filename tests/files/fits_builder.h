// Standard FITS files as other programs write them, built card by card in the test, so the
// reader is checked against bytes that do not come from the writer under test.
#pragma once

#include <cstdint>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace corvex::testing {

class FitsBuilder {
 public:
  // SIMPLE, BITPIX, NAXIS and the axes, as every FITS file starts.
  FitsBuilder(int bitpix, std::vector<long long> axes) : bitpix_(bitpix), axes_(axes) {
    Value("SIMPLE", "T");
    Value("BITPIX", std::to_string(bitpix));
    Value("NAXIS", std::to_string(axes.size()));
    for (std::size_t i = 0; i < axes.size(); ++i) {
      Value("NAXIS" + std::to_string(i + 1), std::to_string(axes[i]));
    }
  }

  // KEYWORD = value, the value right-aligned in column 30 as FITS writers do.
  FitsBuilder& Value(const std::string& keyword, const std::string& value) {
    std::string card = keyword;
    card.resize(8, ' ');
    std::string field = value;
    if (field.size() < 20) field.insert(0, 20 - field.size(), ' ');
    return Card(card + "= " + field);
  }
  FitsBuilder& Text(const std::string& keyword, const std::string& value) {
    std::string card = keyword;
    card.resize(8, ' ');
    return Card(card + "= '" + value + "'");
  }
  FitsBuilder& Card(std::string text) {
    text.resize(80, ' ');
    header_ += text;
    return *this;
  }

  // Samples in file order (first axis fastest), stored big-endian in the BITPIX type.
  std::vector<std::uint8_t> Build(const std::vector<double>& samples) const {
    std::string header = header_;
    std::string end = "END";
    end.resize(80, ' ');
    header += end;
    header.resize((header.size() + 2879) / 2880 * 2880, ' ');
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    for (double v : samples) Append(bytes, v);
    bytes.resize((bytes.size() + 2879) / 2880 * 2880, 0);
    return bytes;
  }

  // Only the header: a file whose data are never reached.
  std::vector<std::uint8_t> HeaderOnly() const { return Build({}); }

 private:
  void Append(std::vector<std::uint8_t>& bytes, double v) const {
    std::uint64_t raw = 0;
    int size = 0;
    switch (bitpix_) {
      case 8:
        raw = static_cast<std::uint8_t>(v), size = 1;
        break;
      case 16:
        raw = static_cast<std::uint16_t>(static_cast<std::int16_t>(v)), size = 2;
        break;
      case 32:
        raw = static_cast<std::uint32_t>(static_cast<std::int32_t>(v)), size = 4;
        break;
      case -32: {
        const float f = static_cast<float>(v);
        std::uint32_t bits = 0;
        std::memcpy(&bits, &f, 4);
        raw = bits, size = 4;
        break;
      }
      case -64:
        std::memcpy(&raw, &v, 8), size = 8;
        break;
    }
    for (int i = size - 1; i >= 0; --i) bytes.push_back(static_cast<std::uint8_t>(raw >> (8 * i)));
  }

  int bitpix_;
  std::vector<long long> axes_;
  std::string header_;
};

// The cards of a file's first header, keyword to value text (quotes and comments removed),
// and the HISTORY and COMMENT texts in order.
struct HeaderCards {
  std::map<std::string, std::string> values;
  std::vector<std::string> history;
  std::vector<std::string> comments;
  std::vector<std::string> keywords;  // every keyword in order
  std::size_t headerBytes = 0;        // up to the end of the block holding END
};

inline std::string TrimEnd(std::string text) {
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

inline HeaderCards ReadCards(const std::vector<std::uint8_t>& bytes) {
  HeaderCards cards;
  for (std::size_t at = 0; at + 80 <= bytes.size(); at += 80) {
    const std::string card(reinterpret_cast<const char*>(bytes.data()) + at, 80);
    const std::string keyword = TrimEnd(card.substr(0, 8));
    cards.keywords.push_back(keyword);
    if (keyword == "END") {
      cards.headerBytes = (at + 80 + 2879) / 2880 * 2880;
      break;
    }
    if (keyword == "HISTORY") cards.history.push_back(TrimEnd(card.substr(8)));
    if (keyword == "COMMENT") cards.comments.push_back(TrimEnd(card.substr(8)));
    if (card.substr(8, 2) != "= ") continue;
    std::string value = card.substr(10);
    const std::size_t first = value.find_first_not_of(' ');
    if (first != std::string::npos && value[first] == '\'') {
      std::string text;
      for (std::size_t i = first + 1; i < value.size(); ++i) {
        if (value[i] == '\'') {
          if (i + 1 < value.size() && value[i + 1] == '\'') {
            text += '\'';
            ++i;
            continue;
          }
          break;
        }
        text += value[i];
      }
      cards.values[keyword] = TrimEnd(text);
    } else {
      value = value.substr(0, value.find('/'));
      const std::size_t begin = value.find_first_not_of(' ');
      cards.values[keyword] = begin == std::string::npos ? "" : TrimEnd(value.substr(begin));
    }
  }
  return cards;
}

}  // namespace corvex::testing
