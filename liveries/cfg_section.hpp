#pragma once
// One aircraft configuration file turned into liveries: the per-file jobs of the livery scan, one for
// ordinary AI packages and one for the IVAO model sets (one type per folder "IVAO_<type>" below
// "IVAO_MTL", the airline written in the title behind the type).

#include "liveries/livery.hpp"

#include <filesystem>
#include <list>
#include <optional>
#include <string>
#include <vector>

namespace amb {

// Reads the file, checks its numbering and model code, and gives one livery per acceptable
// [fltsim.N] section in file order. A missing or unreadable file gives nothing. An exception is
// logged and passed on: that file's liveries are lost, not the scan's.
std::list<LiveryData> lf_searchLiveriesinFile(int priority, const std::filesystem::path& path);
// One section (its first line the header; trailing empty and "//" lines are removed from it):
// nothing, or the one livery it describes. Every rejection but two silent ones (the airline "RFO",
// a title not to be used) leaves a report line.
std::list<LiveryData> lf_procesFltSimSection(int priority, std::vector<std::string>& section,
                                             const std::string& modelType,
                                             const std::filesystem::path& path,
                                             const std::filesystem::path& folder);

// The IVAO variant: the model code from the folder name, the airline from the title, never cargo.
std::list<LiveryData> lf_searchIvaoLiveriesInFile(int priority, const std::filesystem::path& path);
// The model code of an aircraft.cfg directly in ".../IVAO_MTL/IVAO_<code>/", corrected and checked
// against the data base; "" (reported) otherwise.
std::string lf_ivaoModelFromPath(const std::filesystem::path& path);
std::optional<LiveryData> lf_procesIvaoFltSimSection(int priority, std::vector<std::string>& section,
                                                     const std::string& model,
                                                     const std::filesystem::path& path,
                                                     const std::filesystem::path& folder);

// The file's lines as valid UTF-8: a byte-order mark decides the encoding; without one, lines that
// are valid UTF-8 stay, others are read as Windows-1252. False when the file cannot be read.
bool lf_readCfgLines(const std::filesystem::path& path, std::vector<std::string>& lines);

}  // namespace amb
