#include "tools/tracemap/tracemap.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <numbers>

namespace amb::tracemap {

namespace {

constexpr const char* kPalette[] = {"#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd",
                                    "#8c564b", "#e377c2", "#7f7f7f", "#bcbd22", "#17becf"};
constexpr int kMargin = 40;

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

bool readLines(const std::filesystem::path& csv, std::vector<std::string>& lines, std::string& error) {
  std::ifstream in(csv);
  if (!in) {
    error = "cannot read " + csv.string();
    return false;
  }
  for (std::string line; std::getline(in, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return true;
}

int columnOf(const std::vector<std::string>& header, std::initializer_list<const char*> names) {
  for (const char* n : names)
    for (std::size_t i = 0; i < header.size(); ++i)
      if (lower(header[i]) == n) return static_cast<int>(i);
  return -1;
}

// Equirectangular projection around the middle latitude, fitted into the picture.
struct Projection {
  double minLat = 0, maxLat = 0, minLon = 0, maxLon = 0;
  double scale = 1, cosLat = 1;
  int width = 0, height = 0;

  Projection(const Tracks& t, int w, int h) : width(w), height(h) {
    minLat = minLon = std::numeric_limits<double>::max();
    maxLat = maxLon = std::numeric_limits<double>::lowest();
    auto take = [&](const std::map<std::string, Track>& tracks) {
      for (const auto& [id, track] : tracks)
        for (const auto& p : track.points) {
          minLat = std::min(minLat, p.lat);
          maxLat = std::max(maxLat, p.lat);
          minLon = std::min(minLon, p.lon);
          maxLon = std::max(maxLon, p.lon);
        }
    };
    take(t.flown);
    take(t.reported);
    for (const Mark& m : t.marks) {
      minLat = std::min(minLat, m.at.lat);
      maxLat = std::max(maxLat, m.at.lat);
      minLon = std::min(minLon, m.at.lon);
      maxLon = std::max(maxLon, m.at.lon);
    }
    if (minLat > maxLat) minLat = maxLat = minLon = maxLon = 0;
    cosLat = std::max(0.01, std::cos((minLat + maxLat) / 2 * std::numbers::pi / 180));
    const double spanX = std::max(1e-6, (maxLon - minLon) * cosLat);
    const double spanY = std::max(1e-6, maxLat - minLat);
    scale = std::min((width - 2.0 * kMargin) / spanX, (height - 2.0 * kMargin) / spanY);
  }
  double x(const Point& p) const { return kMargin + (p.lon - minLon) * cosLat * scale; }
  double y(const Point& p) const { return height - kMargin - (p.lat - minLat) * scale; }
};

void drawTracks(std::string& svg, const std::map<std::string, Track>& tracks, const Projection& pr, bool reported) {
  std::size_t colour = 0;
  for (const auto& [id, track] : tracks) {
    const char* c = kPalette[colour++ % std::size(kPalette)];
    if (track.points.empty()) continue;
    svg += fmt::format("<g class=\"{}\" data-id=\"{}\">\n", reported ? "reported" : "flown", xmlEscape(id));
    std::string pts;
    for (const auto& p : track.points) pts += fmt::format("{:.1f},{:.1f} ", pr.x(p), pr.y(p));
    svg += fmt::format("<polyline fill=\"none\" stroke=\"{}\" stroke-width=\"{}\"{} points=\"{}\"><title>{}</title></polyline>\n",
                       reported ? "#000000" : c, reported ? 1 : 2,
                       reported ? " stroke-dasharray=\"4,3\"" : "", pts, xmlEscape(track.label));
    const Point& first = track.points.front();
    svg += fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"3\" fill=\"{}\"/>\n", pr.x(first), pr.y(first),
                       reported ? "#000000" : c);
    if (!reported)
      svg += fmt::format("<text x=\"{:.1f}\" y=\"{:.1f}\" font-size=\"11\" fill=\"{}\">{}</text>\n", pr.x(first) + 5,
                         pr.y(first) - 5, c, xmlEscape(track.label));
    for (const auto& e : track.events)
      svg += fmt::format("<circle cx=\"{:.1f}\" cy=\"{:.1f}\" r=\"2\" fill=\"none\" stroke=\"{}\"/>\n", pr.x(e), pr.y(e), c);
    if (track.removed) {
      const Point& last = track.points.back();
      svg += fmt::format("<path d=\"M{0:.1f},{1:.1f} l6,6 m0,-6 l-6,6\" transform=\"translate(-3,-3)\" stroke=\"{2}\"/>\n",
                         pr.x(last), pr.y(last), c);
    }
    svg += "</g>\n";
  }
}

void drawMarks(std::string& svg, const std::vector<Mark>& marks, const Projection& pr) {
  // Metres to pixels: one arc-minute of latitude is 1852 m.
  const double pixelsPerMetre = pr.scale / (60.0 * 1852.0);
  for (const Mark& m : marks) {
    const double x = pr.x(m.at), y = pr.y(m.at);
    const double r = std::max(2.0, m.radiusMetres * pixelsPerMetre);
    const double h = m.headingDeg * std::numbers::pi / 180;
    svg += fmt::format(
        "<g class=\"mark\"><circle cx=\"{0:.1f}\" cy=\"{1:.1f}\" r=\"{2:.1f}\" fill=\"none\" stroke=\"#bbbbbb\"/>"
        "<line x1=\"{0:.1f}\" y1=\"{1:.1f}\" x2=\"{3:.1f}\" y2=\"{4:.1f}\" stroke=\"#bbbbbb\"/>"
        "<text x=\"{5:.1f}\" y=\"{1:.1f}\" font-size=\"8\" fill=\"#999999\">{6}</text></g>\n",
        x, y, r, x + r * std::sin(h), y - r * std::cos(h), x + r + 1, xmlEscape(m.label));
  }
}

}  // namespace

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

bool readTrace(const std::filesystem::path& csv, Tracks& tracks, std::string& error) {
  std::vector<std::string> lines;
  if (!readLines(csv, lines, error)) return false;
  if (lines.empty() || lines[0].rfind("time_s,object_id,what,lat,lon", 0) != 0) {
    error = csv.string() + " is not a trace of the simulator double";
    return false;
  }
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto f = splitCsvLine(lines[i]);
    if (f.size() < 5) continue;
    Point p;
    if (!number(f[3], p.lat) || !number(f[4], p.lon)) continue;
    Track& t = tracks.flown[f[1]];
    const std::string& what = f[2];
    if (what == "created" || what == "added") {
      t.label = f[1] + " " + (f.size() > 10 ? f[10] : std::string());
      t.points.push_back(p);
    } else if (what == "position") {
      if (t.label.empty()) t.label = f[1];
      t.points.push_back(p);
    } else if (what == "event") {
      t.events.push_back(p);
    } else if (what == "removed" || what == "removed-by-sim") {
      t.points.push_back(p);
      t.removed = true;
    }
  }
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
  const auto need = static_cast<std::size_t>(std::max({id, lat, lon}));
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const auto f = splitCsvLine(lines[i]);
    if (f.size() <= need) continue;
    Point p;
    if (!number(f[static_cast<std::size_t>(lat)], p.lat) || !number(f[static_cast<std::size_t>(lon)], p.lon)) continue;
    Track& t = tracks.reported[f[static_cast<std::size_t>(id)]];
    if (t.label.empty()) t.label = "reported " + f[static_cast<std::size_t>(id)];
    t.points.push_back(p);
  }
  return true;
}

