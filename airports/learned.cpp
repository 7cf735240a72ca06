// Learned airport files: what was learned at an airport (options, changed stands, stands made by
// hand, the per-airport settings), merged at the load and written back when the airport is left.

#include "airports/apf_file.hpp"
#include "airports/park_airport.hpp"
#include "airports/services.hpp"
#include "core/clock.hpp"
#include "core/files.hpp"
#include "core/geometry.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "core/user_error.hpp"
#include "feed/services.hpp"
#include "platform/copy_file.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"
#include "settings/settings.hpp"
#include "state/run_state.hpp"
#include "traffic/services.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace amb {

namespace fs = std::filesystem;

std::int32_t g_standUpdates = 0;
std::uint8_t g_autoRangeAtGround = 0;
std::set<std::string> g_liveCallsigns;
KeptLearnedFile g_keptLearnedFile;

namespace {

std::atomic<std::uint8_t> g_learnedFileKept{0};

void lf_enable(const OptionControl& control, bool on) {
  if (platform::Ui* ui = control.window.load()) ui->enable(control.controlId, on);
}

// The '/'- or '\'-separated parts of a text, each made safe as a path component; "%20" is a blank.
std::vector<std::string> lf_components(const std::string& text) {
  std::vector<std::string> out;
  std::string part;
  auto flush = [&] {
    std::string p = part;
    for (std::size_t at = p.find("%20"); at != std::string::npos; at = p.find("%20", at + 1)) p.replace(at, 3, " ");
    p = gf_pathComponent(p);
    if (!p.empty() && p != ".") out.push_back(p);
    part.clear();
  };
  for (char c : text) {
    if (c == '/' || c == '\\')
      flush();
    else
      part += c;
  }
  flush();
  return out;
}

void lf_logSetting(const std::string& key, const std::string& value) {
  gf_logIndented(fmt::format("{:24}: {}", key, value));
}

bool lf_readBoolSetting(const pugi::xml_document& doc, BoolOptionCheckBox& option) {
  const std::optional<bool> v = gf_getBoolParameter(doc, option.key);
  if (!v) return false;
  option.value = *v ? 1 : 0;
  option.refresh();
  lf_logSetting(option.key, *v ? "true" : "false");
  return true;
}

void lf_readSettings(const pugi::xml_document& doc) {
  lf_readBoolSetting(doc, LEARN_SOFT);
  if (const std::optional<int> v = gf_getIntParameter(doc, MAX_LIVE.key)) {
    MAX_LIVE.value = MAX_LIVE.clamped(*v);
    lf_logSetting(MAX_LIVE.key, std::to_string(*v));
  } else {
    MAX_LIVE.value = -1;
  }
  // The engine's limits read the value in use.
  g_maxLiveInUse = MAX_LIVE.value.load();
  gf_showIntOption(MAX_LIVE);
  if (const std::optional<int> v = gf_getIntParameter(doc, LATERAL_RANGE.key)) {
    gf_setRadiusNm(LATERAL_RANGE.clamped(*v));
    gf_showIntOption(LATERAL_RANGE);
    lf_enable(LATERAL_RANGE, true);
    lf_logSetting(LATERAL_RANGE.key, std::to_string(*v));
  }
  if (lf_readBoolSetting(doc, AUTO_RANGE)) {
    // The manual range is the user's own (set in the window, kept while the automatic range is on):
    // without the automatic range it comes back; with it, it stays kept as it is, not replaced by the
    // automatic range this file was saved with.
    if (AUTO_RANGE.value == 0) {
      lf_enable(LATERAL_RANGE, true);
      gf_setRadiusNm(g_manualRadiusNm.load());
      gf_clearMessage();
    } else {
      gf_autoRange();
      lf_enable(LATERAL_RANGE, false);
    }
    gf_showIntOption(LATERAL_RANGE);
    g_autoRangeAtGround = AUTO_RANGE.value != 0 && g_radiusNm.load() == 10.0 ? 1 : 0;
  }
  lf_readBoolSetting(doc, PARK_FAKE);
  lf_readBoolSetting(doc, WEEK);
  lf_readBoolSetting(doc, PARK_SOFT);
  if (const std::optional<int> v = gf_getIntParameter(doc, parking_percentage.key)) {
    parking_percentage.value = *v;
    lf_logSetting(parking_percentage.key, std::to_string(*v));
    if (*v < 0 || *v > 100)
      gf_logf("{} {} is no percentage: static parking takes {}%", parking_percentage.key, *v, std::clamp(*v, 0, 100));
  } else {
    parking_percentage.value = 30;
  }
  gf_showIntOption(parking_percentage);
  lf_readBoolSetting(doc, INITIAL_LOAD_ONLY);
  if (const std::optional<int> v = gf_getIntParameter(doc, MAX_FIT.key)) {
    MAX_FIT.value = MAX_FIT.clamped(*v);
    MAX_FIT_FL.value = static_cast<float>(MAX_FIT.value * 0.5 + 0.5);
    gf_showFloatOption(MAX_FIT_FL);
    gf_logIndented(fmt::format("{:24}: {} (max number of half hours, is {} hrs decimal)", MAX_FIT.key,
                               MAX_FIT.value.load(), gf_float2string(MAX_FIT_FL.value)));
  }
}

// The options of one stand by their use (day, kind, registration, airline, type) with the half hours
// they hold together: whether the stand already has a learned option is one look-up, however many
// options it holds.
struct OptionUse {
  std::uint32_t day = 0;
  std::uint32_t kind = 0;
  std::string reg, airl, type;
  bool operator==(const OptionUse&) const = default;
};
struct OptionUseHash {
  std::size_t operator()(const OptionUse& u) const noexcept {
    const std::hash<std::string> h;
    std::size_t v = (std::size_t{u.day} << 1) ^ u.kind;
    for (const std::string* t : {&u.reg, &u.airl, &u.type}) v = v * 1099511628211u ^ h(*t);
    return v;
  }
};
using OptionIndex = std::unordered_map<OptionUse, std::uint64_t, OptionUseHash>;

OptionUse lf_useOf(const ParkPosOption& o) { return {o.day, o.kind, o.reg, o.airl, o.type}; }

OptionIndex lf_optionIndex(const std::vector<ParkPosOption>& options) {
  OptionIndex index;
  for (const ParkPosOption& o : options) index[lf_useOf(o)] |= o.halfHours;
  return index;
}

// The merge of one learned `parkpos` into its stand, with the stand's option index (kept up to date).
// A changed radius no real stand has is not taken: the stand keeps its own, and its options are
// merged all the same, so that the next save writes them back.
void lf_mergeLearnedStand(const pugi::xml_node& element, Stand& stand, OptionIndex& index, SkippedStands& faults) {
  const bool radiusChange = element.attribute("radius_change").as_bool();
  const double radius = element.attribute("radius").as_double();
  if (radiusChange && !(radius >= 0 && radius <= kMaxStandRadiusM)) {
    faults.replaced(stand.name, "changed radius", element.attribute("radius").value(),
                    fmt::format("its radius of {:.1F} m", stand.radiusNm * 1852.0));
  } else if (radiusChange) {
    stand.radiusNm = radius * 0.0005399568034557236;
    stand.radiusChanged = 1;
  }
  if (element.attribute("cargo_change").as_bool()) {
    stand.cargo = element.attribute("cargo").as_bool() ? 1 : 0;
    stand.cargoChanged = 1;
  }
  std::uint32_t next = stand.options.empty() ? 1 : stand.options.back().id + 1;
  for (pugi::xml_node opt : element.children("opt")) {
    OptTexts t = lf_readStandAirlTypes(opt);
    ParkPosOption o{std::move(t.airline), std::move(t.type), opt.attribute("reg").as_string(), std::move(t.cs1),
                    std::move(t.cs2), gf_hours2bitset(opt.attribute("hh").as_string(), faults.hours()), next,
                    static_cast<std::uint32_t>(opt.attribute("day").as_int()), 0,
                    opt.attribute("soft").as_bool() ? 0u : 1u};
    // Known when an option of the same use shares a half hour with it (lf_sameOptionOverlap).
    std::uint64_t& held = index[lf_useOf(o)];
    if ((held & o.halfHours) != 0) continue;
    held |= o.halfHours;
    stand.options.push_back(std::move(o));
    ++next;
  }
}

// The damaged file is kept beside it as its "0" copy (replacing an older one): the next save may
// then write the file anew. Empty when kept, else why not.
std::string lf_keepDamagedCopy(const fs::path& path) {
  try {
    if (!fs::exists(path)) return {};
    fs::path name = path.stem();
    name += "0";
    name += path.extension();
    // Not std::filesystem::copy_file: on Windows it refuses to replace an older copy.
    platform::copyFileReplacing(path, fs::path(path).replace_filename(name));
    return {};
  } catch (const std::exception& e) {
    return fmt::format("damaged, and no copy of it could be kept: {}", e.what());
  }
}

// The settings and stands of a parsed learned file with a complete meta block. Empty when every
// stand of its own was taken, else how many were skipped for values no real stand has (the save
// would leave them out).
std::string lf_mergeLearnedDocument(const pugi::xml_document& doc, const std::string& file, const ParkApfInfo& info,
                                    std::vector<Stand>& stands, std::uint8_t& handmade) {
  const std::string name = gf_getStringParameter(doc, "airport_name").value_or("");
  if (name != info.airportName)
    gf_showMessage(fmt::format("Warning: learned file airport name: \"{}\" differs from archived file airport name: \"{}\"",
                               name, info.airportName),
                   true);
  lf_readSettings(doc);
  const pugi::xml_node parkpositions = doc.child("parkpositions");
  const std::optional<std::string> handmadeValue = gf_getStringParameter(doc, "handmade");
  SkippedStands skipped(file);
  if (!handmadeValue) {
    handmade = 0;
    // The first stand of each name, as a search in order would find it, and the option index of
    // each stand merged into.
    std::unordered_map<std::string, std::size_t> byName;
    for (std::size_t i = 0; i < stands.size(); ++i) byName.emplace(stands[i].name, i);
    std::unordered_map<std::size_t, OptionIndex> indexes;
    for (pugi::xml_node p : parkpositions.children("parkpos")) {
      const std::string id = p.attribute("id").as_string();
      if (p.attribute("manual").as_bool()) {
        if (byName.contains(id)) {
          gf_logMarked(fmt::format("manually created standid {} already exists in {}", id, file));
          continue;
        }
        const double lat = p.attribute("latitude").as_double();
        const double lon = p.attribute("longitude").as_double();
        const double radius = p.attribute("radius").as_double();
        if (gf_inNullBox(lat, lon) || radius == 0) {
          gf_logMarked(fmt::format("manually created standid {} misses correct attributes in {}", id, file));
          continue;
        }
        const std::size_t before = stands.size();
        lf_readParkPos(p, id, 0, stands, &skipped);
        if (stands.size() > before) {
          stands.back().manual = 1;
          byName.emplace(id, before);
        }
        continue;
      }
      const auto named = byName.find(id);
      if (named == byName.end()) {
        gf_logf("learned stand {} in {} not found?", id, file);
        continue;
      }
      Stand& stand = stands[named->second];
      auto [index, fresh] = indexes.try_emplace(named->second);
      if (fresh) index->second = lf_optionIndex(stand.options);
      lf_mergeLearnedStand(p, stand, index->second, skipped);
    }
  } else {
    handmade = 1;
    stands.clear();
    std::unordered_set<std::string> seen;
    for (pugi::xml_node p : parkpositions.children("parkpos")) {
      const std::string id = p.attribute("id").as_string();
      if (!seen.insert(id).second)
        throw UserErrorException(94, fmt::format("Parking position {} appears more than once?", id));
      const std::size_t before = stands.size();
      lf_readParkPos(p, id, 1, stands, &skipped);
      if (stands.size() > before) {
        Stand& s = stands.back();
        s.manual = p.attribute("manual").as_bool() ? 1 : 0;
        s.radiusChanged = p.attribute("radius_change").as_bool() ? 1 : 0;
        s.cargoChanged = p.attribute("cargo_change").as_bool() ? 1 : 0;
      }
    }
    lf_logSetting("handmade", *handmadeValue);
  }
  const std::size_t lost = skipped.skippedStands();
  if (lost == 0) return {};
  return fmt::format("{} stand{} with values no real stand has", lost, gf_plural(static_cast<std::uint64_t>(lost)));
}

}  // namespace

