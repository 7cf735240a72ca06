#include "state/main_window.hpp"

namespace amb {

MainWindow g_mainWindow;
std::atomic<std::uint64_t> g_myOrbxCount{0};
std::atomic<std::uint64_t> g_myThirdpartyCount{0};
std::atomic<std::uint8_t> g_startingUp{1};
std::atomic<std::uint32_t> g_renewalMinutes{0};
std::atomic<platform::Ui*> g_mainHwnd{nullptr};

MainWindow::MainWindow() : mainWindowX(MAIN_WINDOW_X), mainWindowY(MAIN_WINDOW_Y) { ready = 1; }

std::string MainWindow::text(StatusText which) const {
  std::lock_guard lock(m_textMutex);
  return m_texts[static_cast<std::size_t>(which)];
}

void MainWindow::setText(StatusText which, std::string value) {
  std::lock_guard lock(m_textMutex);
  m_texts[static_cast<std::size_t>(which)] = std::move(value);
}

void MainWindow::invalidate(std::optional<platform::Rect> area) const {
  if (platform::Ui* ui = window.load()) ui->invalidate(area);
}

void MainWindow::reset() {
  {
    std::lock_guard lock(m_textMutex);
    for (auto& t : m_texts) t.clear();
  }
  staticAverageFit = -1.0f;
  liveAverageFit = -1.0f;
  liveCount = 0;
  parkedLiveCount = 0;
  parkedStaticCount = 0;
  standCount = 0;
  parkingRow = 399;
  maxParkPercentage = 0;
  maxParkCount = 0;
  parkWeek = 0;
  parkingUpdates = 0;
  realFit = 0;
  softFit = -1;
  adjusting = 0;
  hourMarker = 0;
  parkDataShown = 0;
  simConnectOpen = 0;
  simRunning = 0;
  userModelKnown = 1;
  simaddonComplete = 1;
  snapshotMarker = 0;
  reservedStandValid = 0;
}

void gf_enableControl(const OptionControl& control, bool on) {
  if (platform::Ui* ui = g_mainHwnd.load()) ui->enable(control.controlId, on);
}

void gf_repaintStatusArea() { g_mainWindow.invalidate(kStatusBand); }
void gf_repaintOptionArea() { g_mainWindow.invalidate(kOptionArea); }
void gf_repaintFigureArea() { g_mainWindow.invalidate(kFiguresArea); }

void gf_resetMainWindow() {
  g_mainWindow.reset();
  g_mainWindow.liveryCount = 0;
  g_myOrbxCount = 0;
  g_myThirdpartyCount = 0;
  g_startingUp = 1;
  g_renewalMinutes = 0;
  g_mainHwnd = nullptr;
}

}  // namespace amb
