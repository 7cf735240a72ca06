#pragma once
// Program versions: reading one from text, and what a start-up does when the stored version of the
// last run differs from the running one.

#include "core/version.hpp"

#include <string>

namespace amb {

// "x.y.z" (any one character between the numbers), or a JSON object with the integer members
// "major", "minor" and "patch" (a missing member gives 0). Anything else gives 0.0.0; a number that
// cannot be converted ends the reading there, keeping the fields read before it. Never throws.
Version gf_parseVersion(const std::string& text);

// Keeps PROGRAM_VERSION equal to the running version, saving it when it changes. When the running
// version is newer than the stored one (an update since the last run), logs it, removes an unpacked
// installer and switches SCAN_LIVERIES and SCAN_AIRPORTS on (saved and ticked), so the first run of
// a new version rescans the liveries and the airports.
void gf_handleVersionUpdate();

}  // namespace amb
