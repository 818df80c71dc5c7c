#include "files/fits_cards.h"

#include <algorithm>

namespace corvex {

namespace {
constexpr std::size_t kValueColumn = 11;  // zero-based column 12, just after "KEYWORD = '"
}

Card MakeCard(std::string_view text) {
  Card card;
  card.fill(' ');
  std::copy_n(text.begin(), std::min(text.size(), kCardBytes), card.begin());
  return card;
}

Card MakeTextCard(std::string_view keyword, std::string_view value) {
  const std::size_t room = kCardBytes - std::min(keyword.size() + 1, kCardBytes);
  std::string text(keyword);
  text += value.substr(0, room);
  text += '\'';
  return MakeCard(text);
}

std::array<Card, kNoteCards> MakeNoteCards(std::string_view keyword, std::string_view text) {
  std::array<Card, kNoteCards> cards;
  for (std::size_t i = 0; i < kNoteCards; ++i) {
    std::string piece(kNotePieceLength, ' ');
    const std::size_t start = i * kNotePieceLength;
    if (start < text.size()) {
      const std::string_view part = text.substr(start, kNotePieceLength);
      std::copy(part.begin(), part.end(), piece.begin());
    }
    cards[i] = MakeTextCard(keyword, piece);
  }
  return cards;
}

std::string CardText(const char* card) {
  const char* begin = card + kValueColumn;
  const char* end = std::find(begin, card + kCardBytes, '\'');
  return std::string(begin, end);
}

std::string JoinNoteCards(const char* cards) {
  constexpr std::size_t kLastPieceLength = kNoteReadLimit - 3 * kNotePieceLength;  // 51
  std::string text;
  for (std::size_t i = 0; i + 1 < kNoteCards; ++i) text += CardText(cards + i * kCardBytes);
  text += CardText(cards + (kNoteCards - 1) * kCardBytes).substr(0, kLastPieceLength);
  if (text.size() > kNoteReadLimit) text.resize(kNoteReadLimit);
  return text;
}

}  // namespace corvex
