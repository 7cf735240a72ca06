#include "airports/apf_file.hpp"

#include "airports/stand.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "refdata/services.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"

#include <fmt/format.h>

#include <cmath>
#include <fstream>
#include <iterator>

namespace amb {

namespace {

constexpr double kRadToDeg = 57.29577951308232;
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kMetresPerNm = 1852.0;

const char* lf_boolText(bool v) { return v ? "true" : "false"; }

void lf_writeFullAttributes(pugi::xml_node p, const Stand& s) {
  p.append_attribute("latitude") = fmt::format("{:.6f}", s.lat).c_str();
  p.append_attribute("longitude") = fmt::format("{:.6f}", s.lon).c_str();
  p.append_attribute("heading") = fmt::format("{:.1F}", s.heading * kRadToDeg).c_str();
  p.append_attribute("radius") = fmt::format("{:.1F}", s.radiusNm * kMetresPerNm).c_str();
  if (s.heli != 0)
    p.append_attribute("heli") = "true";
  else
    p.append_attribute("cargo") = lf_boolText(s.cargo != 0);
  p.append_attribute("ramp") = lf_boolText(s.ramp != 0);
  if (s.manual != 0) p.append_attribute("manual") = "true";
}

}  // namespace

std::string gf_pathComponent(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != '/' && c != '\\' && c != ':') out += c;
  for (std::size_t at = out.find(".."); at != std::string::npos; at = out.find(".."))
    out.erase(at, 2);
  return out;
}

std::string gf_xmlFileName(const std::string& name) { return gf_pathComponent(name) + ".xml"; }
std::filesystem::path gf_xmlFilePath(const std::string& name) { return std::filesystem::path(gf_xmlFileName(name)); }
std::filesystem::path gf_txtFilePath(const std::string& name) {
  return std::filesystem::path(gf_pathComponent(name) + ".txt");
}

bool lf_writeApfParameters(pugi::xml_node doc, const ApfRecord& a, std::size_t standCount, std::uint32_t full) {
  pugi::xml_node params = doc.append_child("parameters");
  if (!params) return false;
  gf_appendStringParameter(params, "airport_name", a.airportName);
  gf_appendStringParameter(params, "publisher", a.publisher);
  if (a.handmade) gf_appendStringParameter(params, "handmade", "true");
  if (full != 0 || a.handmade) gf_appendIntParameter(params, "altitude", a.altitude);
  gf_appendIntParameter(params, "num_parkpos", static_cast<std::int32_t>(standCount));
  if (a.handmade) {
    gf_appendIntParameter(params, "Qf_real", a.qfReal);
    gf_appendIntParameter(params, "Qf_soft", a.qfSoft);
  }
  if (a.publisher == "unknown") gf_appendStringParameter(params, "BGLpath", a.bglPath);
  if (full == 0) {
    gf_appendIntParameter(params, LATERAL_RANGE.key, LATERAL_RANGE.value);
    gf_appendBoolParameter(params, AUTO_RANGE.key, AUTO_RANGE.value != 0);
    gf_appendBoolParameter(params, WEEK.key, WEEK.value != 0);
    gf_appendBoolParameter(params, PARK_FAKE.key, PARK_FAKE.value != 0);
    gf_appendBoolParameter(params, PARK_SOFT.key, PARK_SOFT.value != 0);
    gf_appendIntParameter(params, parking_percentage.key, parking_percentage.value);
    gf_appendBoolParameter(params, INITIAL_LOAD_ONLY.key, INITIAL_LOAD_ONLY.value != 0);
    gf_appendIntParameter(params, MAX_FIT.key, MAX_FIT.value);
    if (MAX_LIVE.value >= 0) gf_appendIntParameter(params, MAX_LIVE.key, MAX_LIVE.value);
    gf_appendBoolParameter(params, LEARN_SOFT.key, LEARN_SOFT.value != 0);
  }
  return true;
}

void lf_writeParkPosDetails(pugi::xml_node parkpos, const ParkPosOption& o) {
  if (o.id == 0) return;
  pugi::xml_node opt = parkpos.append_child("opt");
  opt.append_attribute("reg") = o.reg.c_str();
  std::string airline, model;
  if (!gf_airlineModelOfRegistration(o.reg, airline, model)) {
    opt.append_attribute("airl") = o.airl.c_str();
    opt.append_attribute("type") = o.type.c_str();
  }
  if (o.kind == 0) opt.append_attribute("soft") = "true";
  opt.append_attribute("day") = o.day;
  opt.append_attribute("hh") = gf_bitset2hours(o.halfHours).c_str();
  opt.append_attribute("cs") = (o.cs2.empty() ? o.cs1 : o.cs1 + ":" + o.cs2).c_str();
}

