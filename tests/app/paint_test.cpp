// The painter's own rules. The header, the labels at their rows, the lamps and the message band are
// checked on the program's window dump end to end, against the simulator and RealTraffic doubles.

#include "app/window.hpp"
#include "tests/app/app_fixture.hpp"

#if !defined(_WIN32)
#include "platform/linux/ui_picture.hpp"

#include <iomanip>
#include <map>
#include <optional>
#include <sstream>
#endif

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

#if !defined(_WIN32)
// The picture of the window (SVG) draws every label of the option area so that it ends before the
// control to its right on its line, where the font's glyphs would run into it: "Light aircraft" at
// 343 before the box at 430, "destination:" at 139 before the edit box at 217.
TEST_F(PaintTest, EveryLabelEndsBeforeTheControlBesideItInThePicture) {
  platform::headless::RecordingSurface s;
  lf_paintWindow(s);
  platform::headless::Picture p;
  p.width = 880;
  p.height = 516;
  p.ops = s.take();
  for (const std::string& call : ui.calls()) {
    std::istringstream in(call);
    std::string kind;
    int id = 0;
    platform::headless::ControlState c;
    in >> kind >> id;
    if (kind == "button") in >> std::quoted(c.text);
    if (kind != "checkbox" && kind != "edit" && kind != "button") continue;
    in >> c.x >> c.y >> c.width >> c.height;
    p.controls.push_back(c);
  }
  ASSERT_GT(p.controls.size(), 30u);
  std::map<std::string, double> drawn;
  for (std::size_t i = 0; i < p.ops.size(); ++i) {
    const auto& op = p.ops[i];
    if (op.kind != platform::headless::PaintOp::Kind::Text || op.y1 < 112 || op.y1 >= 392) continue;
    const std::optional<int> fit = platform::headless::svgTextFit(p, i);
    const double width = fit ? *fit : platform::headless::svgTextWidth(op.text);
    drawn[op.text] = width;
    for (const auto& c : p.controls) {
      if (c.x > op.x1 && c.y < op.y1 + 12 && op.y1 < c.y + c.height) {
        EXPECT_LE(op.x1 + width, c.x) << op.text << " runs into the control at " << c.x << "," << c.y;
      }
    }
  }
  ASSERT_TRUE(drawn.contains("Light aircraft"));
  EXPECT_LE(drawn["Light aircraft"], 430 - 343);
  EXPECT_GE(drawn["Light aircraft"], 80);  // narrower, not cut
  EXPECT_LE(drawn["destination:"], 217 - 139);
  EXPECT_NEAR(drawn["Helicopters"], 11 * 12 * 1233.0 / 2048.0, 0.01);  // fits as it is
}
#endif

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
