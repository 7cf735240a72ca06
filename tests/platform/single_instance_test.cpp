#include "platform/single_instance.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <csignal>
#include <spawn.h>
#include <sys/wait.h>

extern char** environ;

namespace amb::test {
namespace {

const char* const kName = "Local\\$Ambertrail_P3D$";

// The helper program in its own process, ended by its id at the latest when the object goes.
class Holder {
public:
  Holder(const std::string& name, const std::filesystem::path& ready) {
    const std::string readyText = ready.string();
    char* argv[] = {const_cast<char*>(AMB_SINGLE_INSTANCE_HOLDER), const_cast<char*>(name.c_str()),
                    const_cast<char*>(readyText.c_str()), nullptr};
    if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv, environ) != 0) throw std::runtime_error("spawn");
  }
  ~Holder() { end(true); }
  // Its exit status, after ending it (kill) or after it ended by itself.
  int end(bool kill) {
    if (m_pid > 0) {
      if (kill) ::kill(m_pid, SIGTERM);
      int status = 0;
      while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) continue;
      m_pid = -1;
      m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return m_status;
  }

private:
  pid_t m_pid = -1;
  int m_status = -1;
};

TEST(SingleInstance, OneProcessHoldsTheNameUntilItEnds) {
  TempDir dir("single");
  ScopedEnv runtime("AMBT_RUNTIME_DIR", dir.path().string());
  Holder first(kName, dir / "first.ready");
  ASSERT_TRUE(waitFor([&] { return std::filesystem::exists(dir / "first.ready"); }));
  EXPECT_FALSE(platform::acquireSingleInstance(kName)) << "this process is a second copy";
  EXPECT_EQ(Holder(kName, dir / "second.ready").end(false), 255);
  EXPECT_TRUE(platform::acquireSingleInstance("Local\\$Other$"));  // another name is another instance

  first.end(true);
  EXPECT_TRUE(platform::acquireSingleInstance(kName)) << "the claim ends with its process";
  EXPECT_EQ(Holder(kName, dir / "third.ready").end(false), 255);
}

TEST(SingleInstance, LockFilesHaveSafeDistinctNamesAndAFailedClaimDoesNotStopTheProgram) {
  TempDir dir("single-names");
  {
    ScopedEnv runtime("AMBT_RUNTIME_DIR", dir.path().string());
    for (const char* name : {"Local/$Ambertrail_P3D$", "../.."}) {
      const auto p = platform::singleInstanceLockPath(name);
      EXPECT_EQ(p.parent_path(), dir.path());
      EXPECT_NE(p.filename().string().front(), '.') << p;
      EXPECT_NE(p, platform::singleInstanceLockPath(kName));
    }
  }
  writeFile(dir / "file", "not a folder");
  ScopedEnv runtime("AMBT_RUNTIME_DIR", (dir / "file" / "sub").string());
  EXPECT_TRUE(platform::acquireSingleInstance(kName));
}

}  // namespace
}  // namespace amb::test