std::string renderSvg(const Tracks& tracks, int width, int height) {
  const Projection pr(tracks, width, height);
  std::string svg = fmt::format(
      "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"{0}\" height=\"{1}\" viewBox=\"0 0 {0} {1}\">\n"
      "<rect width=\"{0}\" height=\"{1}\" fill=\"#ffffff\"/>\n",
      width, height);
  drawMarks(svg, tracks.marks, pr);
  drawTracks(svg, tracks.flown, pr, false);
  drawTracks(svg, tracks.reported, pr, true);
  // A scale bar of one nautical mile (one arc-minute of latitude) where it fits, else of the span.
  const double nm = 1.0 / 60.0 * pr.scale;
  svg += fmt::format("<line x1=\"{0}\" y1=\"{1}\" x2=\"{2:.1f}\" y2=\"{1}\" stroke=\"#000000\"/>\n", kMargin,
                     height - kMargin / 2, kMargin + std::min(nm, width - 2.0 * kMargin));
  svg += fmt::format("<text x=\"{}\" y=\"{}\" font-size=\"11\">{}</text>\n", kMargin, height - kMargin / 2 - 4,
                     nm <= width - 2.0 * kMargin ? "1 nm" : fmt::format("{:.3f} nm", (width - 2.0 * kMargin) / pr.scale * 60));
  svg += fmt::format("<text x=\"{}\" y=\"{}\" font-size=\"12\">{} flown track{}, {} reported (dashed); lat {:.4f}..{:.4f}, lon {:.4f}..{:.4f}</text>\n",
                     kMargin, kMargin / 2, tracks.flown.size(), tracks.flown.size() == 1 ? "" : "s",
                     tracks.reported.size(), pr.minLat, pr.maxLat, pr.minLon, pr.maxLon);
  svg += "</svg>\n";
  return svg;
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
