#pragma once
// Reading INI files ("SimConnect.cfg") with the rules of GetPrivateProfileSectionW and
// GetPrivateProfileStringW: section and key names compared without regard to ASCII case, the first
// of repeated sections or keys wins, values trimmed of blanks and of one pair of enclosing quotes,
// lines starting with ';' are comments, a section without entries counts as missing. Files may be
// UTF-8 or UTF-16 with a byte-order mark; texts come back as UTF-8. A file without a byte-order mark
// is read as UTF-8 by the Linux backend and in the ANSI code page by Windows itself.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>

namespace amb::platform {

// True when the file has the section with at least one entry.
bool iniSectionExists(const std::filesystem::path& file, const std::string& section);

// The key's value, cut to maxChars - 1 characters as a buffer of maxChars would hold it; nothing
// when the file, the section or the key is missing.
std::optional<std::string> iniGetString(const std::filesystem::path& file, const std::string& section,
                                        const std::string& key, std::size_t maxChars = 2048);

}  // namespace amb::platform
