#pragma once
// The update check: compares the program's own version with the version file on the download
// server and, when the server has a newer one, downloads and unpacks its installer and tells the
// user to run it.

#include "core/version.hpp"
#include "refdata/download.hpp"

#include <string>

namespace amb {

// Fetches the URL into "version.json" (text mode), removes it again and returns the version of its
// first line; 0.0.0 when it cannot be had.
Version gf_downloadText(Downloader& downloader, const std::string& url);
// The server's version from "release/version_P3D.json"; 0.0.0 when it cannot be had.
Version lf_readServerVersion();
// Downloads "release/setup_Ambertrail_P3D_d_v{version}.zip" and unpacks its installer into
// "install_new_version.exe"; true only when the installer was written completely.
bool lf_downloadProgramInstaller(const Version& version);
// Once per process start (never after a restart of the service run): when the server has a newer
// version and its installer could be unpacked, throws amb::UserErrorException 99 with the
// instruction for the user; when the unpacking failed, says so on the message line.
void gf_checkForProgramUpdate();

}  // namespace amb
