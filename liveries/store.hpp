#pragma once
// "LiveriesScanned.xml": the scan's result, and the only thing that lasts from one start to the
// next. The livery tables are always built from this file, never from the scan's memory.

#include "liveries/livery.hpp"

#include <pugixml.hpp>

#include <list>

namespace amb {

// Filled by a scan or by the reader, emptied again once it has served (worker thread only).
extern std::list<LiveryData> g_liveryList;

// Writes g_liveryList to g_liveriesScannedPath (written beside and renamed into place). An empty
// list writes nothing and leaves an existing file as it is. A failed save is logged only.
void lf_writeLiveriesScanned();
// Appends one `liv` element: airl, type, cargo="true" (only when set), title, atcid (only when set).
void lf_appendLiveryElement(pugi::xml_node liveries, const LiveryData& livery);
// Replaces g_liveryList with the file's records, sorted. Throws amb::UserErrorException 51 (the file
// cannot be read or parsed), 52 (no top-level <liveries>) or 533 (no `liv` in it).
void lf_readScannedLiveries();

}  // namespace amb
