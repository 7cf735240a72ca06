#include "platform/linux/ui_headless.hpp"

#include <fmt/format.h>

#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace amb::platform {

std::unique_ptr<Ui> makeUi() {
  return std::make_unique<headless::HeadlessUi>(headless::HeadlessUiOptions::fromEnvironment());
}

}  // namespace amb::platform

namespace amb::platform::headless {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> env(const char* name) {
  const char* v = std::getenv(name);
  if (v && *v) return std::string(v);
  return std::nullopt;
}

std::mutex g_stderrMutex;

}  // namespace

void writeDiagLine(std::string_view line) {
  std::lock_guard lk(g_stderrMutex);
  std::fwrite(line.data(), 1, line.size(), stderr);
  std::fputc('\n', stderr);
  std::fflush(stderr);
}

HeadlessUiOptions HeadlessUiOptions::fromEnvironment() {
  HeadlessUiOptions o;
  if (auto v = env("AMBT_UI_DUMP")) o.dumpPath = fs::path(*v);
  if (auto v = env("AMBT_UI_SVG")) {
    o.svgPath = fs::path(*v);
  } else if (o.dumpPath) {
    fs::path svg = *o.dumpPath;
    svg += ".svg";
    o.svgPath = svg;
  }
  if (auto v = env("AMBT_UI_SCRIPT")) o.scriptPath = fs::path(*v);
  if (auto v = env("AMBT_UI_WAIT_MS")) {
    long long ms = 0;
    const auto [p, ec] = std::from_chars(v->data(), v->data() + v->size(), ms);
    if (ec == std::errc() && p == v->data() + v->size() && ms >= 0)
      o.waitLogBound = std::chrono::milliseconds(ms);
    else
      writeDiagLine(fmt::format("ui: AMBT_UI_WAIT_MS \"{}\" is no number of milliseconds, using {}", *v,
                                o.waitLogBound.count()));
  }
  return o;
}

HeadlessUi::HeadlessUi(HeadlessUiOptions options) : m_options(std::move(options)) {}

HeadlessUi::~HeadlessUi() {
  if (m_driver) m_driver->stop();
}

void HeadlessUi::report(std::string_view text) {
  const std::string line = fmt::format("ui {} {}", timeStamp(), text);
  if (m_options.diag)
    m_options.diag(line);
  else
    writeDiagLine(line);
}

bool HeadlessUi::onMainThread() const { return std::this_thread::get_id() == m_mainThread; }

bool HeadlessUi::createMainWindow(std::string_view title, int x, int y, int width, int height, UiEvents& events) {
  {
    std::lock_guard lk(m_mutex);
    if (m_window || width <= 0 || height <= 0) return false;
    m_window = true;
    m_events = &events;
    m_mainThread = std::this_thread::get_id();
    m_title = std::string(title);
    m_rect = Rect{x, y, x + width, y + height};
    m_width = width;
    m_height = height;
    m_controls.clear();
    m_ops.clear();
    m_dirty = true;
  }
  events.onCreate();
  // Shown and updated at once, as a new window is painted before its creator goes on.
  paintNow();

  if (m_options.scriptPath && !m_driver) {
    ScriptDriver::Options o;
    o.script = *m_options.scriptPath;
    o.logFile = m_options.logFile;
    o.waitLogBound = m_options.waitLogBound;
    DiagSink sink = m_options.diag ? m_options.diag : DiagSink(&writeDiagLine);
    m_driver = std::make_unique<ScriptDriver>(std::move(o), static_cast<ScriptTarget&>(*this), std::move(sink));
    m_driver->start();
  }
  return true;
}

int HeadlessUi::run() {
  std::unique_lock lk(m_mutex);
  for (;;) {
    if (!m_queue.empty()) {
      Event e = std::move(m_queue.front());
      m_queue.pop_front();
      lk.unlock();
      dispatch(e);
      lk.lock();
      continue;
    }
    if (m_quit) {
      m_quit = false;
      return m_quitCode;
    }
    if (m_window && (m_dirty || m_controlsDirty)) {
      // Paints and dumps follow each other at most every minPaintInterval; what changes meanwhile
      // is taken up by the next one.
      const auto due = m_lastOutput + m_options.minPaintInterval;
      if (std::chrono::steady_clock::now() < due) {
        m_wake.wait_until(lk, due);
        continue;
      }
      if (m_dirty) {
        lk.unlock();
        paintNow();
      } else {
        m_controlsDirty = false;
        m_lastOutput = std::chrono::steady_clock::now();
        const Picture p = snapshotLocked();
        lk.unlock();
        writeOutputs(p);
      }
      lk.lock();
      continue;
    }
    m_wake.wait(lk);
  }
}

