#pragma once
// The scan log: the lines that the scenery scan and the publisher query collect while the start-up's
// scans run, written out by the scan at its end. Below the reference data and the scan, so both add
// to it without one calling the other. Safe from the scan's job threads: one lock guards the list.

#include <string>
#include <vector>

namespace amb {

// Appends the text as one line to the scan's log list.
void gf_addScanLogLine(const std::string& text);

// A copy of the scan's log list, taken under its lock.
std::vector<std::string> gf_scanLogLines();

// Empties the list.
void gf_clearScanLog();

}  // namespace amb
