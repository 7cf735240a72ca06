// The archive reader's own interface. Broken, cut and damaged archives, and large binary entries,
// are checked through the downloads and the update check that read them.

#include "refdata/zip_archive.hpp"

#include "refdata_fixture.hpp"

#include <gtest/gtest.h>

#include <sstream>

namespace amb {
namespace {

TEST(ZipArchive, ListsEntriesInOrderAndReadsThemWhileOpen) {
  test::TempDir dir;
  test::writeFile(dir / "a.zip",
                  test::zipBytes({{"first.txt", "one"}, {"folder/", ""}, {"folder/second.txt", "two two"}}));
  EXPECT_FALSE(ZipArchive(dir / "missing.zip").open());
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

}  // namespace
}  // namespace amb
