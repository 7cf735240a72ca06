#pragma once
// The search of one livery folder: every aircraft.cfg and sim.cfg below it is read in a job of its
// own, at most the job limit at a time, and the liveries are appended to g_liveryList in the order the
// walk found their files, whatever order the jobs finish in.

#include "liveries/livery.hpp"

#include <filesystem>
#include <list>

namespace amb {

// Walks the folder (links not followed; no descent into folders whose path below the livery folder
// contains "airport", nor into paths of 250 bytes or more) and appends the liveries found to g_liveryList. Failures are logged, never thrown. Stops
// starting jobs when the program is closing; the jobs started are always collected.
void lf_searchLiveriesInFolder(int priority, const std::filesystem::path& folder);

// The job that reads one configuration file. Unset, the search takes the IVAO job for model sets and
// the ordinary one for every other file; tests set a job of their own.
using LiveryFileJob = std::list<LiveryData> (*)(int priority, const std::filesystem::path& file);
extern LiveryFileJob g_liveryFileJob;

// Whether the file name is an aircraft configuration file: "aircraft.cfg" or "sim.cfg" in any case.
bool lf_isAircraftCfgName(const std::filesystem::path& path);

}  // namespace amb
