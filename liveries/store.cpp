#include "liveries/store.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "core/xml.hpp"
#include "platform/utf8.hpp"
#include "settings/parameters.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <system_error>

namespace amb {

std::list<LiveryData> g_liveryList;

void lf_appendLiveryElement(pugi::xml_node liveries, const LiveryData& livery) {
  pugi::xml_node liv = liveries.append_child("liv");
  liv.append_attribute("airl").set_value(livery.airline.c_str());
  liv.append_attribute("type").set_value(livery.type.c_str());
  if (livery.cargo) liv.append_attribute("cargo").set_value("true");
  liv.append_attribute("title").set_value(livery.title.c_str());
  if (!livery.atcid.empty()) liv.append_attribute("atcid").set_value(livery.atcid.c_str());
}

bool lf_writeLiveriesScanned() {
  if (g_liveryList.empty()) return true;
  pugi::xml_document doc;
  lf_writeMeta(doc);
  pugi::xml_node liveries = doc.append_child("liveries");
  for (const LiveryData& livery : g_liveryList) lf_appendLiveryElement(liveries, livery);
  if (!gf_saveXml(doc, g_liveriesScannedPath)) return false;
  gf_logf("{} liveries in {}", g_liveryList.size(), gf_pathText(g_liveriesScannedPath));
  return true;
}

UnreadableLiveriesFile::UnreadableLiveriesFile(const std::string& text) : UserErrorException(51, text) {}

namespace {
bool lf_readBool(const char* value) {
  const char c = value[0];
  return c != '\0' && std::strchr("1tTyY", c) != nullptr;
}

// An attribute's text with the references of the XML escaping ("&amp;", "&#38;", "&#x26;") decoded
// as the library itself decodes them. The file is parsed without that step: the library's text ends
// at a reference to U+0000, which here stays in the text, where it can be seen.
std::string lf_decodeAttribute(const char* raw) {
  const std::string_view text(raw);
  if (text.find('&') == std::string_view::npos) return std::string(text);
  std::string out;
  out.reserve(text.size());
  static constexpr std::pair<std::string_view, char> kNamed[] = {
      {"amp;", '&'}, {"lt;", '<'}, {"gt;", '>'}, {"quot;", '"'}, {"apos;", '\''}};
  for (std::size_t i = 0; i < text.size();) {
    if (text[i] != '&') {
      out += text[i++];
      continue;
    }
    const std::string_view rest = text.substr(i + 1);
    bool done = false;
    for (const auto& [name, c] : kNamed)
      if (rest.starts_with(name)) {
        out += c;
        i += 1 + name.size();
        done = true;
        break;
      }
    if (!done && rest.starts_with('#')) {
      // Digits up to a ';'; anything else is no reference. A code point beyond Unicode or a surrogate
      // gives U+FFFD, where the library writes bytes that are no UTF-8.
      const bool hex = rest.size() > 1 && rest[1] == 'x';
      std::size_t j = hex ? 2 : 1;
      const std::size_t first = j;
      std::uint32_t code = 0;
      for (; j < rest.size(); ++j) {
        const char c = rest[j];
        if (c >= '0' && c <= '9')
          code = code * (hex ? 16u : 10u) + static_cast<std::uint32_t>(c - '0');
        else if (hex && ((c | ' ') >= 'a' && (c | ' ') <= 'f'))
          code = code * 16u + static_cast<std::uint32_t>((c | ' ') - 'a' + 10);
        else
          break;
      }
      if (j > first && j < rest.size() && rest[j] == ';') {
        platform::appendUtf8(out, code);
        i += 1 + j + 1;
        done = true;
      }
    }
    if (!done) out += text[i++];  // no reference: the '&' stays, as the library keeps it
  }
  return out;
}

// An ICAO aircraft type designator: two to four capital letters and digits ("A320", "B77W", "C172").
bool lf_isTypeDesignator(const std::string& type) {
  if (type.size() < 2 || type.size() > 4) return false;
  return std::all_of(type.begin(), type.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); });
}

bool lf_hasNul(const LiveryData& l) {
  for (const std::string* text : {&l.airline, &l.type, &l.title, &l.atcid})
    if (text->find('\0') != std::string::npos) return true;
  return false;
}
}  // namespace

void lf_dropUnusableLiveries(std::list<LiveryData>& liveries, const std::string& where) {
  std::size_t withNul = 0, badType = 0;
  liveries.remove_if([&](const LiveryData& l) {
    if (lf_hasNul(l)) return ++withNul, true;
    if (!lf_isTypeDesignator(l.type)) return ++badType, true;
    return false;
  });
  if (withNul + badType == 0) return;
  gf_logMarked(fmt::format("{} liveries of {} skipped: {} with a NUL character in a text, {} with a type that is "
                           "no ICAO type designator",
                           withNul + badType, where, withNul, badType));
}

void lf_readScannedLiveries() {
  g_liveryList.clear();
  const std::string pathText = gf_pathText(g_liveriesScannedPath);
  pugi::xml_document doc;
  // Both top-level elements sit in the document itself, so the file has no single root. The
  // references are decoded here, attribute by attribute (lf_decodeAttribute).
  const pugi::xml_parse_result parsed =
      gf_loadXmlFile(doc, g_liveriesScannedPath, pugi::parse_default & ~pugi::parse_escapes);
  if (parsed.status == pugi::status_file_not_found)
    throw UserErrorException(51, fmt::format("File {} not found", pathText));
  if (!parsed) {
    // Cut short, overwritten, not XML, not a file: kept for the user to look at, and scanned anew.
    const std::string reason = parsed.status == pugi::status_io_error
                                   ? "it cannot be read as a file"
                                   : fmt::format("{} at byte {}", parsed.description(), parsed.offset);
    std::error_code ec;
    const std::string kept = gf_pathText(gf_damagedFilePath(g_liveriesScannedPath));
    if (gf_keepDamagedFile(g_liveriesScannedPath, ec))
      gf_logMarked(fmt::format("{} unreadable ({}), kept as {}", pathText, reason, kept));
    else
      gf_logMarked(fmt::format("{} unreadable ({}), not kept as {}: {}", pathText, reason, kept, ec.message()));
    throw UnreadableLiveriesFile(fmt::format("File {} is unreadable ({})", pathText, reason));
  }
  gf_checkMeta(doc);
  pugi::xml_node liveries = doc.child("liveries");
  if (!liveries) throw UserErrorException(52, fmt::format("{} does not contain a <liveries> section", pathText));
  for (pugi::xml_node liv = liveries.child("liv"); liv; liv = liv.next_sibling("liv")) {
    LiveryData& livery = g_liveryList.emplace_back();
    livery.airline = lf_decodeAttribute(liv.attribute("airl").value());
    livery.type = lf_decodeAttribute(liv.attribute("type").value());
    livery.title = lf_decodeAttribute(liv.attribute("title").value());
    livery.atcid = lf_decodeAttribute(liv.attribute("atcid").value());
    livery.cargo = lf_readBool(lf_decodeAttribute(liv.attribute("cargo").value()).c_str());
  }
  lf_dropUnusableLiveries(g_liveryList, pathText);
  if (g_liveryList.empty()) throw UserErrorException(533, pathText + " does not contain liveries");
  gf_logf("{} liveries read from {}", g_liveryList.size(), pathText);
  gf_sortLiveries(g_liveryList);
}

}  // namespace amb
