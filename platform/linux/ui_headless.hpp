#pragma once
// The headless main window of the Linux build: an in-memory window with its controls, a message
// queue run on the main thread, a painter that records the whole picture into a dump file and an
// SVG picture, and the script driver that feeds it input.
//
// The queue hands out, in this order: posted messages and scripted input (first in, first out);
// then the end of the loop when quit was called; then one paint when the window was invalidated,
// or, when only a control changed, a new dump without a paint (the controls draw themselves on
// Windows too); paints and dumps at most one every minPaintInterval. No callback runs under the window's lock,
// so every call of the Ui may be made from inside a callback or from any other thread.
//
// Environment (read by fromEnvironment):
//   AMBT_UI_DUMP     the dump file, rewritten after each paint
//   AMBT_UI_SVG      the SVG picture (default: the dump's name with ".svg" added)
//   AMBT_UI_SCRIPT   a script file or FIFO (see ui_script.hpp)
//   AMBT_UI_WAIT_MS  the bound of a waitlog, default 30000

#include "platform/linux/ui_picture.hpp"
#include "platform/linux/ui_script.hpp"
#include "platform/ui.hpp"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace amb::platform::headless {

struct HeadlessUiOptions {
  std::optional<std::filesystem::path> dumpPath;
  std::optional<std::filesystem::path> svgPath;
  std::optional<std::filesystem::path> scriptPath;
  std::filesystem::path logFile = "Log.txt";  // what waitlog watches
  std::chrono::milliseconds waitLogBound{30000};
  std::chrono::milliseconds minPaintInterval{20};
  DiagSink diag;  // reports of the window and the script; empty: standard error

  static HeadlessUiOptions fromEnvironment();
};

// Writes one line to standard error, whole even when several threads report at once.
void writeDiagLine(std::string_view line);

class HeadlessUi final : public Ui, private ScriptTarget {
public:
  explicit HeadlessUi(HeadlessUiOptions options = {});
  ~HeadlessUi() override;
  HeadlessUi(const HeadlessUi&) = delete;
  HeadlessUi& operator=(const HeadlessUi&) = delete;

  // The in-memory window has no class to register.
  bool registerWindowClass(std::string_view) override { return true; }
  bool createMainWindow(std::string_view title, int x, int y, int width, int height, UiEvents& events) override;
  int run() override;
  void post(int appMsg) override;
  void quit(int code) override;
  void destroyWindow() override;
  void invalidate(std::optional<Rect> r) override;
  Rect windowRect() override;
  void setTopmost(bool on) override;

  void createCheckBox(std::uint16_t id, int x, int y, int w, int h, bool checked) override;
  void createButton(std::uint16_t id, std::string_view caption, int x, int y, int w, int h) override;
  void createEdit(std::uint16_t id, int x, int y, int w, int h) override;
  bool hasControl(std::uint16_t id) override;
  void setChecked(std::uint16_t id, bool checked) override;
  bool isChecked(std::uint16_t id) override;
  void enable(std::uint16_t id, bool on) override;
  bool isEnabled(std::uint16_t id) override;
  void setText(std::uint16_t id, std::string_view utf8) override;
  std::string getText(std::uint16_t id) override;

  // For tests and tools: the last full paint with the current controls.
  Picture picture() const;
  std::uint64_t paintCount() const;
  bool windowExists() const;
  // The script ended (or there is none).
  bool scriptFinished() const;

private:
  struct Event {
    enum class Kind { App, Input, Destroy };
    Kind kind = Kind::App;
    int appMsg = 0;
    ScriptCommand input;
  };

  void scriptInput(const ScriptCommand& command) override;
  void dispatch(const Event& e);
  void deliverInput(const ScriptCommand& command);
  void destroyNow();
  void paintNow();
  void writeOutputs(const Picture& p);
  void report(std::string_view text);
  bool onMainThread() const;

  // Under m_mutex.
  ControlState* findLocked(std::uint16_t id);
  Picture snapshotLocked() const;
  void changedLocked();

  const HeadlessUiOptions m_options;
  mutable std::mutex m_mutex;
  std::condition_variable m_wake;

  // Queue state.
  std::deque<Event> m_queue;
  bool m_quit = false;
  int m_quitCode = 0;
  bool m_dirty = false;          // the window needs a paint
  bool m_controlsDirty = false;  // only the controls changed since the last dump
  std::chrono::steady_clock::time_point m_lastOutput{};  // last paint or dump

  // The window.
  bool m_window = false;
  UiEvents* m_events = nullptr;
  std::thread::id m_mainThread;
  std::string m_title;
  Rect m_rect;
  int m_width = 0, m_height = 0;
  bool m_topmost = false;
  std::vector<ControlState> m_controls;
  std::vector<PaintOp> m_ops;
  std::uint64_t m_paints = 0;

  // Output files; touched by the main thread only.
  bool m_outputErrorReported = false;

  std::unique_ptr<ScriptDriver> m_driver;
};

}  // namespace amb::platform::headless
