#pragma once
// Strict UTF-8 decoding into UTF-16, shared by the core codec and the Linux registry file.

#include <optional>
#include <string>
#include <string_view>

namespace amb::platform {

// nullopt on any invalid sequence: bad lead or continuation bytes, truncation, overlong forms,
// surrogates and code points beyond U+10FFFF.
std::optional<std::u16string> utf8ToUtf16(std::string_view text);

}  // namespace amb::platform
