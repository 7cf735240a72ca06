#pragma once
// The lines of the add-on airports scan's own log, "AirportsScanLog.txt". Any thread adds lines
// while a scan runs; the scan writes them to the file once every job has ended. The list sits below
// the reference data and the scan, so the publisher query adds to it without calling up into the scan.

#include <cstddef>
#include <string>
#include <vector>

namespace amb {

// Appends the text as one line, whole, under the log's lock; safe from any thread.
void gf_addScanLogLine(const std::string& text);
// A copy of the lines, taken under the lock.
std::vector<std::string> gf_scanLogLines();
// The lines, leaving the list empty.
std::vector<std::string> gf_takeScanLogLines();
// Makes room for the lines of a scan.
void gf_reserveScanLog(std::size_t lines);

}  // namespace amb
