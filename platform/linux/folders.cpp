#include "platform/folders.hpp"

#include <cstdlib>

namespace amb::platform {

namespace fs = std::filesystem;

namespace {
std::optional<fs::path> fromEnv(const char* name) {
  const char* v = std::getenv(name);
  if (v && *v) return fs::path(v);
  return std::nullopt;
}

std::optional<fs::path> home() { return fromEnv("HOME"); }
}  // namespace

std::optional<fs::path> knownFolder(KnownFolder which) {
  switch (which) {
    case KnownFolder::AppData:
      if (auto p = fromEnv("AMBT_APPDATA")) return p;
      if (auto p = fromEnv("XDG_CONFIG_HOME")) return p;
      if (auto h = home()) return *h / ".config";
      return std::nullopt;
    case KnownFolder::Documents:
      if (auto p = fromEnv("AMBT_DOCUMENTS")) return p;
      if (auto h = home()) return *h / "Documents";
      return std::nullopt;
    case KnownFolder::PublicDocuments:
      if (auto p = fromEnv("AMBT_PUBLIC_DOCUMENTS")) return p;
      if (auto h = home()) return *h / "Public" / "Documents";
      return std::nullopt;
    case KnownFolder::ProgramData:
      if (auto p = fromEnv("AMBT_PROGRAMDATA")) return p;
      if (auto h = home()) return *h / ".local" / "share";
      return std::nullopt;
  }
  return std::nullopt;
}

}  // namespace amb::platform
