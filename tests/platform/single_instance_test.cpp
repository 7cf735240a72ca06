#include "platform/single_instance.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace amb::test {
namespace {

const char* const kName = "Local\\$Ambertrail_P3D$";

// The helper program in its own process, ended by its id at the latest when the object goes.
class Holder {
public:
  explicit Holder(const std::string& name) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    char* argv[] = {const_cast<char*>(AMB_SINGLE_INSTANCE_HOLDER), const_cast<char*>(name.c_str()), nullptr};
    const int r = posix_spawn(&m_pid, argv[0], &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    m_stdout = out[0];
    if (r != 0) throw std::runtime_error("cannot start the holder");
  }
  ~Holder() {
    end(true);
    ::close(m_stdin);
    ::close(m_stdout);
  }

  // The first line the helper prints, waiting for it at most 10 s.
  std::string answer() {
    std::string text;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (text.find('\n') == std::string::npos && std::chrono::steady_clock::now() < deadline) {
      pollfd p{m_stdout, POLLIN, 0};
      char buf[64];
      if (::poll(&p, 1, 100) <= 0) continue;
      const ssize_t n = ::read(m_stdout, buf, sizeof buf);
      if (n <= 0) break;
      text.append(buf, static_cast<std::size_t>(n));
    }
    return text.substr(0, text.find('\n'));
  }

  // Its exit status, after ending it (kill) or after it ended by itself.
  int end(bool kill) {
    if (m_pid > 0) {
      if (kill) ::kill(m_pid, SIGTERM);
      int status = 0;
      while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
      }
      m_pid = -1;
      m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
    return m_status;
  }

private:
  pid_t m_pid = -1;
  int m_status = -1;
  int m_stdin = -1, m_stdout = -1;
};

TEST(SingleInstance, OneProcessHoldsTheNameUntilItEnds) {
  TempDir dir("single");
  ScopedEnv runtime("AMBT_RUNTIME_DIR", dir.path().string());

  Holder first(kName);
  ASSERT_EQ(first.answer(), "held");
  EXPECT_FALSE(platform::acquireSingleInstance(kName)) << "this process is a second copy";

  Holder second(kName);
  EXPECT_EQ(second.answer(), "busy");
  EXPECT_EQ(second.end(false), 255);

  // Another name is another instance.
  EXPECT_TRUE(platform::acquireSingleInstance("Local\\$Other$"));

  first.end(true);
  EXPECT_TRUE(platform::acquireSingleInstance(kName)) << "the claim ends with its process";
  Holder third(kName);
  EXPECT_EQ(third.answer(), "busy");
  EXPECT_EQ(third.end(false), 255);
}

TEST(SingleInstance, LockFilesHaveSafeDistinctNamesInTheRuntimeFolder) {
  TempDir dir("single-names");
  ScopedEnv runtime("AMBT_RUNTIME_DIR", dir.path().string());
  const auto a = platform::singleInstanceLockPath(kName);
  const auto b = platform::singleInstanceLockPath("Local/$Ambertrail_P3D$");
  const auto c = platform::singleInstanceLockPath("../..");
  for (const auto& p : {a, b, c}) {
    EXPECT_EQ(p.parent_path(), dir.path());
    const std::string f = p.filename().string();
    EXPECT_EQ(f.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789._-"),
              std::string::npos)
        << f;
    EXPECT_NE(f.front(), '.') << f;
  }
  EXPECT_NE(a, b);
  EXPECT_EQ(a, platform::singleInstanceLockPath(kName));
  EXPECT_EQ(a.filename().string().rfind("Local__Ambertrail_P3D_-", 0), 0u) << a;
}

TEST(SingleInstance, AClaimThatCannotBeMadeDoesNotStopTheProgram) {
  TempDir dir("single-fail");
  writeFile(dir / "file", "not a folder");
  ScopedEnv runtime("AMBT_RUNTIME_DIR", (dir / "file" / "sub").string());
  EXPECT_TRUE(platform::acquireSingleInstance(kName));
}

}  // namespace
}  // namespace amb::test
