#pragma once
// The livery folders the simulator itself knows (automatic mode): the SimObjects components of the
// add-on packages in the user's "add-ons.cfg", then the entries of "simobjects.cfg". Both files are
// read line by line with plain text tests, as the simulator's own tools write them.

#include <filesystem>
#include <string>
#include <vector>

namespace amb {

// Appends the SimObjects folders of the add-on packages; never throws a standard exception (it is
// logged, and the folders found before it stay).
void lf_readP3DAddOnsAircraft(std::vector<std::string>& folders);
// Appends the folders of "simobjects.cfg" that are not stock categories of the simulator; a missing
// file adds nothing.
void lf_readP3DSimObjectsCfg(std::vector<std::string>& folders);
// Appends the SimObjects components of one package's "add-on.xml"; a relative component path is
// taken relative to the package folder.
void lf_readAddOnXml(std::vector<std::string>& folders, const std::filesystem::path& packageFolder);

// Where the two files are for the simulator's major version ("5" or "6").
std::filesystem::path lf_addOnsCfgPath(const std::string& majorVersion);
std::filesystem::path lf_simObjectsCfgPath(const std::string& majorVersion);

}  // namespace amb
