#include "refdata/download.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "platform/replace_file.hpp"
#include "refdata/zip_archive.hpp"

#include <curl/curl.h>
#include <fmt/format.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <stdexcept>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <unistd.h>
#endif

#ifndef AMB_SERVER_URL
#define AMB_SERVER_URL ""
#endif

namespace amb {

namespace fs = std::filesystem;

namespace {

std::mutex g_timeoutsMutex;
DownloadTimeouts g_timeouts;

void initCurlOnce() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::FILE* openLocal(const fs::path& path, bool binary) {
#ifdef _WIN32
  return _wfopen(path.c_str(), binary ? L"wb" : L"w");
#else
  return std::fopen(path.c_str(), binary ? "wb" : "w");
#endif
}

std::size_t writeToFile(char* data, std::size_t size, std::size_t count, void* file) {
  return std::fwrite(data, size, count, static_cast<std::FILE*>(file));
}

// The temporary name a download is written under until it is complete.
fs::path partialPath(const fs::path& localPath) {
  fs::path p = localPath;
  p += ".part";
  return p;
}

fs::path programBinaryFolder() {
#ifdef _WIN32
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return fs::current_path();
    if (n < buffer.size()) {
      buffer.resize(n);
      break;
    }
    buffer.resize(buffer.size() * 2);
  }
  return fs::path(buffer).parent_path();
#else
  std::error_code ec;
  fs::path exe = fs::read_symlink("/proc/self/exe", ec);
  if (ec || exe.empty()) return fs::current_path();
  return exe.parent_path();
#endif
}

std::string withSlash(std::string url) {
  if (url.empty() || url.back() != '/') url += '/';
  return url;
}

void removeIfExists(const fs::path& p) {
  if (fs::exists(p)) fs::remove(p);
}

// The zip's text for logs and URLs: '/' separated UTF-8.
std::string zipText(const fs::path& zipPath) {
  auto u8 = zipPath.generic_u8string();
  return std::string(u8.begin(), u8.end());
}

}  // namespace

Downloader::Downloader() {
  initCurlOnce();
  m_handle = curl_easy_init();
}

Downloader::~Downloader() {
  if (m_handle != nullptr) curl_easy_cleanup(m_handle);
}

void gf_setDownloadTimeouts(const DownloadTimeouts& timeouts) {
  std::lock_guard lock(g_timeoutsMutex);
  g_timeouts = timeouts;
}

DownloadTimeouts gf_downloadTimeouts() {
  std::lock_guard lock(g_timeoutsMutex);
  return g_timeouts;
}

void gf_resetDownloads() {
  gf_setDownloadTimeouts(DownloadTimeouts{});
  g_maxUnpackedBytes = kMaxUnpackedBytes;
}

bool gf_download(Downloader& downloader, const std::string& url, const fs::path& localPath, bool binary) {
  CURL* curl = downloader.handle();
  if (curl == nullptr) return false;
  const fs::path partial = partialPath(localPath);
  std::FILE* file = nullptr;
  try {
    file = openLocal(partial, binary);
    if (file == nullptr) {
      gf_log(fmt::format("could not open output file: {}", gf_pathText(localPath)));
      return false;
    }
    const DownloadTimeouts limits = gf_downloadTimeouts();
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_USERAGENT, "AMBT");
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &writeToFile);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, file);
    curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
    // Worker threads: no signals for the time-outs.
    curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,file");
    curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(limits.connect.count()));
    curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS, static_cast<long>(limits.total.count()));
    if (limits.stallSeconds > 0) {
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, 1L);
      curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, limits.stallSeconds);
    }
    const CURLcode code = curl_easy_perform(curl);
    const bool written = std::fflush(file) == 0 && std::ferror(file) == 0;
    const bool closed = std::fclose(file) == 0;
    file = nullptr;
    const bool ok = code == CURLE_OK && written && closed;
    if (!ok) {
      std::error_code ec;
      fs::remove(partial, ec);
      return false;
    }
    fs::rename(partial, localPath);
    return true;
  } catch (const std::exception& e) {
    if (file != nullptr) std::fclose(file);
    std::error_code ec;
    fs::remove(partial, ec);
    gf_log(fmt::format("downloader exception: \"{}\", {} => {}", e.what(), url, gf_pathText(localPath)));
    return false;
  }
}

