#include "state/detection.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/registry.hpp"
#include "core/startup.hpp"
#include "core/user_error.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"

#include <array>

namespace amb {

namespace {

constexpr const char* kNoPathText = "No P3D install path detected, type full Install Path above, and press Enter";

bool anyFolderSet(const std::array<const StringOption*, 10>& folders) {
  for (const StringOption* f : folders)
    if (!f->value().empty()) return true;
  return false;
}

[[noreturn]] void noInstallPath() {
  ALL_INSTALL_PATH.setValue({});
  gf_showStringOption(ALL_INSTALL_PATH);
  throw UserErrorException(151, kNoPathText);
}

}  // namespace

void lf_detectSimulator() {
  const int count = (g_simKeyV6 ? 6 : 0) + (g_simKeyV5 ? 5 : 0);
  if (count > 6)
    throw UserErrorException(
        153, "More than one P3D version detected, type full Install Path to wanted version above and press Enter");
  if (count == 0) {
    gf_showMessage("P3D not detected?", true);
    // The scans can still work from the folder settings.
    if (anyFolderSet({&lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4, &lfolder5, &lfolder6, &lfolder7,
                      &lfolder8, &lfolder9}) ||
        anyFolderSet({&afolder0, &afolder1, &afolder2, &afolder3, &afolder4, &afolder5, &afolder6, &afolder7,
                      &afolder8, &afolder9}))
      return;
    noInstallPath();
  }
  gf_log(count == 5 ? "P3Dv5detected" : "P3Dv6detected");
  const std::string path = gf_pathText(gf_getSimInstallPath(count));
  if (path.empty()) noInstallPath();
  ALL_INSTALL_PATH.setValue(path);
  gf_showStringOption(ALL_INSTALL_PATH);
  gf_setStringOption(SIM_INSTALL_PATH, path);
}

std::string gf_simMajorVersion() {
  const std::string path = SIM_INSTALL_PATH.value();
  for (const char* five : {"v5", "V5"})
    if (path.find(five) != std::string::npos) return "5";
  for (const char* six : {"v6", "V6"})
    if (path.find(six) != std::string::npos) return "6";
  if (P3D_VERSION.value >= 5) return std::to_string(P3D_VERSION.value.load());
  throw UserErrorException(77, fmt::format("P3D install path does not contain v5 or v6? Use hidden parameter {}, "
                                           "set it at 5 or 6",
                                           P3D_VERSION.key));
}

}  // namespace amb
