#pragma once
// The one message line at the bottom of the main window: a status message or, with priority, an
// error. Any thread may write it; the window paints it. A status message ages away after 25
// user-aircraft reports; an error stays until cleared. A notice (something was refused, not read
// whole or not saved) is a status message held on the line long enough to be read.

#include "platform/ui.hpp"

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace amb {

inline constexpr platform::Rect kMessageBand{0, 448, 880, 476};

void gf_showMessage(const std::string& text, bool log);
void gf_showError(const std::string& text);
void gf_clearMessage();
// A status message that tells the user something was refused, not read whole or not saved: held on
// the line for kNoticeHold or until the user's next action (gf_endNoticeHold), whichever comes
// first. Meanwhile other status messages, their clearing and the ageing leave it there (they are
// still logged); a newer notice or an error takes its place.
inline constexpr std::chrono::seconds kNoticeHold{10};
void gf_showNotice(const std::string& text, bool log = true);
// The user acted in the window (a click, an entry, the close), or the run restarts: a held notice
// may give way to the next message.
void gf_endNoticeHold();
// Clears the error text (the install-path commit, a parking renewal, the restart reset).
void gf_clearError();

// One report of the user aircraft: counts and ages the status message.
void gf_ageMessage();
// The restart reset: counter back to 0.
void gf_resetMessageCounter();

struct MessageLineState {
  std::string message;
  std::string error;
  std::uint32_t counter = 0;
  std::uint32_t stamp = 0;
};
// A copy taken under the lock (for painting and tests).
MessageLineState gf_messageLineSnapshot();

// Held by the painter while it draws the band.
std::mutex& gf_messageMutex();

}  // namespace amb