void lf_setKeptLearnedFile(KeptLearnedFile kept) {
  g_learnedFileKept = kept.reason.empty() ? 0 : 1;
  g_keptLearnedFile = std::move(kept);
}

bool gf_learnedFileKept() { return g_learnedFileKept != 0; }

fs::path lf_learnedApfPath(std::string source, const std::string& publisher) {
  if (source.empty()) return {};
  std::vector<std::string> parts;
  if (const std::size_t at = source.find("archive"); at != std::string::npos) {
    parts = lf_components(source.substr(at + 7));
  } else if (source.size() >= 8 && source.compare(0, 8, "airports") == 0) {
    parts = lf_components(source.substr(8));
    if (!parts.empty() && (parts.front() == "my_thirdparty2024" || parts.front() == "my_thirdparty")) {
      parts.front() = "thirdparty";
      parts.insert(parts.begin() + 1, gf_pathComponent(publisher));
    } else if (!parts.empty() && parts.front() == "my_ORBX") {
      // Generated files of my_ORBX are simaddon scenery: their learned files are kept with the
      // simaddon ones, where the saver writes them.
      parts.front() = "simaddon";
    }
  } else {
    return fs::path(source);
  }
  fs::path p = g_learnedFolder;
  for (const std::string& c : parts) p /= c;
  return p;
}

