#pragma once
// Where an airport's file is. A source is a text: empty (no file), a local path that begins with
// "airports" (a link's target or a generated file of the user's add-on folders), or a path below
// the server's archive ("archive/stock/EGLL.xml").

#include <filesystem>
#include <string>

namespace amb {

// The first of: the link file, then the generated file, of my_thirdparty, then of my_ORBX (a link
// wins over a generated file: the scan writes both only for airports it also generated for the
// offline learning), then the server's archived stock file; empty when none.
std::string gf_findApfSource(const std::string& code);
// The first line of a link file, cut after its final 'l' (".xml"); false for an empty or unreadable file.
bool lf_readLinkFile(const std::filesystem::path& path, std::string& out);
// Does the server hold the airport's archived stock file? Asked of the server once per code and
// service run; the answer is kept until gf_forgetServerProbes.
bool gf_downloadStockApf(const std::string& code);
// Forgets the probes' answers and the stands the nearest-stand query read (kept per code too).
void gf_forgetServerProbes();
// Does the airport have a file (local, else on the server)?
bool gf_hasApf(const std::string& code);
// The source names a local file.
bool gf_isLocalApfSource(const std::string& source);

}  // namespace amb
