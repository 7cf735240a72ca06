#include "refdata/zip_archive.hpp"

#include "core/files.hpp"

#include <zip.h>

#include <algorithm>
#include <memory>
#include <sstream>

namespace amb {

std::string ZipEntry::readAsText(State, std::uint64_t maxSize) const {
  if (m_archive == nullptr) return {};
  std::ostringstream out;
  if (m_archive->readEntry(*this, out, kZipChunkSize, maxSize) != kZipOk) return {};
  return std::move(out).str();
}

int ZipEntry::readContent(std::ostream& out, State, std::uint64_t chunkSize) const {
  if (m_archive == nullptr) return kZipErrorNotOpen;
  return m_archive->readEntry(*this, out, chunkSize == 0 ? kZipChunkSize : chunkSize, 0);
}

ZipArchive::ZipArchive(std::filesystem::path path) : m_path(std::move(path)) {}

ZipArchive::~ZipArchive() { close(); }

bool ZipArchive::open(OpenMode mode, bool checkConsistency) {
  if (mode != ReadOnly) return false;
  close();
  int flags = ZIP_RDONLY;
  if (checkConsistency) flags |= ZIP_CHECKCONS;
  int code = 0;
  // libzip takes UTF-8 names on every platform.
  m_zip = zip_open(gf_pathText(m_path).c_str(), flags, &code);
  if (m_zip == nullptr) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    m_error = zip_error_strerror(&error);
    zip_error_fini(&error);
    return false;
  }
  m_error.clear();
  return true;
}

void ZipArchive::close() {
  if (m_zip != nullptr) {
    zip_discard(m_zip);  // read-only: nothing to write back
    m_zip = nullptr;
  }
}

std::vector<ZipEntry> ZipArchive::getEntries(ZipEntry::State) const {
  std::vector<ZipEntry> entries;
  if (m_zip == nullptr) return entries;
  const zip_int64_t count = zip_get_num_entries(m_zip, 0);
  entries.reserve(static_cast<std::size_t>(std::max<zip_int64_t>(count, 0)));
  for (zip_int64_t i = 0; i < count; ++i) {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(m_zip, static_cast<zip_uint64_t>(i), 0, &st) != 0) continue;
    ZipEntry e;
    e.m_archive = this;
    e.m_index = static_cast<std::uint64_t>(i);
    e.m_name = (st.valid & ZIP_STAT_NAME) && st.name != nullptr ? st.name : "";
    e.m_size = (st.valid & ZIP_STAT_SIZE) ? st.size : 0;
    entries.push_back(std::move(e));
  }
  return entries;
}

int ZipArchive::readEntry(const ZipEntry& entry, std::ostream& out, std::uint64_t chunkSize,
                          std::uint64_t maxSize) const {
  if (m_zip == nullptr) return kZipErrorNotOpen;
  std::unique_ptr<zip_file_t, decltype(&zip_fclose)> file(zip_fopen_index(m_zip, entry.m_index, 0), &zip_fclose);
  if (!file) return kZipErrorOpenEntry;
  const std::uint64_t wanted = maxSize == 0 ? entry.m_size : std::min(maxSize, entry.m_size);
  std::vector<char> buffer(static_cast<std::size_t>(std::min<std::uint64_t>(chunkSize, std::max<std::uint64_t>(wanted, 1))));
  std::uint64_t done = 0;
  while (done < wanted) {
    const std::uint64_t ask = std::min<std::uint64_t>(buffer.size(), wanted - done);
    const zip_int64_t got = zip_fread(file.get(), buffer.data(), ask);
    if (got < 0) return kZipErrorRead;
    if (got == 0) break;
    out.write(buffer.data(), static_cast<std::streamsize>(got));
    if (!out) return kZipErrorWrite;
    done += static_cast<std::uint64_t>(got);
  }
  if (done < wanted) return kZipErrorShort;
  if (maxSize == 0) {
    // Reading past the end lets libzip compare the checksum of the whole entry.
    char probe = 0;
    if (zip_fread(file.get(), &probe, 1) != 0) return kZipErrorRead;
  }
  return kZipOk;
}

}  // namespace amb
