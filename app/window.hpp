#pragma once
// The main window: its creation at the stored position, the painting of the status display, and the
// window procedure with the option controls, the check boxes and buttons, and the two private
// messages that start a worker (1) and end the program (2).

#include "platform/ui.hpp"

#include <cstdint>
#include <string>

namespace amb {

// Creates and shows the main window at the position stored in "parameters.xml" (a stored coordinate
// at its option's limit is replaced by the default and saved). False when it cannot be made.
bool initInstance(platform::Ui& ui, const std::string& title);

// The painter of the whole window, and its parts.
void lf_paintWindow(platform::Surface& s);
void lf_paintStatusBand(platform::Surface& s);
void lf_paintQnh(platform::Surface& s);
void lf_paintOptionLabels(platform::Surface& s);
void lf_paintParkingFigures(platform::Surface& s);
// One line of UTF-8 text; text that cannot be shown is skipped with a log line.
void lf_textOut(platform::Surface& s, int x, int y, const std::string& text, platform::Color color);
// Black when enabled, else grey.
void lf_textOutEnabled(platform::Surface& s, int x, int y, const std::string& text, bool enabled);

// The window procedure's parts.
void lf_createControls(platform::Ui& ui);
// A click on a check box or button; false when the id belonged to one of the controls.
bool lf_HandleWMCOMMAND(std::uint16_t id);
// Puts back the old position of a coordinate that now lies at its limit (a minimised window); the
// caller saves it.
void lf_checkWindowPosition(std::int32_t oldX, std::int32_t oldY);
// WM_APP+2: stores the window position, saves it, writes the time, closes the log and quits.
void lf_endProgram();

// The window procedure as the platform's window calls it.
class AppWindow final : public platform::UiEvents {
public:
  explicit AppWindow(platform::Ui& ui) : m_ui(ui) {}
  void onCreate() override;
  void onPaint(platform::Surface& s) override;
  void onCommand(std::uint16_t id) override;
  void onEditEnter(std::uint16_t id) override;
  void onClose() override;
  void onApp(int n) override;
  void onDestroy() override;

private:
  void seen();
  platform::Ui& m_ui;
};

}  // namespace amb
