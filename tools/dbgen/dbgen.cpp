// g++ 12 reports a false "may be used uninitialized" inside <regex> when it optimises with the
// sanitizers on; the warning concerns the library's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

#include "dbgen/dbgen.hpp"

#include "tools/tracemap/tracemap.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>
#include <zip.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <map>
#include <regex>
#include <sstream>
#include <stdexcept>

namespace amb::dbgen {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------
// Writing

namespace {

std::string join(const std::vector<std::string>& parts) {
  std::string text;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    if (i != 0) text += ',';
    text += parts[i];
  }
  return text;
}

// Items of a list section, each holding up to perItem codes of the list in its attribute.
void appendList(pugi::xml_node section, const char* item, const char* attribute, const std::vector<std::string>& codes,
                std::size_t perItem) {
  perItem = std::max<std::size_t>(perItem, 1);
  for (std::size_t i = 0; i < codes.size(); i += perItem) {
    const auto end = std::min(codes.size(), i + perItem);
    std::vector<std::string> chunk(codes.begin() + static_cast<std::ptrdiff_t>(i),
                                   codes.begin() + static_cast<std::ptrdiff_t>(end));
    section.append_child(item).append_attribute(attribute) = join(chunk).c_str();
  }
}

std::vector<std::string> modelsOf(const PlainDataBase& db, Category category) {
  std::vector<std::string> codes;
  for (const auto& [model, c] : db.models)
    if (c == category) codes.push_back(model);
  return codes;
}

}  // namespace

std::string writeXml(const PlainDataBase& db, const WriteOptions& options) {
  Fillers fillers(options.fillerSeed);
  pugi::xml_document doc;
  auto section = [&](const char* name) -> pugi::xml_node {
    if (options.omitSections.count(name) != 0) return pugi::xml_node();
    return doc.append_child(name);
  };
  auto codes = [&](const std::vector<std::string>& plain) {
    std::vector<std::string> out;
    out.reserve(plain.size());
    for (const auto& p : plain) out.push_back(encryptCode(p, fillers));
    return out;
  };
  auto modelList = [&](const char* name, const char* item, const std::vector<std::string>& plain) {
    if (auto s = section(name)) appendList(s, item, "types", codes(plain), options.codesPerItem);
  };

  std::vector<std::string> all;
  for (const auto& entry : db.models) all.push_back(entry.first);
  modelList("aircrafts", "aircraft", all);
  modelList("high_performance", "hpf", modelsOf(db, Category::HighPerf));
  modelList("heavy", "hvy", modelsOf(db, Category::Heavy));
  modelList("large", "lar", modelsOf(db, Category::Large));
  modelList("buzjet", "bzj", modelsOf(db, Category::Buzjets));
  modelList("rotorcraft", "rot", modelsOf(db, Category::Rotorcraft));
  modelList("cargo_types", "cargo_type", std::vector<std::string>(db.cargoTypes.begin(), db.cargoTypes.end()));

  if (auto s = section("similar_types"))
    for (const auto& group : db.similarGroups) s.append_child("similar").append_attribute("types") = join(codes(group)).c_str();

  auto airlineList = [&](const char* name, const std::set<std::string>& plain) {
    if (auto s = section(name)) {
      std::vector<std::string> out;
      for (const auto& p : plain) out.push_back(encryptAirl(p, fillers));
      appendList(s, "ICAO", "codes", out, options.codesPerItem);
    }
  };
  airlineList("ICAO_airlines", db.airlines);
  airlineList("cargo_operators", db.cargoOperators);

  if (auto s = section("publishers"))
    for (const auto& group : db.publishers) s.append_child("pub").append_attribute("names") = join(group).c_str();

  if (auto s = section("wingspans"))
    for (const auto& [model, metres] : db.wingspanMetres) {
      auto item = s.append_child("wingspan");
      item.append_attribute("type") = encryptCode(model, fillers).c_str();
      item.append_attribute("meters") = fmt::format("{:.2f}", metres).c_str();
    }

  if (auto s = section("fixes"))
    for (const auto& [wrong, correct] : db.fixes) {
      auto item = s.append_child("fx");
      item.append_attribute("wro") = wrong.c_str();
      item.append_attribute("cor") = correct.c_str();
    }

  if (auto s = section("simaddonsP3D")) appendList(s, "simaddonP3D", "arpts", db.simaddonAirports, options.codesPerItem);

  if (auto s = section("thirdpartiesP3D"))
    for (const auto& tp : db.thirdParties) {
      auto item = s.append_child("thirdpartieP3D");
      item.append_attribute("pub") = tp.publisher.c_str();
      item.append_attribute("arpts") = join(tp.airports).c_str();
    }

  if (auto s = section("dbase"))
    for (const auto& r : db.registrations) {
      auto item = s.append_child("db");
      item.append_attribute("reg") = encryptKeyed(r.reg).c_str();
      if (!r.airline.empty()) item.append_attribute("airl") = encryptAirl(r.airline, fillers).c_str();
      if (!r.type.empty()) item.append_attribute("type") = encryptCode(r.type, fillers).c_str();
      if (!r.operatorCode.empty()) item.append_attribute("opr") = encryptAirl(r.operatorCode, fillers).c_str();
      item.append_attribute("cargo") = r.cargo ? "1" : "0";
    }

  std::ostringstream out;
  doc.save(out, " ", pugi::format_default, pugi::encoding_utf8);
  return std::move(out).str();
}

