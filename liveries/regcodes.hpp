#pragma once
// Registration codes: a live aircraft's registration mapped to the livery painted for it. Three
// sources in this order, a later one replacing an earlier one on a clash: the registrations given
// with the scanned liveries, the downloaded "AIG-regcodes.xml" and the user's ".txt" files in
// "input/my_regcodes". The files also mark special liveries (used for their own registrations only)
// and list don't-use titles (skipped by the scan).

#include <cstddef>
#include <filesystem>
#include <list>
#include <string>
#include <vector>

namespace amb {

struct RegcodeLivery {
  std::string title;
  std::vector<std::string> regcodes;  // file order; empty for a don't-use title
  bool special = false;
};

extern std::vector<std::string> g_offlineRegcodeLines;
extern std::vector<std::string> g_dontUseTitles;  // owned by the scan (cfg_file.cpp)

// The scanned liveries' own registrations into g_regcodes (the first livery keeps a code); clashes
// go to "InlineRegcodes.txt". Called by the table build, before lf_processRegcodes.
void lf_addInlineRegcodes();
// The downloaded list and the user's files into g_regcodes and the special liveries;
// "OfflineRegcodes.txt" is rewritten when they changed anything.
void lf_processRegcodes();
// Don't-use titles of both file sources into g_dontUseTitles (at the start of a livery scan).
void lf_readAigRegcodes();

// Readers: append to the list; false when an error was seen (what was read stays).
bool lf_readAigRegcodesFile(const std::filesystem::path& path, std::list<RegcodeLivery>& list);
bool lf_readRegcodeFolder(const std::filesystem::path& folder, std::list<RegcodeLivery>& list);
// The fault lines of one user file: the first kLoggedRegcodeFaults are logged (marked, the file's
// text in them escaped and cut short), the others only counted; finish() logs how many were left out.
// A damaged or binary file thus costs a few lines of log, not its own size again at every start.
inline constexpr std::size_t kLoggedRegcodeFaults = 20;
class RegcodeFaults {
public:
  explicit RegcodeFaults(std::filesystem::path file) : m_file(std::move(file)) {}
  const std::filesystem::path& file() const { return m_file; }
  void log(const std::string& line);
  void finish();

private:
  std::filesystem::path m_file;
  std::size_t m_faults = 0;
};

// One line of a user file; false when the line holds an error.
bool lf_readRegcodeTextFile(const std::string& line, RegcodeFaults& faults, std::list<RegcodeLivery>& list);
bool lf_readRegcodeTextFile(const std::string& line, const std::filesystem::path& file,
                            std::list<RegcodeLivery>& list);

}  // namespace amb
