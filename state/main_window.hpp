#pragma once
// The one main window object: what the status display shows. The painter (app/paint.cpp) draws
// every part of the window from these fields; the rest of the program only changes them and asks
// for a repaint of the part it changed. The feed keeps its own part of the display (reader lamps,
// QNH, edition text) in feed/status.hpp.
//
// Threading: the fields are written by the worker, simulator, reader and scan threads while the
// window thread paints. Numbers and flags are relaxed atomics; the status texts are copied in and
// out under their own lock, so a painting may mix old and new values but never reads a string while
// it changes.

#include "platform/ui.hpp"
#include "settings/options.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>
#include <string>

namespace amb {

// Colours, 0x00BBGGRR.
namespace colors {
inline constexpr platform::Color kRed = 0x0000FF;
inline constexpr platform::Color kLightBlue = 0xFFCC99;
inline constexpr platform::Color kBlack = 0x000000;
inline constexpr platform::Color kLime = 0x32CD32;
inline constexpr platform::Color kYellow = 0x00FFFF;
inline constexpr platform::Color kWhite = 0xFFFFFF;
inline constexpr platform::Color kGrey = 0xA0A0A0;
}  // namespace colors

// The parts of the client area (left, top, right, bottom). The option area is kOptionArea
// (settings/options.hpp), the message band kMessageBand (core/message_line.hpp).
inline constexpr int kClientWidth = 880;
inline constexpr int kClientHeight = 476;
inline constexpr platform::Rect kHeaderBand{0, 0, 880, 28};
inline constexpr platform::Rect kStatusBand{0, 28, 880, 112};
inline constexpr platform::Rect kFiguresArea{0, 392, 880, 448};

struct LineSegment {
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

// The status texts, in the order the window keeps them.
enum class StatusText : int {
  UserTitle = 0,     // the user aircraft's title, from the simulator
  ParkingText1 = 1,  // static parking
  ParkingText2 = 2,
  QualityText = 3,   // quality factor of the park airport's file
  SimText = 4,       // the simulator's name and version, once connected
  UserStand = 5,     // the stand under the user aircraft, empty when none
};
inline constexpr int kStatusTextCount = 6;

class MainWindow {
public:
  MainWindow();
  virtual ~MainWindow() = default;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The stored window position.
  IntOption& mainWindowX;
  IntOption& mainWindowY;

  // The seven horizontal lines of the option area.
  const std::array<LineSegment, 7> segments{{{0, 140, 880, 140},
                                             {0, 168, 642, 168},
                                             {0, 196, 642, 196},
                                             {0, 224, 642, 224},
                                             {0, 252, 642, 252},
                                             {0, 280, 642, 280},
                                             {0, 308, 880, 308}}};

  // The window; null until it exists. Kept for the whole process (the exit sequence posts to it).
  std::atomic<platform::Ui*> window{nullptr};

  std::string text(StatusText which) const;
  void setText(StatusText which, std::string value);

  std::atomic<float> staticAverageFit{-1.0f};   // static parked aircraft
  std::atomic<float> liveAverageFit{-1.0f};     // parked live aircraft
  std::atomic<std::uint32_t> liveCount{0};      // live aircraft moving in the simulator
  std::atomic<std::uint64_t> liveryCount{0};
  std::atomic<std::uint64_t> parkedLiveCount{0};
  std::atomic<std::uint64_t> parkedStaticCount{0};
  std::atomic<std::uint64_t> standCount{0};
  std::atomic<std::int32_t> parkingRow{399};    // y of the first parking line; the second is 28 lower
  std::atomic<std::int32_t> maxParkPercentage{0};
  std::atomic<std::int32_t> maxParkCount{0};
  std::atomic<std::int32_t> parkWeek{0};        // the week value of static parking ("wk=")
  std::atomic<std::uint32_t> parkingUpdates{0};
  std::atomic<std::int32_t> realFit{0};    // half-hour offsets the last static-parking plan reached
  std::atomic<std::int32_t> softFit{-1};   // ... for soft options; -1 when none were searched
  std::atomic<std::uint8_t> adjusting{0};  // static parking is being adjusted
  std::atomic<std::uint8_t> hourMarker{0};     // the park airport's stands come from a handmade file
  std::atomic<std::uint8_t> parkDataShown{0};
  std::atomic<std::uint8_t> simConnectOpen{0};
  std::atomic<std::uint8_t> simRunning{0};
  std::atomic<std::uint8_t> userModelKnown{1};
  std::atomic<std::uint8_t> simaddonComplete{1};
  std::atomic<std::uint8_t> snapshotMarker{0};
  std::atomic<std::uint8_t> reservedStandValid{0};
  std::atomic<std::uint8_t> ready{0};  // set last by the constructor

  // Asks the window to repaint a part of itself (all of it without a rectangle); nothing happens
  // while there is no window. Never blocks.
  void invalidate(std::optional<platform::Rect> area) const;

  // The restart's reset: every field back to its start value but the window and the livery count,
  // which belongs to the livery tables (they outlive a restart).
  void reset();

private:
  mutable std::mutex m_textMutex;
  std::array<std::string, kStatusTextCount> m_texts;
};

extern MainWindow g_mainWindow;

// Fields of the window that the program names on their own.
extern std::atomic<std::uint64_t> g_myOrbxCount;        // files in g_myOrbxFolder ("# simaddon: {}")
extern std::atomic<std::uint64_t> g_myThirdpartyCount;  // files in g_myThirdpartyFolder ("# thirdp: {}")
extern std::atomic<std::uint8_t> g_startingUp;          // 1 until the service run passed the simulator
extern std::atomic<std::uint32_t> g_renewalMinutes;     // minutes to the next parking renewal

// The window as the window procedure last saw it; the controls are looked up through it. Cleared by
// the restart's reset.
extern std::atomic<platform::Ui*> g_mainHwnd;

// Enables or disables the option's control in the window (g_mainHwnd); nothing while there is none.
void gf_enableControl(const OptionControl& control, bool on);

// Shortcuts for g_mainWindow.invalidate.
void gf_repaintStatusArea();   // the status band
void gf_repaintOptionArea();   // the option area
void gf_repaintFigureArea();   // the parking figures

// Every field and the names above back to their start values (tests).
void gf_resetMainWindow();

}  // namespace amb
