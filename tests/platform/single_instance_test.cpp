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

// The helper program in its own process; ended by its id when the object goes.
class Holder {
public:
  explicit Holder(const std::string& name) {
    int in[2], out[2];
    if (::pipe2(in, O_CLOEXEC) != 0 || ::pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    posix_spawn_file_actions_adddup2(&fa, in[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&fa, out[1], STDOUT_FILENO);
    const std::string path = AMB_SINGLE_INSTANCE_HOLDER;
    char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(name.c_str()), nullptr};
    const int r = posix_spawn(&m_pid, path.c_str(), &fa, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&fa);
    ::close(in[0]);
    ::close(out[1]);
    m_stdin = in[1];
    m_stdout = out[0];
    if (r != 0) throw std::runtime_error("cannot start " + path);
  }
  ~Holder() {
    end();
    ::close(m_stdin);
    ::close(m_stdout);
  }

  // The first line the helper prints, waiting at most 10 s for it.
  std::string answer() {
    std::string line;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (line.find('\n') == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return "no answer";
      pollfd p{m_stdout, POLLIN, 0};
      if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
      char buf[64];
      const ssize_t n = ::read(m_stdout, buf, sizeof buf);
      if (n <= 0) return line.empty() ? "no answer" : line;
      line.append(buf, static_cast<std::size_t>(n));
    }
    return line.substr(0, line.find('\n'));
  }

  // Ends the helper by its id; its exit status.
  int end() {
    if (m_pid <= 0) return m_status;
    ::kill(m_pid, SIGTERM);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return m_status;
  }
  // Waits for the helper to exit by itself; its exit status.
  int wait() {
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_pid = -1;
    m_status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
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
  EXPECT_EQ(second.wait(), 255);

  // Another name is another instance.
  EXPECT_TRUE(platform::acquireSingleInstance("Local\\$Other$"));

  first.end();
  EXPECT_TRUE(platform::acquireSingleInstance(kName)) << "the claim ends with its process";
  Holder third(kName);
  EXPECT_EQ(third.answer(), "busy");
  EXPECT_EQ(third.wait(), 255);
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