bool lf_readLearnedStand(const std::pair<const std::string&, const pugi::xml_node&>& learned, Stand& stand) {
  const auto& [id, element] = learned;
  if (stand.name != id) return false;
  OptionIndex index = lf_optionIndex(stand.options);
  SkippedStands faults("a learned file");
  lf_mergeLearnedStand(element, stand, index, faults);
  return true;
}

std::string lf_readLearned(const fs::path& path, const ParkApfInfo& info, std::vector<Stand>& stands,
                           std::uint8_t& handmade) {
  const std::string file = gf_pathText(path);
  std::string notWhole;
  try {
    // The text stays while the document built in place on it lives.
    std::string text;
    const ApfFileRead read = gf_readApfFileText(path, text);
    pugi::xml_document doc;
    pugi::xml_parse_result parsed;
    if (read == ApfFileRead::Refused) {
      notWhole = fmt::format("larger than {} bytes", kMaxAirportFileBytes);
      parsed.status = pugi::status_io_error;
    } else if (read == ApfFileRead::Missing) {
      parsed.status = pugi::status_file_not_found;
    } else {
      parsed = doc.load_buffer_inplace(text.data(), text.size());
    }
    if (notWhole.empty() && !parsed) {
      notWhole = lf_keepDamagedCopy(path);
      if (notWhole.empty())
        gf_showNotice(fmt::format("{} found, but could not be loaded, saved as *.0.xml: {}", file, parsed.description()));
      else
        gf_logf("{} found, but could not be loaded: {}", file, parsed.description());
    }
    if (parsed) {
      gf_logf("Read from learned airport file: \"{}\"", file);
      if (!gf_checkMeta(doc)) {
        notWhole = "its meta block is incomplete";
      } else {
        notWhole = lf_mergeLearnedDocument(doc, file, info, stands, handmade);
      }
    }
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_readLearned", e.what());
    notWhole = e.what();
  }
  if (!notWhole.empty())
    gf_showNotice(fmt::format("Learned airport file \"{}\" not read whole ({}): it is kept as it is, and what is "
                              "learned at this visit is not saved",
                              file, notWhole));
  return notWhole;
}

