#pragma once
// The user's known folders. The Linux backend reads AMBT_APPDATA, AMBT_DOCUMENTS,
// AMBT_PUBLIC_DOCUMENTS and AMBT_PROGRAMDATA, with defaults below $XDG_CONFIG_HOME or $HOME.

#include <filesystem>
#include <optional>

namespace amb::platform {

enum class KnownFolder { AppData, Documents, PublicDocuments, ProgramData };

// Empty when the folder is not available.
std::optional<std::filesystem::path> knownFolder(KnownFolder which);

}  // namespace amb::platform
