#include "core/files.hpp"
#include "platform/copy_file.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;
using test::writeFile;

TEST(CopyFileReplacing, ReplacesCreatesAndRefuses) {
  TempDir dir;
  // Non-ASCII names reach the wide Windows calls intact.
  const fs::path from = dir / gf_pathFromUtf8("Qu\xC3\xA9" "bec \xE2\x9C\x88.txt");
  const fs::path existing = dir / gf_pathFromUtf8("\xC3\xBC" "ber.txt");
  const fs::path fresh = dir / "fresh.txt";
  writeFile(from, "new content\n");
  writeFile(existing, "old content that is longer than the new one\n");

  std::error_code ec;
  EXPECT_TRUE(platform::copyFileReplacing(from, existing, ec)) << ec.message();
  EXPECT_EQ(readFile(existing), "new content\n");

  EXPECT_TRUE(platform::copyFileReplacing(from, fresh, ec)) << ec.message();
  EXPECT_EQ(readFile(fresh), "new content\n");

  // A second copy onto the copy just made: the case the library call gets wrong on Windows.
  writeFile(from, "third\n");
  platform::copyFileReplacing(from, fresh);
  EXPECT_EQ(readFile(fresh), "third\n");
  EXPECT_EQ(readFile(from), "third\n");

  // A missing source leaves the target alone and says why.
  EXPECT_FALSE(platform::copyFileReplacing(dir / "missing.txt", existing, ec));
  EXPECT_TRUE(ec);
  EXPECT_EQ(readFile(existing), "new content\n");
  EXPECT_THROW(platform::copyFileReplacing(dir / "missing.txt", existing), fs::filesystem_error);

  // A folder in the way is not replaced.
  fs::create_directory(dir / "folder");
  EXPECT_FALSE(platform::copyFileReplacing(from, dir / "folder", ec));
  EXPECT_TRUE(fs::is_directory(dir / "folder"));
}

TEST(CopyFileReplacing, LogBackupsRotateOverExistingFiles) {
  TempDir dir;
  writeFile(dir / "Log.txt", "three\n");
  writeFile(dir / "Log0.txt", "two\n");
  writeFile(dir / "Log00.txt", "one\n");
  gf_rotateBackups(dir / "Log.txt");
  EXPECT_EQ(readFile(dir / "Log0.txt"), "three\n");
  EXPECT_EQ(readFile(dir / "Log00.txt"), "two\n");
}

}  // namespace
}  // namespace amb
