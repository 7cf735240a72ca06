#pragma once
// A map of flown tracks as SVG, for people to read at a glance: the simulator double's trace of its
// AI objects (CSV "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail"),
// optionally the positions a traffic source reported for them (any CSV whose header names an id column
// and the latitude and longitude), the runways in view (OurAirports' runway file) and an airport's
// stands. Flown tracks are solid and coloured by phase, reported ones dashed; every track gets at most
// one callsign label, dropped where it would cover another; a side panel holds the legend and an inset
// that zooms on the airport's ground movement.

#include <cstdint>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace amb::tracemap {

enum class Phase { Air, Approach, Ground, Pushback };

struct Point {
  double lat = 0;
  double lon = 0;
  Phase phase = Phase::Air;
};

struct Track {
  std::string label;  // the callsign (or the object's id)
  std::vector<Point> points;
  bool removed = false;  // the last point is where it was removed
  double headingDeg = 0;  // the last heading the trace gave
};

// A track of an aircraft that stood still on the ground where it was created (a parked one, static
// or live): drawn as an aircraft at its place instead of a line.
bool standsStill(const Track& t);

// A fixed place drawn under the tracks: a circle of its radius with a tick toward its heading and
// its name (an airport's stand).
struct Mark {
  std::string label;
  Point at;
  double headingDeg = 0;
  double radiusMetres = 0;
};

struct Runway {
  std::string airport;
  std::string ends[2];  // the idents of both ends ("04L", "22R")
  Point a, b;
  double lengthFt = 0;
  double widthFt = 0;
};

struct Tracks {
  std::map<std::string, Track> flown;     // by object id
  std::map<std::string, Track> reported;  // by the reported id
  std::vector<Mark> marks;
  std::vector<Runway> runways;  // any number: only those in view are drawn
};

struct Area {
  double lat = 0;
  double lon = 0;
  double radiusNm = 0;
};

struct MapOptions {
  int width = 1000;  // the map itself; the side panel comes on top
  int height = 860;
  std::string title;
  // The inset's area: given, or else the extent of the ground movement and the stands. No inset when
  // there is no ground movement or when the map is hardly larger than it.
  std::optional<Area> inset;
  bool drawInset = true;
};

// ---- Pieces with tests of their own ----

struct Px {
  double x = 0;
  double y = 0;
};

struct Box {
  double x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  bool overlaps(const Box& o) const { return x0 < o.x1 && o.x0 < x1 && y0 < o.y1 && o.y0 < y1; }
  bool inside(const Box& o) const { return x0 >= o.x0 && y0 >= o.y0 && x1 <= o.x1 && y1 <= o.y1; }
};

// One label to place: its size and the points it may stand beside, best first.
struct LabelRequest {
  double width = 0;
  double height = 0;
  std::vector<Px> anchors;
};

// Places the labels in the order given: each takes the first spot beside one of its anchors (right,
// left, above, below) that lies within the bounds and covers neither a placed label nor a taken box;
// a label with no such spot is dropped (nullopt).
std::vector<std::optional<Box>> placeLabels(const std::vector<LabelRequest>& requests, const Box& bounds,
                                            std::vector<Box> taken = {});

// The polyline thinned to what the eye sees: points that lie within the tolerance (pixels) of the
// line through their neighbours that are kept go (Douglas-Peucker); the ends always stay.
std::vector<Px> thin(const std::vector<Px>& points, double tolerance);

// The width of a text in the labels' monospace font.
double textWidth(const std::string& text, double fontSize);

// ---- Reading ----

// One CSV line into its fields ("" quotes a field; a doubled quote inside is one quote).
std::vector<std::string> splitCsvLine(const std::string& line);

// Reads the double's trace: rows "created", "added" and "position" extend the track (the callsign is
// the part of the creation's detail after "|"); "removed" ends it. Each point gets its phase: on the
// ground, push-back when it moves against its heading, approach below 4000 ft while the track still
// goes down, else air. False with a message when the file cannot be read or has no trace header.
bool readTrace(const std::filesystem::path& csv, Tracks& tracks, std::string& error);
// Reads reported positions: the header must name an id column (hexid, object_id, id or callsign)
// and lat/latitude and lon/longitude columns. Rows with unreadable numbers are skipped.
bool readReported(const std::filesystem::path& csv, Tracks& tracks, std::string& error);
// Reads OurAirports' runway file (plain or gzip): open runways with both ends known.
bool readRunways(const std::filesystem::path& csv, Tracks& tracks, std::string& error);
// Reads stands as marks from an airport file ("parkpos" with latitude, longitude, heading and radius
// in metres), a ground network file ("Parking" with "N40 39.240" angles) or a CSV
// "name,lat,lon[,heading,radius_m]" with a header line.
bool readStands(const std::filesystem::path& file, Tracks& tracks, std::string& error);

// "N40 39.240" or "W73 48.747" to signed degrees; false when the text is not of that form.
bool parseGroundnetAngle(const std::string& text, double& degrees);

// ---- Writing ----

// The trace's header line, without its line end.
inline constexpr const char* kTraceHeader =
    "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail";

struct TraceRow {
  double timeS = 0;
  std::uint32_t objectId = 0;
  std::string what;  // "created", "position", "removed", ...
  double lat = 0, lon = 0, altFt = 0;
  double pitchDeg = 0, bankDeg = 0, headingDeg = 0;
  bool onGround = false;
  std::string detail;  // "TITLE|CALLSIGN" on a creation
};

// One row of the trace with its line end, as the simulator double writes it; a detail holding a
// comma, a quote or a line end is quoted (a line end becomes a space).
std::string traceRow(const TraceRow& row);

// ---- Drawing ----

std::string renderSvg(const Tracks& tracks, const MapOptions& options);
inline std::string renderSvg(const Tracks& tracks, int width = 1000, int height = 860) {
  MapOptions o;
  o.width = width;
  o.height = height;
  return renderSvg(tracks, o);
}

// Reads the trace (and the reported CSV when not empty) and writes the SVG file.
bool writeSvg(const std::filesystem::path& trace, const std::filesystem::path& reported,
              const std::filesystem::path& svg, std::string& error);

}  // namespace amb::tracemap
