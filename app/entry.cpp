#include "app/entry.hpp"

#include "app/final_exit.hpp"
#include "app/session.hpp"
#include "app/upcalls.hpp"
#include "app/window.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "platform/app_resources.hpp"
#include "platform/single_instance.hpp"
#include "platform/ui.hpp"
#include "state/main_window.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <exception>
#include <filesystem>

namespace amb {

namespace fs = std::filesystem;

int runApplication() {
  const std::optional<std::string> title = platform::appTitle();
  if (!title || title->empty()) {
    gf_log("Failed to load application title");
    return 0;
  }
  // The window lives as long as the process: threads that end after the message loop may still ask it
  // to repaint.
  platform::Ui* ui = platform::makeUi().release();
  platform::setCurrentUi(ui);
  if (!initInstance(*ui, *title)) {
    gf_log("initInstance failed");
    return 0;
  }
  try {
    if (!fs::exists(g_programFolder)) fs::create_directories(g_programFolder);
  } catch (const fs::filesystem_error& e) {
    gf_log(fmt::format("Failed to create directory: {}", e.what()));
    return 0;
  }
  gf_installExitHandler();
  ui->post(1);
  const int code = ui->run();
  // The exit sequence asked the simulator link to stop; the program ends once it has.
  gf_stopSimClient(std::chrono::seconds(5));
  return code;
}

int gf_runProgram() {
  gf_installUpcalls();
  // A second copy ends at once, before it touches anything of the first.
  if (!platform::acquireSingleInstance(kSingleInstanceName)) return -1;
  try {
    gf_startLog();
  } catch (const std::exception& e) {
    std::fprintf(stderr, "%s: cannot start the log: %s\n", g_programName, e.what());
    return 2;
  }
  gf_initStartupValues();
  return runApplication();
}

}  // namespace amb
