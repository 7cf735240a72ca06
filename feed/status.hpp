#pragma once
// What the main window shows of the RealTraffic link and the two readers. The feed writes these from
// its threads; the painter reads them. Every change is followed by a repaint request.

#include <atomic>
#include <cstdint>
#include <string>

namespace amb {

enum class ReaderStatus : std::uint32_t { Receiving = 1, NoData = 2, Stopped = 3 };

extern std::atomic<ReaderStatus> g_trafficReaderStatus;  // 3 at start
extern std::atomic<ReaderStatus> g_qnhReaderStatus;      // 3 at start
extern std::atomic<std::int32_t> g_shownQnh;              // hPa; 0 shows nothing
// The reader lamps and the data-flow watchdog are active.
extern std::atomic<std::uint8_t> g_readersWatched;

// "RT prof edition: 9.0" and the like; empty when unknown.
std::string gf_rtEditionText();
void gf_setRtEditionText(const std::string& text);

// Repaint requests; nothing happens while no window exists.
void gf_repaintWindow();
void gf_repaintStatusBand();

// Start values: both readers stopped, no QNH shown, not watched, no edition text.
void gf_resetFeedStatus();

}  // namespace amb
