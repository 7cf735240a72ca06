#include "refdata/zip_archive.hpp"

#include "refdata_fixture.hpp"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

namespace amb {
namespace {

using test::zipBytes;

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

std::string randomBytes(std::size_t n) {
  std::mt19937 rng(42);
  std::string s(n, '\0');
  for (char& c : s) c = static_cast<char>(rng());
  return s;
}

TEST(ZipArchive, ListsEntriesInOrderAndReadsThem) {
  test::TempDir dir;
  test::writeFile(dir / "a.zip", zipBytes({{"first.txt", "one"}, {"folder/", ""}, {"folder/second.txt", "two two"}}));
  ZipArchive archive(dir / "a.zip");
  ASSERT_TRUE(archive.open(ZipArchive::ReadOnly, false));
  auto entries = archive.getEntries();
  ASSERT_EQ(entries.size(), 3u);
  EXPECT_TRUE(entries[1].isDirectory());
  EXPECT_EQ(entries[2].getName() + " " + std::to_string(entries[2].getSize()), "folder/second.txt 7");
  EXPECT_EQ(entries[2].readAsText(ZipEntry::Current, 3), "two");
  archive.close();
  EXPECT_TRUE(archive.getEntries().empty());
  std::ostringstream out;
  EXPECT_EQ(entries[0].readContent(out), kZipErrorNotOpen);
}

TEST(ZipArchive, ReadsLargeBinaryContentInChunksByteForByte) {
  test::TempDir dir;
  const std::string content = randomBytes(2 * kZipChunkSize + 123);
  test::writeFile(dir / "big.zip", zipBytes({{"install.exe", content}}));
  ZipArchive archive(dir / "big.zip");
  ASSERT_TRUE(archive.open(ZipArchive::ReadOnly, true));
  CountingBuf buf;
  std::ostream out(&buf);
  ASSERT_EQ(archive.getEntries().at(0).readContent(out), kZipOk);
  EXPECT_EQ(buf.str(), content);
  EXPECT_EQ(buf.writes, 3);
}

TEST(ZipArchive, RefusesBrokenFilesAndReportsADamagedEntryAsAReadError) {
  test::TempDir dir;
  const std::string good = zipBytes({{"a.txt", randomBytes(5000)}});
  const std::pair<const char*, std::string> broken[] = {{"text.zip", "this is no zip"},
                                                        {"cut.zip", good.substr(0, good.size() / 2)}};
  EXPECT_FALSE(ZipArchive(dir / "missing.zip").open());
  for (const auto& [name, bytes] : broken) {
    test::writeFile(dir / name, bytes);
    ZipArchive archive(dir / name);
    EXPECT_FALSE(archive.open()) << name;
    EXPECT_FALSE(archive.lastError().empty());
  }
  test::writeFile(dir / "bad.zip", zipBytes({{"a.txt", randomBytes(5000)}}, true));
  ZipArchive archive(dir / "bad.zip");
  ASSERT_TRUE(archive.open(ZipArchive::ReadOnly, false));
  std::ostringstream out;
  EXPECT_EQ(archive.getEntries().at(0).readContent(out), kZipErrorRead);
  EXPECT_EQ(archive.getEntries().at(0).readAsText(), "");
}

}  // namespace
}  // namespace amb
