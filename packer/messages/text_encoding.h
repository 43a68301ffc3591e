// Conversions between UTF-8 (Linux names, configuration values) and UTF-16 (Windows names and
// strings).
#pragma once

#include <optional>
#include <string>
#include <string_view>

// `text` as UTF-16 units; nullopt when it is not valid UTF-8 (overlong forms, surrogates and
// values beyond U+10FFFF are invalid).
std::optional<std::u16string> utf8ToUtf16(std::string_view text);

// `text` as UTF-8, for display; an unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// Whether `text` is valid UTF-16: no unpaired surrogate.
bool validUtf16(std::u16string_view text);

// `text` in double quotes, as UTF-8, for a message.
std::string quoted(std::u16string_view text);

// The code point notation of `unit` ("U+001F"), for a message about a character that cannot be
// shown.
std::string unitName(char16_t unit);

// `bytes` for a message: unchanged when valid UTF-8, else every byte outside printable ASCII
// written as \xNN.
std::string printableBytes(std::string_view bytes);