void HeadlessUi::dispatch(const Event& e) {
  switch (e.kind) {
    case Event::Kind::App: {
      UiEvents* events = nullptr;
      {
        std::lock_guard lk(m_mutex);
        if (m_window) events = m_events;
      }
      if (events) events->onApp(e.appMsg);
      break;
    }
    case Event::Kind::Input:
      deliverInput(e.input);
      break;
    case Event::Kind::Destroy:
      destroyNow();
      break;
  }
}

void HeadlessUi::deliverInput(const ScriptCommand& cmd) {
  const std::string what = cmd.kind == ScriptCommand::Kind::Click   ? fmt::format("click {}", cmd.id)
                           : cmd.kind == ScriptCommand::Kind::Type  ? fmt::format("type {}", cmd.id)
                           : cmd.kind == ScriptCommand::Kind::Enter ? fmt::format("enter {}", cmd.id)
                                                                     : std::string("close");
  std::string refusal;
  UiEvents* events = nullptr;
  {
    std::lock_guard lk(m_mutex);
    events = m_events;
    if (!m_window) {
      refusal = "there is no window";
    } else if (cmd.kind != ScriptCommand::Kind::Close) {
      ControlState* c = findLocked(cmd.id);
      const bool wantsEdit = cmd.kind != ScriptCommand::Kind::Click;
      if (!c)
        refusal = fmt::format("there is no control {}", cmd.id);
      else if (!c->enabled)
        refusal = fmt::format("control {} is disabled", cmd.id);
      else if (wantsEdit != (c->kind == ControlKind::Edit))
        refusal = fmt::format("control {} ({}) takes no {}", cmd.id, controlKindName(c->kind),
                              wantsEdit ? "typing" : "click");
      else if (cmd.kind == ScriptCommand::Kind::Type && c->text != cmd.text) {
        c->text = cmd.text;
        changedLocked();
      }
    }
  }
  if (!refusal.empty()) {
    report(fmt::format("refused {}: {}", what, refusal));
    return;
  }
  switch (cmd.kind) {
    case ScriptCommand::Kind::Click: events->onCommand(cmd.id); break;
    case ScriptCommand::Kind::Type:
    case ScriptCommand::Kind::Enter: events->onEditEnter(cmd.id); break;
    case ScriptCommand::Kind::Close: events->onClose(); break;
    default: break;
  }
}

void HeadlessUi::scriptInput(const ScriptCommand& command) {
  {
    std::lock_guard lk(m_mutex);
    Event e;
    e.kind = Event::Kind::Input;
    e.input = command;
    m_queue.push_back(std::move(e));
  }
  m_wake.notify_one();
}

void HeadlessUi::post(int appMsg) {
  {
    std::lock_guard lk(m_mutex);
    if (!m_window) return;  // like a message posted to a window that is gone
    Event e;
    e.kind = Event::Kind::App;
    e.appMsg = appMsg;
    m_queue.push_back(std::move(e));
  }
  m_wake.notify_one();
}

void HeadlessUi::quit(int code) {
  {
    std::lock_guard lk(m_mutex);
    m_quit = true;
    m_quitCode = code;
  }
  m_wake.notify_one();
}

void HeadlessUi::destroyWindow() {
  if (onMainThread()) {
    destroyNow();
    return;
  }
  {
    std::lock_guard lk(m_mutex);
    if (!m_window) return;
    Event e;
    e.kind = Event::Kind::Destroy;
    m_queue.push_back(std::move(e));
  }
  m_wake.notify_one();
}

void HeadlessUi::destroyNow() {
  UiEvents* events = nullptr;
  {
    std::lock_guard lk(m_mutex);
    if (!m_window) return;
    events = m_events;
  }
  // The window still exists while it hears of its end; its controls go with it afterwards.
  events->onDestroy();
  if (m_driver) m_driver->stop();
  std::lock_guard lk(m_mutex);
  m_window = false;
  m_events = nullptr;
  m_controls.clear();
  m_dirty = false;
  m_controlsDirty = false;
}

void HeadlessUi::invalidate(std::optional<Rect>) {
  // Only a flag and a wake-up: callers may hold their own locks, and the painter takes those too.
  // The whole window is repainted, so the rectangle is not kept.
  {
    std::lock_guard lk(m_mutex);
    if (!m_window || m_dirty) return;
    m_dirty = true;
  }
  m_wake.notify_one();
}

Rect HeadlessUi::windowRect() {
  std::lock_guard lk(m_mutex);
  return m_rect;
}

void HeadlessUi::setTopmost(bool on) {
  std::lock_guard lk(m_mutex);
  if (!m_window || m_topmost == on) return;
  m_topmost = on;
  changedLocked();
}

