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
