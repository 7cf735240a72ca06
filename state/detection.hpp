#pragma once
// Which simulator is installed, and where: Prepar3D v5 or v6, from the registry keys that the
// start-up values found (g_simKeyV5, g_simKeyV6). The install folder is kept in SIM_INSTALL_PATH
// (saved) and shown in the ALL_INSTALL_PATH box.

#include <string>

namespace amb {

// Runs when ALL_INSTALL_PATH is empty at start-up. Throws amb::UserErrorException 153 when both
// versions are installed and 151 when no install path can be found (unless folder settings tell the
// scans where to look); the user then types the path into the install-path box.
void lf_detectSimulator();

// "5" or "6": from "v5"/"V5" or "v6"/"V6" in SIM_INSTALL_PATH, else P3D_VERSION. Throws
// amb::UserErrorException 77 when neither tells.
std::string gf_simMajorVersion();

}  // namespace amb
