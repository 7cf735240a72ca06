#include "scan/bgl.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"
#include "platform/utf8.hpp"
#include "state/scan_log.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <istream>
#include <map>
#include <numbers>
#include <set>
#include <stdexcept>
#include <unordered_map>
#include <utility>

namespace amb {

namespace fs = std::filesystem;

namespace {

constexpr std::uint32_t kHeaderSize = 56;
constexpr std::uint32_t kSectionEntrySize = 20;
constexpr std::uint32_t kSubsectionHeaderSize = 16;
constexpr std::uint32_t kAirportSection = 3;
constexpr std::uint16_t kAirportA = 0x003C;
constexpr std::uint16_t kAirportB = 0x00AB;
constexpr std::uint16_t kName = 0x0019;
constexpr std::uint16_t kHelipad = 0x0026;
constexpr std::uint16_t kParkingA = 0x003D;
constexpr std::uint16_t kParkingB = 0x00AD;
constexpr std::uint32_t kRecordHead = 6;  // u16 id, u32 size
constexpr double kTwoPi = 2 * std::numbers::pi;

// What the file states does not fit the file: the walk ends there.
class Damage : public std::out_of_range {
public:
  using std::out_of_range::out_of_range;
};

// Where the walk reads its bytes from: the file, through a window of its own (only what the walk
// visits is read, so a file far larger than its tables costs no memory), or bytes in memory.
class Source {
public:
  explicit Source(std::span<const std::uint8_t> bytes) : m_memory(bytes), m_size(bytes.size()) {}
  Source(std::istream& in, std::uint64_t size) : m_stream(&in), m_size(size) {}
  std::uint64_t size() const { return m_size; }

  // Copies n bytes from at on; the caller has checked that they lie inside the file. A file that
  // cannot be read there (it shrank, a disk error) throws like a damaged one.
  void copy(std::uint64_t at, void* out, std::size_t n) {
    if (m_stream == nullptr) {
      std::memcpy(out, m_memory.data() + at, n);
      return;
    }
    if (at >= m_windowAt && at - m_windowAt + n <= m_window.size()) {
      std::memcpy(out, m_window.data() + (at - m_windowAt), n);
      return;
    }
    if (n > kWindow) {
      readAt(at, static_cast<char*>(out), n);
      return;
    }
    m_window.resize(static_cast<std::size_t>(std::min<std::uint64_t>(kWindow, m_size - at)));
    m_windowAt = at;
    try {
      readAt(at, reinterpret_cast<char*>(m_window.data()), m_window.size());
    } catch (...) {
      m_window.clear();
      throw;
    }
    std::memcpy(out, m_window.data(), n);
  }

private:
  static constexpr std::size_t kWindow = 64 * 1024;

  void readAt(std::uint64_t at, char* out, std::size_t n) {
    m_stream->clear();
    m_stream->seekg(static_cast<std::streamoff>(at));
    m_stream->read(out, static_cast<std::streamsize>(n));
    if (!*m_stream || static_cast<std::size_t>(m_stream->gcount()) != n)
      throw Damage(fmt::format("the file could not be read at byte {}", at));
  }

  std::span<const std::uint8_t> m_memory;
  std::istream* m_stream = nullptr;
  std::uint64_t m_size;
  std::vector<std::uint8_t> m_window;
  std::uint64_t m_windowAt = 0;
};

// A block of the file: [begin, end) in bytes, always inside the file. Every read goes through one,
// so nothing is read outside the block a field belongs to.
class Block {
public:
  Block(Source& file, std::uint64_t begin, std::uint64_t end, const char* what)
      : m_file(&file), m_begin(begin), m_end(end), m_what(what) {
    if (begin > end || end > file.size())
      throw Damage(fmt::format("{} at byte {} of {} bytes runs past the end of the file", what, begin,
                                          end - std::min(begin, end)));
  }
  std::uint64_t begin() const { return m_begin; }
  std::uint64_t end() const { return m_end; }
  std::uint64_t size() const { return m_end - m_begin; }

