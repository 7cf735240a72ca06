#include "refdata/updater.hpp"

#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "refdata/zip_archive.hpp"
#include "settings/options.hpp"
#include "settings/version_update.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <fstream>

namespace amb {

namespace fs = std::filesystem;

namespace {

void removeIfExists(const fs::path& p) {
  if (fs::exists(p)) fs::remove(p);
}

bool endsWithExe(const std::string& name) {
  if (name.size() < 4) return false;
  std::string tail = name.substr(name.size() - 4);
  std::transform(tail.begin(), tail.end(), tail.begin(), [](unsigned char c) { return std::tolower(c); });
  return tail == ".exe";
}

// The entry that holds the installer: the first file entry named *.exe, else the first file entry.
// Folder entries are never unpacked: they would leave an empty installer.
const ZipEntry* installerEntry(const std::vector<ZipEntry>& entries) {
  const ZipEntry* firstFile = nullptr;
  for (const ZipEntry& e : entries) {
    if (e.isDirectory()) continue;
    if (endsWithExe(e.getName())) return &e;
    if (firstFile == nullptr) firstFile = &e;
  }
  return firstFile;
}

// Writes the entry to the installer's file; true only when all of it was written. A failed unpack
// leaves no installer behind that the user could be told to run. An entry larger than any download
// may unpack to is not unpacked at all (the entry is read up to its stated size, no further).
bool unpackInstaller(const ZipEntry& entry, const std::string& zipName) {
  removeIfExists(g_installerName);
  int code = kZipOk;
  if (entry.getSize() > g_maxUnpackedBytes.load()) {
    code = kZipErrorTooLarge;
  } else {
    std::ofstream out(g_installerName, std::ios::binary | std::ios::trunc);
    code = out ? entry.readContent(out, ZipEntry::Current, kZipChunkSize) : kZipErrorWrite;
    if (code == kZipOk) {
      out.close();
      if (!out) code = kZipErrorWrite;
    }
  }
  if (code != kZipOk) {
    gf_logMarked(fmt::format("unzipping error code : {}", code));
    std::error_code ec;
    fs::remove(g_installerName, ec);
    return false;
  }
  gf_log(fmt::format("{} unzipped to {}", zipName, gf_pathText(g_installerName)));
  return true;
}

}  // namespace

Version gf_downloadText(Downloader& downloader, const std::string& url) {
  const fs::path local{g_versionFileName};
  if (!gf_download(downloader, url, local, false)) {
    gf_logMarked(fmt::format("downloading \"{}\" failed", url));
    return gf_parseVersion("");
  }
  std::vector<std::string> lines;
  {
    FileReader reader;
    if (!reader.open(local)) return Version{};
    reader.readLines(lines);
  }
  removeIfExists(local);
  return gf_parseVersion(lines.empty() ? std::string() : lines.front());
}

Version lf_readServerVersion() {
  Downloader downloader;
  return gf_downloadText(downloader, gf_serverBaseUrl() + "release/version_P3D.json");
}

bool lf_downloadProgramInstaller(const Version& version) {
  const std::string versionText = gf_versionText(version);
  const std::string zipName = fmt::format("setup_{}_d_v{}.zip", g_programName, versionText);
  const fs::path zipPath{zipName};
  bool result = false;
  Downloader downloader;
  if (!gf_download(downloader, gf_serverBaseUrl() + "release/" + zipName, zipPath, true)) {
    gf_showMessage(fmt::format("Downloading program installer file version {} failed", versionText), true);
  } else {
    gf_log(fmt::format("downloaded {}", zipName));
    ZipArchive archive(zipPath);
    if (!archive.open(ZipArchive::ReadOnly, false)) {
      gf_logMarked(fmt::format("could not open {}", zipName));
    } else {
      const std::vector<ZipEntry> entries = archive.getEntries(ZipEntry::Current);
      if (const ZipEntry* entry = installerEntry(entries))
        result = unpackInstaller(*entry, zipName);
      else
        gf_logMarked(fmt::format("no installer in {}", zipName));
      archive.close();
    }
  }
  removeIfExists(zipPath);
  return result;
}

void gf_checkForProgramUpdate() {
  // The start-up asks only once per process; a restarted service run never repeats the check.
  if (g_restartPending.load() != 0) return;
  const Version server = lf_readServerVersion();
  if (server == Version{}) {
    gf_logMarked("Program Version file not found?");
    return;
  }
  if (!(server > g_programVersion)) return;
  if (lf_downloadProgramInstaller(server)) {
    const fs::path installer = gf_pathFromUtf8(PROGRAM_INSTALL_PATH.value()) / g_installerName;
    throw UserErrorException(99, fmt::format("New version {} available. Exit here, and run as administrator:   \"{}\"",
                                             gf_versionText(server), gf_pathText(installer)));
  }
  gf_showMessage("The downloading/unzipping of the new version failed? Try manually via Quillmoor website", true);
}

}  // namespace amb
