#pragma once
// A map of flown tracks as SVG: the simulator double's trace of its AI objects (CSV
// "time_s,object_id,what,lat,lon,...,detail"), optionally with the positions a traffic source
// reported for them (any CSV whose header names an id column and the latitude and longitude).
// Every object is one polyline; reported tracks are drawn dashed on top.

#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace amb::tracemap {

struct Point {
  double lat = 0;
  double lon = 0;
};

struct Track {
  std::string label;         // shown beside the first point
  std::vector<Point> points;
  std::vector<Point> events;  // positions where the object got client events
  bool removed = false;       // the last point is where it was removed
};

// A fixed place drawn under the tracks: a circle of its radius with a tick toward its heading and
// its name (an airport's stand, say).
struct Mark {
  std::string label;
  Point at;
  double headingDeg = 0;
  double radiusMetres = 0;
};

struct Tracks {
  std::map<std::string, Track> flown;     // by object id
  std::map<std::string, Track> reported;  // by the reported id
  std::vector<Mark> marks;
};

// One CSV line into its fields ("" quotes a field; a doubled quote inside is one quote).
std::vector<std::string> splitCsvLine(const std::string& line);

// Reads the double's trace: rows "created", "added" and "position" extend the track; "event" rows
// are event marks; "removed" ends it. False with a message when the file cannot be read or has no
// trace header.
bool readTrace(const std::filesystem::path& csv, Tracks& tracks, std::string& error);
// Reads reported positions: the header must name an id column (hexid, object_id, id or callsign)
// and lat/latitude and lon/longitude columns. Rows with unreadable numbers are skipped.
bool readReported(const std::filesystem::path& csv, Tracks& tracks, std::string& error);

// The SVG text of the tracks, fitted into width x height pixels.
std::string renderSvg(const Tracks& tracks, int width = 1000, int height = 800);

// Reads the trace (and the reported CSV when not empty) and writes the SVG file.
bool writeSvg(const std::filesystem::path& trace, const std::filesystem::path& reported,
              const std::filesystem::path& svg, std::string& error);

}  // namespace amb::tracemap
