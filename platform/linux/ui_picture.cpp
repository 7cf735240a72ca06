#include "platform/linux/ui_picture.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <system_error>
#include <unistd.h>

namespace amb::platform::headless {

namespace fs = std::filesystem;

void RecordingSurface::fill(Rect r, Color c) {
  m_ops.push_back(PaintOp{PaintOp::Kind::Fill, r.left, r.top, r.right, r.bottom, c, {}});
}

void RecordingSurface::line(int x1, int y1, int x2, int y2, Color c) {
  m_ops.push_back(PaintOp{PaintOp::Kind::Line, x1, y1, x2, y2, c, {}});
}

void RecordingSurface::text(int x, int y, std::string_view utf8, Color c) {
  m_ops.push_back(PaintOp{PaintOp::Kind::Text, x, y, 0, 0, c, std::string(utf8)});
}

const char* controlKindName(ControlKind kind) {
  switch (kind) {
    case ControlKind::CheckBox: return "checkbox";
    case ControlKind::Button: return "button";
    case ControlKind::Edit: return "edit";
  }
  return "unknown";
}

std::string dumpQuoted(std::string_view text) {
  std::string out;
  out.reserve(text.size() + 2);
  out += '"';
  for (char ch : text) {
    const auto b = static_cast<unsigned char>(ch);
    switch (ch) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (b < 0x20 || b == 0x7F)
          out += fmt::format("\\x{:02X}", b);
        else
          out += ch;
    }
  }
  out += '"';
  return out;
}

namespace {

std::string hexColor(Color c) { return fmt::format("0x{:06X}", c & 0xFFFFFFu); }

// 0x00BBGGRR as an SVG colour #RRGGBB.
std::string svgColor(Color c) {
  return fmt::format("#{:02X}{:02X}{:02X}", c & 0xFF, (c >> 8) & 0xFF, (c >> 16) & 0xFF);
}

// Length of a valid UTF-8 sequence at s[i] whose code point XML allows, else 0.
std::size_t validSequence(std::string_view s, std::size_t i) {
  auto at = [&](std::size_t k) -> unsigned { return i + k < s.size() ? static_cast<unsigned char>(s[i + k]) : 0x100u; };
  auto cont = [&](std::size_t k, unsigned lo = 0x80, unsigned hi = 0xBF) { return at(k) >= lo && at(k) <= hi; };
  const unsigned b0 = at(0);
  if (b0 < 0x80) return (b0 >= 0x20 || b0 == 0x09 || b0 == 0x0A || b0 == 0x0D) ? 1 : 0;
  if (b0 >= 0xC2 && b0 <= 0xDF) return cont(1) ? 2 : 0;
  if (b0 >= 0xE0 && b0 <= 0xEF) {
    const bool ok = b0 == 0xE0   ? cont(1, 0xA0, 0xBF)
                    : b0 == 0xED ? cont(1, 0x80, 0x9F)  // no UTF-16 surrogates
                                 : cont(1);
    if (!ok || !cont(2)) return 0;
    if (b0 == 0xEF && at(1) == 0xBF && (at(2) == 0xBE || at(2) == 0xBF)) return 0;  // U+FFFE, U+FFFF
    return 3;
  }
  if (b0 >= 0xF0 && b0 <= 0xF4) {
    const bool ok = b0 == 0xF0 ? cont(1, 0x90, 0xBF) : b0 == 0xF4 ? cont(1, 0x80, 0x8F) : cont(1);
    return ok && cont(2) && cont(3) ? 4 : 0;
  }
  return 0;
}

}  // namespace

