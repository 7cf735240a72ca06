#include "bglgen/bglgen.hpp"

#include <bit>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

namespace amb::bglgen {

namespace {

class Writer {
public:
  std::size_t size() const { return m_bytes.size(); }
  void u8(std::uint8_t v) { m_bytes.push_back(v); }
  void u16(std::uint16_t v) {
    u8(static_cast<std::uint8_t>(v));
    u8(static_cast<std::uint8_t>(v >> 8));
  }
  void u32(std::uint32_t v) {
    u16(static_cast<std::uint16_t>(v));
    u16(static_cast<std::uint16_t>(v >> 16));
  }
  void f32(float v) { u32(std::bit_cast<std::uint32_t>(v)); }
  void zeros(std::size_t n) { m_bytes.insert(m_bytes.end(), n, 0); }
  void bytes(const std::string& s) { m_bytes.insert(m_bytes.end(), s.begin(), s.end()); }
  void append(const std::vector<std::uint8_t>& b) { m_bytes.insert(m_bytes.end(), b.begin(), b.end()); }
  void patch32(std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) m_bytes.at(at + k) = static_cast<std::uint8_t>(v >> (8 * k));
  }
  std::vector<std::uint8_t>& data() { return m_bytes; }

private:
  std::vector<std::uint8_t> m_bytes;
};

std::uint32_t identDigit(char c) {
  if (c >= '0' && c <= '9') return static_cast<std::uint32_t>(c - '0' + 2);
  if (c >= 'A' && c <= 'Z') return static_cast<std::uint32_t>(c - 'A' + 12);
  throw std::invalid_argument(std::string("an ident holds digits and capitals only, not ") + c);
}

// A subrecord: head, then the body.
void subrecord(Writer& out, std::uint16_t id, const std::vector<std::uint8_t>& body) {
  out.u16(id);
  out.u32(static_cast<std::uint32_t>(6 + body.size()));
  out.append(body);
}

std::vector<std::uint8_t> helipadBody(const Helipad& h) {
  Writer w;  // from byte 6 of the subrecord
  w.zeros(6);                             // surface, flags, colour
  w.u32(packLongitude(h.longitude));      // 12
  w.u32(packLatitude(h.latitude));        // 16
  w.u32(0);                               // 20 altitude
  w.f32(h.widthM);                        // 24 length
  w.f32(h.widthM);                        // 28 width
  w.f32(h.headingDeg);                    // 32 heading
  return std::move(w.data());
}

std::vector<std::uint8_t> airportRecord(const Airport& a) {
  Writer w;
  w.u16(a.layoutB ? 0x00AB : 0x003C);
  w.u32(0);  // size, patched below
  w.zeros(14);
  w.u32(static_cast<std::uint32_t>(a.altitudeMm));  // 20
  w.zeros(16);
  w.u32(a.identValue ? *a.identValue : packIdent(a.ident));  // 40
  w.zeros(a.layoutB ? 16 : 12);
  for (const std::string& name : a.names) {
    std::string padded = name;
    while ((6 + padded.size()) % 4 != 0) padded.push_back('\0');
    subrecord(w, 0x0019, std::vector<std::uint8_t>(padded.begin(), padded.end()));
  }
  for (const Helipad& h : a.helipads) subrecord(w, 0x0026, helipadBody(h));
  if (!a.parkings.empty() || a.parkingListAlways) {
    Writer list;
    list.u16(a.statedParkingCount ? *a.statedParkingCount : static_cast<std::uint16_t>(a.parkings.size()));
    for (const Parking& p : a.parkings) {
      list.u32((std::uint32_t{p.nameCode} & 0x3F) | ((std::uint32_t{p.type} & 0xF) << 8) |
             ((std::uint32_t{p.number} & 0xFFF) << 12) | (static_cast<std::uint32_t>(p.airlines.size()) << 24));
      list.f32(p.radiusM);
      list.f32(p.headingDeg);
      list.zeros(16);  // tee offsets
      list.u32(packLongitude(p.longitude));
      list.u32(packLatitude(p.latitude));
      if (a.layoutB) list.u32(0);
      for (const std::string& code : p.airlines) {
        std::string word = code.substr(0, 4);
        word.resize(4, '\0');
        list.bytes(word);
      }
    }
    const bool b = a.layoutB != a.otherLayoutParkingId;
    subrecord(w, b ? 0x00AD : 0x003D, list.data());
  }
  for (const Helipad& h : a.helipadsAfterParking) subrecord(w, 0x0026, helipadBody(h));
  w.patch32(2, static_cast<std::uint32_t>(static_cast<std::int64_t>(w.size()) + a.extraStatedSize));
  return std::move(w.data());
}

}  // namespace

std::uint32_t packIdent(const std::string& fourCharacters) {
  std::uint32_t v = 0;
  for (const char c : fourCharacters) v = v * 38 + identDigit(c);
  return v << 5;
}

std::uint32_t packLatitude(double degrees) {
  return static_cast<std::uint32_t>(std::llround((90.0 - degrees) * 536870912.0 / 180.0));
}

std::uint32_t packLongitude(double degrees) {
  return static_cast<std::uint32_t>(std::llround((degrees + 180.0) * 805306368.0 / 360.0));
}

std::vector<std::uint8_t> build(const File& file) {
  // Every section's records first, to know the offsets.
  std::vector<std::vector<std::uint8_t>> records;
  for (const Section& s : file.sections) {
    Writer r;
    if (s.fillerRecord) {
      r.u16(0x0022);
      r.u32(16);
      r.zeros(10);
    }
    for (const Airport& a : s.airports) r.append(airportRecord(a));
    records.push_back(std::move(r.data()));
  }
  Writer out;
  out.u32(0x19920201);
  out.u32(file.headerSize);
  out.zeros(8);
  out.u32(0x08051803);
  out.u32(file.statedSectionCount ? *file.statedSectionCount : static_cast<std::uint32_t>(file.sections.size()));
  out.zeros(32);
  const std::size_t n = file.sections.size();
  std::size_t headers = 0;
  for (const Section& s : file.sections) headers += s.subsectionHeaders;
  std::size_t subHeaders = 56 + 20 * n;
  std::size_t data = subHeaders + 16 * headers;
  for (std::size_t i = 0; i < n; ++i) {
    out.u32(file.sections[i].type);
    out.u32(file.sections[i].twentyByteSubsections ? 0x10001 : 0x1);
    out.u32(file.sections[i].subsectionHeaders);
    out.u32(static_cast<std::uint32_t>(subHeaders));
    out.u32(16 * file.sections[i].subsectionHeaders);
    subHeaders += 16 * file.sections[i].subsectionHeaders;
  }
  for (std::size_t i = 0; i < n; ++i) {
    const Section& s = file.sections[i];
    for (std::uint32_t h = 0; h < s.subsectionHeaders; ++h) {
      out.u32(0);
      out.u32(static_cast<std::uint32_t>(s.airports.size()));
      out.u32(s.statedRecordsOffset ? *s.statedRecordsOffset : static_cast<std::uint32_t>(data));
      out.u32(s.statedRecordsSize ? *s.statedRecordsSize : static_cast<std::uint32_t>(records[i].size()));
    }
    data += records[i].size();
  }
  for (const auto& r : records) out.append(r);
  return std::move(out.data());
}

std::vector<std::uint8_t> build(const Airport& airport) {
  File f;
  f.sections[0].airports.push_back(airport);
  return build(f);
}

void write(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
  if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path.string());
}

}  // namespace amb::bglgen
