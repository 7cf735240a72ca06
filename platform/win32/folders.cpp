#include "platform/folders.hpp"

#include <windows.h>
#include <knownfolders.h>
#include <shlobj.h>

namespace amb::platform {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> fromCsidl(int csidl) {
  wchar_t buf[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathW(nullptr, csidl, nullptr, SHGFP_TYPE_CURRENT, buf)) || buf[0] == L'\0')
    return std::nullopt;
  return fs::path(buf);
}

std::optional<fs::path> fromKnownFolder(REFKNOWNFOLDERID id) {
  PWSTR raw = nullptr;
  const HRESULT hr = SHGetKnownFolderPath(id, 0, nullptr, &raw);
  // The buffer belongs to us even when the call fails.
  std::optional<fs::path> out;
  if (SUCCEEDED(hr) && raw && raw[0] != L'\0') out = fs::path(raw);
  CoTaskMemFree(raw);
  return out;
}

}  // namespace

std::optional<fs::path> knownFolder(KnownFolder which) {
  switch (which) {
    case KnownFolder::AppData:
      return fromCsidl(CSIDL_APPDATA);
    case KnownFolder::Documents:
      return fromKnownFolder(FOLDERID_Documents);
    case KnownFolder::PublicDocuments:
      return fromKnownFolder(FOLDERID_PublicDocuments);
    case KnownFolder::ProgramData:
      return fromKnownFolder(FOLDERID_ProgramData);
  }
  return std::nullopt;
}

}  // namespace amb::platform
