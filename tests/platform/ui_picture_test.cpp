// The SVG picture of the headless window (for people to look at): a smoke check that any text gives
// well-formed XML and that colours and controls are drawn.

#include "platform/linux/ui_picture.hpp"

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include <cstdio>

namespace amb::test {
namespace {

using namespace platform::headless;
using platform::ControlKind;

TEST(UiPicture, SvgIsWellFormedWhateverTheTexts) {
  Picture p;
  p.title = "Ambertrail_P3D <test>";
  p.window = {400, 20, 1280, 536};
  p.width = 880;
  p.height = 516;
  p.ops = {{PaintOp::Kind::Fill, 0, 112, 880, 392, 0xFFCC99, {}},
           {PaintOp::Kind::Text, 5, 91, 0, 0, 0x0000FF, "say \"hi\" <&> \xFF\x01 \xED\xA0\x80"}};
  p.controls = {{32797, ControlKind::CheckBox, 5, 149, 12, 12, true, true, {}},
                {32829, ControlKind::Button, 323, 257, 70, 20, false, false, "Unblock"}};
  const std::string svg = svgText(p);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(svg.c_str())) << svg;
  EXPECT_STREQ(doc.child("svg").child("title").text().get(), "Ambertrail_P3D <test>");
  // Colours are turned from 0x00BBGGRR into #RRGGBB; markup is escaped, invalid UTF-8 replaced and
  // control bytes dropped.
  EXPECT_TRUE(doc.select_node("//rect[@x='0' and @y='112' and @height='280' and @fill='#99CCFF']"));
  EXPECT_EQ(std::string(doc.select_node("//text[@x='5' and @fill='#FF0000']").node().text().get()),
            "say \"hi\" <&> \xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  EXPECT_EQ(doc.select_nodes("//path").size(), 1u);  // the tick of the checked box
  EXPECT_TRUE(doc.select_node("//text[text()='Unblock' and @fill='#A0A0A0']"));  // disabled: grey
}

// A text measured with the font's metrics (7.22 pixels a glyph at 12 pixels, a UTF-8 character one
// glyph) that would run into the control or text to its right on its line is drawn narrower where
// it stands, 3 pixels short of it; texts that fit, or that would shrink below three fifths, stay.
TEST(UiPicture, TextsThatWouldRunIntoTheirNeighbourAreDrawnToFit) {
  Picture p;
  p.width = 880;
  p.height = 516;
  auto text = [&](int x, int y, const char* t) { p.ops.push_back({PaintOp::Kind::Text, x, y, 0, 0, 0, t}); };
  text(343, 203, "Light aircraft");  // 14 glyphs: 101.2 px; the next box stands 87 px further
  text(450, 203, "Helicopters");     // 11 glyphs: 79.5 px of the 86 up to its next box
  text(139, 315, "destination:");    // 86.7 px; the edit box 78 px further
  text(5, 455, "x");
  text(790, 455, "\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4\xC3\xA4");
  // 70 glyphs, 505.7 px, up to the text that begins at 458.
  text(5, 35, "A simulator text long enough to run into the edition text to its right");
  text(458, 40, "RT");              // overlaps the line above by 7 pixels
  text(5, 63, std::string(250, 'w').c_str());  // 1806 px would have to shrink below 0.6
  text(700, 7, "over nothing at all");          // a box below its line does not count
  p.controls = {{1, ControlKind::CheckBox, 430, 205, 12, 12, true, false, {}},
                {2, ControlKind::CheckBox, 536, 205, 12, 12, true, false, {}},
                {3, ControlKind::Edit, 217, 315, 50, 16, true, false, {}},
                {4, ControlKind::CheckBox, 800, 21, 12, 12, true, false, {}}};

  EXPECT_NEAR(svgTextWidth("Light aircraft"), 101.15, 0.01);
  EXPECT_NEAR(svgTextWidth("\xC3\xA4"), 7.22, 0.01);
  EXPECT_EQ(svgTextFit(p, 0), 84);
  EXPECT_EQ(svgTextFit(p, 1), std::nullopt);
  EXPECT_EQ(svgTextFit(p, 2), 75);
  EXPECT_EQ(svgTextFit(p, 3), std::nullopt);  // the text to its right starts 785 px further
  EXPECT_EQ(svgTextFit(p, 4), 87);             // 13 glyphs, 93.9 px, up to the window's edge
  EXPECT_EQ(svgTextFit(p, 5), 450);
  EXPECT_EQ(svgTextFit(p, 6), std::nullopt);
  EXPECT_EQ(svgTextFit(p, 7), std::nullopt);
  EXPECT_EQ(svgTextFit(p, 8), std::nullopt);

  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(svgText(p).c_str()));
  // Scaled across about its left edge: x' = a x + e keeps 343 and takes the 101.15 pixels to 84.
  const pugi::xml_node light = doc.select_node("//text[text()='Light aircraft']").node();
  EXPECT_STREQ(light.attribute("x").value(), "343");
  double a = 0, b = 1, c = 1, d = 0, e = 0, f = 1;
  ASSERT_EQ(std::sscanf(light.attribute("transform").value(), "matrix(%lf %lf %lf %lf %lf %lf)", &a, &b, &c, &d, &e, &f), 6);
  EXPECT_NEAR(a * 343 + e, 343, 0.01);
  EXPECT_NEAR(a * 101.15, 84, 0.01);
  EXPECT_EQ(b, 0);
  EXPECT_EQ(c, 0);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(f, 0);
  EXPECT_FALSE(doc.select_node("//text[text()='Helicopters']").node().attribute("transform"));
}

}  // namespace
}  // namespace amb::test