std::string writeAigRegcodes(const std::vector<AigLivery>& liveries) {
  pugi::xml_document doc;
  auto list = doc.append_child("AIG-regcodes");
  for (const auto& livery : liveries) {
    auto item = list.append_child("livery");
    item.append_attribute("title") = livery.title.c_str();
    if (!livery.regcodes.empty()) {
      std::string regs;
      for (const auto& code : livery.regcodes) regs += (regs.empty() ? "" : ",") + encryptKeyed(code);
      item.append_attribute("reg") = regs.c_str();
    }
    if (livery.special) item.append_attribute("special") = "true";
  }
  std::ostringstream out;
  doc.save(out, " ", pugi::format_default, pugi::encoding_utf8);
  return std::move(out).str();
}

void writeZip(const fs::path& path, const std::vector<ZipInput>& entries) {
  int code = 0;
  auto u8 = path.u8string();
  zip_t* archive = zip_open(std::string(u8.begin(), u8.end()).c_str(), ZIP_CREATE | ZIP_TRUNCATE, &code);
  if (archive == nullptr) throw std::runtime_error(fmt::format("cannot create {} (libzip error {})", path.string(), code));
  for (const auto& e : entries) {
    if (!e.name.empty() && e.name.back() == '/') {
      if (zip_dir_add(archive, e.name.substr(0, e.name.size() - 1).c_str(), ZIP_FL_ENC_UTF_8) < 0) {
        zip_discard(archive);
        throw std::runtime_error("cannot add folder " + e.name);
      }
      continue;
    }
    // The source reads the content when the archive is closed; the entries outlive that.
    zip_source_t* source = zip_source_buffer(archive, e.content.data(), e.content.size(), 0);
    if (source == nullptr || zip_file_add(archive, e.name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
      if (source != nullptr) zip_source_free(source);
      zip_discard(archive);
      throw std::runtime_error("cannot add entry " + e.name);
    }
  }
  if (zip_close(archive) != 0) {
    std::string message = zip_strerror(archive);
    zip_discard(archive);
    throw std::runtime_error(fmt::format("cannot write {}: {}", path.string(), message));
  }
}

// ---------------------------------------------------------------------------------------------
// Reading the sources

std::vector<std::string> readTextLines(const fs::path& path) {
  gzFile file = gzopen(path.string().c_str(), "rb");  // reads plain files as they are
  if (file == nullptr) throw std::runtime_error("cannot read " + path.string());
  std::vector<std::string> lines;
  std::string current;
  char buffer[65536];
  for (;;) {
    const int n = gzread(file, buffer, sizeof buffer);
    if (n < 0) {
      gzclose(file);
      throw std::runtime_error("cannot read " + path.string());
    }
    if (n == 0) break;
    for (int i = 0; i < n; ++i) {
      if (buffer[i] == '\n') {
        if (!current.empty() && current.back() == '\r') current.pop_back();
        lines.push_back(std::move(current));
        current.clear();
      } else {
        current += buffer[i];
      }
    }
  }
  gzclose(file);
  if (!current.empty()) lines.push_back(std::move(current));
  return lines;
}

namespace {

bool isTypeCode(const std::string& code) {
  if (code.size() < 2 || code.size() > 4) return false;
  if (!std::isupper(static_cast<unsigned char>(code[0])) && !std::isdigit(static_cast<unsigned char>(code[0])))
    return false;
  return std::all_of(code.begin(), code.end(), [](char c) {
    return std::isupper(static_cast<unsigned char>(c)) || std::isdigit(static_cast<unsigned char>(c));
  });
}

// "1 350" and "174 200" are numbers with thousands written apart; "tbd" and "No Value" are none.
double parseNumber(const std::string& text) {
  std::string digits;
  for (char c : text)
    if (c != ' ' && c != '\xA0') digits += c;
  if (digits.empty()) return -1;
  char* end = nullptr;
  const double v = std::strtod(digits.c_str(), &end);
  return (end != nullptr && *end == '\0') ? v : -1;
}

bool contains(const std::string& text, const std::regex& re) { return std::regex_search(text, re); }

// The category of one row of the FAA table, from its engine class, wake category, weight and name.
Category classify(const std::map<std::string, std::string>& row) {
  auto get = [&](const char* key) {
    auto it = row.find(key);
    return it == row.end() ? std::string() : it->second;
  };
  static const std::regex rotor("Helicopter|Helo|Eurocopter|Robinson|Sikorsky|Enstrom|Schweizer|Kaman|Kamov|"
                                "Agusta|Hughes|MD Helicopters|Mil Moscow|Guimbal|Cabri|AStar|Ecureuil|Dauphin|Alouette|"
                                "Gazelle|Puma|JetRanger|LongRanger|Squirrel",
                                std::regex::icase);
  static const std::regex fighter("(^|[^A-Za-z])(F|FA|EF|RF|A|AV|T|MiG|Su)-[0-9]+|Eurofighter|Typhoon|Mirage|Rafale|"
                                  "Tornado|Hornet|Harrier|Gripen|Fighting Falcon|Eagle|Phantom|Starfighter|"
                                  "Thunderbolt|Hawk T|Alpha Jet|Albatros|Aero L-",
                                  std::regex::icase);
  static const std::regex bizjet("Citation|Learjet|Lear Jet|Gulfstream|Falcon [0-9]|Challenger|Global [0-9X]|"
                                 "Global Express|Hawker|Phenom|Legacy|Premier|HondaJet|Honda|Eclipse|Sabreliner|"
                                 "Westwind|Astra|Jetstar|Beechjet|Mustang|PC-24|Praetor|Lineage|Vision SF50|"
                                 "Diamond I|Jet Commander",
                                 std::regex::icase);
  const std::string engine = get("Physical Class (Engine)");
  const std::string wake = get("Wake Category");
  const std::string weight = get("ATCT Weight Class");
  const std::string name = get("Manufacturer") + " " + get("Model");
  const double mtow = parseNumber(get("MTOW"));

  if (contains(engine, rotor) || contains(name, rotor)) return Category::Rotorcraft;
  if (wake == "H" || wake == "J" || weight == "Heavy Eqpt") return Category::Heavy;
  if ((engine == "Jet" || engine == "tbd") && contains(name, fighter)) return Category::HighPerf;
  if ((engine == "Jet" || engine == "tbd") && contains(name, bizjet)) return Category::Buzjets;
  if (wake == "M" || weight == "Large Jet Eqpt" || weight == "B757 Eqpt" || weight == "Large Commuter Eqpt")
    return Category::Large;
  if (wake != "L" && mtow > 300000) return Category::Heavy;
  if (wake != "L" && mtow > 41000) return Category::Large;
  return Category::Light;
}

Category fromEmitter(const std::string& emitter) {
  if (emitter == "A3" || emitter == "A4") return Category::Large;
  if (emitter == "A5") return Category::Heavy;
  if (emitter == "A7") return Category::Rotorcraft;
  if (emitter == "A6") return Category::HighPerf;
  return Category::Light;
}

// Families whose members can stand in for each other.
const std::vector<std::vector<std::string>> kFamilies = {
    {"A318", "A319", "A320", "A321", "A19N", "A20N", "A21N"},
    {"B731", "B732", "B733", "B734", "B735", "B736", "B737", "B738", "B739", "B37M", "B38M", "B39M"},
    {"B752", "B753"},
    {"B762", "B763", "B764"},
    {"B772", "B773", "B77L", "B77W", "B778", "B779"},
    {"B788", "B789", "B78X"},
    {"B741", "B742", "B743", "B744", "B748", "B74S"},
    {"A332", "A333", "A338", "A339"},
    {"A342", "A343", "A345", "A346"},
    {"A359", "A35K"},
    {"A306", "A30B", "A310"},
    {"E170", "E175", "E75L", "E75S", "E190", "E195", "E290", "E295"},
    {"E135", "E145", "E45X"},
    {"CRJ1", "CRJ2", "CRJ7", "CRJ9", "CRJX"},
    {"DH8A", "DH8B", "DH8C", "DH8D"},
    {"AT43", "AT45", "AT72", "AT75", "AT76"},
    {"MD81", "MD82", "MD83", "MD87", "MD88", "MD90"},
    {"DC10", "MD11"},
    {"BCS1", "BCS3"},
    {"C25A", "C25B", "C25C", "C525", "C550", "C560", "C56X"},
    {"GLF4", "GLF5", "GLF6", "GLEX"},
    {"C172", "C182", "C152", "C150"},
    {"PA28", "P28A", "P28B", "PA32"},
    {"B06", "B407", "B412"},
    {"EC35", "EC45", "EC30", "AS50"},
};

const std::set<std::string> kCargoAirlines = {"FDX", "UPS", "GTI", "ABX", "ATN", "CKS", "CLX", "PAC",
                                             "GEC", "BOX", "CAO", "NCA", "ABW", "KYE", "AJT", "CKK"};
const std::vector<std::string> kCargoTypes = {"MD11", "B77L", "A306", "DC10", "B744", "B748", "B763", "B752"};

const std::vector<std::pair<std::string, std::string>> kFixes = {
    {"B737-800", "B738"}, {"B738W", "B738"},      {"A320NEO", "A20N"},  {"A321NEO", "A21N"},
    {"CRJ-900", "CRJ9"},  {"DHC8-400", "DH8D"},   {"B777-300ER", "B77W"}, {"E175", "E75L"},
    {"B787-9", "B789"},   {"A330-300", "A333"},   {"B757-200", "B752"},  {"MD-11", "MD11"},
};

// Invented scenery publishers: the publisher's name first, then the marks its file names carry.
const std::vector<std::vector<std::string>> kPublishers = {
    {"Northwind Scenery", "NWS_", "northwind"},
    {"Harbour Lights Design", "HLD_", "harbourlights"},
    {"Blue Ridge Airfields", "BRA_", "blueridge"},
    {"Cobalt Sim Works", "CSW_", "cobalt"},
    {"Meridian Ground", "MGR_", "meridian"},
    {"Tallgrass Sceneries", "TGS_", "tallgrass"},
    {"Lantern Bay", "LBY_", "lanternbay"},
    {"Stonebridge Airports", "SBA_", "stonebridge"},
};

const std::vector<std::string> kSimaddons = {"KJFK", "KLGA", "KEWR", "KTEB", "KHPN", "KISP", "KBDL", "KPHL"};

// Private registration prefixes (at most four characters) that mark private aircraft in a title.
const std::vector<std::string> kPrivatePrefixes = {"D-E", "D-K", "D-M", "OE-K", "HB-C", "G-B"};

}  // namespace

PlainDataBase buildFromSources(const fs::path& faaCsv, const fs::path& traffic) {
  PlainDataBase db;

  // Aircraft types from the FAA table: the category by majority over a code's rows, the widest
  // wing span of its rows.
  const auto faaLines = readTextLines(faaCsv);
  if (faaLines.empty()) throw std::runtime_error("empty table " + faaCsv.string());
  const auto header = tracemap::splitCsvLine(faaLines.front());
  std::map<std::string, std::map<Category, int>> votes;
  std::map<std::string, std::size_t> firstSeen;
  for (std::size_t i = 1; i < faaLines.size(); ++i) {
    const auto fields = tracemap::splitCsvLine(faaLines[i]);
    std::map<std::string, std::string> row;
    for (std::size_t f = 0; f < header.size() && f < fields.size(); ++f) row[header[f]] = fields[f];
    const std::string code = row["ICAO Code"];
    if (!isTypeCode(code)) continue;
    ++votes[code][classify(row)];
    firstSeen.emplace(code, i);
    const double feet = parseNumber(row["Wingspan- ft"]);
    if (feet > 0) {
      const double metres = feet * 0.3048;
      auto [it, inserted] = db.wingspanMetres.emplace(code, metres);
      if (!inserted) it->second = std::max(it->second, metres);
    }
  }
  for (const auto& [code, counts] : votes) {
    // One row naming a helicopter settles it; otherwise the majority of the rows.
    if (counts.count(Category::Rotorcraft) != 0) {
      db.models[code] = Category::Rotorcraft;
      continue;
    }
    auto best = std::max_element(counts.begin(), counts.end(),
                                 [](const auto& a, const auto& b) { return a.second < b.second; });
    db.models[code] = best->first;
  }

  // The recorded traffic: types not in the table (category from the emitter category), airlines
  // from airline callsigns, registrations with their airline and type.
  static const std::regex airlineCallsign("^[A-Z]{3}[0-9][0-9A-Z]*$");
  std::map<std::string, Registration> regs;
  for (const auto& line : readTextLines(traffic)) {
    const auto f = tracemap::splitCsvLine(line);
    if (f.size() < 29 || f[0] != "RTTFC") continue;
    const std::string& callsign = f[9];
    const std::string& type = f[10];
    const std::string& reg = f[11];
    if (isTypeCode(type) && db.models.count(type) == 0) db.models[type] = fromEmitter(f[28]);
    std::string airline;
    if (std::regex_match(callsign, airlineCallsign)) {
      airline = callsign.substr(0, 3);
      db.airlines.insert(airline);
    }
    if (reg.empty() || !isKeyedPlain(reg) || regs.count(reg) != 0) continue;
    Registration r;
    r.reg = reg;
    r.type = isTypeCode(type) ? type : std::string();
    if (!airline.empty()) {
      r.airline = airline;
      r.operatorCode = airline;
    } else if (callsign.empty() || callsign == reg) {
      r.airline = "PVT";
    } else {
      continue;  // neither an airline nor a private flight: nothing to say about it
    }
    regs.emplace(reg, std::move(r));
  }

  for (const auto& code : kCargoAirlines)
    if (db.airlines.count(code) != 0) db.cargoOperators.insert(code);
  if (db.cargoOperators.empty()) db.cargoOperators = {"FDX", "UPS"};
  db.airlines.insert(db.cargoOperators.begin(), db.cargoOperators.end());

  for (auto& [reg, r] : regs) {
    r.cargo = db.cargoOperators.count(r.airline) != 0;
    db.registrations.push_back(r);
  }
  for (const auto& prefix : kPrivatePrefixes) db.registrations.push_back(Registration{prefix, "PVT", "", "", false});

  for (const auto& family : kFamilies) {
    std::vector<std::string> group;
    for (const auto& m : family)
      if (db.models.count(m) != 0) group.push_back(m);
    if (group.size() >= 2) db.similarGroups.push_back(std::move(group));
  }
  for (const auto& m : kCargoTypes)
    if (db.models.count(m) != 0) db.cargoTypes.insert(m);
  for (const auto& [wrong, correct] : kFixes)
    if (db.models.count(correct) != 0) db.fixes.emplace_back(wrong, correct);

  db.publishers = kPublishers;
  db.simaddonAirports = kSimaddons;
  db.thirdParties = {{"Northwind Scenery", {"KJFK231", "KLGA96"}},
                     {"Harbour Lights Design", {"KBOS118", "KPVD31"}},
                     {"Meridian Ground", {"KEWR140", "KTEB45", "KHPN38"}}};
  return db;
}

PlainDataBase buildSynthetic(std::size_t types, std::size_t registrations, std::size_t publishers, std::uint32_t seed) {
  PlainDataBase db;
  std::mt19937 rng(seed);
  static constexpr char kAlnum[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  auto letter = [&] { return static_cast<char>('A' + std::uniform_int_distribution<int>(0, 25)(rng)); };
  auto alnum = [&] { return kAlnum[std::uniform_int_distribution<int>(0, 35)(rng)]; };
  std::uniform_int_distribution<int> percent(0, 99);
  constexpr std::array<Category, 6> kCategories{Category::Light, Category::Buzjets,  Category::Large,
                                                Category::Heavy, Category::HighPerf, Category::Rotorcraft};

  std::vector<std::string> models;
  while (db.models.size() < types) {
    const int roll = percent(rng);
    const std::size_t length = roll < 5 ? 2 : roll < 25 ? 3 : 4;
    std::string code(1, letter());
    while (code.size() < length) code += alnum();
    const Category c = kCategories[static_cast<std::size_t>(percent(rng)) % kCategories.size()];
    if (db.models.emplace(code, c).second) {
      models.push_back(code);
      db.wingspanMetres[code] = 8.0 + percent(rng) * 0.7;
    }
  }
  for (std::size_t g = 0; g + 1 < models.size() && db.similarGroups.size() < types / 10; g += 6)
    db.similarGroups.push_back({models.begin() + static_cast<std::ptrdiff_t>(g),
                                models.begin() + static_cast<std::ptrdiff_t>(std::min(models.size(), g + 6))});
  for (std::size_t i = 0; i < models.size(); i += 25) db.cargoTypes.insert(models[i]);

  std::vector<std::string> airlines;
  while (db.airlines.size() < 600) {
    std::string code{letter(), letter(), letter()};
    if (db.airlines.insert(code).second) airlines.push_back(code);
  }
  for (std::size_t i = 0; i < airlines.size(); i += 20) db.cargoOperators.insert(airlines[i]);

  for (std::size_t p = 0; p < publishers; ++p)
    db.publishers.push_back({fmt::format("Publisher {:03}", p), fmt::format("PB{:03}_", p), fmt::format("pub{:03}", p)});
  for (std::size_t i = 0; i < 50; ++i) db.fixes.emplace_back(fmt::format("WRONG{:02}", i), models[i % models.size()]);
  for (std::size_t i = 0; i < 400; ++i)
    db.simaddonAirports.push_back(std::string{'K', letter(), letter(), letter()});
  for (std::size_t i = 0; i < 200; ++i)
    db.thirdParties.push_back({fmt::format("Publisher {:03}", i % std::max<std::size_t>(publishers, 1)),
                               {std::string{'E', letter(), letter(), letter()} + std::to_string(percent(rng))}});

  std::set<std::string> seen;
  db.registrations.reserve(registrations);
  while (db.registrations.size() < registrations) {
    std::string reg;
    switch (percent(rng) % 4) {
      case 0:
        reg = "N" + std::to_string(1 + percent(rng) * 97 % 999) + letter() + letter();
        break;
      case 1:
        reg = std::string("D-A") + letter() + letter() + letter();
        break;
      case 2:
        reg = std::string("G-") + letter() + letter() + letter() + letter();
        break;
      default:
        reg = std::string{letter(), letter()} + "-" + letter() + letter() + letter();
        break;
    }
    if (!seen.insert(reg).second) continue;
    Registration r;
    r.reg = reg;
    r.type = models[static_cast<std::size_t>(std::uniform_int_distribution<std::size_t>(0, models.size() - 1)(rng))];
    if (percent(rng) < 10) {
      r.airline = "PVT";
    } else {
      r.airline = airlines[std::uniform_int_distribution<std::size_t>(0, airlines.size() - 1)(rng)];
      r.operatorCode = r.airline;
      r.cargo = db.cargoOperators.count(r.airline) != 0;
    }
    db.registrations.push_back(std::move(r));
  }
  return db;
}

}  // namespace amb::dbgen
