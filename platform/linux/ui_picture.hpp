#pragma once
// What the headless window shows: the operations of the last full paint and the controls, and the
// two files made from them, a plain text dump (one operation per line, for scripts and tests) and
// an SVG picture (for people).

#include "platform/ui.hpp"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace amb::platform::headless {

struct PaintOp {
  enum class Kind { Fill, Line, Text };
  Kind kind = Kind::Fill;
  // Fill: the rectangle (left, top, right, bottom). Line: the two end points. Text: x1, y1 is the
  // top left corner of the text.
  int x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  Color color = 0;
  std::string text;  // Text only, UTF-8
  bool operator==(const PaintOp&) const = default;
};

struct ControlState {
  std::uint16_t id = 0;
  ControlKind kind = ControlKind::CheckBox;
  int x = 0, y = 0, width = 0, height = 0;
  bool enabled = true;
  bool checked = false;
  std::string text;  // caption of a button, contents of an edit box
  bool operator==(const ControlState&) const = default;
};

struct Picture {
  std::string title;
  Rect window;             // screen position
  int width = 0;           // client area
  int height = 0;
  bool topmost = false;
  std::uint64_t paints = 0;  // number of paints so far
  std::vector<PaintOp> ops;  // of the last full paint, in order
  std::vector<ControlState> controls;  // in creation order
};

// Records every drawing call of one paint.
class RecordingSurface final : public Surface {
public:
  void fill(Rect r, Color c) override;
  void line(int x1, int y1, int x2, int y2, Color c) override;
  void text(int x, int y, std::string_view utf8, Color c) override;
  std::vector<PaintOp> take() { return std::move(m_ops); }

private:
  std::vector<PaintOp> m_ops;
};

const char* controlKindName(ControlKind kind);  // "checkbox", "button", "edit"

// Text between double quotes with \" \\ \n \r \t and \xHH for the other control bytes; other bytes
// (UTF-8 included) are kept as they are.
std::string dumpQuoted(std::string_view text);

// The dump:
//   window X Y W H title="..."
//   paints N
//   fill L T R B 0xBBGGRR
//   line X1 Y1 X2 Y2 0xBBGGRR
//   text X Y 0xBBGGRR "..."
//   control ID KIND X Y W H enabled=0|1 checked=0|1 text="..."
//   topmost=0|1
std::string dumpText(const Picture& picture);

// The client area as an SVG document.
std::string svgText(const Picture& picture);

// The width in pixels of a text in the SVG's font (a monospaced one: the same advance for every
// glyph).
double svgTextWidth(std::string_view utf8);

// For the text operation at opIndex: the width it is drawn to (the SVG scales it across) when, measured with the font's
// metrics, it would run into the nearest control or text to its right on its line (or past the
// window's edge), keeping a small gap; none when it fits, or when it would have to shrink below
// three fifths of its width.
std::optional<int> svgTextFit(const Picture& picture, std::size_t opIndex);

// Text made safe for XML character data and attribute values: invalid UTF-8 becomes U+FFFD,
// characters XML does not allow are dropped, and & < > " ' are escaped.
std::string xmlEscape(std::string_view utf8);

// Writes a temporary file beside the target and renames it over the target, so a reader sees the
// old or the new content, never a part. False with a description in error on failure.
bool writeFileAtomically(const std::filesystem::path& target, std::string_view content, std::string& error);

}  // namespace amb::platform::headless