std::string gf_fileUrl(const fs::path& path, bool folder) {
  auto u8 = fs::absolute(path).generic_u8string();
  std::string text(u8.begin(), u8.end());
  std::string url = "file://";
#ifdef _WIN32
  url += '/';  // file:///C:/...
#endif
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (unsigned char c : text) {
    const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
                       c == '.' || c == '_' || c == '~' || c == '/' || c == ':';
    if (plain) {
      url += static_cast<char>(c);
    } else {
      url += '%';
      url += kHex[c >> 4];
      url += kHex[c & 15];
    }
  }
  return folder ? withSlash(url) : url;
}

std::string gf_serverBaseUrl() {
  if (const char* env = std::getenv("AMBT_SERVER_URL"); env != nullptr && *env != '\0') return withSlash(env);
  if (std::string built = AMB_SERVER_URL; !built.empty()) return withSlash(built);
  return gf_fileUrl(programBinaryFolder() / "server", true);
}

std::string gf_serverP3dUrl() { return gf_serverBaseUrl() + "P3D/"; }

namespace {

// Unpacks the archive's file entries one after the other into part (each replacing the one before,
// so the last one stays), never more than g_maxUnpackedBytes in all. Every entry is read to its end,
// so a damaged one fails the whole unpack. False with the reason when anything fails; wrote tells
// whether part holds an entry.
bool unpackEntries(const fs::path& zipPath, const fs::path& part, bool& wrote, std::string& reason) {
  wrote = false;
  ZipArchive archive(zipPath);
  if (!archive.open(ZipArchive::ReadOnly, false)) {
    reason = archive.lastError();
    return false;
  }
  const std::vector<ZipEntry> entries = archive.getEntries(ZipEntry::Current);
  if (entries.empty()) {
    reason = "the archive has no entries";
    return false;
  }
  // An entry is read up to its stated size and no further, so the stated sizes bound what is written.
  std::uint64_t budget = g_maxUnpackedBytes.load();
  for (const ZipEntry& entry : entries) {
    if (entry.isDirectory()) continue;
    if (entry.getSize() > budget) {
      reason = fmt::format("the unpacked size exceeds {} bytes", g_maxUnpackedBytes.load());
      return false;
    }
    budget -= entry.getSize();
    std::ofstream out(part, std::ios::binary | std::ios::trunc);
    if (!out) {
      reason = fmt::format("{} cannot be written", gf_pathText(part));
      return false;
    }
    wrote = true;
    int rc = entry.readContent(out, ZipEntry::Current);
    if (rc == kZipOk && !out.flush()) rc = kZipErrorWrite;
    if (rc != kZipOk) {
      reason = fmt::format("entry \"{}\" cannot be unpacked ({})", gf_peerText(entry.getName()), rc);
      return false;
    }
  }
  return true;
}

}  // namespace

std::atomic<std::uint64_t> g_maxUnpackedBytes{kMaxUnpackedBytes};

int gf_downloadAndUnzip(const fs::path& zipPath, const fs::path& destination) {
  const std::string name = zipText(zipPath);
  {
    Downloader downloader;
    if (!gf_download(downloader, gf_serverBaseUrl() + name, zipPath, true)) {
      gf_logMarked(fmt::format("downloading {} failed?", name));
      removeIfExists(zipPath);
      return 0;
    }
  }
  // The entries are unpacked beside the destination, which is replaced only once all of them were
  // read; on any failure neither the partial file nor the destination remains.
  const fs::path part = partialPath(destination);
  bool wrote = false;
  bool ok = false;
  std::string reason;
  try {
    ok = unpackEntries(zipPath, part, wrote, reason);
    std::error_code ec;
    if (ok && wrote && !platform::commitFileReplacing(part, destination, ec)) {
      reason = fmt::format("{} cannot be replaced: {}", gf_pathText(destination), ec.message());
      ok = false;
    }
  } catch (const std::exception& e) {
    reason = e.what();
    ok = false;
  }
  if (!ok) {
    std::error_code ec;
    fs::remove(part, ec);
    removeIfExists(destination);
    gf_log(fmt::format("{}: {}", name, reason));
    gf_logMarked(fmt::format("unzipping {} failed?", name));
    removeIfExists(zipPath);
    return 0;
  }
  removeIfExists(zipPath);
  return 1;
}

int gf_downloadDbase(const fs::path& destination) {
  static const fs::path dbaseZip{"dbase.zip"};
  return gf_downloadAndUnzip(dbaseZip, destination);
}

}  // namespace amb
