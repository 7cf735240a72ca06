#pragma once
// "LiveriesScanned.xml": the scan's result, and the only thing that lasts from one start to the
// next. The livery tables are always built from this file, never from the scan's memory.

#include "core/user_error.hpp"
#include "liveries/livery.hpp"

#include <pugixml.hpp>

#include <list>

namespace amb {

// Filled by a scan or by the reader, emptied again once it has served (worker thread only).
extern std::list<LiveryData> g_liveryList;

// Writes g_liveryList to g_liveriesScannedPath (written beside and renamed into place). An empty
// list writes nothing and leaves an existing file as it is. False when the save failed (logged; the
// previous file stays as it was).
bool lf_writeLiveriesScanned();
// Appends one `liv` element: airl, type, cargo="true" (only when set), title, atcid (only when set).
void lf_appendLiveryElement(pugi::xml_node liveries, const LiveryData& livery);
// The file is there but cannot be read back (cut short, not XML, no file at all): it has been moved
// aside to "LiveriesScanned.xml.bad" (logged), and a new scan can take its place. Code 51.
class UnreadableLiveriesFile : public UserErrorException {
public:
  explicit UnreadableLiveriesFile(const std::string& text);
};

// Replaces g_liveryList with the file's usable records, sorted. Throws amb::UserErrorException 51
// (no file), UnreadableLiveriesFile, 52 (no top-level <liveries>) or 533 (no usable `liv` in it).
void lf_readScannedLiveries();
// Drops the records no AI object can be made from, with one marked log line that counts them: a
// text holding a NUL character (the simulator would see it cut short), a type that is no ICAO type
// designator. `where` names the source in that line.
void lf_dropUnusableLiveries(std::list<LiveryData>& liveries, const std::string& where);

}  // namespace amb