std::string xmlEscape(std::string_view s) {
  std::string out;
  out.reserve(s.size());
  for (std::size_t i = 0; i < s.size();) {
    const std::size_t n = validSequence(s, i);
    if (n == 0) {
      // A control byte XML cannot carry is dropped; a broken sequence shows as a replacement mark.
      if (static_cast<unsigned char>(s[i]) >= 0x80) out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (n == 1) {
      switch (s[i]) {
        case '&': out += "&amp;"; break;
        case '<': out += "&lt;"; break;
        case '>': out += "&gt;"; break;
        case '"': out += "&quot;"; break;
        case '\'': out += "&apos;"; break;
        default: out += s[i];
      }
    } else {
      out.append(s.substr(i, n));
    }
    i += n;
  }
  return out;
}

std::string dumpText(const Picture& p) {
  std::string out;
  out.reserve(64 * (p.ops.size() + p.controls.size() + 4));
  out += fmt::format("window {} {} {} {} title={}\n", p.window.left, p.window.top, p.width, p.height, dumpQuoted(p.title));
  out += fmt::format("paints {}\n", p.paints);
  for (const auto& op : p.ops) {
    switch (op.kind) {
      case PaintOp::Kind::Fill:
        out += fmt::format("fill {} {} {} {} {}\n", op.x1, op.y1, op.x2, op.y2, hexColor(op.color));
        break;
      case PaintOp::Kind::Line:
        out += fmt::format("line {} {} {} {} {}\n", op.x1, op.y1, op.x2, op.y2, hexColor(op.color));
        break;
      case PaintOp::Kind::Text:
        out += fmt::format("text {} {} {} {}\n", op.x1, op.y1, hexColor(op.color), dumpQuoted(op.text));
        break;
    }
  }
  for (const auto& c : p.controls) {
    out += fmt::format("control {} {} {} {} {} {} enabled={} checked={} text={}\n", c.id, controlKindName(c.kind), c.x,
                       c.y, c.width, c.height, c.enabled ? 1 : 0, c.checked ? 1 : 0, dumpQuoted(c.text));
  }
  out += fmt::format("topmost={}\n", p.topmost ? 1 : 0);
  return out;
}

namespace {

// The look of the controls: light, flat, close to the current Windows theme.
constexpr const char* kFont = "Consolas, 'DejaVu Sans Mono', 'Liberation Mono', monospace";
constexpr int kFontSize = 12;
constexpr int kBaseline = 11;  // from the top of a text line to its baseline
// The advance of every glyph of the widest of those fonts (DejaVu Sans Mono: 1233 of 2048 units per
// em; Liberation Mono 1229, Consolas 1126), so a text measured with it is never wider when drawn.
constexpr double kAdvancePerEm = 1233.0 / 2048.0;
// The pixels kept free between a text and whatever stands to its right.
constexpr int kTextGap = 3;
// A text squeezed further than this would be unreadable; it then runs on as it would in the program.
constexpr double kNarrowestFit = 0.6;

void svgCheckBox(std::string& out, const ControlState& c) {
  const char* fill = c.enabled ? "#FFFFFF" : "#F0F0F0";
  const char* stroke = c.enabled ? "#333333" : "#A0A0A0";
  out += fmt::format(R"svg(<rect x="{}.5" y="{}.5" width="{}" height="{}" fill="{}" stroke="{}"/>)svg", c.x, c.y,
                     std::max(c.width - 1, 0), std::max(c.height - 1, 0), fill, stroke);
  if (c.checked) {
    // A tick scaled to the box.
    const double w = c.width, h = c.height;
    out += fmt::format(
        R"svg(<path d="M{:.1f} {:.1f} L{:.1f} {:.1f} L{:.1f} {:.1f}" fill="none" stroke="{}" stroke-width="1.6" stroke-linecap="round" stroke-linejoin="round"/>)svg",
        c.x + w * 0.22, c.y + h * 0.52, c.x + w * 0.42, c.y + h * 0.74, c.x + w * 0.80, c.y + h * 0.26,
        c.enabled ? "#000000" : "#A0A0A0");
  }
  out += '\n';
}

void svgButton(std::string& out, const ControlState& c, std::size_t index) {
  const char* fill = c.enabled ? "#E1E1E1" : "#F0F0F0";
  const char* stroke = c.enabled ? "#0078D7" : "#CCCCCC";
  out += fmt::format(R"svg(<rect x="{}.5" y="{}.5" width="{}" height="{}" fill="{}" stroke="{}"/>)svg", c.x, c.y,
                     std::max(c.width - 1, 0), std::max(c.height - 1, 0), fill, stroke);
  out += fmt::format(R"svg(<text x="{}" y="{}" text-anchor="middle" fill="{}" clip-path="url(#clip{})">{}</text>)svg",
                     c.x + c.width / 2, c.y + (c.height - kFontSize) / 2 + kBaseline,
                     c.enabled ? "#000000" : "#A0A0A0", index, xmlEscape(c.text));
  out += '\n';
}

void svgEdit(std::string& out, const ControlState& c, std::size_t index) {
  const char* fill = c.enabled ? "#FFFFFF" : "#F0F0F0";
  const char* stroke = c.enabled ? "#7A7A7A" : "#CCCCCC";
  out += fmt::format(R"svg(<rect x="{}.5" y="{}.5" width="{}" height="{}" fill="{}" stroke="{}"/>)svg", c.x, c.y,
                     std::max(c.width - 1, 0), std::max(c.height - 1, 0), fill, stroke);
  if (!c.text.empty()) {
    out += fmt::format(R"svg(<text x="{}" y="{}" fill="{}" clip-path="url(#clip{})">{}</text>)svg", c.x + 3,
                       c.y + (c.height - kFontSize) / 2 + kBaseline, c.enabled ? "#000000" : "#6D6D6D", index,
                       xmlEscape(c.text));
  }
  out += '\n';
}

// Whether a text drawn at top y shares its line with the span [top, bottom).
bool onLineOf(int y, int top, int bottom) { return top < y + kFontSize && y < bottom; }

}  // namespace

double svgTextWidth(std::string_view utf8) {
  std::size_t glyphs = 0;
  for (char ch : utf8)
    if ((static_cast<unsigned char>(ch) & 0xC0) != 0x80) ++glyphs;  // one per UTF-8 lead byte
  return static_cast<double>(glyphs) * kAdvancePerEm * kFontSize;
}

std::optional<int> svgTextFit(const Picture& p, std::size_t opIndex) {
  const PaintOp& text = p.ops.at(opIndex);
  // The left edge of the nearest control or other text to its right on its line, else the window's.
  int right = std::max(p.width, 1);
  for (const ControlState& c : p.controls)
    if (c.x > text.x1 && onLineOf(text.y1, c.y, c.y + c.height)) right = std::min(right, c.x);
  for (std::size_t i = 0; i < p.ops.size(); ++i) {
    const PaintOp& other = p.ops[i];
    if (i == opIndex || other.kind != PaintOp::Kind::Text || other.text.empty() || other.x1 <= text.x1) continue;
    if (onLineOf(text.y1, other.y1, other.y1 + kFontSize)) right = std::min(right, other.x1);
  }
  const double width = svgTextWidth(text.text);
  const int room = right - text.x1 - kTextGap;
  if (width <= room || room < width * kNarrowestFit) return std::nullopt;
  return room;
}

std::string svgText(const Picture& p) {
  const int w = std::max(p.width, 1), h = std::max(p.height, 1);
  std::string out;
  out.reserve(128 * (p.ops.size() + p.controls.size() + 8));
  out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
  out += fmt::format(
      R"svg(<svg xmlns="http://www.w3.org/2000/svg" width="{0}" height="{1}" viewBox="0 0 {0} {1}" font-family="{2}" font-size="{3}" xml:space="preserve" style="white-space:pre">)svg",
      w, h, kFont, kFontSize);
  out += '\n';
  out += fmt::format("<title>{}</title>\n", xmlEscape(p.title));

  // One clip rectangle per control that shows text, so long texts stay inside their box.
  out += "<defs>\n";
  for (std::size_t i = 0; i < p.controls.size(); ++i) {
    const auto& c = p.controls[i];
    if (c.kind == ControlKind::CheckBox) continue;
    out += fmt::format(R"svg(<clipPath id="clip{}"><rect x="{}" y="{}" width="{}" height="{}"/></clipPath>)svg", i,
                       c.x + 1, c.y + 1, std::max(c.width - 2, 0), std::max(c.height - 2, 0));
    out += '\n';
  }
  out += "</defs>\n";

  // The window's background brush is black; a repaint erases to it before the painter draws.
  out += fmt::format(R"svg(<rect x="0" y="0" width="{}" height="{}" fill="#000000"/>)svg", w, h);
  out += '\n';

  out += "<g shape-rendering=\"crispEdges\">\n";
  for (const auto& op : p.ops) {
    switch (op.kind) {
      case PaintOp::Kind::Fill:
        if (op.x2 <= op.x1 || op.y2 <= op.y1) break;  // an empty rectangle paints nothing
        out += fmt::format(R"svg(<rect x="{}" y="{}" width="{}" height="{}" fill="{}"/>)svg", op.x1, op.y1, op.x2 - op.x1,
                           op.y2 - op.y1, svgColor(op.color));
        out += '\n';
        break;
      case PaintOp::Kind::Line: {
        // A one-pixel line covers the pixels from the first point up to (not including) the second;
        // the half-pixel shift puts the stroke on those pixels instead of between two rows.
        const double dx = op.y1 == op.y2 ? 0.0 : 0.5;
        const double dy = op.x1 == op.x2 ? 0.0 : 0.5;
        out += fmt::format(R"svg(<line x1="{}" y1="{}" x2="{}" y2="{}" stroke="{}" stroke-width="1"/>)svg", op.x1 + dx,
                           op.y1 + dy, op.x2 + dx, op.y2 + dy, svgColor(op.color));
        out += '\n';
        break;
      }
      case PaintOp::Kind::Text:
        break;
    }
  }
  out += "</g>\n<g>\n";
  for (std::size_t i = 0; i < p.ops.size(); ++i) {
    const PaintOp& op = p.ops[i];
    if (op.kind != PaintOp::Kind::Text || op.text.empty()) continue;
    // A text that would run into the control or text beside it is drawn narrower where it stands:
    // scaled across about its left edge (renderers that ignore textLength still honour a transform).
    const std::optional<int> fit = svgTextFit(p, i);
    std::string squeeze;
    if (fit) {
      const double scale = *fit / svgTextWidth(op.text);
      squeeze = fmt::format(R"svg( transform="matrix({:.5f} 0 0 1 {:.3f} 0)")svg", scale, op.x1 * (1.0 - scale));
    }
    out += fmt::format(R"svg(<text x="{}" y="{}"{} fill="{}">{}</text>)svg", op.x1, op.y1 + kBaseline, squeeze,
                       svgColor(op.color), xmlEscape(op.text));
    out += '\n';
  }
  out += "</g>\n<g>\n";
  for (std::size_t i = 0; i < p.controls.size(); ++i) {
    const auto& c = p.controls[i];
    switch (c.kind) {
      case ControlKind::CheckBox: svgCheckBox(out, c); break;
      case ControlKind::Button: svgButton(out, c, i); break;
      case ControlKind::Edit: svgEdit(out, c, i); break;
    }
  }
  out += "</g>\n</svg>\n";
  return out;
}

bool writeFileAtomically(const fs::path& target, std::string_view content, std::string& error) {
  fs::path temp = target;
  temp += fmt::format(".tmp{}", static_cast<long>(::getpid()));
  std::FILE* f = std::fopen(temp.c_str(), "wb");
  if (!f) {
    error = fmt::format("cannot write {}: {}", temp.string(), std::strerror(errno));
    return false;
  }
  const bool written = std::fwrite(content.data(), 1, content.size(), f) == content.size();
  const int writeErrno = errno;
  const bool closed = std::fclose(f) == 0;
  if (!written || !closed) {
    error = fmt::format("cannot write {}: {}", temp.string(), std::strerror(written ? errno : writeErrno));
    std::error_code ec;
    fs::remove(temp, ec);
    return false;
  }
  std::error_code ec;
  fs::rename(temp, target, ec);
  if (ec) {
    error = fmt::format("cannot replace {}: {}", target.string(), ec.message());
    fs::remove(temp, ec);
    return false;
  }
  return true;
}

}  // namespace amb::platform::headless
