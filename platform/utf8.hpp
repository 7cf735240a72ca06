#pragma once
// UTF-8 in one place: strict decoding into UTF-16 (the core codec, the Linux registry file), encoding
// of code points, and turning 8-bit text of unknown origin (aircraft.cfg lines, scenery names, the
// simulator's titles) into valid UTF-8.

#include <optional>
#include <string>
#include <string_view>

namespace amb::platform {

// nullopt on any invalid sequence: bad lead or continuation bytes, truncation, overlong forms,
// surrogates and code points beyond U+10FFFF.
std::optional<std::u16string> utf8ToUtf16(std::string_view text);

// Appends the UTF-8 form of a code point (U+0000 to U+10FFFF; others become U+FFFD).
void appendUtf8(std::string& out, char32_t codePoint);
// Whether the bytes are valid UTF-8 by the rules of utf8ToUtf16.
bool isValidUtf8(std::string_view text);
// The code point of one Windows-1252 byte; U+FFFD for the five bytes the code page leaves undefined.
char32_t windows1252CodePoint(unsigned char byte);
// Windows-1252 text as UTF-8.
std::string windows1252ToUtf8(std::string_view text);
// Valid UTF-8 stays as it is; anything else is taken as Windows-1252, so the result is always valid.
std::string toValidUtf8(std::string_view text);

}  // namespace amb::platform
