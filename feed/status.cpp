#include "feed/status.hpp"

#include "platform/ui.hpp"

#include <mutex>

namespace amb {

std::atomic<ReaderStatus> g_trafficReaderStatus{ReaderStatus::Stopped};
std::atomic<ReaderStatus> g_qnhReaderStatus{ReaderStatus::Stopped};
std::atomic<std::int32_t> g_shownQnh{0};
std::atomic<std::uint8_t> g_readersWatched{0};

namespace {
std::mutex g_editionMutex;
std::string g_editionText;
// The black band under the header with the lamps and the edition text.
constexpr platform::Rect kStatusBand{0, 28, 880, 112};
}  // namespace

std::string gf_rtEditionText() {
  std::lock_guard lock(g_editionMutex);
  return g_editionText;
}

void gf_setRtEditionText(const std::string& text) {
  std::lock_guard lock(g_editionMutex);
  g_editionText = text;
}

void gf_repaintWindow() {
  if (platform::Ui* ui = platform::currentUi()) ui->invalidate(std::nullopt);
}

void gf_repaintStatusBand() {
  if (platform::Ui* ui = platform::currentUi()) ui->invalidate(kStatusBand);
}

void gf_resetFeedStatus() {
  g_trafficReaderStatus = ReaderStatus::Stopped;
  g_qnhReaderStatus = ReaderStatus::Stopped;
  g_shownQnh = 0;
  g_readersWatched = 0;
  gf_setRtEditionText({});
}

}  // namespace amb
