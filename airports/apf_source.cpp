// Where an airport's file is (a link or generated file of the user's add-on folders, or the server's
// archived stock file), whether the server holds one, and the two small queries that read a few
// values of an airport file: the nearest stand to a position and the offline-learning check.

#include "airports/apf_source.hpp"

#include "airports/apf_file.hpp"
#include "airports/services.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "refdata/services.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>

#include <map>
#include <vector>
#include <mutex>

namespace amb {

namespace fs = std::filesystem;

namespace {

// The server probe's answers of this service run, by airport code: the park-airport check asks
// every 16 reports, and each probe is a download.
std::mutex g_probeMutex;
std::map<std::string, bool> g_probeAnswers;

// The stands of the server's airport files as the nearest-stand query reads them, by airport code,
// for this service run: the park-airport check asks for two neighbouring airports at every check
// while the user aircraft stands between them, and each would be a download. Empty when the file
// could not be had.
struct StandPoint {
  std::string name;
  LatLon at;
};
std::map<std::string, std::vector<StandPoint>> g_standPoints;

bool lf_exists(const fs::path& p) {
  std::error_code ec;
  const fs::file_status st = fs::status(p, ec);
  if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
    throw fs::filesystem_error("exists", p, ec);
  return fs::exists(st);
}

void lf_removeIfThere(const fs::path& p) {
  std::error_code ec;
  if (!fs::exists(p, ec)) return;
  if (!fs::remove(p, ec) && ec) throw fs::filesystem_error("remove", p, ec);
}

}  // namespace

bool lf_readLinkFile(const fs::path& path, std::string& out) {
  FileLines lines{path, {}};
  if (gf_readFileLines(lines, 4) == nullptr || lines.lines.empty()) return false;
  std::string text = lines.lines.front();
  while (!text.empty() && text.back() != 'l') text.pop_back();
  out = text;
  return true;
}

bool gf_downloadStockApf(const std::string& code) {
  {
    std::lock_guard lock(g_probeMutex);
    if (const auto it = g_probeAnswers.find(code); it != g_probeAnswers.end()) return it->second;
  }
  const fs::path local = gf_xmlFilePath(code);
  bool found = false;
  {
    Downloader downloader;
    found = gf_download(downloader, gf_serverP3dUrl() + "archive/stock/" + gf_xmlFileName(code), local, false);
  }
  if (found) lf_removeIfThere(local);
  std::lock_guard lock(g_probeMutex);
  g_probeAnswers[code] = found;
  return found;
}

void gf_forgetServerProbes() {
  std::lock_guard lock(g_probeMutex);
  g_probeAnswers.clear();
  g_standPoints.clear();
}

std::string gf_findApfSource(const std::string& code) {
  std::string link;
  const fs::path thirdpartyLink = g_myThirdpartyFolder / gf_txtFilePath(code);
  if (lf_exists(thirdpartyLink) && lf_readLinkFile(thirdpartyLink, link)) return link;
  const fs::path thirdpartyFile = g_myThirdpartyFolder / gf_xmlFilePath(code);
  if (lf_exists(thirdpartyFile)) return gf_pathText(thirdpartyFile);
  const fs::path orbxLink = g_myOrbxFolder / gf_txtFilePath(code);
  if (lf_exists(orbxLink) && lf_readLinkFile(orbxLink, link)) return link;
  const fs::path orbxFile = g_myOrbxFolder / gf_xmlFilePath(code);
  if (lf_exists(orbxFile)) return gf_pathText(orbxFile);
  if (gf_downloadStockApf(code)) return "archive/stock/" + gf_xmlFileName(code);
  return {};
}

bool gf_hasApf(const std::string& code) {
  for (const fs::path& p : {g_myThirdpartyFolder / gf_xmlFilePath(code), g_myThirdpartyFolder / gf_txtFilePath(code),
                            g_myOrbxFolder / gf_xmlFilePath(code), g_myOrbxFolder / gf_txtFilePath(code)})
    if (lf_exists(p)) return true;
  return gf_downloadStockApf(code);
}

bool gf_isLocalApfSource(const std::string& source) {
  return source.size() >= 8 && source.compare(0, 8, "airports") == 0;
}

namespace {

// The stands of the airport file of the source; empty when it cannot be had.
std::vector<StandPoint> lf_readStandPoints(const std::string& source) {
  const fs::path target = "airport.xml";
  fs::path file = source;
  if (!gf_isLocalApfSource(source)) {
    if (!gf_downloadArchiveFile(source, target).empty()) return {};
    file = target;
  }
  pugi::xml_document doc;
  std::string text;
  const bool read = gf_readApfFileText(file, text) == ApfFileRead::Read;
  const pugi::xml_node parkpositions =
      read && doc.load_buffer_inplace(text.data(), text.size()) ? doc.child("parkpositions") : pugi::xml_node();
  if (!parkpositions) {
    lf_removeIfThere(target);
    return {};
  }
  std::vector<StandPoint> points;
  for (pugi::xml_node p : parkpositions.children("parkpos"))
    points.push_back({p.attribute("id").as_string(), {p.attribute("latitude").as_double(), p.attribute("longitude").as_double()}});
  return points;
}

}  // namespace

double gf_readDestApfForClosestStand(const std::string& code, const LatLon& position, std::string& standName) {
  try {
    std::vector<StandPoint> points;
    bool known = false;
    {
      std::lock_guard lock(g_probeMutex);
      if (const auto it = g_standPoints.find(code); it != g_standPoints.end()) {
        points = it->second;
        known = true;
      }
    }
    if (!known) {
      const std::string source = gf_findApfSource(code);
      if (source.empty()) return 100.0;
      points = lf_readStandPoints(source);
      if (!gf_isLocalApfSource(source)) {
        std::lock_guard lock(g_probeMutex);
        g_standPoints[code] = points;
      }
    }
    double best = 100.0;
    for (const StandPoint& p : points) {
      const double d = gf_distanceNm(position, p.at);
      if (d < best) {
        best = d;
        standName = p.name;
      }
    }
    return best;
  } catch (const std::exception& e) {
    gf_logMarked(fmt::format("{}: {}", "gf_readDestApfForClosestStand", e.what()));
    return 100.0;
  }
}

bool gf_checkOfflineLearning(const std::string& code) {
  const std::string url = gf_serverP3dUrl() + "archive/stock/" + gf_xmlFileName(code);
  const fs::path local = gf_xmlFilePath(code);
  bool loaded = false;
  pugi::xml_document doc;
  std::string text;
  {
    Downloader downloader;
    loaded = gf_download(downloader, url, local, false) && gf_readApfFileText(local, text) == ApfFileRead::Read &&
             doc.load_buffer_inplace(text.data(), text.size());
  }
  lf_removeIfThere(local);
  if (!loaded) {
    gf_logMarked(fmt::format("{} Not suitable for offline learning", code));
    return false;
  }
  const int real = gf_getIntParameter(doc, "Qf_real").value_or(-1);
  const int soft = gf_getIntParameter(doc, "Qf_soft").value_or(-1);
  if (real < 0 && soft < 0) return false;
  const std::optional<int> week = gf_getIntParameter(doc, "WEEK");
  return week.has_value() && *week >= 20;
}

}  // namespace amb