void HeadlessUi::paintNow() {
  UiEvents* events = nullptr;
  {
    std::lock_guard lk(m_mutex);
    if (!m_window) return;
    // Cleared before the painter runs: an invalidate during the paint asks for another one.
    m_dirty = false;
    events = m_events;
  }
  RecordingSurface surface;
  events->onPaint(surface);
  Picture p;
  {
    std::lock_guard lk(m_mutex);
    if (!m_window) return;
    m_ops = surface.take();
    ++m_paints;
    m_lastOutput = std::chrono::steady_clock::now();
    m_controlsDirty = false;
    p = snapshotLocked();
  }
  writeOutputs(p);
}

void HeadlessUi::writeOutputs(const Picture& p) {
  if (!m_options.dumpPath && !m_options.svgPath) return;
  std::string error;
  bool ok = true;
  if (m_options.dumpPath) ok = writeFileAtomically(*m_options.dumpPath, dumpText(p), error) && ok;
  if (ok && m_options.svgPath) ok = writeFileAtomically(*m_options.svgPath, svgText(p), error);
  // One report per run of failures, not one per paint.
  if (!ok && !m_outputErrorReported) report(error);
  m_outputErrorReported = !ok;
}

ControlState* HeadlessUi::findLocked(std::uint16_t id) {
  // The first control with the id, as a dialog item lookup finds it.
  for (auto& c : m_controls)
    if (c.id == id) return &c;
  return nullptr;
}

Picture HeadlessUi::snapshotLocked() const {
  Picture p;
  p.title = m_title;
  p.window = m_rect;
  p.width = m_width;
  p.height = m_height;
  p.topmost = m_topmost;
  p.paints = m_paints;
  p.ops = m_ops;
  p.controls = m_controls;
  return p;
}

void HeadlessUi::changedLocked() {
  m_controlsDirty = true;
  m_wake.notify_one();
}

void HeadlessUi::createCheckBox(std::uint16_t id, int x, int y, int w, int h, bool checked) {
  std::lock_guard lk(m_mutex);
  if (!m_window) return;
  m_controls.push_back(ControlState{id, ControlKind::CheckBox, x, y, w, h, true, checked, {}});
  changedLocked();
}

void HeadlessUi::createButton(std::uint16_t id, std::string_view caption, int x, int y, int w, int h) {
  std::lock_guard lk(m_mutex);
  if (!m_window) return;
  m_controls.push_back(ControlState{id, ControlKind::Button, x, y, w, h, true, false, std::string(caption)});
  changedLocked();
}

void HeadlessUi::createEdit(std::uint16_t id, int x, int y, int w, int h) {
  std::lock_guard lk(m_mutex);
  if (!m_window) return;
  m_controls.push_back(ControlState{id, ControlKind::Edit, x, y, w, h, true, false, {}});
  changedLocked();
}

bool HeadlessUi::hasControl(std::uint16_t id) {
  std::lock_guard lk(m_mutex);
  return findLocked(id) != nullptr;
}

void HeadlessUi::setChecked(std::uint16_t id, bool checked) {
  std::lock_guard lk(m_mutex);
  ControlState* c = findLocked(id);
  // A push button has no checked state.
  if (!c || c->kind != ControlKind::CheckBox || c->checked == checked) return;
  c->checked = checked;
  changedLocked();
}

bool HeadlessUi::isChecked(std::uint16_t id) {
  std::lock_guard lk(m_mutex);
  const ControlState* c = findLocked(id);
  return c && c->checked;
}

void HeadlessUi::enable(std::uint16_t id, bool on) {
  std::lock_guard lk(m_mutex);
  ControlState* c = findLocked(id);
  if (!c || c->enabled == on) return;
  c->enabled = on;
  changedLocked();
}

bool HeadlessUi::isEnabled(std::uint16_t id) {
  std::lock_guard lk(m_mutex);
  const ControlState* c = findLocked(id);
  return c && c->enabled;
}

void HeadlessUi::setText(std::uint16_t id, std::string_view utf8) {
  std::lock_guard lk(m_mutex);
  ControlState* c = findLocked(id);
  if (!c || c->text == utf8) return;
  c->text = std::string(utf8);
  changedLocked();
}

std::string HeadlessUi::getText(std::uint16_t id) {
  std::lock_guard lk(m_mutex);
  const ControlState* c = findLocked(id);
  return c ? c->text : std::string();
}

Picture HeadlessUi::picture() const {
  std::lock_guard lk(m_mutex);
  return snapshotLocked();
}

std::uint64_t HeadlessUi::paintCount() const {
  std::lock_guard lk(m_mutex);
  return m_paints;
}

bool HeadlessUi::windowExists() const {
  std::lock_guard lk(m_mutex);
  return m_window;
}

bool HeadlessUi::scriptFinished() const { return !m_driver || m_driver->finished(); }

}  // namespace amb::platform::headless
