#include "app/entry.hpp"

#include "app/final_exit.hpp"
#include "app/session.hpp"
#include "app/upcalls.hpp"
#include "app/window.hpp"
#include "app/worker.hpp"
#include "core/bounded_work.hpp"
#include "core/exit.hpp"
#include "core/jobs.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"
#include "platform/app_resources.hpp"
#include "platform/single_instance.hpp"
#include "platform/ui.hpp"
#include "state/main_window.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>

namespace amb {

namespace fs = std::filesystem;

namespace {

// The worker did not return within the exit's bound, or a save of the exit has not ended (a file
// that does not answer; the exit logged what was not saved): it still reads and writes the program's
// globals, which the destructors run by a return from main would free under it. What can be saved is
// saved (the settings; every log line is flushed as it is written, and the window's end closed the
// log), so the process ends here, without them.
[[noreturn]] void lf_endUnderRunningWorker(int code) {
  std::fflush(nullptr);
  std::_Exit(code);
}

}  // namespace

int runApplication() {
  // The window lives as long as the process: threads that end after the message loop may still ask it
  // to repaint.
  return runApplication(*platform::makeUi().release());
}

int runApplication(platform::Ui& window) {
  const std::optional<std::string> title = platform::appTitle();
  if (!title || title->empty()) {
    gf_log("Failed to load application title");
    return 0;
  }
  if (!window.registerWindowClass(*title)) {
    gf_log("Failed to register window class");
    return 0;
  }
  platform::Ui* ui = &window;
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
  // The exit sequence posted its last message as its last act; its thread, the simulator link it
  // asked to stop and the scans' jobs end before the program does.
  gf_joinExitThread();
  gf_stopSimClient(std::chrono::seconds(5));
  if (gf_runningWorkers() != 0 || gf_unfinishedBoundedWork() != 0) lf_endUnderRunningWorker(code);
  gf_joinJobs();
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
  gf_startBoundedWorkThread();
  return runApplication();
}

}  // namespace amb