void lf_writeParkPos(pugi::xml_node parkpositions, std::uint32_t full, const Stand& s, bool handmade) {
  pugi::xml_node p = parkpositions.append_child("parkpos");
  p.append_attribute("id") = s.name.c_str();
  if (full != 0) {
    lf_writeFullAttributes(p, s);
    return;
  }
  if (s.manual != 0) {
    lf_writeFullAttributes(p, s);
  } else if (handmade) {
    // A handmade airport is read back from this file alone: every stand keeps its position, and
    // the change marks follow (their values are among the full attributes).
    lf_writeFullAttributes(p, s);
    if (s.radiusChanged != 0) p.append_attribute("radius_change") = "true";
    if (s.cargoChanged != 0) p.append_attribute("cargo_change") = "true";
  } else if (s.radiusChanged != 0 || s.cargoChanged != 0) {
    if (s.radiusChanged != 0) {
      p.append_attribute("radius_change") = "true";
      p.append_attribute("radius") = fmt::format("{:.1F}", s.radiusNm * kMetresPerNm).c_str();
    }
    if (s.cargoChanged != 0) {
      p.append_attribute("cargo_change") = "true";
      p.append_attribute("cargo") = lf_boolText(s.cargo != 0);
    }
  }
  for (const ParkPosOption& o : s.options) lf_writeParkPosDetails(p, o);
}

bool gf_saveApf(const ApfRecord& airport, const std::filesystem::path& file, std::uint32_t full) {
  std::vector<const Stand*> stands;
  stands.reserve(airport.stands.size());
  for (const Stand& s : airport.stands) stands.push_back(&s);
  return gf_saveApf(airport, stands, file, full);
}

namespace {

// Hands the document's text to the stream until it has grown beyond what a reader takes.
class BoundedWriter : public pugi::xml_writer {
public:
  explicit BoundedWriter(std::ostream& out) : m_out(out) {}
  void write(const void* data, std::size_t size) override {
    m_bytes += size;
    if (m_bytes > kMaxAirportFileBytes) return;
    m_out.write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
  }
  bool within() const { return m_bytes <= kMaxAirportFileBytes; }

private:
  std::ostream& m_out;
  std::uintmax_t m_bytes = 0;
};

}  // namespace

bool gf_saveApf(const ApfRecord& airport, const std::vector<const Stand*>& stands, const std::filesystem::path& file,
                std::uint32_t full) {
  pugi::xml_document doc;
  if (!lf_writeMeta(doc)) return false;
  if (!lf_writeApfParameters(doc, airport, stands.size(), full)) return false;
  pugi::xml_node parkpositions = doc.append_child("parkpositions");
  if (!parkpositions) return false;
  for (const Stand* s : stands) lf_writeParkPos(parkpositions, full, *s, airport.handmade);
  // A file no reader would take is not written: the one before stays.
  return gf_writeFileAtomic(file, [&](std::ostream& out) {
    BoundedWriter writer(out);
    doc.save(writer);
    return writer.within() && static_cast<bool>(out);
  });
}

ApfFileRead gf_readApfFileText(const std::filesystem::path& path, std::string& text) {
  text.clear();
  std::ifstream in(path, std::ios::in | std::ios::binary);
  std::error_code ec;
  if (!in.is_open() || std::filesystem::is_directory(path, ec)) return ApfFileRead::Missing;
  // The size the file system gives is only a first guess (a file may grow, a device has none): the
  // reading itself stops past the limit.
  const std::uintmax_t size = std::filesystem::file_size(path, ec);
  if (!ec && size > kMaxAirportFileBytes) return ApfFileRead::Refused;
  if (!ec) text.reserve(static_cast<std::size_t>(size));
  std::string chunk(64 * 1024, '\0');
  while (in) {
    in.read(chunk.data(), static_cast<std::streamsize>(chunk.size()));
    const auto n = static_cast<std::size_t>(in.gcount());
    if (n == 0) break;
    if (text.size() + n > kMaxAirportFileBytes) {
      text.clear();
      text.shrink_to_fit();
      return ApfFileRead::Refused;
    }
    text.append(chunk.data(), n);
  }
  return ApfFileRead::Read;
}

// ---- Reading ----

OptTexts lf_readStandAirlTypes(const pugi::xml_node& opt) {
  OptTexts t;
  const std::string cs = opt.attribute("cs").as_string();
  const std::size_t colon = cs.find(':');
  if (colon == std::string::npos) {
    t.cs1 = cs;
  } else {
    t.cs1 = cs.substr(0, colon);
    if (cs.find(':', colon + 1) == std::string::npos) t.cs2 = cs.substr(colon + 1);
  }
  const std::string reg = opt.attribute("reg").as_string();
  if (!gf_airlineModelOfRegistration(reg, t.airline, t.type)) {
    t.airline = opt.attribute("airl").as_string();
    t.type = opt.attribute("type").as_string();
  }
  return t;
}

SkippedStands::~SkippedStands() {
  if (m_count <= kLogged) return;
  try {
    gf_logf("{} more stand{} of {} skipped or changed for values no real stand has", m_count - kLogged,
            gf_pluralS(static_cast<std::int64_t>(m_count - kLogged)), m_file);
  } catch (...) {
  }
}

bool SkippedStands::admit() { return ++m_count <= kLogged; }

void SkippedStands::add(const std::string& standName, const char* what, const char* value) {
  ++m_skipped;
  if (!admit()) return;
  gf_logf("stand {} of {} skipped: its {} \"{}\" is no real one", gf_peerText(standName), m_file, what,
          gf_peerText(value));
}

