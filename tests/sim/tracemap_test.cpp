// g++ 12 reports a false "may be used uninitialized" inside <regex> when it optimises with the
// sanitizers on; the warning concerns the library's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// The map tool: label placement, thinning, reading traces, runways and stands, and the drawn map.

#include "support/test_support.hpp"
#include "tools/tracemap/tracemap.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <regex>

namespace amb::test {
namespace {

using tracemap::Box;
using tracemap::LabelRequest;
using tracemap::Phase;
using tracemap::Px;

const Box kBounds{0, 0, 400, 300};

TEST(TraceMapLabels, ALabelTakesTheFirstFreeSpotBesideItsAnchors) {
  // Three labels at one anchor: right, then left, then above; a fourth goes below, a fifth nowhere.
  const LabelRequest at100{40, 10, {{100, 100}}};
  const auto placed = tracemap::placeLabels({at100, at100, at100, at100, at100}, kBounds);
  ASSERT_EQ(placed.size(), 5u);
  ASSERT_TRUE(placed[0] && placed[1] && placed[2] && placed[3]);
  EXPECT_DOUBLE_EQ(placed[0]->x0, 104);
  EXPECT_DOUBLE_EQ(placed[1]->x1, 96);
  EXPECT_DOUBLE_EQ(placed[2]->y1, 94);
  EXPECT_DOUBLE_EQ(placed[3]->y0, 106);
  EXPECT_FALSE(placed[4]) << "a label with no free spot is dropped, not piled on";
  for (std::size_t i = 0; i < 4; ++i)
    for (std::size_t k = i + 1; k < 4; ++k) EXPECT_FALSE(placed[i]->overlaps(*placed[k])) << i << " " << k;

  // Blocked at its first anchor, a label moves on to its next; a taken box counts as a label.
  const auto moved = tracemap::placeLabels({{40, 10, {{100, 100}, {300, 200}}}}, kBounds, {{0, 0, 400, 150}});
  ASSERT_TRUE(moved[0]);
  EXPECT_GT(moved[0]->y0, 150);
  EXPECT_NEAR((moved[0]->y0 + moved[0]->y1) / 2, 200, 1e-9);
}

TEST(TraceMapLabels, LabelsStayInsideTheBounds) {
  // At the right edge only the left spot fits; in a corner too small for the text, nothing does.
  const auto edge = tracemap::placeLabels({{40, 10, {{398, 150}}}}, kBounds);
  ASSERT_TRUE(edge[0]);
  EXPECT_LE(edge[0]->x1, 400);
  EXPECT_TRUE(edge[0]->inside(kBounds));
  EXPECT_FALSE(tracemap::placeLabels({{500, 10, {{200, 150}}}}, kBounds)[0]);
  EXPECT_FALSE(tracemap::placeLabels({{40, 10, {}}}, kBounds)[0]) << "no anchor, no label";
}

TEST(TraceMapThinning, KeepsWhatTheEyeSeesAndDropsTheRest) {
  std::vector<Px> straight;
  for (int i = 0; i <= 100; ++i) straight.push_back({i * 1.0, i * 0.5});
  const auto line = tracemap::thin(straight, 0.5);
  ASSERT_EQ(line.size(), 2u);
  EXPECT_DOUBLE_EQ(line.back().x, 100);

  // A corner far beyond the tolerance stays; wobbles within it go; repeated points count once.
  std::vector<Px> corner{{0, 0}, {10, 0.2}, {20, 0}, {20, 0}, {20, 10}, {20.3, 20}, {20, 30}};
  const auto kept = tracemap::thin(corner, 0.5);
  ASSERT_EQ(kept.size(), 3u);
  EXPECT_DOUBLE_EQ(kept[1].x, 20);
  EXPECT_DOUBLE_EQ(kept[1].y, 0);

  // A circuit back to its start keeps its far side rather than collapsing to a dot.
  const auto loop = tracemap::thin({{0, 0}, {50, 0}, {50, 50}, {0, 50}, {0, 0}}, 0.5);
  EXPECT_EQ(loop.size(), 5u);
  EXPECT_EQ(tracemap::thin({{1, 1}, {1, 1}}, 0.5).size(), 1u);
}

constexpr const char* kHeader = "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail\n";

TEST(TraceMapReading, PhasesAndCallsignsComeFromTheTrace) {
  TempDir dir("amb-map");
  // 3 lands: descends from 5000 ft, touches down, rolls on. 4 pushes back (moves south, nose north),
  // then taxis north. 5 takes off and climbs. 6 cruises level below 4000 ft.
  writeFile(dir / "trace.csv",
            std::string(kHeader) +
                "0.1,3,created,40.500,-73.700,5000,0,0,90,0,\"Airbus A320, \"\"Lufthansa\"\"|DLH4AB\"\n"
                "1.0,3,position,40.520,-73.700,3500,0,0,90,0,def 402\n"
                "2.0,3,position,40.540,-73.700,1500,0,0,90,0,def 402\n"
                "3.0,3,position,40.560,-73.700,13,0,0,90,1,def 402\n"
                "4.0,3,position,40.561,-73.700,13,0,0,90,1,def 402\n"
                "0.1,4,added,40.6400,-73.780,13,0,0,0,1,Boeing 737|UAL9\n"
                "1.0,4,position,40.6399,-73.780,13,0,0,0,1,def 402\n"
                "2.0,4,position,40.6398,-73.780,13,0,0,0,1,def 402\n"
                "3.0,4,position,40.6399,-73.780,13,0,0,0,1,def 402\n"
                "4.0,4,position,40.6401,-73.780,13,0,0,0,1,def 402\n"
                "9.0,4,removed,40.6401,-73.780,13,0,0,0,1,\n"
                "0.1,5,created,40.600,-73.800,13,0,0,0,1,Boeing 777|\n"
                "1.0,5,position,40.610,-73.800,800,0,0,0,0,def 402\n"
                "2.0,5,position,40.620,-73.800,2500,0,0,0,0,def 402\n"
                "0.1,6,created,40.700,-73.900,3000,0,0,0,0,Dash 8|JBU7\n"
                "1.0,6,position,40.710,-73.900,3000,0,0,0,0,def 402\n"
                "1.5,6,event,40.710,-73.900,3000,0,0,0,0,SPOILERS_SET=0\n"
                "garbage line\n");
  tracemap::Tracks tracks;
  std::string error;
  ASSERT_TRUE(tracemap::readTrace(dir / "trace.csv", tracks, error)) << error;
  ASSERT_EQ(tracks.flown.size(), 4u);
  const auto phases = [&](const std::string& id) {
    std::vector<Phase> out;
    for (const auto& p : tracks.flown.at(id).points) out.push_back(p.phase);
    return out;
  };
  EXPECT_EQ(tracks.flown.at("3").label, "DLH4AB");
  EXPECT_EQ(phases("3"), (std::vector<Phase>{Phase::Air, Phase::Approach, Phase::Approach, Phase::Ground, Phase::Ground}));
  EXPECT_EQ(tracks.flown.at("4").label, "UAL9");
  EXPECT_EQ(phases("4"), (std::vector<Phase>{Phase::Ground, Phase::Pushback, Phase::Pushback, Phase::Ground,
                                             Phase::Ground, Phase::Ground}));
  EXPECT_TRUE(tracks.flown.at("4").removed);
  EXPECT_EQ(tracks.flown.at("5").label, "5") << "no callsign: the object's id";
  EXPECT_EQ(phases("5"), (std::vector<Phase>{Phase::Ground, Phase::Air, Phase::Air}));
  EXPECT_EQ(phases("6"), (std::vector<Phase>{Phase::Air, Phase::Air})) << "level flight is no approach; events add no point";

  writeFile(dir / "other.csv", "a,b,c\n1,2,3\n");
  EXPECT_FALSE(tracemap::readTrace(dir / "other.csv", tracks, error));
  EXPECT_NE(error.find("is not a trace"), std::string::npos);
  EXPECT_FALSE(tracemap::readTrace(dir / "missing.csv", tracks, error));
}

TEST(TraceMapReading, RunwaysFromTheRealRunwayFileAndStandsFromEveryKindOfFile) {
  tracemap::Tracks tracks;
  std::string error;
  ASSERT_TRUE(tracemap::readRunways(testData("reference/ourairports-runways.csv.gz"), tracks, error)) << error;
  std::vector<tracemap::Runway> jfk;
  for (const auto& r : tracks.runways)
    if (r.airport == "KJFK") jfk.push_back(r);
  ASSERT_EQ(jfk.size(), 4u);
  const auto r04L = std::find_if(jfk.begin(), jfk.end(), [](const auto& r) { return r.ends[0] == "04L"; });
  ASSERT_NE(r04L, jfk.end());
  EXPECT_EQ(r04L->ends[1], "22R");
  EXPECT_NEAR(r04L->a.lat, 40.622002, 1e-9);
  EXPECT_NEAR(r04L->b.lon, -73.764702, 1e-9);
  EXPECT_EQ(r04L->widthFt, 200);

  TempDir dir("amb-map");
  writeFile(dir / "runways.csv",
            "\"id\",\"airport_ident\",\"length_ft\",\"width_ft\",\"closed\",\"le_ident\",\"le_latitude_deg\","
            "\"le_longitude_deg\",\"he_ident\",\"he_latitude_deg\",\"he_longitude_deg\"\n"
            "1,\"XA\",5000,150,0,\"09\",10.0,20.0,\"27\",10.0,20.1\n"
            "2,\"XA\",5000,150,1,\"18\",10.0,20.0,\"36\",10.1,20.0\n"
            "3,\"XA\",5000,150,0,\"N\",,,\"S\",,\n");
  tracemap::Tracks few;
  ASSERT_TRUE(tracemap::readRunways(dir / "runways.csv", few, error)) << error;
  ASSERT_EQ(few.runways.size(), 1u) << "closed runways and runways without ends are left out";
  writeFile(dir / "not-runways.csv", "a,b\n1,2\n");
  EXPECT_FALSE(tracemap::readRunways(dir / "not-runways.csv", few, error));

  // The program's own airport file (several top-level elements), a ground network, a CSV.
  writeFile(dir / "KJFK.xml",
            "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"x\" /></meta>\n<parameters />\n"
            "<parkpositions>\n\t<parkpos id=\"A3\" latitude=\"51.470000\" longitude=\"-0.454000\" heading=\"28.6\" "
            "radius=\"20.0\" cargo=\"false\" ramp=\"false\" />\n\t<parkpos id=\"nowhere\" latitude=\"0\" longitude=\"0\" "
            "/>\n</parkpositions>\n");
  tracemap::Tracks stands;
  ASSERT_TRUE(tracemap::readStands(dir / "KJFK.xml", stands, error)) << error;
  ASSERT_EQ(stands.marks.size(), 1u);
  EXPECT_EQ(stands.marks[0].label, "A3");
  EXPECT_DOUBLE_EQ(stands.marks[0].headingDeg, 28.6);
  EXPECT_DOUBLE_EQ(stands.marks[0].radiusMetres, 20);

  stands.marks.clear();
  ASSERT_TRUE(tracemap::readStands(testData("airports/KJFK.parking.xml"), stands, error)) << error;
  ASSERT_EQ(stands.marks.size(), 231u);
  EXPECT_EQ(stands.marks[0].label, "CargoA-213-9");
  EXPECT_NEAR(stands.marks[0].at.lat, 40 + 39.240 / 60, 1e-9);
  EXPECT_NEAR(stands.marks[0].at.lon, -(73 + 48.747 / 60), 1e-9);
  EXPECT_DOUBLE_EQ(stands.marks[0].radiusMetres, 26);

  stands.marks.clear();
  writeFile(dir / "stands.csv", "name,lat,lon,heading\nB1,40.64,-73.78,90\nB2,bad,-73.78,90\n");
  ASSERT_TRUE(tracemap::readStands(dir / "stands.csv", stands, error)) << error;
  ASSERT_EQ(stands.marks.size(), 1u);
  EXPECT_DOUBLE_EQ(stands.marks[0].headingDeg, 90);
  writeFile(dir / "other.xml", "<airports><airport code=\"KJFK\" /></airports>");
  EXPECT_FALSE(tracemap::readStands(dir / "other.xml", stands, error));
  EXPECT_NE(error.find("parkpositions"), std::string::npos);
}

// The label boxes of a drawn map: every white rectangle right before a text.
std::vector<Box> labelBoxes(const std::string& svg) {
  static const std::regex box(
      R"re(<rect x="([-0-9.]+)" y="([-0-9.]+)" width="([0-9.]+)" height="([0-9.]+)" fill="#fff" fill-opacity="0.8"/><text)re");
  std::vector<Box> out;
  for (std::sregex_iterator it(svg.begin(), svg.end(), box), end; it != end; ++it) {
    const double x = std::stod((*it)[1]), y = std::stod((*it)[2]);
    out.push_back({x, y, x + std::stod((*it)[3]), y + std::stod((*it)[4])});
  }
  return out;
}

std::size_t count(const std::string& text, const std::string& what) {
  std::size_t n = 0;
  for (std::size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

TEST(TraceMapDrawing, ACrowdOfTracksGetsOneLabelEachAtMostAndNoneOverlap) {
  // Sixty arrivals from every side into one airport, long and densely sampled.
  tracemap::Tracks tracks;
  for (int k = 0; k < 60; ++k) {
    tracemap::Track& t = tracks.flown[std::to_string(100 + k)];
    t.label = "CALLSIGN" + std::to_string(k);
    const double angle = k * 6.0 * 3.14159265 / 180;
    for (int i = 0; i <= 2000; ++i) {
      const double f = 1 - i / 2000.0;
      t.points.push_back({40.64 + 0.5 * f * std::cos(angle), -73.78 + 0.66 * f * std::sin(angle),
                          i < 1900 ? Phase::Air : Phase::Ground});
    }
  }
  tracemap::MapOptions options;
  options.title = "crowd";
  const std::string svg = tracemap::renderSvg(tracks, options);
  const auto boxes = labelBoxes(svg);
  ASSERT_GT(boxes.size(), 30u);
  for (std::size_t i = 0; i < boxes.size(); ++i)
    for (std::size_t k = i + 1; k < boxes.size(); ++k)
      ASSERT_FALSE(boxes[i].overlaps(boxes[k])) << "labels " << i << " and " << k << " overlap";
  // The main map and the inset label each track at most once each.
  for (int k = 0; k < 60; ++k) EXPECT_LE(count(svg, ">CALLSIGN" + std::to_string(k) + "<"), 2u) << k;
  EXPECT_NE(svg.find("The airport's ground movement"), std::string::npos) << "ground movement gets its inset";
  EXPECT_NE(svg.find("flown, pushed back"), std::string::npos) << "the legend";
  // 120 000 points thinned to what the eye sees: straight lines need two points per phase.
  EXPECT_LT(svg.size(), 200'000u);
}

TEST(TraceMapDrawing, AircraftStandingStillAreDrawnAtTheirPlace) {
  TempDir dir("amb-map");
  // 7 is created at a stand and never moves (a static parked aircraft); 8 moves 30 m on the ground.
  writeFile(dir / "trace.csv", std::string(kHeader) +
                                   "0.1,7,created,40.6400,-73.7800,13,0,0,120,1,Boeing 737|DAL12*\n"
                                   "9.0,7,removed,40.6400,-73.7800,13,0,0,120,1,\n"
                                   "0.1,8,created,40.6410,-73.7800,13,0,0,0,1,Boeing 737|UAL3\n"
                                   "1.0,8,position,40.64127,-73.7800,13,0,0,0,1,def 402\n");
  tracemap::Tracks tracks;
  std::string error;
  ASSERT_TRUE(tracemap::readTrace(dir / "trace.csv", tracks, error)) << error;
  EXPECT_TRUE(tracemap::standsStill(tracks.flown.at("7")));
  EXPECT_FALSE(tracemap::standsStill(tracks.flown.at("8")));
  EXPECT_EQ(tracks.flown.at("7").headingDeg, 120);
  tracemap::MapOptions options;
  options.drawInset = false;
  const std::string svg = tracemap::renderSvg(tracks, options);
  EXPECT_EQ(count(svg, "<path class=\"parked\" transform=\"translate("), 2u) << "the aircraft and its legend";
  EXPECT_NE(svg.find("rotate(120)"), std::string::npos);
  EXPECT_EQ(count(svg, ">DAL12*<"), 0u) << "a parked aircraft carries no track label";
  EXPECT_NE(svg.find("parked, standing where it was created"), std::string::npos);
}

TEST(TraceMapDrawing, TheScaleBarIsTrueToTheMap) {
  // Ten nautical miles east-west on the equator fill the 1000 px map less its margins: 95.2 px per nm,
  // so the longest round length up to 160 px is 1 nm, drawn as two halves of 47.6 px.
  tracemap::Tracks tracks;
  tracks.flown["1"].points = {{0, 0}, {0, 10.0 / 60}};
  const std::string svg = tracemap::renderSvg(tracks, 1000, 800);
  EXPECT_NE(svg.find("width=\"47.6\" height=\"5\" fill=\"#222\""), std::string::npos);
  EXPECT_NE(svg.find(">1 nm</text>"), std::string::npos);
  EXPECT_EQ(svg.find("ground movement"), std::string::npos) << "no ground movement, no inset";

  // A small area is measured in metres.
  tracks.flown["1"].points = {{0, 0}, {0, 0.5 / 60}};
  EXPECT_NE(tracemap::renderSvg(tracks, 1000, 800).find(">100 m</text>"), std::string::npos);
}

TEST(TraceMapDrawing, TheDoublesMapFileFromItsTrace) {
  TempDir dir("amb-map");
  writeFile(dir / "trace.csv", std::string(kHeader) + "0.1,3,created,40.6413,-73.7781,13,0,0,90,1,A320|DLH4AB\n"
                                                      "0.2,3,position,40.6420,-73.7770,13,0,0,90,1,def 402\n");
  writeFile(dir / "reported.csv", "hexid,callsign,lat,lon\n4000001,DLH4AB,40.6412,-73.7782\n4000001,DLH4AB,nan,-73.7\n");
  std::string error;
  ASSERT_TRUE(tracemap::writeSvg(dir / "trace.csv", dir / "reported.csv", dir / "map.svg", error)) << error;
  const std::string svg = readFile(dir / "map.svg");
  EXPECT_EQ(svg.rfind("<svg xmlns=\"http://www.w3.org/2000/svg\"", 0), 0u);
  EXPECT_EQ(count(svg, "class=\"rep\" points="), 1u);
  EXPECT_NE(svg.find(">DLH4AB</text>"), std::string::npos);
  EXPECT_NE(svg.find("1 flown track, 1 labelled; 1 reported"), std::string::npos);
  EXPECT_FALSE(tracemap::writeSvg(dir / "trace.csv", {}, dir / "no-such-folder" / "map.svg", error));
}

}  // namespace
}  // namespace amb::test
