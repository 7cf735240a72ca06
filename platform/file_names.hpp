#pragma once
// Names of files and folders as the Windows file system compares them: without regard to the letter
// case. AI packages name their model and texture folders and flight-model files in any case
// ("Model", "TEXTURE.BAW", "a320.AIR"), and the simulator finds them all.

#include <filesystem>
#include <optional>
#include <string>

namespace amb::platform {

// The entry of the folder whose name equals name without regard to the case of ASCII letters (the
// exact name first); nothing when there is none or the folder cannot be read. Links are followed
// when the caller tests the result's status.
std::optional<std::filesystem::path> findIgnoringCase(const std::filesystem::path& folder,
                                                      const std::string& name);

}  // namespace amb::platform
