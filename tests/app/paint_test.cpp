// The status display as the painter draws it from the window's fields.

#include "app/window.hpp"
#include "tests/app/app_fixture.hpp"

#include <array>
#include <map>

namespace amb::test {
namespace {

using namespace colors;

// Records texts by position and fills by rectangle; later draws replace earlier ones.
class RecordingSurface : public platform::Surface {
public:
  void fill(platform::Rect r, platform::Color c) override { fills[{r.left, r.top, r.right, r.bottom}] = c; }
  void line(int, int, int, int, platform::Color) override {}
  void text(int x, int y, std::string_view utf8, platform::Color c) override {
    texts.push_back({x, y, std::string(utf8), c});
  }
  struct Text {
    int x, y;
    std::string text;
    platform::Color color;
  };
  const Text* at(int x, int y) const {
    for (const Text& t : texts)
      if (t.x == x && t.y == y) return &t;
    return nullptr;
  }
  // The colour of the text; 0xDEADBEEF when it was not drawn.
  platform::Color colorOf(const std::string& text) const {
    for (const Text& t : texts)
      if (t.text == text) return t.color;
    return 0xDEADBEEF;
  }
  std::map<std::array<int, 4>, platform::Color> fills;
  std::vector<Text> texts;
};

class PaintTest : public ShellTest {
protected:
  RecordingSurface paint() {
    RecordingSurface s;
    lf_paintWindow(s);
    return s;
  }
  static constexpr std::array<int, 4> kSimLamp{397, 30, 425, 112}, kReaderLamp{425, 30, 453, 112},
      kMessageBand{0, 448, 880, 476};
};

// The header and the labels at their rows are checked on the program's window dump end to end.
TEST_F(PaintTest, LabelColoursAndMessageLine) {
  RecordingSurface s = paint();
  EXPECT_EQ(s.colorOf("Stay on top"), kBlack);
  EXPECT_EQ(s.at(3, 455), nullptr);  // no message

  ALWAYS_ON_TOP.value = 1;  // a label turns yellow when its option is off its default
  ui.enable(LIGHT_AIRCRAFT.controlId, false);
  gf_showMessage("hello", false);
  s = paint();
  EXPECT_EQ(s.colorOf("Stay on top"), kYellow);
  EXPECT_EQ(s.colorOf("Light aircraft"), kGrey);
  EXPECT_EQ(s.fills.at(kMessageBand), kLime);
  EXPECT_EQ(s.at(3, 455)->text, "hello");

  // An error takes the band over, and a message cannot replace it.
  gf_showError("41: wrong folder");
  gf_showMessage("ignored", false);
  EXPECT_EQ(paint().at(3, 455)->text, "41: wrong folder");
}

TEST_F(PaintTest, LampsFollowTheSimulatorAndTheReaders) {
  RecordingSurface s = paint();
  EXPECT_EQ(s.fills.at(kSimLamp), kRed);
  EXPECT_EQ(s.fills.at(kReaderLamp), kBlack);  // starting up
  g_startingUp = 0;
  g_mainWindow.simConnectOpen = 1;  // connected, simulation in its menus
  g_mainWindow.setText(StatusText::UserTitle, "Boeing 737-800");
  s = paint();
  EXPECT_EQ(s.fills.at(kSimLamp), kYellow);
  EXPECT_EQ(s.fills.at(kReaderLamp), kRed);  // readers not watched

  g_mainWindow.simRunning = 1;
  g_mainWindow.userModelKnown = 0;  // a title whose model was not recognised
  g_readersWatched = 1;
  g_trafficReaderStatus = ReaderStatus::Receiving;
  g_qnhReaderStatus = ReaderStatus::NoData;
  g_mainWindow.liveCount = 12;
  s = paint();
  EXPECT_EQ(s.fills.at(kSimLamp), kLime);
  EXPECT_EQ(s.colorOf("Boeing 737-800"), kYellow);
  EXPECT_EQ(s.fills.at(kReaderLamp), kLime);
  EXPECT_EQ(s.colorOf("Weather"), kYellow);
  EXPECT_EQ(s.at(642, 91)->text, "live:  12");
  EXPECT_EQ(s.at(642, 63), nullptr);  // a QNH of 0 is not shown
  g_shownQnh = 1015;
  EXPECT_EQ(paint().at(642, 63)->text, "qnh: 1015");
}

TEST_F(PaintTest, TextThatCannotBeShownIsSkippedAndLogged) {
  RecordingSurface s;
  lf_textOut(s, 1, 2, "bad \xC3\x28 text", kBlack);
  lf_textOut(s, 1, 3, "good", kBlack);
  ASSERT_EQ(s.texts.size(), 1u);
  EXPECT_EQ(s.texts[0].text, "good");
  EXPECT_TRUE(std::ranges::any_of(log(), [](const std::string& l) {
    return l.find("conversion exception") != std::string::npos && l.find("error code: 1113") != std::string::npos;
  }));
}

}  // namespace
}  // namespace amb::test
