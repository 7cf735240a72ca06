#include "core/message_line.hpp"

#include "core/clock.hpp"
#include "core/log.hpp"

#include <algorithm>
#include <optional>

namespace amb {

namespace {
std::mutex g_messageMutex;
MessageLineState g_line;
// Until when the notice on the line stays; empty when none is held.
std::optional<clock::SteadyTime> g_noticeUntil;

bool noticeHeld() {
  if (g_noticeUntil && clock::steadyNow() < *g_noticeUntil) return true;
  g_noticeUntil.reset();
  return false;
}

void setMessage(const std::string& text) {
  g_line.message = text;
  g_line.stamp = text.empty() ? 0 : std::max<std::uint32_t>(1, g_line.counter);
}

void invalidateBand() {
  // Never blocks: the window only marks the band for the next paint.
  if (auto* ui = platform::currentUi()) ui->invalidate(kMessageBand);
}
}  // namespace

std::mutex& gf_messageMutex() { return g_messageMutex; }

void gf_showMessage(const std::string& text, bool log) {
  std::lock_guard lock(g_messageMutex);
  if (!g_line.error.empty()) return;
  if (log && !text.empty()) gf_log(text);
  if (noticeHeld()) return;
  setMessage(text);
  invalidateBand();
}

void gf_showNotice(const std::string& text, bool log) {
  std::lock_guard lock(g_messageMutex);
  if (log && !text.empty()) gf_log(text);
  if (!g_line.error.empty()) return;
  setMessage(text);
  g_noticeUntil = clock::steadyNow() + kNoticeHold;
  invalidateBand();
}

void gf_endNoticeHold() {
  std::lock_guard lock(g_messageMutex);
  g_noticeUntil.reset();
}

void gf_showError(const std::string& text) {
  std::lock_guard lock(g_messageMutex);
  g_line.message.clear();
  g_line.stamp = 0;
  g_line.error = text;
  gf_log("Error " + text);
  invalidateBand();
}

void gf_clearMessage() { gf_showMessage(std::string(), true); }

void gf_clearError() {
  std::lock_guard lock(g_messageMutex);
  g_line.error.clear();
  invalidateBand();
}

void gf_ageMessage() {
  bool clear = false;
  {
    std::lock_guard lock(g_messageMutex);
    ++g_line.counter;
    clear = g_line.stamp >= 1 && g_line.counter - g_line.stamp >= 25;
  }
  if (clear) gf_clearMessage();
}

void gf_resetMessageCounter() {
  std::lock_guard lock(g_messageMutex);
  g_line.counter = 0;
}

MessageLineState gf_messageLineSnapshot() {
  std::lock_guard lock(g_messageMutex);
  return g_line;
}

}  // namespace amb
