// The SVG picture of the headless window (for people to look at): a smoke check that any text gives
// well-formed XML and that colours and controls are drawn.

#include "platform/linux/ui_picture.hpp"

#include <gtest/gtest.h>
#include <pugixml.hpp>

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

}  // namespace
}  // namespace amb::test
