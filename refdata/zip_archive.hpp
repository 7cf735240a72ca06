#pragma once
// A small read-only wrapper over libzip: open an archive, list its entries, read an entry as text or
// into a stream in chunks, close.

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

struct zip;

namespace amb {

class ZipArchive;

// Results of ZipEntry::readContent.
inline constexpr int kZipOk = 0;
inline constexpr int kZipErrorNotOpen = -1;      // the archive is not open
inline constexpr int kZipErrorOpenEntry = -2;    // the entry cannot be opened (method, password)
inline constexpr int kZipErrorRead = -3;         // reading failed (damaged data, CRC mismatch)
inline constexpr int kZipErrorWrite = -4;        // the output stream failed
inline constexpr int kZipErrorShort = -5;        // fewer bytes than the entry's size
inline constexpr int kZipErrorTooLarge = -6;     // the entry is larger than its reader allows (not read)

inline constexpr std::uint64_t kZipChunkSize = 524288;

class ZipEntry {
public:
  // The state of an archive's content; only the current state exists for a read-only archive.
  enum State { Original, Current };

  const std::string& getName() const { return m_name; }
  std::uint64_t getIndex() const { return m_index; }
  std::uint64_t getSize() const { return m_size; }
  bool isDirectory() const { return !m_name.empty() && m_name.back() == '/'; }
  bool isFile() const { return !isDirectory(); }

  // The whole content (or its first maxSize bytes when maxSize is not 0); empty when it cannot be
  // read.
  std::string readAsText(State state = Current, std::uint64_t maxSize = 0) const;
  // Writes the content to the stream in chunks; kZipOk when all of it was written.
  int readContent(std::ostream& out, State state = Current, std::uint64_t chunkSize = kZipChunkSize) const;

private:
  friend class ZipArchive;
  const ZipArchive* m_archive = nullptr;
  std::string m_name;
  std::uint64_t m_index = 0;
  std::uint64_t m_size = 0;
};

class ZipArchive {
public:
  enum OpenMode { NotOpen, ReadOnly };

  explicit ZipArchive(std::filesystem::path path);
  ~ZipArchive();
  ZipArchive(const ZipArchive&) = delete;
  ZipArchive& operator=(const ZipArchive&) = delete;

  // Only read-only opening is offered. With checkConsistency the archive's directory is checked
  // against its local headers. False when the file is missing or not a readable zip.
  bool open(OpenMode mode = ReadOnly, bool checkConsistency = false);
  bool isOpen() const { return m_zip != nullptr; }
  void close();
  // libzip's message of the last failed open, for logs.
  const std::string& lastError() const { return m_error; }

  // Entries in archive order; empty when not open.
  std::vector<ZipEntry> getEntries(ZipEntry::State state = ZipEntry::Current) const;

  const std::filesystem::path& path() const { return m_path; }

private:
  friend class ZipEntry;
  int readEntry(const ZipEntry& entry, std::ostream& out, std::uint64_t chunkSize, std::uint64_t maxSize) const;

  std::filesystem::path m_path;
  ::zip* m_zip = nullptr;
  std::string m_error;
};

}  // namespace amb
