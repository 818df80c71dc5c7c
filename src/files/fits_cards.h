// 80-byte header cards: the FITS header and the settings file build and read them alike.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace corvex {

inline constexpr std::size_t kCardBytes = 80;
inline constexpr std::size_t kNoteCards = 4;
inline constexpr std::size_t kNotePieceLength = 68;  // characters of a note per card
inline constexpr std::size_t kNoteReadLimit = 255;   // characters a note is rebuilt to

using Card = std::array<char, kCardBytes>;

// `text` in an 80-byte card padded with spaces; anything past column 80 is cut.
Card MakeCard(std::string_view text);

// keyword + value + closing apostrophe, e.g. "OBJECT  = 'M42'". A value too long to fit is
// cut so that the apostrophe lands in column 80 at the latest.
Card MakeTextCard(std::string_view keyword, std::string_view value);

// A long text as four cards of 68 characters each (spaces past its end, characters past 272
// dropped), each closed by an apostrophe in column 80.
std::array<Card, kNoteCards> MakeNoteCards(std::string_view keyword, std::string_view text);

// The text of a string card: from column 12 up to the first apostrophe after it (to column
// 80 when there is none).
std::string CardText(const char* card);

// A note rebuilt from its four cards: the texts of the first three whole and the first 51
// characters of the fourth's, at most 255 characters in all.
std::string JoinNoteCards(const char* cards);

}  // namespace corvex
