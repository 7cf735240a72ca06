// The status display as the painter draws it from the window's fields.

#include "app/window.hpp"
#include "tests/app/app_fixture.hpp"

namespace amb::test {
namespace {

using namespace colors;

class PaintTest : public ShellTest {
protected:
  RecordingSurface paint() {
    RecordingSurface s;
    lf_paintWindow(s);
    return s;
  }
  platform::Color colorOf(const RecordingSurface& s, const std::string& text) {
    const Drawn* d = s.findText(text);
    EXPECT_NE(d, nullptr) << "not drawn: " << text;
    return d ? d->color : 0xDEADBEEF;
  }
};

TEST_F(PaintTest, HeaderBandsAndMessageLine) {
  RecordingSurface s = paint();
  const Drawn* version = s.textAt(3, 7);
  ASSERT_NE(version, nullptr);
  EXPECT_EQ(version->text, "Version 10.10.4");
  EXPECT_EQ(version->color, kLime);
  EXPECT_EQ(s.textAt(390, 7)->text, "Ambertrail_P3D");
  EXPECT_EQ(s.fillOf({0, 112, 880, 392}), kLightBlue);
  EXPECT_EQ(s.fillOf({0, 448, 880, 476}), kLime);
  EXPECT_EQ(s.textAt(3, 455), nullptr);  // no message

  gf_showMessage("hello", false);
  s = paint();
  EXPECT_EQ(s.textAt(3, 455)->text, "hello");
  EXPECT_EQ(s.textAt(3, 455)->color, kYellow);

  // An error takes the band over in red, and a message cannot replace it.
  gf_showError("41: wrong folder");
  gf_showMessage("ignored", false);
  s = paint();
  EXPECT_EQ(s.fillOf({0, 448, 880, 476}), kRed);
  EXPECT_EQ(s.textAt(3, 455)->text, "41: wrong folder");
}

TEST_F(PaintTest, SimulatorLampFollowsTheConnection) {
  // Not connected: red lamp, no simulator texts.
  RecordingSurface s = paint();
  EXPECT_EQ(s.fillOf({397, 30, 425, 112}), kRed);
  EXPECT_EQ(s.textAt(5, 35), nullptr);

  // Connected, simulation paused in its menus: yellow lamp and texts.
  g_mainWindow.simConnectOpen = 1;
  g_mainWindow.setText(StatusText::SimText, "Prepar3D v5.4");
  g_mainWindow.setText(StatusText::UserTitle, "Boeing 737-800");
  s = paint();
  EXPECT_EQ(s.fillOf({397, 30, 425, 112}), kYellow);
  EXPECT_EQ(colorOf(s, "Prepar3D v5.4"), kYellow);

  // Running with a known title: lime, with the user stand after the simulator text.
  g_mainWindow.simRunning = 1;
  g_mainWindow.setText(StatusText::UserStand, "B22");
  s = paint();
  EXPECT_EQ(s.fillOf({397, 30, 425, 112}), kLime);
  EXPECT_EQ(colorOf(s, "Prepar3D v5.4, user stand B22"), kLime);
  EXPECT_EQ(colorOf(s, "Boeing 737-800"), kLime);
  // A title whose model was not recognised stands in yellow.
  g_mainWindow.userModelKnown = 0;
  EXPECT_EQ(colorOf(paint(), "Boeing 737-800"), kYellow);
}

TEST_F(PaintTest, CountsAndReaderLamp) {
  RecordingSurface s = paint();
  EXPECT_EQ(colorOf(s, "# liveries: ..."), kRed);
  EXPECT_EQ(colorOf(s, "# simaddon: ..."), kYellow);
  EXPECT_EQ(colorOf(s, "# thirdp: ..."), kYellow);
  EXPECT_EQ(s.fillOf({425, 30, 453, 112}), kBlack);  // starting up

  g_mainWindow.liveryCount = 1234;
  g_myOrbxCount = 7;
  g_mainWindow.simaddonComplete = 0;
  g_myThirdpartyCount = 3;
  g_startingUp = 0;
  s = paint();
  EXPECT_EQ(colorOf(s, "# liveries: 1234"), kLime);
  EXPECT_EQ(colorOf(s, "# simaddon: 7"), kYellow);
  EXPECT_EQ(colorOf(s, "# thirdp: 3"), kLime);
  EXPECT_EQ(s.fillOf({425, 30, 453, 112}), kRed);  // readers not watched
  EXPECT_EQ(s.findText("Traffic"), nullptr);

  g_readersWatched = 1;
  g_trafficReaderStatus = ReaderStatus::Receiving;
  g_qnhReaderStatus = ReaderStatus::NoData;
  g_mainWindow.liveCount = 12;
  s = paint();
  EXPECT_EQ(s.fillOf({425, 30, 453, 112}), kLime);
  EXPECT_EQ(colorOf(s, "Traffic"), kLime);
  EXPECT_EQ(colorOf(s, "Weather"), kYellow);
  EXPECT_EQ(s.textAt(642, 91)->text, "live:  12");
  EXPECT_EQ(s.textAt(642, 63), nullptr);  // a QNH of 0 is not shown
  g_shownQnh = 998;
  EXPECT_EQ(paint().textAt(642, 63)->text, "qnh:  998");
}

TEST_F(PaintTest, OptionLabelsTakeTheirColoursFromTheOptions) {
  RecordingSurface s = paint();
  EXPECT_EQ(s.textAt(5, ALL_INSTALL_PATH.row)->text, "Install path:");
  EXPECT_EQ(colorOf(s, "Stay on top"), kBlack);
  EXPECT_EQ(colorOf(s, "GUID changes"), kBlack);
  EXPECT_EQ(colorOf(s, "Light aircraft"), kBlack);
  EXPECT_EQ(colorOf(s, "generic max park:"), kGrey);
  EXPECT_EQ(colorOf(s, "Airport parking"), kBlack);
  EXPECT_EQ(s.findText("(next in 5 min)"), nullptr);

  ALWAYS_ON_TOP.value = 1;
  GUID_CHANGES.value = 0;
  AUTO_RANGE.value = 0;
  MAX_LIVE.value = 50;
  g_offlineLearningCopies = 1;
  g_parkingLock = 1;
  ui.enable(LIGHT_AIRCRAFT.controlId, false);
  s = paint();
  EXPECT_EQ(colorOf(s, "Stay on top"), kYellow);
  EXPECT_EQ(colorOf(s, "GUID changes"), kYellow);
  EXPECT_EQ(colorOf(s, "ah:"), kGrey);
  EXPECT_EQ(colorOf(s, "max live:"), kYellow);
  EXPECT_EQ(colorOf(s, "Light aircraft"), kGrey);
  EXPECT_EQ(colorOf(s, "1 airport in TBLO folder"), kYellow);
  EXPECT_EQ(colorOf(s, "Airport parking active"), kYellow);

  // The minutes to the next renewal only while a park airport is loaded and parking is not locked.
  g_parkingLock = 0;
  g_parkAirportLoaded = 1;
  g_renewalMinutes = 5;
  EXPECT_NE(paint().findText("(next in 5 min)"), nullptr);
  g_renewalMinutes = 20;
  EXPECT_EQ(paint().findText("(next in 20 min)"), nullptr);
}

TEST_F(PaintTest, ParkingFiguresOnlyWithAParkAirport) {
  auto figures = [](const RecordingSurface& s) {
    std::size_t n = 0;
    for (const Drawn& d : s.drawn) n += d.kind == Drawn::Text && (d.y == 399 || d.y == 427);
    return n;
  };
  EXPECT_EQ(figures(paint()), 0u);

  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport.code = "KJFK";
  }
  g_mainWindow.standCount = 231;
  RecordingSurface s = paint();
  EXPECT_EQ(colorOf(s, "# stands: 231"), kLime);
  EXPECT_EQ(colorOf(s, "no max park live"), kLime);
  EXPECT_EQ(s.textAt(5, 399)->color, kYellow);  // park data not shown yet

  g_mainWindow.parkDataShown = 1;
  g_mainWindow.maxParkCount = 40;
  g_mainWindow.maxParkPercentage = 30;
  g_mainWindow.parkedStaticCount = 12;
  s = paint();
  EXPECT_EQ(s.textAt(5, 399)->color, kLime);
  EXPECT_EQ(colorOf(s, "parked static:  12"), kLime);
  EXPECT_EQ(colorOf(s, "max park:  40 (=30 %)"), kLime);
  EXPECT_EQ(s.findText("no max park live"), nullptr);
}

TEST_F(PaintTest, TextThatCannotBeShownIsSkippedAndLogged) {
  RecordingSurface s;
  lf_textOut(s, 1, 2, "bad \xC3\x28 text", kBlack);
  lf_textOut(s, 1, 3, "good", kBlack);
  ASSERT_EQ(s.drawn.size(), 1u);
  EXPECT_EQ(s.drawn[0].text, "good");
  const auto lines = log();
  EXPECT_TRUE(std::any_of(lines.begin(), lines.end(), [](const std::string& l) {
    return l.find("conversion exception") != std::string::npos && l.find("error code: 1113") != std::string::npos;
  }));
}

}  // namespace
}  // namespace amb::test
