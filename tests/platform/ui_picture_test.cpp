#include "platform/linux/ui_picture.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>
#include <pugixml.hpp>

namespace amb::test {
namespace {

using namespace platform::headless;
using platform::ControlKind;

TEST(UiPictureText, DumpQuotingKeepsEveryByteReadable) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"", "\"\""},
      {"Version 10.10.4", "\"Version 10.10.4\""},
      {"say \"hi\"", "\"say \\\"hi\\\"\""},
      {"C:\\P3D", "\"C:\\\\P3D\""},
      {"a\nb\rc\td", "\"a\\nb\\rc\\td\""},
      {std::string("x\x01y\x7f", 4), "\"x\\x01y\\x7F\""},
      {"Zürich ✈", "\"Zürich ✈\""},  // UTF-8 stays as it is
  };
  for (const auto& c : cases) EXPECT_EQ(dumpQuoted(c.in), c.out) << c.in;
}

TEST(UiPictureText, XmlEscapingGivesWellFormedTextFromAnyBytes) {
  const struct {
    std::string in, out;
  } cases[] = {
      {"a<b>&\"c'", "a&lt;b&gt;&amp;&quot;c&apos;"},
      {"Zürich ✈ 😀", "Zürich ✈ 😀"},
      {"tab\tok", "tab\tok"},
      {std::string("bell\x07x", 6), "bellx"},               // XML cannot carry it at all
      {"\xFF" "a", "\xEF\xBF\xBD" "a"},                     // not UTF-8
      {"\xC3", "\xEF\xBF\xBD"},                             // cut short
      {"\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},             // overlong
      {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // a UTF-16 surrogate
      {"\xEF\xBF\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // U+FFFF
      {"\xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) EXPECT_EQ(xmlEscape(c.in), c.out) << c.in;
}

Picture samplePicture() {
  Picture p;
  p.title = "Ambertrail_P3D <test>";
  p.window = {400, 20, 1280, 536};
  p.width = 880;
  p.height = 516;
  p.ops = {
      {PaintOp::Kind::Fill, 0, 112, 880, 392, 0xFFCC99, {}},
      {PaintOp::Kind::Fill, 10, 10, 10, 20, 0x0000FF, {}},  // empty: paints nothing
      {PaintOp::Kind::Line, 0, 28, 880, 28, 0xFFFFFF, {}},
      {PaintOp::Kind::Line, 642, 140, 642, 308, 0x000000, {}},
      {PaintOp::Kind::Text, 3, 7, 0, 0, 0x32CD32, "Version 10.10.4"},
      {PaintOp::Kind::Text, 5, 91, 0, 0, 0x0000FF, "say \"hi\" <&> \xFF\x01"},
  };
  p.controls = {
      {32797, ControlKind::CheckBox, 5, 149, 12, 12, true, true, {}},
      {32798, ControlKind::CheckBox, 217, 149, 12, 12, false, false, {}},
      {32829, ControlKind::Button, 323, 257, 70, 20, false, false, "Unblock"},
      {32838, ControlKind::Button, 758, 341, 90, 20, true, false, "Re-read"},
      {32808, ControlKind::Edit, 217, 203, 24, 16, true, false, "4"},
  };
  return p;
}

TEST(UiPictureSvg, DrawsTheClientAreaWithFillsLinesTextsAndControls) {
  const std::string svg = svgText(samplePicture());
  pugi::xml_document doc;
  const auto parsed = doc.load_string(svg.c_str());
  ASSERT_TRUE(parsed) << parsed.description() << "\n" << svg;

  const auto root = doc.child("svg");
  EXPECT_STREQ(root.attribute("width").value(), "880");
  EXPECT_STREQ(root.attribute("height").value(), "516");
  EXPECT_STREQ(root.child("title").text().get(), "Ambertrail_P3D <test>");

  // Colours are turned from 0x00BBGGRR into #RRGGBB.
  auto area = doc.select_node("//rect[@x='0' and @y='112']").node();
  ASSERT_TRUE(area);
  EXPECT_STREQ(area.attribute("fill").value(), "#99CCFF");
  EXPECT_STREQ(area.attribute("width").value(), "880");
  EXPECT_STREQ(area.attribute("height").value(), "280");
  EXPECT_FALSE(doc.select_node("//rect[@fill='#FF0000']")) << "an empty rectangle is not drawn";

  // One-pixel lines sit on the pixel row or column they cover.
  EXPECT_TRUE(doc.select_node("//line[@y1='28.5' and @y2='28.5' and @x1='0' and @x2='880' and @stroke='#FFFFFF']"));
  EXPECT_TRUE(doc.select_node("//line[@x1='642.5' and @y1='140' and @y2='308']"));

  auto says = doc.select_node("//text[@x='5']").node();
  ASSERT_TRUE(says);
  EXPECT_STREQ(says.attribute("fill").value(), "#FF0000");
  EXPECT_EQ(std::string(says.text().get()), "say \"hi\" <&> \xEF\xBF\xBD");
  EXPECT_TRUE(doc.select_node("//text[@x='3' and @fill='#32CD32' and text()='Version 10.10.4']"));

  // Check boxes: a tick only in the checked one, the disabled one grey.
  EXPECT_EQ(doc.select_nodes("//path").size(), 1u);
  EXPECT_TRUE(doc.select_node("//rect[@x='217.5' and @stroke='#A0A0A0']"));
  // Buttons with their captions, grey when disabled; the edit box with its text.
  EXPECT_TRUE(doc.select_node("//text[text()='Unblock' and @fill='#A0A0A0' and @text-anchor='middle']"));
  EXPECT_TRUE(doc.select_node("//text[text()='Re-read' and @fill='#000000']"));
  auto edit = doc.select_node("//text[text()='4']").node();
  ASSERT_TRUE(edit);
  const std::string clip = edit.attribute("clip-path").value();
  ASSERT_EQ(clip.rfind("url(#", 0), 0u) << "text stays in its box";
  const std::string clipId = clip.substr(5, clip.size() - 6);
  EXPECT_TRUE(doc.select_node(("//clipPath[@id='" + clipId + "']/rect[@x='218' and @width='22']").c_str())) << clipId;
}

}  // namespace
}  // namespace amb::test
