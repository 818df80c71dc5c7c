// The numbered messages: the program's shared vocabulary of failures and notices.
#pragma once

#include <string>
#include <string_view>

#include "platform/host.h"

namespace corvex {

inline constexpr unsigned kFreeTextMessage = 50;
inline constexpr std::size_t kFreeTextLimit = 498;
inline constexpr std::string_view kMessageCaption = "Corvex";

// The text message `code` shows: the table's text, for code 50 the first 498 characters of
// `text`, and an empty text for any code the table has no text for.
std::string MessageText(unsigned code, std::string_view text = {});

// Shows MessageText(code, text) in a modal box captioned "Corvex" with an OK button and no icon.
MessageResult ShowMessage(Host& host, unsigned code, std::string_view text = {});

}  // namespace corvex