  // The part [offset, offset + length) of this block; throws when it does not fit.
  Block part(std::uint64_t offset, std::uint64_t length, const char* what) const {
    if (offset > size() || length > size() - offset)
      throw Damage(fmt::format("{} at byte {} needs {} bytes, but its {} ends at byte {}", what,
                                          m_begin + offset, length, m_what, m_end));
    return Block(*m_file, m_begin + offset, m_begin + offset + length, what);
  }
  std::uint32_t u32(std::uint64_t offset) const { return read<std::uint32_t>(offset); }
  std::uint16_t u16(std::uint64_t offset) const { return read<std::uint16_t>(offset); }
  std::int32_t i32(std::uint64_t offset) const { return static_cast<std::int32_t>(u32(offset)); }
  float f32(std::uint64_t offset) const { return std::bit_cast<float>(u32(offset)); }
  std::string bytes(std::uint64_t offset, std::size_t length) const {
    const Block b = part(offset, length, m_what);
    std::string out(length, '\0');
    if (length > 0) m_file->copy(b.begin(), out.data(), length);
    return out;
  }

private:
  template <typename T>
  T read(std::uint64_t offset) const {
    if (offset > size() || sizeof(T) > size() - offset)
      throw Damage(fmt::format("reading byte {} of a {} that ends at byte {}", m_begin + offset, m_what,
                                          m_end));
    T v;  // little-endian on every target we build for
    m_file->copy(m_begin + offset, &v, sizeof(T));
    return v;
  }

