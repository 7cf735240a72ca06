#include "liveries/folder_search.hpp"

#include "liveries/cfg_section.hpp"
#include "liveries/store.hpp"

#include "core/exit.hpp"
#include "core/files.hpp"
#include "core/jobs.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"

#include <fmt/format.h>

#include <deque>
#include <memory>

namespace amb {

namespace fs = std::filesystem;

LiveryFileJob g_liveryFileJob = nullptr;

namespace {

struct PendingJob {
  std::future<void> done;
  std::shared_ptr<std::list<LiveryData>> result;
};

// Waits for the job and appends its liveries; a job's exception (already logged by the job) loses
// only that file's liveries.
void collect(PendingJob& job, const char* where) {
  try {
    job.done.get();
    g_liveryList.splice(g_liveryList.end(), *job.result);
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("liveries search aborted, futs {}, {}", where, e.what()));
  }
}

bool closing() { return g_exitUnderWay != 0 || g_userClosed != 0; }

}  // namespace

bool lf_isAircraftCfgName(const fs::path& path) {
  const std::string stem = gf_toUpper(gf_pathText(path.stem()));
  return gf_toUpper(gf_pathText(path.extension())) == ".CFG" && (stem == "AIRCRAFT" || stem == "SIM");
}

void lf_searchLiveriesInFolder(int priority, const fs::path& folder) {
  std::deque<PendingJob> pending;
  try {
    std::error_code ec;
    fs::recursive_directory_iterator it(folder, fs::directory_options::none, ec);
    if (ec) throw fs::filesystem_error("cannot open the folder", folder, ec);
    for (const fs::recursive_directory_iterator end; it != end;) {
      if (closing()) break;
      const fs::directory_entry& entry = *it;
      try {
        const std::string text = gf_pathText(entry.path());
        // Scenery below an "airport" folder holds no liveries, and Windows cannot open paths this long.
        // Only the part below the livery folder counts for "airport": a livery folder that itself
        // lies below such a name ("D:\Airports and AI\...") is still searched.
        const std::string below = gf_pathText(entry.path().lexically_relative(folder));
        if (below.find("airport") != std::string::npos || text.size() >= 250) it.disable_recursion_pending();
        std::error_code statusError;
        const auto status = fs::status(entry.path(), statusError);
        if (!statusError && fs::is_regular_file(status) && lf_isAircraftCfgName(entry.path())) {
          const bool ivao = text.find("ivao_x-csl") != std::string::npos ||
                            text.find("IVAO_MTL") != std::string::npos;
          auto result = std::make_shared<std::list<LiveryData>>();
          const fs::path file = entry.path();
          const LiveryFileJob job = g_liveryFileJob != nullptr ? g_liveryFileJob
                                    : ivao                      ? lf_searchIvaoLiveriesInFile
                                                                : lf_searchLiveriesinFile;
          auto done = gf_startJob([result, priority, file, job] { *result = job(priority, file); });
          pending.push_back({std::move(done), std::move(result)});
          if (static_cast<std::int64_t>(pending.size()) > g_maxJobs.load()) {
            collect(pending.front(), "inner");
            pending.pop_front();
          }
        }
      } catch (const std::exception& e) {
        gf_logMarked(fmt::format("liveries search in {} aborted, cause: {}", gf_pathText(entry.path()), e.what()));
      }
      it.increment(ec);
      if (ec) throw fs::filesystem_error("cannot read the next entry", folder, ec);
    }
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("liveries search in folder {} aborted because of iterator problem: {}",
                             gf_pathText(folder), e.what()));
  }
  // Every started job is collected, also after a failed walk: nothing runs on once the search returns.
  for (auto& job : pending) collect(job, "outer");
}

}  // namespace amb
