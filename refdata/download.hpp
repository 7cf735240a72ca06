#pragma once
// Downloads from the program's download server over libcurl, and the download-and-unpack of a zip
// archive into one text file.
//
// The server's base URL, always ending with '/':
//   1. the environment variable AMBT_SERVER_URL when it is set and not empty;
//   2. else the build's AMB_SERVER_URL when it is not empty;
//   3. else a file:// URL of the folder "server" beside the program, which the package ships with
//      the reference data, so that the program starts without a network.

#include <atomic>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>

typedef void CURL;

namespace amb {

// Owns one libcurl easy handle for one operation; never shared between threads.
class Downloader {
public:
  Downloader();
  ~Downloader();
  Downloader(const Downloader&) = delete;
  Downloader& operator=(const Downloader&) = delete;
  CURL* handle() const { return m_handle; }

private:
  CURL* m_handle = nullptr;
};

// Limits of every transfer, so that a stalled server cannot hang the start-up. A transfer fails
// when no connection is made within connect, when it takes longer than total, or when fewer than
// one byte a second arrives for stallSeconds (0: no stall check).
struct DownloadTimeouts {
  std::chrono::milliseconds connect{20000};
  std::chrono::milliseconds total{std::chrono::minutes(15)};
  long stallSeconds = 60;
};
void gf_setDownloadTimeouts(const DownloadTimeouts& timeouts);
DownloadTimeouts gf_downloadTimeouts();

// Fetches the URL into the local file ("wb" when binary, else text mode); true when the transfer
// succeeded. The file is written under a temporary name beside the local path and takes the local
// path's name only when the transfer is complete, so a failed transfer leaves neither a partial file
// nor a changed earlier one.
bool gf_download(Downloader& downloader, const std::string& url, const std::filesystem::path& localPath, bool binary);

std::string gf_serverBaseUrl();
std::string gf_serverP3dUrl();  // base URL + "P3D/"

// Downloads base URL + zipPath into the local file zipPath, writes the text of the archive's file
// entries to destination (the last entry's text wins) and removes the local zip. 1 on success, 0
// on failure. An archive without entries fails, and so does one whose file entries together unpack
// to more than g_maxUnpackedBytes; a failure leaves neither the zip nor a partial destination.
inline constexpr std::uint64_t kMaxUnpackedBytes = std::uint64_t{256} << 20;
extern std::atomic<std::uint64_t> g_maxUnpackedBytes;  // kMaxUnpackedBytes; tests lower it
int gf_downloadAndUnzip(const std::filesystem::path& zipPath, const std::filesystem::path& destination);
int gf_downloadDbase(const std::filesystem::path& destination);

// The file:// URL of a folder or file (percent-encoded, '/' separated); a folder's URL ends with '/'.
std::string gf_fileUrl(const std::filesystem::path& path, bool folder);

// Back to start values (the default timeouts).
void gf_resetDownloads();

}  // namespace amb
