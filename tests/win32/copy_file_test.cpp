#include "core/files.hpp"
#include "platform/copy_file.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::writeFile;

TEST(CopyFileReplacing, ReplacesCreatesAndRefuses) {
  test::TempDir dir;
  // Non-ASCII names reach the wide Windows calls intact.
  const fs::path from = dir / gf_pathFromUtf8("Qu\xC3\xA9" "bec \xE2\x9C\x88.txt");
  const fs::path existing = dir / gf_pathFromUtf8("\xC3\xBC" "ber.txt");
  writeFile(from, "new content\n");
  writeFile(existing, "old content that is longer than the new one\n");
  std::error_code ec;
  EXPECT_TRUE(platform::copyFileReplacing(from, existing, ec)) << ec.message();
  EXPECT_EQ(readFile(existing), "new content\n");
  EXPECT_TRUE(platform::copyFileReplacing(from, dir / "fresh.txt", ec)) << ec.message();
  // A second copy onto the copy just made: the case the library call gets wrong on Windows.
  writeFile(from, "third\n");
  platform::copyFileReplacing(from, dir / "fresh.txt");
  EXPECT_EQ(readFile(dir / "fresh.txt"), "third\n");

  // A missing source leaves the target alone and says why; a folder in the way is not replaced.
  EXPECT_FALSE(platform::copyFileReplacing(dir / "missing.txt", existing, ec));
  EXPECT_TRUE(ec);
  EXPECT_EQ(readFile(existing), "new content\n");
  EXPECT_THROW(platform::copyFileReplacing(dir / "missing.txt", existing), fs::filesystem_error);
  fs::create_directory(dir / "folder");
  EXPECT_FALSE(platform::copyFileReplacing(from, dir / "folder", ec));
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

}  // namespace
}  // namespace amb
