#pragma once
// What the other subsystems use of the scenery airport scan. Only the scan log is declared so far.

#include <string>
#include <vector>

namespace amb {

// Appends the text as one line to the scan's log list; safe from the scan's job threads.
void gf_addScanLogLine(const std::string& text);

// A copy of the scan's log list, taken under its lock.
std::vector<std::string> gf_scanLogLines();

// Back to start values: an empty log list.
void gf_resetScan();

}  // namespace amb
