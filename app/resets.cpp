#include "app/resets.hpp"

#include "airports/services.hpp"
#include "app/final_exit.hpp"
#include "core/exit.hpp"
#include "feed/services.hpp"
#include "liveries/services.hpp"
#include "scan/services.hpp"
#include "settings/settings.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"

namespace amb {

void gf_resetForTests() {
  gf_resetSettings();
  lf_resetRunState();
  // What a restart keeps.
  gf_resetMainWindow();
  gf_resetRunState();
  gf_resetExitState();
  gf_forgetExitSaves();
  gf_resetReaderState();
  gf_resetLink();
  gf_resetLiveries();
  gf_resetScan();
}

}  // namespace amb
