#include "refdata/zip_archive.hpp"

#include "dbgen/dbgen.hpp"
#include "refdata_fixture.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace amb {
namespace {

using test::TempDir;

// Counts the chunks a stream receives.
class CountingBuf : public std::stringbuf {
public:
  int writes = 0;

protected:
  std::streamsize xsputn(const char* s, std::streamsize n) override {
    ++writes;
    return std::stringbuf::xsputn(s, n);
  }
};

std::string randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

TEST(ZipArchive, ListsEntriesInOrderAndReadsThem) {
  TempDir dir;
  const auto zip = dir / "a.zip";
  dbgen::writeZip(zip, {{"first.txt", "one"}, {"folder/", ""}, {"folder/second.txt", "two two"}});
  ZipArchive archive(zip);
  ASSERT_TRUE(archive.open(ZipArchive::ReadOnly, false));
  auto entries = archive.getEntries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_EQ(entries[0].getName(), "first.txt");
  EXPECT_TRUE(entries[1].isDirectory());
  EXPECT_EQ(entries[2].getName(), "folder/second.txt");
  EXPECT_EQ(entries[2].getSize(), 7u);
  EXPECT_EQ(entries[0].readAsText(), "one");
  EXPECT_EQ(entries[2].readAsText(ZipEntry::Current, 3), "two");
  EXPECT_EQ(entries[1].readAsText(), "");
  archive.close();
  EXPECT_FALSE(archive.isOpen());
  EXPECT_TRUE(archive.getEntries().empty());
  std::ostringstream out;
  EXPECT_EQ(entries[0].readContent(out), kZipErrorNotOpen);
}

TEST(ZipArchive, ReadsLargeBinaryContentInChunksByteForByte) {
  TempDir dir;
  const auto zip = dir / "big.zip";
  const std::string content = randomBytes(2 * kZipChunkSize + 123, 42);
  dbgen::writeZip(zip, {{"install.exe", content}});
  ZipArchive archive(zip);
  ASSERT_TRUE(archive.open(ZipArchive::ReadOnly, true));
  CountingBuf buf;
  std::ostream out(&buf);
  ASSERT_EQ(archive.getEntries().at(0).readContent(out), kZipOk);
  EXPECT_EQ(buf.str(), content);
  EXPECT_EQ(buf.writes, 3);
}

TEST(ZipArchive, RefusesMissingAndBrokenFiles) {
  TempDir dir;
  EXPECT_FALSE(ZipArchive(dir / "missing.zip").open());
  test::writeFile(dir / "text.zip", "this is no zip");
  ZipArchive notZip(dir / "text.zip");
  EXPECT_FALSE(notZip.open());
  EXPECT_FALSE(notZip.lastError().empty());
  dbgen::writeZip(dir / "ok.zip", {{"a.txt", std::string(5000, 'a')}});
  const std::string bytes = test::readFile(dir / "ok.zip");
  test::writeFile(dir / "cut.zip", bytes.substr(0, bytes.size() / 2));
  EXPECT_FALSE(ZipArchive(dir / "cut.zip").open());
}

TEST(ZipArchive, DamagedEntryIsAReadErrorNotShortContent) {
  TempDir dir;
  const auto zip = dir / "bad.zip";
  dbgen::writeZip(zip, {{"a.txt", randomBytes(4000, 7)}});
  test::damageFirstEntry(zip);
  ZipArchive archive(zip);
  ASSERT_TRUE(archive.open(ZipArchive::ReadOnly, false));
  std::ostringstream out;
  EXPECT_EQ(archive.getEntries().at(0).readContent(out), kZipErrorRead);
  EXPECT_EQ(archive.getEntries().at(0).readAsText(), "");
}

}  // namespace
}  // namespace amb