void gf_saveLearnedApf() {
  ApfRecord record;
  record.airportName = g_parkApfInfo.airportName;
  record.altitude = g_parkApfInfo.altitude;
  record.publisher = g_parkApfInfo.publisher;
  record.handmade = g_apfHandmade != 0;
  fs::path file = lf_learnedApfPath(g_parkApfSource, record.publisher);
  if (file.empty()) {
    const std::string& pub = record.publisher;
    const fs::path folder = pub == "stock"      ? g_learnedStockFolder
                            : pub == "simaddon" ? g_learnedSimaddonFolder
                                                : g_learnedThirdpartyFolder / gf_pathComponent(pub);
    file = folder / gf_xmlFileName(gf_parkAirportSnapshot().code);
  }
  const std::string now = gf_timeString(clock::unixSeconds());
  const std::string timeText = now.size() >= 13 ? now.substr(now.size() - 13, 8) : now;
  if (!g_keptLearnedFile.reason.empty() && g_keptLearnedFile.path == file) {
    // What was read of it is less than it holds: written now, the rest would be gone.
    gf_showNotice(fmt::format("{} \"{}\" not saved: it was not read whole ({}), it is kept as it is", timeText,
                              gf_pathText(file), g_keptLearnedFile.reason));
    g_standUpdates = 0;
    g_parkParameterChanged = 0;
    return;
  }
  // The stands are written where they are, not copied: the save of a large airport does not take
  // its memory twice.
  std::vector<const Stand*> saved;
  if (!record.handmade) {
    for (Stand& s : g_stands) {
      // Options erased here and learned again later can give back the same storage and count, which
      // would leave the weekday table naming the wrong options: it is built afresh at its next use.
      if (std::erase_if(s.options, [](const ParkPosOption& o) { return o.readMark == 1; }) != 0) s.byDay = {};
      if (s.manual != 0 || !s.options.empty() || s.radiusChanged != 0 || s.cargoChanged != 0) saved.push_back(&s);
    }
  } else {
    for (const Stand& s : g_stands) saved.push_back(&s);
    const QualityFactor qf = gf_qualityFactor();
    record.qfReal = qf.real;
    record.qfSoft = qf.soft;
  }
  bool written = false;
  try {
    fs::create_directories(file.parent_path());
    written = gf_saveApf(record, saved, file, 0);
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "gf_saveLearnedApf", e.what());
  }
  if (written)
    gf_showMessage(fmt::format("{}{} \"{}\" saved with {} update{} {}", timeText, record.handmade ? " handmade" : "",
                               gf_pathText(file), g_standUpdates, gf_pluralS(g_standUpdates),
                               g_parkParameterChanged != 0 ? "and one or more parameter changes" : ""),
                   true);
  else
    gf_showNotice(fmt::format("{} saving \"{}\" did not succeed", timeText, gf_pathText(file)));
  g_standUpdates = 0;
  g_parkParameterChanged = 0;
}

void gf_takeLiveCallsigns() {
  g_trafficReader.callsignCollection.exchange(0);
  g_liveCallsigns = g_trafficReader.takeSeenCallsigns();
}

}  // namespace amb
