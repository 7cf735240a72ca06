#include "platform/linux/ui_picture.hpp"

#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace amb::test {
namespace {

using namespace platform::headless;
using platform::ControlKind;

// Any bytes become well-formed XML: markup escaped, invalid UTF-8 replaced, control bytes dropped.
TEST(UiPicture, SvgDrawsTheClientAreaWithFillsLinesTextsAndControls) {
  Picture p;
  p.title = "Ambertrail_P3D <test>";
  p.window = {400, 20, 1280, 536};
  p.width = 880;
  p.height = 516;
  p.ops = {{PaintOp::Kind::Fill, 0, 112, 880, 392, 0xFFCC99, {}},
           {PaintOp::Kind::Fill, 10, 10, 10, 20, 0x0000FF, {}},  // empty: paints nothing
           {PaintOp::Kind::Line, 0, 28, 880, 28, 0xFFFFFF, {}},
           {PaintOp::Kind::Text, 5, 91, 0, 0, 0x0000FF, "say \"hi\" <&> \xFF\x01 \xED\xA0\x80"}};
  p.controls = {{32797, ControlKind::CheckBox, 5, 149, 12, 12, true, true, {}},
                {32798, ControlKind::CheckBox, 217, 149, 12, 12, false, false, {}},
                {32829, ControlKind::Button, 323, 257, 70, 20, false, false, "Unblock"},
                {32808, ControlKind::Edit, 217, 203, 24, 16, true, false, "4"}};
  const std::string svg = svgText(p);
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(svg.c_str())) << svg;
  EXPECT_STREQ(doc.child("svg").child("title").text().get(), "Ambertrail_P3D <test>");
  // Colours are turned from 0x00BBGGRR into #RRGGBB; one-pixel lines sit on their pixel row.
  EXPECT_TRUE(doc.select_node("//rect[@x='0' and @y='112' and @height='280' and @fill='#99CCFF']"));
  EXPECT_FALSE(doc.select_node("//rect[@fill='#FF0000']")) << "an empty rectangle is not drawn";
  EXPECT_TRUE(doc.select_node("//line[@y1='28.5' and @y2='28.5' and @x2='880' and @stroke='#FFFFFF']"));
  EXPECT_EQ(std::string(doc.select_node("//text[@x='5' and @fill='#FF0000']").node().text().get()),
            "say \"hi\" <&> \xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD");
  // A tick only in the checked box; disabled controls grey; the edit box's text clipped to its box.
  EXPECT_EQ(doc.select_nodes("//path").size(), 1u);
  EXPECT_TRUE(doc.select_node("//rect[@x='217.5' and @stroke='#A0A0A0']"));
  EXPECT_TRUE(doc.select_node("//text[text()='Unblock' and @fill='#A0A0A0' and @text-anchor='middle']"));
  EXPECT_TRUE(doc.select_node("//clipPath/rect[@x='218' and @width='22']"));
  EXPECT_STRNE(doc.select_node("//text[text()='4']").node().attribute("clip-path").value(), "");
}

}  // namespace
}  // namespace amb::test
