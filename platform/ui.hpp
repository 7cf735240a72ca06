#pragma once
// The main window and its controls, without Windows types. The Win32 backend maps this onto a real
// window, GDI and child controls; the Linux backend keeps an in-memory model that paints into a dump
// file and takes scripted input.
//
// Threading: createMainWindow and run are called on the main thread. Every other call may come from
// any thread. invalidate and post never block on the main thread.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace amb::platform {

struct Rect {
  int left = 0, top = 0, right = 0, bottom = 0;
  bool operator==(const Rect&) const = default;
};

// Colours are 0x00BBGGRR, as Windows stores them.
using Color = std::uint32_t;

// Drawing surface handed to onPaint.
class Surface {
public:
  virtual ~Surface() = default;
  virtual void fill(Rect r, Color c) = 0;
  virtual void line(int x1, int y1, int x2, int y2, Color c) = 0;
  // Text with a transparent background.
  virtual void text(int x, int y, std::string_view utf8, Color c) = 0;
};

// What the window tells the program. Called on the main thread.
class UiEvents {
public:
  virtual ~UiEvents() = default;
  virtual void onCreate() = 0;
  virtual void onPaint(Surface& s) = 0;
  virtual void onCommand(std::uint16_t id) = 0;    // a check box or button was clicked
  virtual void onEditEnter(std::uint16_t id) = 0;  // Enter pressed in an edit box
  virtual void onClose() = 0;                       // the user asked to close the window
  virtual void onApp(int n) = 0;                    // WM_APP + n was posted (n = 1 or 2)
  virtual void onDestroy() = 0;
};

enum class ControlKind { CheckBox, Button, Edit };

class Ui {
public:
  virtual ~Ui() = default;

  // Registers the class of the main window, named by its title; false when the platform refuses it.
  // A class registered before counts as registered.
  virtual bool registerWindowClass(std::string_view title) = 0;
  // Creates the main window with its client size (its class registered first when nobody did);
  // false when it cannot be made. onCreate (where
  // the program makes its controls) and the first onPaint run before it returns.
  virtual bool createMainWindow(std::string_view title, int x, int y, int width, int height,
                                UiEvents& events) = 0;
  // Runs the message loop until quit; returns the quit code. The quit takes effect once no posted
  // message is left, before a pending repaint.
  virtual int run() = 0;
  virtual void post(int appMsg) = 0;  // WM_APP + appMsg; dropped when there is no window
  virtual void quit(int code) = 0;    // PostQuitMessage
  // onDestroy runs at once on the main thread (queued when called from another); the window and
  // its controls are gone afterwards.
  virtual void destroyWindow() = 0;
  // Marks a part of the window (or all of it) for repainting, erasing the background.
  virtual void invalidate(std::optional<Rect> r) = 0;
  virtual Rect windowRect() = 0;  // screen position of the window
  virtual void setTopmost(bool on) = 0;

  virtual void createCheckBox(std::uint16_t id, int x, int y, int w, int h, bool checked) = 0;
  virtual void createButton(std::uint16_t id, std::string_view caption, int x, int y, int w, int h) = 0;
  virtual void createEdit(std::uint16_t id, int x, int y, int w, int h) = 0;
  virtual bool hasControl(std::uint16_t id) = 0;
  virtual void setChecked(std::uint16_t id, bool checked) = 0;
  virtual bool isChecked(std::uint16_t id) = 0;
  virtual void enable(std::uint16_t id, bool on) = 0;
  virtual bool isEnabled(std::uint16_t id) = 0;
  virtual void setText(std::uint16_t id, std::string_view utf8) = 0;
  virtual std::string getText(std::uint16_t id) = 0;
};

// The window of this platform: the real one on Windows, the headless model on Linux (which reads
// its dump, picture and script settings from the environment, see platform/linux/ui_headless.hpp).
std::unique_ptr<Ui> makeUi();

// The window of this process, once the application has made one; null before (and in tests that
// don't install one). Set and cleared on the main thread.
Ui* currentUi();
void setCurrentUi(Ui* ui);

}  // namespace amb::platform
