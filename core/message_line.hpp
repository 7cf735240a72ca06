#pragma once
// The one message line at the bottom of the main window: a status message or, with priority, an
// error. Any thread may write it; the window paints it. A status message ages away after 25
// user-aircraft reports; an error stays until cleared.

#include "platform/ui.hpp"

#include <cstdint>
#include <mutex>
#include <string>

namespace amb {

inline constexpr platform::Rect kMessageBand{0, 448, 880, 476};

void gf_showMessage(const std::string& text, bool log);
void gf_showError(const std::string& text);
void gf_clearMessage();
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
