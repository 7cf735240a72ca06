#pragma once
// Helpers for tests: private temporary folders and bounded waits.

#include <chrono>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

// Skips the current test in the Windows build, for what only the Linux backend offers (environment
// overrides, the registry file, POSIX processes); the reason shows in the test output.
#ifdef _WIN32
#define AMB_SKIP_ON_WINDOWS(reason) GTEST_SKIP() << (reason)
#else
#define AMB_SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif

namespace amb::test {

// A fresh folder below the system temp folder, removed with everything in it when the object dies.
class TempDir {
public:
  explicit TempDir(const std::string& tag = "amb");
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return m_path; }
  std::filesystem::path operator/(const std::filesystem::path& p) const { return m_path / p; }

private:
  std::filesystem::path m_path;
};

// Changes the current folder for the lifetime of the object (the program writes Log.txt and its
// relative folders there).
class ScopedCwd {
public:
  explicit ScopedCwd(const std::filesystem::path& dir);
  ~ScopedCwd();

private:
  std::filesystem::path m_old;
};

// Sets an environment variable for the lifetime of the object, restoring the old value afterwards.
class ScopedEnv {
public:
  ScopedEnv(std::string name, const std::string& value);
  ~ScopedEnv();

private:
  std::string m_name;
  bool m_had = false;
  std::string m_old;
};

// The text of the exception of type E that f throws; "no exception" when it throws none (another
// type goes on to the test, which fails).
template <class E = std::exception>
std::string thrownText(const std::function<void()>& f) {
  try {
    f();
  } catch (const E& e) {
    return e.what();
  }
  return "no exception";
}

// Polls the condition every few milliseconds until it holds or the bound passes; true when it held.
bool waitFor(const std::function<bool()>& cond, std::chrono::milliseconds bound = std::chrono::seconds(10));

std::string readFile(const std::filesystem::path& p);
std::vector<std::string> readLines(const std::filesystem::path& p);
void writeFile(const std::filesystem::path& p, const std::string& content);

// Path of a file of the repository's test data (testdata/...).
std::filesystem::path testData(const std::filesystem::path& rel);

// Registers the AI aircraft package the build generates from the recorded traffic in the simulator's
// "add-ons.cfg" below this application-data folder, so that the program's automatic livery scan at
// start-up finds the package's liveries.
void installAiPackage(const std::filesystem::path& appData);

}  // namespace amb::test
