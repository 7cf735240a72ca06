// The painter's own rules. The header, the labels at their rows, the lamps and the message band are
// checked on the program's window dump end to end, against the simulator and RealTraffic doubles.

#include "app/window.hpp"
#include "tests/app/app_fixture.hpp"

namespace amb::test {
namespace {

using namespace colors;

// Records the texts drawn.
class RecordingSurface : public platform::Surface {
public:
  void fill(platform::Rect, platform::Color) override {}
  void line(int, int, int, int, platform::Color) override {}
  void text(int, int, std::string_view utf8, platform::Color c) override { texts.emplace_back(utf8, c); }
  // The colour of the text; 0xDEADBEEF when it was not drawn.
  platform::Color colorOf(const std::string& text) const {
    for (const auto& [t, c] : texts)
      if (t == text) return c;
    return 0xDEADBEEF;
  }
  std::vector<std::pair<std::string, platform::Color>> texts;
};

using PaintTest = ShellTest;

// A label turns yellow when its option is off its default, grey when its control is disabled.
TEST_F(PaintTest, LabelColoursFollowTheOptions) {
  RecordingSurface s;
  lf_paintWindow(s);
  EXPECT_EQ(s.colorOf("Stay on top"), kBlack);
  ALWAYS_ON_TOP.value = 1;
  ui.enable(LIGHT_AIRCRAFT.controlId, false);
  s.texts.clear();
  lf_paintWindow(s);
  EXPECT_EQ(s.colorOf("Stay on top"), kYellow);
  EXPECT_EQ(s.colorOf("Light aircraft"), kGrey);
}

// The park airport's figures: its file (publisher, file, handmade, traffic week), the reserved
// stand, the counts and the static-parking figures, and "active" while static parking works.
TEST_F(PaintTest, ParkingFiguresOfTheParkAirport) {
  RecordingSurface s;
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {"KJFK", "JFK", 40.64, -73.78, 13};
  }
  g_mainWindow.parkDataShown = 1;
  g_mainWindow.setText(StatusText::ParkingText1, "stock");
  g_mainWindow.setText(StatusText::ParkingText2, "KJFK.xml");
  g_mainWindow.hourMarker = 1;
  g_mainWindow.parkWeek = 12;
  g_mainWindow.setText(StatusText::QualityText, "63");
  g_mainWindow.standCount = 231;
  g_mainWindow.parkedStaticCount = 69;
  g_mainWindow.maxParkCount = 69;
  g_mainWindow.maxParkPercentage = 30;
  g_mainWindow.staticAverageFit = 3.5f;
  g_mainWindow.parkingUpdates = 7;
  gf_setReservedStandName("T4-B22");
  g_mainWindow.reservedStandValid = 1;
  g_parkingLock = 1;
  lf_paintWindow(s);
  EXPECT_EQ(s.colorOf("KJFK (JFK)"), kLime);
  EXPECT_EQ(s.colorOf(" stock, KJFK.xml (h), wk=12"), kLime);
  EXPECT_EQ(s.colorOf("qf: 63"), kLime);
  EXPECT_EQ(s.colorOf("reserved stand: T4-B22"), kLime);
  EXPECT_EQ(s.colorOf("# updates:    7"), kLime);
  EXPECT_EQ(s.colorOf("# stands: 231"), kLime);
  EXPECT_EQ(s.colorOf("parked static:  69"), kLime);
  EXPECT_EQ(s.colorOf("average fit: 3.5"), kLime);
  EXPECT_EQ(s.colorOf("max park:  69 (=30 %)"), kLime);
  EXPECT_EQ(s.colorOf("Airport parking active"), kYellow);
  // Without a maximum, and once static parking is done.
  g_mainWindow.maxParkCount = 0;
  g_mainWindow.reservedStandValid = 0;
  g_parkingLock = 0;
  s.texts.clear();
  lf_paintWindow(s);
  EXPECT_EQ(s.colorOf("no max park live"), kLime);
  EXPECT_EQ(s.colorOf("parked static:  69"), 0xDEADBEEFu);
  EXPECT_EQ(s.colorOf("reserved stand: T4-B22"), kRed);
  EXPECT_EQ(s.colorOf("Airport parking"), kBlack);
  gf_setReservedStandName({});
}

TEST_F(PaintTest, TextThatCannotBeShownIsSkippedAndLogged) {
  RecordingSurface s;
  lf_textOut(s, 1, 2, "bad \xC3\x28 text", kBlack);
  lf_textOut(s, 1, 3, "good", kBlack);
  ASSERT_EQ(s.texts.size(), 1u);
  EXPECT_EQ(s.texts[0].first, "good");
  EXPECT_TRUE(std::ranges::any_of(log(), [](const std::string& l) {
    return l.find("conversion exception") != std::string::npos && l.find("error code: 1113") != std::string::npos;
  }));
}

}  // namespace
}  // namespace amb::test
