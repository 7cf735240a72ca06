#include "liveries/store.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "core/xml.hpp"
#include "settings/parameters.hpp"

#include <cstring>

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

void lf_writeLiveriesScanned() {
  if (g_liveryList.empty()) return;
  pugi::xml_document doc;
  lf_writeMeta(doc);
  pugi::xml_node liveries = doc.append_child("liveries");
  for (const LiveryData& livery : g_liveryList) lf_appendLiveryElement(liveries, livery);
  gf_saveXml(doc, g_liveriesScannedPath);
  gf_logf("{} liveries in {}", g_liveryList.size(), gf_pathText(g_liveriesScannedPath));
}

namespace {
bool lf_readBool(const pugi::xml_attribute& a) {
  const char c = a.value()[0];
  return c != '\0' && std::strchr("1tTyY", c) != nullptr;
}
}  // namespace

void lf_readScannedLiveries() {
  g_liveryList.clear();
  const std::string pathText = gf_pathText(g_liveriesScannedPath);
  pugi::xml_document doc;
  // Both top-level elements sit in the document itself, so the file has no single root.
  if (!doc.load_file(g_liveriesScannedPath.c_str()))
    throw UserErrorException(51, fmt::format("File {} not found", pathText));
  gf_checkMeta(doc);
  pugi::xml_node liveries = doc.child("liveries");
  if (!liveries) throw UserErrorException(52, fmt::format("{} does not contain a <liveries> section", pathText));
  for (pugi::xml_node liv = liveries.child("liv"); liv; liv = liv.next_sibling("liv")) {
    LiveryData& livery = g_liveryList.emplace_back();
    livery.airline = liv.attribute("airl").value();
    livery.type = liv.attribute("type").value();
    livery.title = liv.attribute("title").value();
    livery.atcid = liv.attribute("atcid").value();
    livery.cargo = lf_readBool(liv.attribute("cargo"));
  }
  if (g_liveryList.empty()) throw UserErrorException(533, pathText + " does not contain liveries");
  gf_logf("{} liveries read from {}", g_liveryList.size(), pathText);
  gf_sortLiveries(g_liveryList);
}

}  // namespace amb