  Source* m_file;
  std::uint64_t m_begin;
  std::uint64_t m_end;
  const char* m_what;
};

// The record or subrecord that starts at offset inside the container, as its head states its size.
// A size that cannot hold the head or that leaves the container throws.
Block recordAt(const Block& container, std::uint64_t offset, const char* what) {
  const Block head = container.part(offset, kRecordHead, what);
  const std::uint32_t size = head.u32(2);
  if (size < kRecordHead)
    throw Damage(fmt::format("{} at byte {} states a size of {} bytes", what, head.begin(), size));
  return container.part(offset, size, what);
}

// The byte ranges a walk has read: a table or a run of records is read once, so a file whose tables
// point at the same bytes again and again costs no more than one that does not.
class ReadRanges {
public:
  // True when [begin, end) meets no range claimed before; it is claimed then.
  bool claim(std::uint64_t begin, std::uint64_t end) {
    if (begin >= end) return true;
    auto next = m_ranges.upper_bound(begin);
    if (next != m_ranges.end() && next->first < end) return false;
    if (next != m_ranges.begin() && std::prev(next)->second > begin) return false;
    m_ranges.emplace_hint(next, begin, end);
    return true;
  }

private:
  std::map<std::uint64_t, std::uint64_t> m_ranges;  // begin -> end
};

// The scan-log lines of one file: the first kMaxFileLines go to the scan log, the rest are counted
// in one line at the end, so that a file of a million refused spots does not fill the memory.
class ScanLines {
public:
  static constexpr std::size_t kMaxFileLines = 2000;
  void add(std::string line) {
    if (m_added < kMaxFileLines) {
      ++m_added;
      gf_addScanLogLine(line);
    } else {
      ++m_left;
    }
  }
  void finish(const std::string& pathText) const {
    if (m_left > 0) gf_addScanLogLine(fmt::format("{}{} more lines of {} left out", "===> ", m_left, pathText));
  }

private:
  std::size_t m_added = 0;
  std::size_t m_left = 0;
};

// Unpacks a position; false for one outside the globe or the empty position near 0,0.
bool lf_position(std::uint32_t packedLat, std::uint32_t packedLon, double& latitude, double& longitude) {
  latitude = 90.0 - packedLat * (180.0 / 536870912.0);
  longitude = packedLon * (360.0 / 805306368.0) - 180.0;
  const bool outside = latitude < -90 || latitude > 90 || longitude < -180 || longitude > 180;
  const bool nearZero = latitude >= 0 && latitude <= 0.0009 && longitude >= 0 && longitude <= 0.05;
  return !outside && !nearZero;
}

double lf_headingRadians(float degrees) {
  const double radians = degrees * 0.017453292519943295;
  return radians == 0.0 ? kTwoPi : radians;
}

// Per airport: the helipads taken so far and the names used; the file's scan-log lines.
struct DecodeState {
  explicit DecodeState(ScanLines& fileLines) : lines(fileLines) {}
  ScanLines& lines;
  std::int32_t nextHelipad = 1;
  std::set<std::pair<double, double>> helipads;
  std::set<std::string> names;
  bool duplicates = false;
};

std::string lf_decodeAirportNAME(const Block& subrecord) {
  const std::int32_t stated = static_cast<std::int32_t>(subrecord.u32(2) & 0xFFFF) - static_cast<std::int32_t>(kRecordHead);
  const std::int32_t n = std::min(stated, 45);
  // Two bytes, then whole words, then the rest: a length whose tail after the first two bytes is
  // three gives one byte less, and a long name gives 44 bytes.
  std::int32_t taken = n;
  if (n >= 2 && (n - 2) % 4 == 3) taken = n - 1;
  if (taken <= 0) return {};
  taken = std::min<std::int32_t>(taken, static_cast<std::int32_t>(subrecord.size() - kRecordHead));
  std::string raw = subrecord.bytes(kRecordHead, static_cast<std::size_t>(taken));
  while (!raw.empty() && raw.back() == '\0') raw.pop_back();
  return lf_bglNameText(raw);
}

void lf_decodeHelipad(const Block& subrecord, BglAirport& airport, DecodeState& state) {
  const Block helipad = subrecord.part(0, 36, "helipad");
  double latitude = 0;
  double longitude = 0;
  if (!lf_position(helipad.u32(16), helipad.u32(12), latitude, longitude)) {
    state.lines.add(fmt::format("lat/lon helipad incorrect (skipped): {:.6f},{:.6f}", latitude, longitude));
    return;
  }
  if (!state.helipads.emplace(latitude, longitude).second) {
    state.lines.add(fmt::format("double helipad {} (skipped) {:.6f},{:.6f}", airport.name, latitude, longitude));
    return;
  }
  BglStand stand;
  stand.name = fmt::format("helipad{}", state.nextHelipad++);
  stand.latitude = latitude;
  stand.longitude = longitude;
  stand.radiusM = helipad.f32(28) / 2.0;
  stand.heading = lf_headingRadians(helipad.f32(32));
  stand.helipad = true;
  airport.stands.push_back(std::move(stand));
}

void lf_decodeParkings(const Block& list, BglAirport& airport, DecodeState& state, bool layoutB,
                       const std::string& pathText) {
  const std::uint32_t count = list.u16(6);
  const std::uint64_t entrySize = layoutB ? 40 : 36;
  std::uint64_t offset = 8;
  for (std::uint32_t k = 0; k < count; ++k) {
    const Block entry = list.part(offset, entrySize, "parking spot");
    const std::uint32_t flags = entry.u32(0);
    const std::uint32_t airlineCodes = flags >> 24;
    offset += entrySize + 4 * std::uint64_t{airlineCodes};
    if (offset > list.size())
      throw Damage(fmt::format("the airline codes of the parking spot at byte {} run past its list",
                                          entry.begin()));

    const float radius = entry.f32(4);
    if (!(radius > 1.0f && radius < 200.0f)) {  // a NaN radius is skipped too
      state.lines.add(fmt::format("skipped position with radius {:.1F} meters, in {}", radius, pathText));
      continue;
    }
    const std::string base = lf_parkingNameLetters(static_cast<std::uint8_t>(flags & 0x3F)) +
                             fmt::format("{}", (flags >> 12) & 0xFFF);
    const std::uint32_t type = (flags >> 8) & 0xF;
    if (type < 1 || type > 11) continue;
    double latitude = 0;
    double longitude = 0;
    if (!lf_position(entry.u32(32), entry.u32(28), latitude, longitude)) {
      state.lines.add(fmt::format("lat/lon: {:.6f},{:.6f}, incorrect (skipped) ", latitude, longitude));
      continue;
    }
    std::string name = base;
    bool lettered = false;
    if (!state.names.insert(base).second) {
      state.duplicates = true;
      name.clear();
      for (const char letter : std::string_view("abcdef")) {
        if (state.names.insert(base + letter).second) {
          name = base + letter;
          break;
        }
      }
      if (name.empty()) {
        state.lines.add(fmt::format("{}Warning more then 6 the same ids {}, in {}", "===> ", base, pathText));
        continue;
      }
      lettered = true;
    }
    BglStand stand;
    stand.name = std::move(name);
    stand.latitude = latitude;
    stand.longitude = longitude;
    stand.heading = lf_headingRadians(entry.f32(8));
    stand.radiusM = radius;
    stand.cargo = type == 5;
    stand.ramp = type < 8;
    stand.nameClash = lettered;
    airport.stands.push_back(std::move(stand));
  }
}

std::int32_t lf_altitudeFeet(std::int32_t millimetres) {
  const double feet = std::round(millimetres * 3.2808399 / 1000.0);
  return feet >= -1500 && feet <= 16000 ? static_cast<std::int32_t>(feet) : 0;
}

// One walk over a file: what it has read and met, so that nothing is read or handed on twice.
struct Walk {
  Source& file;
  const std::string& pathText;
  BglAirportHandler& handler;
  ScanLines lines;
  ReadRanges tables;   // subsection tables
  ReadRanges records;  // runs of records
  std::set<std::string> idents;
  std::size_t repeatedParts = 0;     // tables or runs of records that point at bytes read already
  std::size_t repeatedAirports = 0;  // airport records of an ident met before in this file
};

void lf_decodeAirport(const Block& record, bool layoutB, const std::string& ident, Walk& walk) {
  const std::uint64_t first = layoutB ? 60 : 56;
  const Block header = record.part(0, first, "airport header");
  walk.handler.airportFound(ident);

  BglAirport airport;
  airport.ident = ident;
  airport.altitudeFt = lf_altitudeFeet(header.i32(20));
  DecodeState state(walk.lines);
  const std::uint16_t parkingId = layoutB ? kParkingB : kParkingA;
  for (std::uint64_t offset = first; offset < record.size();) {
    const Block sub = recordAt(record, offset, "airport subrecord");
    offset += sub.size();
    const std::uint16_t id = sub.u16(0);
    if (id == kName) {
      const std::string name = lf_decodeAirportNAME(sub);
      if (airport.name.empty())
        airport.name = name;
      else if (airport.name != name)
        airport.name.clear();
    } else if (id == kHelipad) {
      lf_decodeHelipad(sub, airport, state);
    } else if (id == parkingId) {
      lf_decodeParkings(sub, airport, state, layoutB, walk.pathText);
      if (state.duplicates) lf_nameParkPositions(airport.stands);
      break;
    }
  }
  airport.helipadCount = state.nextHelipad - 1;
  walk.handler.airportDecoded(airport);
}

void lf_walkRecords(const Block& records, Walk& walk) {
  for (std::uint64_t offset = 0; offset < records.size();) {
    const Block record = recordAt(records, offset, "record");
    offset += record.size();
    const std::uint16_t id = record.u16(0);
    if (id != kAirportA && id != kAirportB) continue;
    bool valid = false;
    const std::string ident = lf_decodeIdentifierOrRegionCode(record.part(0, 44, "airport header").u32(40), valid);
    if (!valid) continue;
    // The same airport twice in one file would be linked and written twice: the first one counts.
    if (!walk.idents.insert(ident).second) {
      ++walk.repeatedAirports;
      continue;
    }
    lf_decodeAirport(record, id == kAirportB, ident, walk);
  }
}

// Every subsection of every airport section, each table and each run of records read once.
void lf_walkSections(Walk& walk) {
  const Block file(walk.file, 0, walk.file.size(), "file");
  const std::uint32_t headerSize = file.u32(4);  // a file of fewer than 8 bytes is damaged here
  if (headerSize != kHeaderSize || file.size() < 60) return;
  const std::uint32_t sections = file.u32(20);
  const Block table = file.part(kHeaderSize, std::uint64_t{sections} * kSectionEntrySize, "section table");
  for (std::uint32_t i = 0; i < sections; ++i) {
    const Block entry = table.part(std::uint64_t{i} * kSectionEntrySize, kSectionEntrySize, "section entry");
    if (entry.u32(0) != kAirportSection || (entry.u32(4) & 0x10000) != 0) continue;
    const std::uint32_t subsections = entry.u32(8);
    const Block headers =
        file.part(entry.u32(12), std::uint64_t{subsections} * kSubsectionHeaderSize, "subsection table");
    if (!walk.tables.claim(headers.begin(), headers.end())) {
      ++walk.repeatedParts;
      continue;
    }
    for (std::uint32_t s = 0; s < subsections; ++s) {
      const Block header =
          headers.part(std::uint64_t{s} * kSubsectionHeaderSize, kSubsectionHeaderSize, "subsection header");
      const Block records = file.part(header.u32(8), header.u32(12), "subsection");
      if (!walk.records.claim(records.begin(), records.end())) {
        ++walk.repeatedParts;
        continue;
      }
      lf_walkRecords(records, walk);
    }
  }
}

bool lf_decode(Source& source, const std::string& pathText, BglAirportHandler& handler) {
  Walk walk{source, pathText, handler, {}, {}, {}, {}, 0, 0};
  bool whole = true;
  try {
    lf_walkSections(walk);
  } catch (const Damage& e) {
    // A damaged file: its walk ends here, and what it handed on before stays.
    whole = false;
    gf_logMarked(fmt::format("Exception in lf_toParkingPositions: {}", pathText));
    gf_addScanLogLine(fmt::format("{}{} is damaged, read no further: {}", "===> ", pathText, e.what()));
  }
  if (walk.repeatedParts + walk.repeatedAirports > 0) {
    const auto parts = static_cast<std::int64_t>(walk.repeatedParts);
    const auto airports = static_cast<std::int64_t>(walk.repeatedAirports);
    gf_addScanLogLine(fmt::format("{}{} names bytes it holds more than once: {} repeated part{} and {} repeated "
                                  "airport{} skipped",
                                  "===> ", pathText, parts, gf_pluralS(parts), airports, gf_pluralS(airports)));
  }
  walk.lines.finish(pathText);
  return whole;
}

}  // namespace

std::string lf_decodeIdentifierOrRegionCode(std::uint32_t value, bool& valid) {
  std::uint32_t v = value >> 5;
  valid = true;
  if (v < 38) {
    valid = false;
    return {};
  }
  std::string text;
  while (v > 0) {
    const std::uint32_t digit = v % 38;
    v /= 38;
    char c;
    if (digit == 0) {
      c = ' ';
      valid = false;
    } else if (digit >= 2 && digit <= 11) {
      c = static_cast<char>('0' + digit - 2);
    } else {
      c = static_cast<char>(digit + 53);
    }
    text.insert(text.begin(), c);
  }
  if (text.size() != 4) valid = false;
  return text;
}

std::string lf_parkingNameLetters(std::uint8_t code) {
  static const std::array<const char*, 12> kLetters{"", "r", "p", "np", "ep", "sep", "sp", "swp", "wp", "nwp", "g", ""};
  if (code < kLetters.size()) return kLetters[code];
  return std::string(1, static_cast<char>(code + 53));
}

namespace {
// The length of the sequence a UTF-8 lead byte starts; 0 for a byte that starts none.
std::size_t utf8LeadLength(unsigned char c) {
  if (c >= 0xC2 && c <= 0xDF) return 2;
  if (c >= 0xE0 && c <= 0xEF) return 3;
  if (c >= 0xF0 && c <= 0xF4) return 4;
  return 0;
}
}  // namespace

std::string lf_bglNameText(std::string_view raw) {
  if (platform::isValidUtf8(raw)) return std::string(raw);
  // A name cut inside a multi-byte sequence: the cut sequence goes, the rest stays UTF-8.
  for (std::size_t tail = 1; tail <= 3 && tail < raw.size(); ++tail) {
    const std::size_t lead = raw.size() - tail;
    const std::size_t need = utf8LeadLength(static_cast<unsigned char>(raw[lead]));
    if (need > tail && platform::isValidUtf8(raw.substr(0, lead)) &&
        std::all_of(raw.begin() + static_cast<std::ptrdiff_t>(lead) + 1, raw.end(),
                    [](char c) { return (static_cast<unsigned char>(c) & 0xC0) == 0x80; }))
      return std::string(raw.substr(0, lead));
  }
  return platform::windows1252ToUtf8(raw);
}

void lf_nameParkPositions(std::vector<BglStand>& stands) {
  static constexpr std::string_view kLetters = "abcdef";
  // A base name ends in the spot's number, so a name is either a base or a base and one letter:
  // the groups come from one pass, and a file of many groups costs no more than one of a few.
  const auto baseOf = [](const std::string& name) {
    return !name.empty() && kLetters.find(name.back()) != std::string_view::npos ? name.substr(0, name.size() - 1)
                                                                                 : name;
  };
  std::unordered_map<std::string, std::vector<BglStand*>> groups;
  std::vector<std::string> marked;  // the bases of the groups to re-letter, in stand order
  for (BglStand& s : stands) {
    std::string base = baseOf(s.name);
    if (s.nameClash) marked.push_back(base);
    groups[std::move(base)].push_back(&s);
  }
  for (const std::string& base : marked) {
    std::vector<BglStand*>& group = groups[base];
    if (!std::any_of(group.begin(), group.end(), [](const BglStand* s) { return s->nameClash; })) continue;
    for (BglStand* s : group) s->nameClash = false;
    std::stable_sort(group.begin(), group.end(), [](const BglStand* a, const BglStand* b) { return a->radiusM > b->radiusM; });
    for (std::size_t k = 0; k < group.size(); ++k)
      group[k]->name = k == 0 ? base : base + kLetters[std::min(k - 1, kLetters.size() - 1)];
  }
}

bool gf_decodeBgl(std::span<const std::uint8_t> bytes, const std::string& pathText, BglAirportHandler& handler) {
  Source source(bytes);
  return lf_decode(source, pathText, handler);
}

bool gf_decodeBglFile(const fs::path& path, const std::string& pathText, BglAirportHandler& handler) {
  std::ifstream in(path, std::ios::binary);
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (!in || ec) return true;  // nothing to decode
  Source source(in, size);
  return lf_decode(source, pathText, handler);
}

bool lf_bglHasAirports(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::array<std::uint32_t, 14> header{};
  // Shorter than the header: not a scenery file the scan can read.
  if (!in.read(reinterpret_cast<char*>(header.data()), sizeof header)) return false;
  const std::uint32_t sections = header[5];
  if (sections == 0) return false;
  std::error_code ec;
  const std::uintmax_t size = fs::file_size(path, ec);
  if (ec || size <= kHeaderSize + std::uintmax_t{sections} * kSectionEntrySize) return false;
  std::array<std::uint32_t, 5> entry{};
  for (std::uint32_t i = 0; i < sections; ++i) {
    if (!in.read(reinterpret_cast<char*>(entry.data()), sizeof entry)) return false;
    if (entry[0] == kAirportSection) return true;
  }
  return false;
}

bool lf_isBglExtension(const std::string& extension) { return extension == ".BGL" || extension == ".bgl"; }

bool lf_isInSimSceneryFolder(const fs::path& path, const fs::path& stockScenery) {
  if (stockScenery.empty()) return false;
  const fs::path stock = stockScenery.lexically_normal();
  const fs::path p = path.lexically_normal();
  auto s = stock.begin();
  for (auto it = p.begin(); s != stock.end(); ++it, ++s) {
    if (s->empty() && std::next(s) == stock.end()) return true;  // a trailing separator
    if (it == p.end()) return false;
#ifdef _WIN32
    if (_wcsicmp(it->c_str(), s->c_str()) != 0) return false;
#else
    if (*it != *s) return false;
#endif
  }
  return true;
}

bool lf_isStockScenery(const std::string& pathText) {
  static constexpr std::array<std::string_view, 45> kTokens{
      "Cities", "CITIES", "cities", "World", "BASE", "0006", "0007", "0103", "0106", "0107", "0206", "0207",
      "0307",   "0407",   "0505",   "0506",  "0507", "0606", "0607", "0706", "0707", "0805", "0806", "0807",
      "0900",   "0906",   "0907",   "1000",  "1006", "1007", "1100", "1102", "1107", "AFRI", "ASIA", "AUST",
      "EURE",   "EURW",   "NAMC",   "NAME",  "NAMW", "OCEN", "SAME", "Global", "Bathymetry"};
  for (const std::string_view token : kTokens) {
    for (std::size_t at = pathText.find(token); at != std::string::npos; at = pathText.find(token, at + 1)) {
      // A token counts after a folder separator: "\World" in a Windows text, "/World" in ours.
      if (at > 0 && (pathText[at - 1] == '\\' || pathText[at - 1] == '/')) return true;
    }
  }
  return false;
}

}  // namespace amb
