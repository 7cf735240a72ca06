#include "enginesim/liveries.hpp"

#include "liveries/tables.hpp"
#include "refdata/database.hpp"

#include <list>

namespace amb::enginesim {

std::string genericTitle(const std::string& type) { return "Generic " + type; }

std::vector<LiveryData> genericLiveries() {
  std::vector<LiveryData> liveries;
  liveries.reserve(g_validModels.size());
  for (const std::string& type : g_validModels)
    liveries.push_back({std::string(g_genericAirline), type, genericTitle(type), "", 1, false});
  return liveries;
}

void buildLiveryTables(const std::vector<LiveryData>& liveries) {
  std::list<LiveryData> sorted(liveries.begin(), liveries.end());
  gf_sortLiveries(sorted);
  gf_buildLiveryTablesFrom(sorted);
}

}  // namespace amb::enginesim