void SkippedStands::replaced(const std::string& standName, const char* what, const char* value,
                             const std::string& kept) {
  if (!admit()) return;
  gf_logf("stand {} of {}: its {} \"{}\" is no real one, {} kept", gf_peerText(standName), m_file, what,
          gf_peerText(value), kept);
}

void SkippedStands::note(SkippedStands* skipped, const std::string& standName, const char* what, const char* value) {
  if (skipped != nullptr) {
    skipped->add(standName, what, value);
    return;
  }
  SkippedStands one("an airport file");
  one.add(standName, what, value);
}

void lf_readParkPos(const pugi::xml_node& parkpos, const std::string& name, std::uint32_t readMark,
                    std::vector<Stand>& stands, SkippedStands* skipped) {
  const double lat = parkpos.attribute("latitude").as_double();
  const double lon = parkpos.attribute("longitude").as_double();
  if (lat == 0 && lon == 0) return;
  const double radius = parkpos.attribute("radius").as_double();
  const double headingDeg = parkpos.attribute("heading").as_double();
  // Not a number fails every comparison, so it is caught with the values out of range.
  const char* bad = !(lat >= -90 && lat <= 90)                       ? "latitude"
                    : !(lon >= -180 && lon <= 180)                   ? "longitude"
                    : !(radius >= 0 && radius <= kMaxStandRadiusM) ? "radius"
                    : !std::isfinite(headingDeg)                     ? "heading"
                                                                     : nullptr;
  if (bad != nullptr) {
    SkippedStands::note(skipped, name, bad, parkpos.attribute(bad).value());
    return;
  }
  std::vector<ParkPosOption> options;
  // As many as the element holds: a fixed reserve would cost every stand of a large airport the
  // room of hundreds of options it does not have.
  const auto opts = parkpos.children("opt");
  options.reserve(static_cast<std::size_t>(std::distance(opts.begin(), opts.end())));
  std::uint32_t id = 1;
  std::optional<HourFaults> ownHours;
  HourFaults& hours = skipped != nullptr ? skipped->hours() : ownHours.emplace("an airport file");
  for (pugi::xml_node opt : opts) {
    OptTexts t = lf_readStandAirlTypes(opt);
    const std::uint32_t kind = opt.attribute("soft").as_bool() ? 0 : 1;
    options.push_back({std::move(t.airline), std::move(t.type), opt.attribute("reg").as_string(), std::move(t.cs1),
                       std::move(t.cs2), gf_hours2bitset(opt.attribute("hh").as_string(), hours), id++,
                       opt.attribute("day").as_uint(), readMark, kind});
  }
  const bool heli = parkpos.attribute("heli").as_bool();
  const bool ramp = parkpos.attribute("ramp").as_bool();
  const bool cargo = parkpos.attribute("cargo").as_bool();
  const double heading = headingDeg * kDegToRad;
  stands.emplace_back(name, std::move(options), StandPosition{lat, lon, heading}, radius, !cargo, !ramp, !heli);
}

bool lf_sameOptionOverlap(const ParkPosOption& a, const ParkPosOption& b) {
  return a.day == b.day && a.kind == b.kind && a.reg == b.reg && a.airl == b.airl && a.type == b.type &&
         (a.halfHours & b.halfHours) != 0;
}

namespace {

pugi::xml_node lf_parameterNode(const pugi::xml_node& doc, const std::string& name) {
  const pugi::xpath_query query(lf_findParameterNode(name).c_str());
  return query.evaluate_node(doc).node();
}

}  // namespace

std::optional<bool> gf_getBoolParameter(const pugi::xml_node& doc, const std::string& name) {
  const pugi::xml_node n = lf_parameterNode(doc, name);
  if (!n) return std::nullopt;
  return n.attribute("value").as_bool();
}

std::optional<int> gf_getIntParameter(const pugi::xml_node& doc, const std::string& name) {
  const pugi::xml_node n = lf_parameterNode(doc, name);
  if (!n) return std::nullopt;
  return n.attribute("value").as_int();
}

std::optional<std::string> gf_getStringParameter(const pugi::xml_node& doc, const std::string& name) {
  const pugi::xml_node n = lf_parameterNode(doc, name);
  if (!n) return std::nullopt;
  return std::string(n.attribute("value").as_string());
}

std::string gf_downloadArchiveFile(const std::string& archivePath, const std::filesystem::path& localFile) {
  const std::string url = gf_serverP3dUrl() + archivePath;
  Downloader downloader;
  if (gf_download(downloader, url, localFile, false)) return {};
  std::string text = fmt::format("failed to download: \"{}\"", url);
  gf_log(text);
  return text;
}

std::string gf_qualityFactorText(std::pair<int, int> qf) {
  if (qf.first < 0 && qf.second < 0) return "  ";
  if (qf.first < 45) return fmt::format("{:2}/{:2}", qf.first, qf.second);
  return fmt::format("{:2}", qf.first);
}

}  // namespace amb
