#include "support/test_support.hpp"

#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>
#include <thread>

#ifdef _WIN32
#include <process.h>
#else
#include <unistd.h>
#endif

namespace amb::test {

namespace fs = std::filesystem;

namespace {

int processId() {
#ifdef _WIN32
  return ::_getpid();
#else
  return static_cast<int>(::getpid());
#endif
}

void setVar(const std::string& name, const std::string& value) {
#ifdef _WIN32
  ::_putenv_s(name.c_str(), value.c_str());
#else
  ::setenv(name.c_str(), value.c_str(), 1);
#endif
}

void unsetVar(const std::string& name) {
#ifdef _WIN32
  // An empty value removes the variable on Windows.
  ::_putenv_s(name.c_str(), "");
#else
  ::unsetenv(name.c_str());
#endif
}

}  // namespace

TempDir::TempDir(const std::string& tag) {
  std::random_device rd;
  for (int attempt = 0; attempt < 100; ++attempt) {
    auto candidate = fs::temp_directory_path() /
                     (tag + "-" + std::to_string(processId()) + "-" + std::to_string(rd() % 1000000000u));
    std::error_code ec;
    if (fs::create_directory(candidate, ec)) {
      m_path = candidate;
      return;
    }
  }
  throw std::runtime_error("cannot create a temporary folder");
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::remove_all(m_path, ec);
}

ScopedCwd::ScopedCwd(const fs::path& dir) : m_old(fs::current_path()) { fs::current_path(dir); }
ScopedCwd::~ScopedCwd() {
  std::error_code ec;
  fs::current_path(m_old, ec);
}

ScopedEnv::ScopedEnv(std::string name, const std::string& value) : m_name(std::move(name)) {
  if (const char* old = std::getenv(m_name.c_str())) {
    m_had = true;
    m_old = old;
  }
  setVar(m_name, value);
}

ScopedEnv::~ScopedEnv() {
  if (m_had)
    setVar(m_name, m_old);
  else
    unsetVar(m_name);
}

bool waitFor(const std::function<bool()>& cond, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  while (!cond()) {
    if (std::chrono::steady_clock::now() >= deadline) return cond();
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::string readFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

std::vector<std::string> readLines(const fs::path& p) {
  std::ifstream in(p);
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

void writeFile(const fs::path& p, const std::string& content) {
  if (p.has_parent_path()) fs::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out << content;
}

fs::path testData(const fs::path& rel) { return fs::path(AMB_TESTDATA_DIR_STR) / rel; }

void installAiPackage(const std::filesystem::path& appData) {
  writeFile(appData / "Lockheed Martin" / "Prepar3D v5" / "add-ons.cfg",
            "[Package.0]\nPATH=" + std::string(AMB_AILIB_FOLDER_STR) + "\nTITLE=Ambertrail AI\nACTIVE=true\n");
}

}  // namespace amb::test
