#include "tools/tracemap/tracemap.hpp"

#include <fmt/format.h>
#include <pugixml.hpp>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <numbers>

namespace amb::tracemap {

namespace {

constexpr double kMetresPerNm = 1852.0;
constexpr double kDeg = std::numbers::pi / 180;
constexpr int kPanel = 540;       // the side panel's width
constexpr int kInset = 520;       // the inset's side
constexpr double kMargin = 24;    // between a view's edge and what it shows
constexpr double kLabelFont = 10;
constexpr double kStandFont = 7;
constexpr double kThinning = 0.5;  // pixels

struct PhaseStyle {
  const char* cssClass;
  const char* colour;
  const char* legend;
};
constexpr std::array<PhaseStyle, 4> kPhases = {{{"air", "#2463b5", "flown, in the air"},
                                                {"app", "#e07800", "flown, on approach (below 4000 ft, descending)"},
                                                {"gnd", "#16963a", "flown, on the ground"},
                                                {"push", "#d0218c", "flown, pushed back"}}};

const PhaseStyle& styleOf(Phase p) { return kPhases[static_cast<std::size_t>(p)]; }

bool number(const std::string& s, double& out) {
  const char* b = s.c_str();
  char* e = nullptr;
  out = std::strtod(b, &e);
  return e != b && *e == '\0' && std::isfinite(out);
}

std::string lower(std::string s) {
  for (auto& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string xmlEscape(const std::string& s) {
  std::string out;
  for (char c : s) {
    switch (c) {
      case '&': out += "&amp;"; break;
      case '<': out += "&lt;"; break;
      case '>': out += "&gt;"; break;
      case '"': out += "&quot;"; break;
      default: out += c;
    }
  }
  return out;
}

// Plain or gzip-compressed text (zlib reads both), line by line.
bool readLines(const std::filesystem::path& file, std::vector<std::string>& lines, std::string& error) {
  gzFile in = gzopen(file.string().c_str(), "rb");
  if (in == nullptr) {
    error = "cannot read " + file.string();
    return false;
  }
  std::string line;
  std::array<char, 8192> buffer{};
  while (gzgets(in, buffer.data(), static_cast<int>(buffer.size())) != nullptr) {
    line += buffer.data();
    if (line.empty() || line.back() != '\n') continue;
    line.pop_back();
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    line.clear();
  }
  int code = Z_OK;
  const char* message = gzerror(in, &code);
  gzclose(in);
  if (code != Z_OK && code != Z_STREAM_END) {
    error = file.string() + ": " + message;
    return false;
  }
  if (!line.empty()) lines.push_back(std::move(line));
  return true;
}

int columnOf(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
  for (const char* n : names)
    for (std::size_t i = 0; i < header.size(); ++i)
      if (lower(header[i]) == n) return static_cast<int>(i);
  return -1;
}

std::string field(const std::vector<std::string>& f, int column) {
  return column >= 0 && static_cast<std::size_t>(column) < f.size() ? f[static_cast<std::size_t>(column)] : std::string();
}

double distanceMetres(double lat1, double lon1, double lat2, double lon2) {
  const double dy = (lat2 - lat1) * 60 * kMetresPerNm;
  const double dx = (lon2 - lon1) * std::cos((lat1 + lat2) / 2 * kDeg) * 60 * kMetresPerNm;
  return std::hypot(dx, dy);
}

// A geographic extent.
struct Extent {
  double minLat = std::numeric_limits<double>::max(), maxLat = std::numeric_limits<double>::lowest();
  double minLon = std::numeric_limits<double>::max(), maxLon = std::numeric_limits<double>::lowest();
  bool empty() const { return minLat > maxLat; }
  void add(double lat, double lon) {
    minLat = std::min(minLat, lat);
    maxLat = std::max(maxLat, lat);
    minLon = std::min(minLon, lon);
    maxLon = std::max(maxLon, lon);
  }
  // Grown on every side by the distance, so that a lone point still has an area around it.
  void grow(double nm) {
    const double dLat = nm / 60;
    const double dLon = dLat / std::max(0.01, std::cos((minLat + maxLat) / 2 * kDeg));
    minLat -= dLat;
    maxLat += dLat;
    minLon -= dLon;
    maxLon += dLon;
  }
  double spanNm() const {
    const double c = std::cos((minLat + maxLat) / 2 * kDeg);
    return std::max(maxLat - minLat, (maxLon - minLon) * c) * 60;
  }
};

// Equirectangular projection of an extent, fitted and centred into a box of the picture.
struct View {
  Box rect;
  double cLat = 0, cLon = 0, cosLat = 1, scale = 1;  // pixels per degree of latitude

  View(const Box& r, const Extent& e) : rect(r) {
    cLat = (e.minLat + e.maxLat) / 2;
    cLon = (e.minLon + e.maxLon) / 2;
    cosLat = std::max(0.01, std::cos(cLat * kDeg));
    const double spanX = std::max(1e-6, (e.maxLon - e.minLon) * cosLat);
    const double spanY = std::max(1e-6, e.maxLat - e.minLat);
    scale = std::min((r.x1 - r.x0 - 2 * kMargin) / spanX, (r.y1 - r.y0 - 2 * kMargin) / spanY);
  }
  Px at(double lat, double lon) const {
    return {(rect.x0 + rect.x1) / 2 + (lon - cLon) * cosLat * scale, (rect.y0 + rect.y1) / 2 - (lat - cLat) * scale};
  }
  Px at(const Point& p) const { return at(p.lat, p.lon); }
  double pixelsPerMetre() const { return scale / (60 * kMetresPerNm); }
  bool shows(const Px& p) const { return p.x >= rect.x0 && p.x <= rect.x1 && p.y >= rect.y0 && p.y <= rect.y1; }
};

// The stretches of a polyline that come into the box: each with one point beyond either side, so
// that the line runs on to the box's edge.
std::vector<std::vector<Px>> stretchesIn(const std::vector<Px>& line, const Box& box) {
  std::vector<std::vector<Px>> out;
  const auto in = [&](const Px& p) { return p.x >= box.x0 && p.x <= box.x1 && p.y >= box.y0 && p.y <= box.y1; };
  std::vector<Px> current;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const bool here = in(line[i]);
    const bool next = i + 1 < line.size() && in(line[i + 1]);
    const bool before = i > 0 && in(line[i - 1]);
    if (here || next || before) {
      current.push_back(line[i]);
    } else if (!current.empty()) {
      out.push_back(std::move(current));
      current.clear();
    }
  }
  if (!current.empty()) out.push_back(std::move(current));
  return out;
}

std::string pointsText(const std::vector<Px>& line) {
  std::string s;
  for (const Px& p : line) s += fmt::format("{:.1f},{:.1f} ", p.x, p.y);
  if (!s.empty()) s.pop_back();
  return s;
}

// One run of a track in one phase, with the first point of the next run so that runs join.
struct Run {
  Phase phase;
  std::vector<Px> line;
};

std::vector<Run> runsOf(const Track& t, const View& v) {
  std::vector<Run> runs;
  for (std::size_t i = 0; i < t.points.size(); ++i) {
    const Px p = v.at(t.points[i]);
    if (runs.empty() || runs.back().phase != t.points[i].phase) {
      if (!runs.empty()) runs.back().line.push_back(p);
      runs.push_back({t.points[i].phase, {}});
    }
    runs.back().line.push_back(p);
  }
  return runs;
}

// Round lengths for the scale bar: metres while a nautical mile is wider than the bar may be.
struct ScaleStep {
  double metres;
  const char* text;
};
constexpr std::array<ScaleStep, 16> kScaleSteps = {{{10, "10 m"},
                                                    {20, "20 m"},
                                                    {50, "50 m"},
                                                    {100, "100 m"},
                                                    {200, "200 m"},
                                                    {500, "500 m"},
                                                    {1000, "1 km"},
                                                    {kMetresPerNm, "1 nm"},
                                                    {2 * kMetresPerNm, "2 nm"},
                                                    {5 * kMetresPerNm, "5 nm"},
                                                    {10 * kMetresPerNm, "10 nm"},
                                                    {20 * kMetresPerNm, "20 nm"},
                                                    {50 * kMetresPerNm, "50 nm"},
                                                    {100 * kMetresPerNm, "100 nm"},
                                                    {200 * kMetresPerNm, "200 nm"},
                                                    {500 * kMetresPerNm, "500 nm"}}};

Box drawScaleBar(std::string& svg, const View& v) {
  const double ppm = v.pixelsPerMetre();
  ScaleStep step = kScaleSteps.front();
  for (const ScaleStep& s : kScaleSteps)
    if (s.metres * ppm <= 160) step = s;
  const double length = step.metres * ppm;
  const double x = v.rect.x0 + 14, y = v.rect.y1 - 14;
  svg += fmt::format(
      "<g class=\"scale\"><rect x=\"{0:.1f}\" y=\"{1:.1f}\" width=\"{2:.1f}\" height=\"5\" fill=\"#222\"/>"
      "<rect x=\"{3:.1f}\" y=\"{1:.1f}\" width=\"{4:.1f}\" height=\"5\" fill=\"#fff\" stroke=\"#222\" stroke-width=\"0.8\"/>"
      "<text x=\"{0:.1f}\" y=\"{5:.1f}\" font-size=\"11\">0</text><text x=\"{6:.1f}\" y=\"{5:.1f}\" font-size=\"11\" "
      "text-anchor=\"middle\">{7}</text></g>\n",
      x, y - 5, length / 2, x + length / 2, length / 2, y - 8, x + length, step.text);
  return {x - 4, y - 20, x + length + textWidth(step.text, 11) / 2 + 4, y + 2};
}

// What a view shows besides the tracks, and how.
struct ViewStyle {
  bool runwayIdents = false;
  bool airportNames = false;
  bool standNames = false;
  double trackWidth = 1.6;
  bool groundFirst = false;  // tracks in the air drawn faint, so that the ground movement stands out
};

struct Label {
  std::string text;
  double fontSize;
  LabelRequest request;
};

void drawLabels(std::string& svg, const std::vector<Label>& labels, const View& v, std::vector<Box>& taken,
                const char* fill) {
  std::vector<LabelRequest> requests;
  for (const Label& l : labels) requests.push_back(l.request);
  const auto placed = placeLabels(requests, v.rect, taken);
  for (std::size_t i = 0; i < labels.size(); ++i) {
    if (!placed[i]) continue;
    const Box& b = *placed[i];
    taken.push_back(b);
    svg += fmt::format(
        "<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\" fill=\"#fff\" fill-opacity=\"0.8\"/>"
        "<text x=\"{:.1f}\" y=\"{:.1f}\" font-size=\"{}\" fill=\"{}\">{}</text>\n",
        b.x0, b.y0, b.x1 - b.x0, b.y1 - b.y0, b.x0 + 1, b.y1 - labels[i].fontSize * 0.25, labels[i].fontSize, fill,
        xmlEscape(labels[i].text));
  }
}

Label labelFor(const std::string& text, double fontSize, std::vector<Px> anchors) {
  return {text, fontSize, {textWidth(text, fontSize) + 2, fontSize * 1.2, std::move(anchors)}};
}

bool usableRunway(const Runway& r) { return r.lengthFt >= 3000 && !r.ends[0].starts_with('H'); }

void drawView(std::string& svg, const Tracks& tracks, const View& v, const ViewStyle& style, int clipId,
              std::size_t& labelled) {
  svg += fmt::format("<clipPath id=\"c{}\"><rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\"/></clipPath>\n",
                     clipId, v.rect.x0, v.rect.y0, v.rect.x1 - v.rect.x0, v.rect.y1 - v.rect.y0);
  svg += fmt::format("<g clip-path=\"url(#c{})\">\n", clipId);
  const Box near{v.rect.x0 - 20, v.rect.y0 - 20, v.rect.x1 + 20, v.rect.y1 + 20};
  std::vector<Box> taken;
  const double ppm = v.pixelsPerMetre();

  // Runways, and the airports they belong to.
  std::map<std::string, std::pair<Px, int>> airports;  // sum of runway middles, count
  std::vector<Label> runwayLabels;
  for (const Runway& r : tracks.runways) {
    if (!usableRunway(r)) continue;
    const Px a = v.at(r.a), b = v.at(r.b);
    if (!v.shows(a) && !v.shows(b)) continue;
    svg += fmt::format("<line class=\"rwy\" x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\" stroke-width=\"{:.1f}\"/>\n",
                       a.x, a.y, b.x, b.y, std::max(2.0, r.widthFt * 0.3048 * ppm));
    if (r.lengthFt >= 5000) {
      auto& [sum, n] = airports[r.airport];
      sum.x += (a.x + b.x) / 2;
      sum.y += (a.y + b.y) / 2;
      ++n;
    }
    if (style.runwayIdents) {
      // Each ident a little beyond its own end, along the runway.
      const double len = std::max(1.0, std::hypot(b.x - a.x, b.y - a.y));
      const double ux = (b.x - a.x) / len, uy = (b.y - a.y) / len;
      runwayLabels.push_back(labelFor(r.ends[0], 8, {{a.x - ux * 12, a.y - uy * 12}}));
      runwayLabels.push_back(labelFor(r.ends[1], 8, {{b.x + ux * 12, b.y + uy * 12}}));
    }
  }

  // Stands.
  for (const Mark& m : tracks.marks) {
    const Px p = v.at(m.at);
    if (!v.shows(p)) continue;
    const double r = std::max(1.5, m.radiusMetres * ppm);
    const double h = m.headingDeg * kDeg;
    svg += fmt::format("<circle class=\"std\" cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"{:.1f}\"/>", p.x, p.y, r);
    if (r >= 3)
      svg += fmt::format("<line class=\"std\" x1=\"{:.1f}\" y1=\"{:.1f}\" x2=\"{:.1f}\" y2=\"{:.1f}\"/>", p.x, p.y,
                         p.x + r * std::sin(h), p.y - r * std::cos(h));
    svg += "\n";
  }

  // Reported tracks under the flown ones.
  for (const auto& [id, t] : tracks.reported) {
    std::vector<Px> line;
    for (const Point& p : t.points) line.push_back(v.at(p));
    for (const auto& s : stretchesIn(line, near))
      svg += fmt::format("<polyline class=\"rep\" points=\"{}\"/>\n", pointsText(thin(s, kThinning)));
  }

  // Flown tracks, one polyline per phase run; the labels' anchors along the thinned lines.
  struct Candidate {
    const Track* track;
    double length;
    std::vector<Px> anchors;
  };
  std::vector<Candidate> candidates;
  for (const auto& [id, t] : tracks.flown) {
    if (standsStill(t)) continue;
    Candidate c{&t, 0, {}};
    std::vector<Px> all;
    for (const Run& run : runsOf(t, v))
      for (const auto& s : stretchesIn(run.line, near)) {
        const auto thinned = thin(s, kThinning);
        const bool faint = style.groundFirst && (run.phase == Phase::Air || run.phase == Phase::Approach);
        svg += fmt::format("<polyline class=\"{}{}\" stroke-width=\"{}\" points=\"{}\"/>\n", styleOf(run.phase).cssClass,
                           faint ? " faint" : "", faint ? 1.0 : style.trackWidth, pointsText(thinned));
        for (const Px& p : thinned)
          if (v.shows(p)) all.push_back(p);
      }
    if (t.removed && !t.points.empty()) {
      const Px p = v.at(t.points.back());
      if (v.shows(p))
        svg += fmt::format("<path class=\"gone\" d=\"M{:.1f},{:.1f}l6,6m0,-6l-6,6\"/>\n", p.x - 3, p.y - 3);
    }
    if (all.empty()) continue;
    for (std::size_t i = 1; i < all.size(); ++i) c.length += std::hypot(all[i].x - all[i - 1].x, all[i].y - all[i - 1].y);
    // The first point where the track comes into view, its last, then spread along it.
    c.anchors.push_back(all.front());
    c.anchors.push_back(all.back());
    const std::size_t step = std::max<std::size_t>(1, all.size() / 8);
    for (std::size_t i = step; i + 1 < all.size(); i += step) c.anchors.push_back(all[i]);
    candidates.push_back(std::move(c));
  }

  // Aircraft that stood still where they were created, over the tracks: a small aircraft at its
  // place and heading, at least 11 px long, else as long as an airliner (40 m).
  for (const auto& [id, t] : tracks.flown) {
    if (!standsStill(t)) continue;
    const Px p = v.at(t.points.front());
    if (!v.shows(p)) continue;
    const double len = std::max(11.0, 40 * ppm);
    svg += fmt::format("<path class=\"parked\" transform=\"translate({:.1f},{:.1f}) rotate({:.0f}) scale({:.2f})\" "
                       "d=\"M0,-0.5L0.07,-0.1L0.5,0.1L0.07,0.1L0.05,0.35L0.18,0.5L-0.18,0.5L-0.05,0.35L-0.07,0.1L-0.5,0.1"
                       "L-0.07,-0.1Z\"/>\n",
                       p.x, p.y, t.headingDeg, len);
  }

  const Box scale = drawScaleBar(svg, v);
  taken.push_back(scale);

  // Labels: runway ends and airports first, then callsigns of the longest tracks first, then stands.
  drawLabels(svg, runwayLabels, v, taken, "#555");
  if (style.airportNames) {
    std::vector<Label> names;
    for (const auto& [code, at] : airports)
      names.push_back(labelFor(code, 10, {{at.first.x / at.second, at.first.y / at.second}}));
    drawLabels(svg, names, v, taken, "#666");
  }
  std::stable_sort(candidates.begin(), candidates.end(),
                   [](const Candidate& a, const Candidate& b) { return a.length > b.length; });
  std::vector<Label> callsigns;
  for (const Candidate& c : candidates) callsigns.push_back(labelFor(c.track->label, kLabelFont, c.anchors));
  const std::size_t before = taken.size();
  drawLabels(svg, callsigns, v, taken, "#111");
  labelled += taken.size() - before;
  if (style.standNames) {
    std::vector<Label> names;
    for (const Mark& m : tracks.marks) {
      const Px p = v.at(m.at);
      if (v.shows(p)) names.push_back(labelFor(m.label, kStandFont, {p}));
    }
    drawLabels(svg, names, v, taken, "#777");
  }
  svg += "</g>\n";
  svg += fmt::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\" fill=\"none\" stroke=\"#444\"/>\n",
                     v.rect.x0, v.rect.y0, v.rect.x1 - v.rect.x0, v.rect.y1 - v.rect.y0);
}

}  // namespace

bool standsStill(const Track& t) {
  if (t.points.empty() || t.points.front().phase != Phase::Ground) return false;
  const Point& first = t.points.front();
  return std::all_of(t.points.begin(), t.points.end(),
                     [&](const Point& p) { return distanceMetres(first.lat, first.lon, p.lat, p.lon) < 1.0; });
}

namespace {

Extent extentOfAll(const Tracks& t) {
  Extent e;
  for (const auto* set : {&t.flown, &t.reported})
    for (const auto& [id, track] : *set)
      for (const Point& p : track.points) e.add(p.lat, p.lon);
  for (const Mark& m : t.marks) e.add(m.at.lat, m.at.lon);
  if (e.empty()) e.add(0, 0);
  return e;
}

std::optional<Extent> insetExtent(const Tracks& t, const MapOptions& o) {
  Extent e;
  if (o.inset) {
    e.add(o.inset->lat, o.inset->lon);
    e.grow(o.inset->radiusNm);
    return e;
  }
  for (const auto& [id, track] : t.flown)
    for (const Point& p : track.points)
      if (p.phase == Phase::Ground || p.phase == Phase::Pushback) e.add(p.lat, p.lon);
  if (e.empty()) return std::nullopt;
  for (const Mark& m : t.marks) e.add(m.at.lat, m.at.lon);
  e.grow(0.2);
  return e;
}

std::string legend(double x, double& y) {
  std::string svg;
  const auto sample = [&](const std::string& shape, const std::string& text) {
    svg += fmt::format("<g transform=\"translate({:.1f},{:.1f})\">{}<text x=\"40\" y=\"4\" font-size=\"11\">{}</text></g>\n",
                       x, y, shape, xmlEscape(text));
    y += 18;
  };
  for (const PhaseStyle& p : kPhases)
    sample(fmt::format("<line class=\"{}\" x1=\"0\" y1=\"0\" x2=\"32\" y2=\"0\" stroke-width=\"2.5\"/>", p.cssClass),
           p.legend);
  sample("<line class=\"rep\" x1=\"0\" y1=\"0\" x2=\"32\" y2=\"0\"/>", "reported by the traffic source (dashed)");
  sample("<line class=\"rwy\" x1=\"0\" y1=\"0\" x2=\"32\" y2=\"0\" stroke-width=\"5\"/>", "runway (OurAirports)");
  sample("<circle class=\"std\" cx=\"16\" cy=\"0\" r=\"5\"/><line class=\"std\" x1=\"16\" y1=\"0\" x2=\"16\" y2=\"-5\"/>",
         "stand, with its heading");
  sample("<path class=\"gone\" d=\"M13,-3l6,6m0,-6l-6,6\"/>", "removed from the simulator");
  sample("<path class=\"parked\" transform=\"translate(16,0) rotate(90) scale(14)\" d=\"M0,-0.5L0.07,-0.1L0.5,0.1L0.07,"
         "0.1L0.05,0.35L0.18,0.5L-0.18,0.5L-0.05,0.35L-0.07,0.1L-0.5,0.1L-0.07,-0.1Z\"/>",
         "parked, standing where it was created");
  sample("<rect x=\"0\" y=\"-6\" width=\"32\" height=\"12\" fill=\"#fff\" stroke=\"#bbb\"/><text x=\"2\" y=\"4\" "
         "font-size=\"10\">AAL12</text>",
         "callsign, once per track where it fits");
  return svg;
}

constexpr const char* kStyle =
    "<style>\n"
    "polyline{fill:none;stroke-linejoin:round;stroke-linecap:round}\n"
    ".air{stroke:#2463b5}.app{stroke:#e07800}.gnd{stroke:#16963a}.push{stroke:#d0218c}.faint{stroke-opacity:0.45}\n"
    ".rep{fill:none;stroke:#7a7a7a;stroke-width:1;stroke-dasharray:5,4}\n"
    ".rwy{stroke:#9c9c9c;stroke-linecap:butt}\n"
    ".std{fill:#f1f1f1;stroke:#a0a0a0;stroke-width:0.7}\n"
    ".gone{fill:none;stroke:#333;stroke-width:1.4}\n"    ".parked{fill:#7b3fa0;stroke:none}\n"
    "text{font-family:'DejaVu Sans Mono',monospace}\n"
    "</style>\n";

}  // namespace

// ---- Labels and thinning ----

double textWidth(const std::string& text, double fontSize) {
  std::size_t glyphs = 0;
  for (unsigned char c : text)
    if ((c & 0xC0) != 0x80) ++glyphs;  // UTF-8 continuation bytes add no glyph
  return static_cast<double>(glyphs) * fontSize * 0.6;
}

std::vector<std::optional<Box>> placeLabels(const std::vector<LabelRequest>& requests, const Box& bounds,
                                            std::vector<Box> taken) {
  std::vector<std::optional<Box>> placed(requests.size());
  // Beside the anchor with a gap; above and below clear of the band of the side spots, so that four
  // labels fit around one point.
  constexpr double kGap = 4;
  for (std::size_t i = 0; i < requests.size(); ++i) {
    const double w = requests[i].width, h = requests[i].height;
    for (const Px& a : requests[i].anchors) {
      const std::array<Box, 4> spots = {{{a.x + kGap, a.y - h / 2, a.x + kGap + w, a.y + h / 2},
                                         {a.x - kGap - w, a.y - h / 2, a.x - kGap, a.y + h / 2},
                                         {a.x - w / 2, a.y - h / 2 - 1 - h, a.x + w / 2, a.y - h / 2 - 1},
                                         {a.x - w / 2, a.y + h / 2 + 1, a.x + w / 2, a.y + h / 2 + 1 + h}}};
      for (const Box& b : spots) {
        if (!b.inside(bounds)) continue;
        if (std::any_of(taken.begin(), taken.end(), [&](const Box& t) { return t.overlaps(b); })) continue;
        placed[i] = b;
        taken.push_back(b);
        break;
      }
      if (placed[i]) break;
    }
  }
  return placed;
}

std::vector<Px> thin(const std::vector<Px>& points, double tolerance) {
  std::vector<Px> pts;
  for (const Px& p : points)
    if (pts.empty() || p.x != pts.back().x || p.y != pts.back().y) pts.push_back(p);
  if (pts.size() <= 2) return pts;
  std::vector<bool> keep(pts.size(), false);
  keep.front() = keep.back() = true;
  std::vector<std::pair<std::size_t, std::size_t>> stack{{0, pts.size() - 1}};
  while (!stack.empty()) {
    const auto [first, last] = stack.back();
    stack.pop_back();
    const Px& a = pts[first];
    const Px& b = pts[last];
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double len = std::hypot(dx, dy);
    double worst = -1;
    std::size_t at = first;
    for (std::size_t i = first + 1; i < last; ++i) {
      // Distance to the segment (to the end point itself where the segment has no length).
      double d;
      const double t = len > 0 ? ((pts[i].x - a.x) * dx + (pts[i].y - a.y) * dy) / (len * len) : 0;
      if (t <= 0)
        d = std::hypot(pts[i].x - a.x, pts[i].y - a.y);
      else if (t >= 1)
        d = std::hypot(pts[i].x - b.x, pts[i].y - b.y);
      else
        d = std::fabs((pts[i].x - a.x) * dy - (pts[i].y - a.y) * dx) / len;
      if (d > worst) {
        worst = d;
        at = i;
      }
    }
    if (worst > tolerance) {
      keep[at] = true;
      stack.push_back({first, at});
      stack.push_back({at, last});
    }
  }
  std::vector<Px> out;
  for (std::size_t i = 0; i < pts.size(); ++i)
    if (keep[i]) out.push_back(pts[i]);
  return out;
}

// ---- Writing ----

std::string traceRow(const TraceRow& row) {
  std::string detail = row.detail;
  if (detail.find_first_of(",\"\n") != std::string::npos) {
    std::string q = "\"";
    for (char c : detail) q += c == '"' ? std::string("\"\"") : std::string(1, c == '\n' ? ' ' : c);
    detail = q + "\"";
  }
  return fmt::format("{:.3f},{},{},{:.7f},{:.7f},{:.1f},{:.2f},{:.2f},{:.2f},{},{}\n", row.timeS, row.objectId,
                     row.what, row.lat, row.lon, row.altFt, row.pitchDeg, row.bankDeg, row.headingDeg,
                     row.onGround ? 1 : 0, detail);
}

// ---- Reading ----

std::vector<std::string> splitCsvLine(const std::string& line) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (std::size_t i = 0; i < line.size(); ++i) {
    const char c = line[i];
    if (quoted) {
      if (c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
        fields.back() += '"';
        ++i;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

namespace {

struct Sample {
  double alt = 0;
  double heading = 0;
  bool ground = false;
  bool known = false;  // altitude and on-ground flag were readable
};

void assignPhases(Track& t, const std::vector<Sample>& s) {
  // Approach: in the air below 4000 ft while the track goes on down by more than 200 ft.
  double lowestAhead = std::numeric_limits<double>::max();
  for (std::size_t i = t.points.size(); i-- > 0;) {
    Phase phase = Phase::Air;
    if (s[i].known && s[i].ground)
      phase = Phase::Ground;
    else if (s[i].known && s[i].alt < 4000 && lowestAhead < s[i].alt - 200)
      phase = Phase::Approach;
    t.points[i].phase = phase;
    if (s[i].known) lowestAhead = std::min(lowestAhead, s[i].alt);
  }
  // Push-back: on the ground, moving against the nose. Judged every 2 m of movement so that the
  // small steps of a slow push do not read as noise.
  std::size_t from = 0;
  bool backwards = false;
  for (std::size_t i = 1; i < t.points.size(); ++i) {
    if (t.points[i].phase != Phase::Ground) {
      from = i;
      backwards = false;
      continue;
    }
    const Point& a = t.points[from];
    const Point& b = t.points[i];
    if (distanceMetres(a.lat, a.lon, b.lat, b.lon) >= 2) {
      const double course =
          std::atan2((b.lon - a.lon) * std::cos(b.lat * kDeg), b.lat - a.lat) / kDeg;
      double off = std::fmod(std::fabs(course - s[i].heading), 360.0);
      if (off > 180) off = 360 - off;
      backwards = off > 100;
      for (std::size_t k = from + 1; k <= i; ++k)
        if (t.points[k].phase == Phase::Ground && backwards) t.points[k].phase = Phase::Pushback;
      from = i;
    }
  }
}

}  // namespace

bool readTrace(const std::filesystem::path& csv, Tracks& tracks, std::string& error) {
  std::vector<std::string> lines;
  if (!readLines(csv, lines, error)) return false;
  if (lines.empty() || lines[0].rfind("time_s,object_id,what,lat,lon", 0) != 0) {
    error = csv.string() + " is not a trace of the simulator double";
    return false;
  }
  std::map<std::string, std::vector<Sample>> samples;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto f = splitCsvLine(lines[i]);
    if (f.size() < 5) continue;
    Point p;
    if (!number(f[3], p.lat) || !number(f[4], p.lon)) continue;
    const std::string& what = f[2];
    const bool extends = what == "created" || what == "added" || what == "position";
    const bool ends = what == "removed" || what == "removed-by-sim";
    if (!extends && !ends) continue;
    Track& t = tracks.flown[f[1]];
    if (what == "created" || what == "added") {
      const std::string detail = f.size() > 10 ? f[10] : std::string();
      const std::size_t bar = detail.rfind('|');
      t.label = bar != std::string::npos && bar + 1 < detail.size() ? detail.substr(bar + 1) : f[1];
    }
    if (t.label.empty()) t.label = f[1];
    Sample s;
    double ground = 0;
    s.known = f.size() > 9 && number(f[5], s.alt) && number(f[9], ground);
    s.ground = ground != 0;
    if (f.size() > 8) number(f[8], s.heading);
    t.points.push_back(p);
    if (!ends) t.headingDeg = s.heading;
    samples[f[1]].push_back(s);
    if (ends) t.removed = true;
  }
  for (auto& [id, t] : tracks.flown) assignPhases(t, samples[id]);
  return true;
}

bool readReported(const std::filesystem::path& csv, Tracks& tracks, std::string& error) {
  std::vector<std::string> lines;
  if (!readLines(csv, lines, error)) return false;
  if (lines.empty()) {
    error = csv.string() + " is empty";
    return false;
  }
  const auto header = splitCsvLine(lines[0]);
  const int id = columnOf(header, {"hexid", "object_id", "id", "callsign"});
  const int lat = columnOf(header, {"lat", "latitude"});
  const int lon = columnOf(header, {"lon", "longitude"});
  if (id < 0 || lat < 0 || lon < 0) {
    error = csv.string() + ": the header needs an id, a lat and a lon column";
    return false;
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto f = splitCsvLine(lines[i]);
    Point p;
    if (!number(field(f, lat), p.lat) || !number(field(f, lon), p.lon)) continue;
    Track& t = tracks.reported[field(f, id)];
    if (t.label.empty()) t.label = field(f, id);
    t.points.push_back(p);
  }
  return true;
}

bool readRunways(const std::filesystem::path& csv, Tracks& tracks, std::string& error) {
  std::vector<std::string> lines;
  if (!readLines(csv, lines, error)) return false;
  const auto header = lines.empty() ? std::vector<std::string>{} : splitCsvLine(lines[0]);
  const int airport = columnOf(header, {"airport_ident"});
  const int length = columnOf(header, {"length_ft"});
  const int width = columnOf(header, {"width_ft"});
  const int closed = columnOf(header, {"closed"});
  const int ends[2] = {columnOf(header, {"le_ident"}), columnOf(header, {"he_ident"})};
  const int lat[2] = {columnOf(header, {"le_latitude_deg"}), columnOf(header, {"he_latitude_deg"})};
  const int lon[2] = {columnOf(header, {"le_longitude_deg"}), columnOf(header, {"he_longitude_deg"})};
  if (airport < 0 || lat[0] < 0 || lat[1] < 0 || lon[0] < 0 || lon[1] < 0) {
    error = csv.string() + " is not a runway file (airport_ident, le_/he_latitude_deg, le_/he_longitude_deg)";
    return false;
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto f = splitCsvLine(lines[i]);
    if (field(f, closed) == "1") continue;
    Runway r;
    r.airport = field(f, airport);
    if (!number(field(f, lat[0]), r.a.lat) || !number(field(f, lon[0]), r.a.lon) ||
        !number(field(f, lat[1]), r.b.lat) || !number(field(f, lon[1]), r.b.lon))
      continue;
    r.ends[0] = field(f, ends[0]);
    r.ends[1] = field(f, ends[1]);
    number(field(f, length), r.lengthFt);
    number(field(f, width), r.widthFt);
    if (r.lengthFt <= 0) r.lengthFt = distanceMetres(r.a.lat, r.a.lon, r.b.lat, r.b.lon) / 0.3048;
    tracks.runways.push_back(std::move(r));
  }
  return true;
}

bool parseGroundnetAngle(const std::string& text, double& degrees) {
  if (text.size() < 4) return false;
  const char hemisphere = text[0];
  if (hemisphere != 'N' && hemisphere != 'S' && hemisphere != 'E' && hemisphere != 'W') return false;
  const std::size_t blank = text.find(' ');
  if (blank == std::string::npos || blank < 2) return false;
  char* end = nullptr;
  const double whole = std::strtod(text.c_str() + 1, &end);
  if (end != text.c_str() + blank) return false;
  const double minutes = std::strtod(text.c_str() + blank + 1, &end);
  if (end == text.c_str() + blank + 1 || *end != '\0' || minutes < 0 || minutes >= 60) return false;
  degrees = whole + minutes / 60.0;
  if (hemisphere == 'S' || hemisphere == 'W') degrees = -degrees;
  return true;
}

bool readStands(const std::filesystem::path& file, Tracks& tracks, std::string& error) {
  pugi::xml_document doc;
  if (doc.load_file(file.c_str())) {
    const std::size_t before = tracks.marks.size();
    for (pugi::xml_node p : doc.child("groundnet").child("parkingList").children("Parking")) {
      Mark m;
      m.label = std::string(p.attribute("name").as_string()) + p.attribute("number").as_string();
      if (!parseGroundnetAngle(p.attribute("lat").as_string(), m.at.lat) ||
          !parseGroundnetAngle(p.attribute("lon").as_string(), m.at.lon))
        continue;
      m.headingDeg = p.attribute("heading").as_double();
      m.radiusMetres = p.attribute("radius").as_double();
      tracks.marks.push_back(std::move(m));
    }
    for (pugi::xml_node p : doc.child("parkpositions").children("parkpos")) {
      Mark m{p.attribute("id").as_string(),
             {p.attribute("latitude").as_double(), p.attribute("longitude").as_double()},
             p.attribute("heading").as_double(),
             p.attribute("radius").as_double()};
      if (m.at.lat == 0 && m.at.lon == 0) continue;
      tracks.marks.push_back(std::move(m));
    }
    if (tracks.marks.size() == before && !doc.child("groundnet") && !doc.child("parkpositions")) {
      error = file.string() + " holds neither \"parkpositions\" nor a \"groundnet\"";
      return false;
    }
    return true;
  }
  std::vector<std::string> lines;
  if (!readLines(file, lines, error)) return false;
  const auto header = lines.empty() ? std::vector<std::string>{} : splitCsvLine(lines[0]);
  const int name = columnOf(header, {"name", "id"});
  const int lat = columnOf(header, {"lat", "latitude"});
  const int lon = columnOf(header, {"lon", "longitude"});
  const int heading = columnOf(header, {"heading", "heading_deg"});
  const int radius = columnOf(header, {"radius", "radius_m"});
  if (name < 0 || lat < 0 || lon < 0) {
    error = file.string() + ": stands need an airport file, a ground network or a CSV with name, lat and lon";
    return false;
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto f = splitCsvLine(lines[i]);
    Mark m;
    m.label = field(f, name);
    if (!number(field(f, lat), m.at.lat) || !number(field(f, lon), m.at.lon)) continue;
    number(field(f, heading), m.headingDeg);
    number(field(f, radius), m.radiusMetres);
    tracks.marks.push_back(std::move(m));
  }
  return true;
}

// ---- Drawing ----

std::string renderSvg(const Tracks& tracks, const MapOptions& options) {
  const int w = options.width, h = options.height;
  const Extent all = extentOfAll(tracks);
  const View main(Box{0, 0, static_cast<double>(w), static_cast<double>(h)}, all);
  std::optional<Extent> zoom = options.drawInset ? insetExtent(tracks, options) : std::nullopt;
  if (zoom && all.spanNm() < 2.5 * zoom->spanNm()) zoom.reset();  // the map is already at that scale

  double y = 30;
  std::string panel = fmt::format("<text x=\"{}\" y=\"{:.1f}\" font-size=\"14\" font-weight=\"bold\">{}</text>\n",
                                  w + 16, y, xmlEscape(options.title.empty() ? "Tracks" : options.title));
  y += 26;
  panel += legend(w + 16, y);
  std::size_t reportedPoints = 0;
  for (const auto& [id, t] : tracks.reported) reportedPoints += t.points.size();
  std::string svg;
  std::size_t labelled = 0;
  const double ppm = main.pixelsPerMetre();
  drawView(svg, tracks, main, ViewStyle{ppm > 0.05, ppm < 0.05, ppm > 0.1, 1.6}, 0, labelled);
  panel += fmt::format("<text x=\"{}\" y=\"{:.1f}\" font-size=\"11\">{} flown track{}, {} labelled; {} reported</text>\n",
                       w + 16, y + 4, tracks.flown.size(), tracks.flown.size() == 1 ? "" : "s", labelled,
                       tracks.reported.size());
  y += 26;
  int height = h;
  if (zoom) {
    panel += fmt::format("<text x=\"{}\" y=\"{:.1f}\" font-size=\"12\" font-weight=\"bold\">The airport's ground movement</text>\n",
                         w + 16, y + 8);
    y += 18;
    const View inset(Box{w + 10.0, y, w + 10.0 + kInset, y + kInset}, *zoom);
    std::size_t insetLabelled = 0;
    svg += fmt::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{}\" height=\"{}\" fill=\"#fff\"/>\n", inset.rect.x0,
                       inset.rect.y0, kInset, kInset);
    drawView(svg, tracks, inset, ViewStyle{true, false, true, 2.2, true}, 1, insetLabelled);
    // Where the inset lies on the map.
    const Px a = main.at(zoom->maxLat, zoom->minLon), b = main.at(zoom->minLat, zoom->maxLon);
    svg += fmt::format("<rect x=\"{:.1f}\" y=\"{:.1f}\" width=\"{:.1f}\" height=\"{:.1f}\" fill=\"none\" stroke=\"#444\" "
                       "stroke-dasharray=\"2,2\"/>\n",
                       a.x, a.y, b.x - a.x, b.y - a.y);
    height = std::max(h, static_cast<int>(inset.rect.y1) + 16);
  }
  const int width = w + kPanel;
  return fmt::format("<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" viewBox=\"0 0 {0} {1}\">\n"
                     "{2}<rect width=\"{0}\" height=\"{1}\" fill=\"#fff\"/>\n"
                     "<rect x=\"{3}\" width=\"{4}\" height=\"{1}\" fill=\"#f6f6f2\"/>\n",
                     width, height, kStyle, w, kPanel) +
         svg + panel + "</svg>\n";
}

bool writeSvg(const std::filesystem::path& trace, const std::filesystem::path& reported,
              const std::filesystem::path& svg, std::string& error) {
  Tracks tracks;
  if (!readTrace(trace, tracks, error)) return false;
  if (!reported.empty() && !readReported(reported, tracks, error)) return false;
  std::ofstream out(svg, std::ios::trunc);
  if (!out) {
    error = "cannot write " + svg.string();
    return false;
  }
  out << renderSvg(tracks);
  out.close();
  if (!out) {
    error = "cannot write " + svg.string();
    return false;
  }
  return true;
}

}  // namespace amb::tracemap
