// The painter of the main window: the header, the status band with the simulator and RealTraffic
// lamps, the option labels, the parking figures and the message band, all from the fields of
// g_mainWindow and the subsystems' status values.

#include "airports/services.hpp"
#include "app/window.hpp"
#include "core/files.hpp"
#include "core/log.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "feed/services.hpp"
#include "scan/services.hpp"
#include "settings/options.hpp"
#include "state/main_window.hpp"
#include "state/run_state.hpp"

#include <fmt/format.h>

#include <functional>
#include <stdexcept>
#include <vector>

namespace amb {

using namespace colors;

namespace {

constexpr const char* kMakerNotice = "(c) Ambertrail_P3D developers";

bool controlEnabled(const OptionControl& control) {
  platform::Ui* ui = g_mainWindow.window.load();
  return ui != nullptr && ui->isEnabled(control.controlId);
}

void drawLine(platform::Surface& s, const LineSegment& l, platform::Color c) { s.line(l.x1, l.y1, l.x2, l.y2, c); }

// One label of the option area: its text, x, the row of the option it stands beside, and how it is
// coloured. draw returns false when the label is not shown at all.
struct Label {
  int x;
  const OptionControl* rowOf;
  std::function<void(platform::Surface&, int x, int y)> draw;
};

Label fixed(const char* text, int x, const OptionControl& rowOf, platform::Color c = kBlack) {
  return {x, &rowOf, [text, c](platform::Surface& s, int lx, int ly) { lf_textOut(s, lx, ly, text, c); }};
}

Label yellowWhenOn(const char* text, int x, const OptionControl& rowOf, const BoolOption& option) {
  return {x, &rowOf, [text, &option](platform::Surface& s, int lx, int ly) {
            lf_textOut(s, lx, ly, text, option.value != 0 ? kYellow : kBlack);
          }};
}

Label greyWhenDisabled(const char* text, int x, const OptionControl& control) {
  return {x, &control, [text, &control](platform::Surface& s, int lx, int ly) {
            lf_textOutEnabled(s, lx, ly, text, controlEnabled(control));
          }};
}

Label blackWhenOn(const char* text, int x, const OptionControl& rowOf, const BoolOption& option,
                  platform::Color whenOff) {
  return {x, &rowOf, [text, &option, whenOff](platform::Surface& s, int lx, int ly) {
            lf_textOut(s, lx, ly, text, option.value != 0 ? kBlack : whenOff);
          }};
}

Label yellowWhenChanged(const char* text, int x, const IntOptionEdit& option) {
  return {x, &option, [text, &option](platform::Surface& s, int lx, int ly) {
            lf_textOut(s, lx, ly, text, option.value != option.defaultValue ? kYellow : kGrey);
          }};
}

const std::vector<Label>& optionLabels() {
  static const std::vector<Label> labels{
      fixed("Install path:", 5, ALL_INSTALL_PATH),
      yellowWhenOn("Scan for liveries", 25, LIG_AUTOMATIC, SCAN_LIVERIES),
      fixed("Automatic", 237, LIG_AUTOMATIC),
      fixed("Prioritize", 450, LIG_PRIORITIZE),
      fixed("Stub", 556, SUPPRESS_STUB),
      fixed("Log", 672, LOG),
      yellowWhenOn("Stay on top", 768, ALWAYS_ON_TOP, ALWAYS_ON_TOP),
      yellowWhenOn("Scan for addon airports", 25, SCAN_AIRPORTS, SCAN_AIRPORTS),
      fixed("Automatic", 237, AFG_AUTOMATIC),
      {323, &SCAN_AIRPORTS,
       [](platform::Surface& s, int x, int y) {
         const std::int32_t count = g_offlineLearningCopies;
         if (count > 0)
           lf_textOut(s, x, y,
                      fmt::format("{} airport{} in {} folder", count, gf_pluralS(count),
                                  gf_pathText(g_tbloFolder.filename())),
                      kYellow);
       }},
      fixed("Nav lights", 672, NAV_LIGHTS_WHILE_PARKED),
      fixed("Learn Soft", 768, LEARN_SOFT),
      fixed("Max aircraft matching depth", 5, MATCHING_DEPTH),
      fixed("Optional:", 253, LIGHT_AIRCRAFT),
      greyWhenDisabled("Light aircraft", 343, LIGHT_AIRCRAFT),
      greyWhenDisabled("Helicopters", 450, HELICOPTERS),
      greyWhenDisabled("FighterJets", 556, HIGH_PERF_AIRCRAFT),
      yellowWhenOn("Aerowinx", 672, AEROWINX, AEROWINX),
      blackWhenOn("GUID changes", 768, GUID_CHANGES, GUID_CHANGES, kYellow),
      fixed("Traffic injection", 5, LATERAL_RANGE),
      fixed("radius:", 167, LATERAL_RANGE),
      fixed("nm,  or", 260, LATERAL_RANGE),
      fixed("auto range", 343, AUTO_RANGE),
      blackWhenOn("ah:", 430, AUTO_RANGE_ABOVE_HEIGHT, AUTO_RANGE, kGrey),
      blackWhenOn("ft", 510, AUTO_RANGE_ABOVE_HEIGHT, AUTO_RANGE, kGrey),
      fixed("Callsigns", 5, BLOCK_CALLSIGN),
      fixed("block:", 172, BLOCK_CALLSIGN),
      fixed("Collision avoidance", 5, COLLISION_USER_GND),
      fixed("User ground", 237, COLLISION_USER_GND),
      fixed("User air", 343, COLLISION_USER_AIR),
      fixed("Live X parked", 450, COLLISION_LIVE_PARKED_GND),
      {5, &CUSTOM_MAX_PARK,
       [](platform::Surface& s, int x, int y) {
         const bool active = g_parkingLock != 0;
         lf_textOut(s, x, y, fmt::format("Airport parking{}", active ? " active" : ""), active ? kYellow : kBlack);
       }},
      yellowWhenChanged("generic max park:", 217, CUSTOM_MAX_PARK),
      yellowWhenChanged("max live:", 536, MAX_LIVE),
      blackWhenOn("Straight push backs only", 672, STRAIGHT_PBS_ONLY, STRAIGHT_PBS_ONLY, kGrey),
      fixed("destination:", 139, DESTINATION),
      fixed("range:", 303, AIRPORT_RANGE),
      fixed("nm", 393, AIRPORT_RANGE),
      fixed("height above gnd:", 440, AIRPORT_HEIGHT),
      fixed("ft", 621, AIRPORT_HEIGHT),
      {5, &AIRPORT_RANGE,
       [](platform::Surface& s, int x, int y) {
         const std::uint32_t minutes = g_renewalMinutes;
         if (g_parkAirportLoaded != 0 && g_parkingLock == 0 && INITIAL_LOAD_ONLY.value == 0 && minutes >= 1 &&
             minutes <= 19)
           lf_textOut(s, x, y, fmt::format("(next in {} min)", minutes), kBlack);
       }},
      fixed("Fake", 25, PARK_FAKE),
      fixed("Week", 91, WEEK),
      fixed("Soft", 171, PARK_SOFT),
      fixed("wanted: ", 264, parking_percentage),
      fixed("%", 363, parking_percentage),
      yellowWhenOn("ILO", 450, INITIAL_LOAD_ONLY, INITIAL_LOAD_ONLY),
      fixed("Max fit:", 506, MAX_FIT_FL),
  };
  return labels;
}

}  // namespace

void lf_textOut(platform::Surface& s, int x, int y, const std::string& text, platform::Color color) {
  try {
    // The window draws UTF-16; text that does not convert is not drawn.
    (void)gf_utf8ToUtf16(text);
  } catch (const win32::Utf8ConversionException& e) {
    gf_logf("{} conversion exception {}, error code: {}", text, e.what(), e.errorCode());
    return;
  } catch (const std::overflow_error& e) {
    gf_logf("{} {}", text, e.what());
    return;
  }
  s.text(x, y, text, color);
}

void lf_textOutEnabled(platform::Surface& s, int x, int y, const std::string& text, bool enabled) {
  lf_textOut(s, x, y, text, enabled ? kBlack : kGrey);
}

void lf_paintWindow(platform::Surface& s) {
  s.fill({0, 0, 880, 28}, kBlack);
  s.fill(kStatusBand, kBlack);
  s.fill(kOptionArea, kLightBlue);
  s.fill({0, 392, 880, 448}, kBlack);
  s.fill(kMessageBand, kLime);

  s.line(0, 28, 880, 28, kWhite);
  s.line(0, 113, 880, 113, kWhite);
  s.line(0, 449, 880, 449, kWhite);
  s.line(0, 392, 880, 392, kWhite);

  lf_textOut(s, 3, 7, fmt::format("Version {}", gf_versionText(g_programVersion)), kLime);
  lf_textOut(s, 390, 7, g_programName, kLime);
  lf_textOut(s, 632, 7, kMakerNotice, kLime);

  for (const LineSegment& l : g_mainWindow.segments) drawLine(s, l, kBlack);
  s.line(642, 140, 642, 308, kBlack);

  lf_paintStatusBand(s);
  lf_paintQnh(s);

  const ReaderStatus traffic = g_trafficReaderStatus;
  if (g_readersWatched != 0 && (traffic == ReaderStatus::Receiving || traffic == ReaderStatus::NoData))
    lf_textOut(s, 642, 91, fmt::format("live: {:3}", g_mainWindow.liveCount.load()), kLime);

  lf_paintOptionLabels(s);
  lf_paintParkingFigures(s);

  // The message band: both texts as they stood together.
  const MessageLineState line = gf_messageLineSnapshot();
  if (!line.error.empty()) {
    s.fill(kMessageBand, kRed);
    lf_textOut(s, 3, 455, line.error, kYellow);
  } else {
    s.fill(kMessageBand, kLime);
    if (!line.message.empty()) lf_textOut(s, 3, 455, line.message, kYellow);
  }
}

void lf_paintStatusBand(platform::Surface& s) {
  const bool open = g_mainWindow.simConnectOpen != 0;
  const std::string title = g_mainWindow.text(StatusText::UserTitle);
  const platform::Color simLamp =
      !open ? kRed : (g_mainWindow.simRunning != 0 && !title.empty() ? kLime : kYellow);
  s.fill({397, 30, 425, 112}, simLamp);
  lf_textOut(s, 398, 63, "Sim", kBlack);
  if (open) {
    std::string simText = g_mainWindow.text(StatusText::SimText);
    const std::string stand = g_mainWindow.text(StatusText::UserStand);
    if (!stand.empty()) simText += ", user stand " + stand;
    lf_textOut(s, 5, 35, simText, simLamp);
    lf_textOut(s, 5, 63, title, g_mainWindow.userModelKnown != 0 ? simLamp : kYellow);
  }

  const std::uint64_t liveries = g_mainWindow.liveryCount;
  if (liveries != 0)
    lf_textOut(s, 5, 91, fmt::format("# liveries: {}", liveries), kLime);
  else
    lf_textOut(s, 5, 91, "# liveries: ...", kRed);

  const std::uint64_t simaddon = g_myOrbxCount;
  if (simaddon != 0)
    lf_textOut(s, 141, 91, fmt::format("# {}: {}", "simaddon", simaddon),
               g_mainWindow.simaddonComplete != 0 ? kLime : kYellow);
  else
    lf_textOut(s, 141, 91, std::string("# ") + "simaddon" + ": ...", kYellow);

  const std::uint64_t thirdParty = g_myThirdpartyCount;
  if (thirdParty != 0)
    lf_textOut(s, 278, 91, fmt::format("# thirdp: {}", thirdParty), kLime);
  else
    lf_textOut(s, 278, 91, "# thirdp: ...", kYellow);

  const bool watched = g_readersWatched != 0;
  const ReaderStatus traffic = g_trafficReaderStatus;
  const ReaderStatus qnh = g_qnhReaderStatus;
  platform::Color rtLamp = kRed;
  if (g_startingUp != 0)
    rtLamp = kBlack;
  else if (watched)
    rtLamp = traffic == ReaderStatus::Receiving ? kLime : kYellow;
  s.fill({425, 30, 453, 112}, rtLamp);
  lf_textOut(s, 430, 63, "RT", kBlack);
  if (watched) {
    lf_textOut(s, 458, 35, gf_rtEditionText(), kLime);
    if (qnh != ReaderStatus::Stopped)
      lf_textOut(s, 458, 63, "Weather", qnh == ReaderStatus::Receiving ? kLime : kYellow);
    if (traffic != ReaderStatus::Stopped)
      lf_textOut(s, 458, 91, "Traffic", traffic == ReaderStatus::Receiving ? kLime : kYellow);
  }
  s.line(425, 29, 425, 112, kBlack);
}

void lf_paintQnh(platform::Surface& s) {
  const ReaderStatus qnh = g_qnhReaderStatus;
  const std::int32_t shown = g_shownQnh;
  if (g_readersWatched != 0 && (qnh == ReaderStatus::Receiving || qnh == ReaderStatus::NoData) && shown >= 1)
    lf_textOut(s, 642, 63, fmt::format("qnh: {:4}", shown), kLime);
}

void lf_paintOptionLabels(platform::Surface& s) {
  for (const Label& label : optionLabels()) label.draw(s, label.x, label.rowOf->row);
}

void lf_paintParkingFigures(platform::Surface& s) {
  const AirportData park = gf_parkAirportSnapshot();
  if (park.code.empty()) return;
  const int y = g_mainWindow.parkingRow;
  const int y2 = y + 28;
  const bool shown = g_mainWindow.parkDataShown != 0;
  lf_textOut(s, 5, y, gf_airportLabel(park), shown ? kLime : kYellow);
  if (shown) {
    lf_textOut(s, 85, y,
               fmt::format(" {}, {}{}, wk={}", g_mainWindow.text(StatusText::ParkingText1),
                           g_mainWindow.text(StatusText::ParkingText2), g_mainWindow.hourMarker != 0 ? " (h)" : "",
                           g_mainWindow.parkWeek.load()),
               kLime);
    if (g_mainWindow.snapshotMarker != 0) lf_textOut(s, 370, y, "*S*", kLime);
    lf_textOut(s, 430, y, fmt::format("qf: {}", g_mainWindow.text(StatusText::QualityText)), kLime);
    const std::string reserved = gf_reservedStandName();
    if (!reserved.empty())
      lf_textOut(s, 571, y, fmt::format("reserved stand: {}", reserved),
                 g_mainWindow.reservedStandValid != 0 ? kLime : kRed);
    lf_textOut(s, 748, y, fmt::format("# updates: {:4}", g_mainWindow.parkingUpdates.load()), kLime);
  }

  lf_textOut(s, 5, y2, fmt::format("# stands: {:3}", g_mainWindow.standCount.load()), kLime);
  lf_textOut(s, 111, y2, fmt::format("parked live: {:3}", g_mainWindow.parkedLiveCount.load()), kLime);
  const float liveFit = g_mainWindow.liveAverageFit;
  if (liveFit > 0) lf_textOut(s, 249, y2, fmt::format("average fit: {}", gf_float2string(liveFit)), kLime);
  const std::int32_t maxPark = g_mainWindow.maxParkCount;
  if (maxPark > 0) {
    lf_textOut(s, 430, y2, fmt::format("parked static: {:3}", g_mainWindow.parkedStaticCount.load()), kLime);
    const float staticFit = g_mainWindow.staticAverageFit;
    if (WEEK.value == 0 && staticFit > 0)
      lf_textOut(s, 571, y2, fmt::format("average fit: {}", gf_float2string(staticFit)), kLime);
    lf_textOut(s, 708, y2, fmt::format("max park: {:3} (={} %)", maxPark, g_mainWindow.maxParkPercentage.load()),
               kLime);
  } else {
    lf_textOut(s, 708, y2, "no max park live", kLime);
  }
}

}  // namespace amb
