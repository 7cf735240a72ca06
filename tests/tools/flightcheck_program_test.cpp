// The flight check program on a run's trace: a recording of one aircraft flying east and the double's
// trace of its object flying the same line 31 s later, once with the nose 90 deg off for 12 s.

#include "core/geometry.hpp"
#include "support/test_support.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#ifndef _WIN32
#include <sys/wait.h>
#endif

namespace {

constexpr double kStartTimestamp = 1551821332.89;
constexpr double kKt = 200;
constexpr double kDelay = 31;

amb::LatLon lf_at(double seconds) {
  return amb::gf_destinationPoint({40.70, -73.90}, amb::kPi / 2, kKt * seconds / 3600 * amb::kFeetPerNm);
}

// Reported every 5 s for 120 s at 3000 ft; the fields the feed reads, as a recorded line has them.
void lf_writeRecording(const std::filesystem::path& file) {
  std::ofstream out(file);
  for (int t = 0; t <= 120; t += 5) {
    const amb::LatLon p = lf_at(t);
    out << fmt::format("RTTFC,531900001,{:.5f},{:.5f},3000,0,0,90,{:.0f},TST1,A320,N1TS,JFK,BOS,{:.2f},X2,,adsb_icao,"
                       "3000,-1,-1,-1,-1,-1,-1,-1,90,none,A3,-1,-1,-1,-1,,0,-1,-1,-1,-1,-1,1,0,\n",
                       p.lat, p.lon, kKt, kStartTimestamp + t);
  }
}

// The object flies the reported line kDelay seconds later, a point every 0.1 s; its nose points
// south from `offFrom` to `offTo` seconds of the reported clock.
void lf_writeTrace(const std::filesystem::path& file, double offFrom, double offTo) {
  std::ofstream out(file);
  out << "time_s,object_id,what,lat,lon,alt_ft,pitch_deg,bank_deg,heading_deg,on_ground,detail\n";
  out << fmt::format("{:.3f},3,created,{:.7f},{:.7f},3000.0,0.00,0.00,90.00,0,Ambertrail AI A320 TST|TST1\n", kDelay,
                     lf_at(0).lat, lf_at(0).lon);
  for (int i = 0; i <= 1200; ++i) {
    const double t = i / 10.0;
    const amb::LatLon p = lf_at(t);
    const double heading = t >= offFrom && t <= offTo ? 180 : 90;
    out << fmt::format("{:.3f},3,position,{:.7f},{:.7f},3000.0,0.00,0.00,{:.2f},0,def 400\n", t + kDelay, p.lat, p.lon,
                       heading);
  }
}

struct ProgramRun {
  int exitCode = -1;
  std::string output;
};

ProgramRun lf_run(const amb::test::TempDir& dir, const std::string& arguments) {
  const std::filesystem::path program = std::filesystem::path(AMB_BINARY_DIR) / "tools/flightcheck/amb_flightcheck";
  const std::filesystem::path output = dir / "output.txt";
  const std::string command = fmt::format("'{}' {} > '{}' 2>&1", program.string(), arguments, output.string());
  ProgramRun run;
#ifndef _WIN32
  const int status = std::system(command.c_str());
  run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
  std::ifstream in(output);
  std::stringstream text;
  text << in.rdbuf();
  run.output = text.str();
  return run;
}

TEST(FlightCheckProgram, ChecksTheBoundsOnARunsTrace) {
#ifdef _WIN32
  GTEST_SKIP() << "the program is run as a process in the Linux build";
#endif
  amb::test::TempDir dir("amb-flightcheck");
  lf_writeRecording(dir / "recording.rttfc");
  lf_writeTrace(dir / "off.csv", 40, 52);
  lf_writeTrace(dir / "clean.csv", 1000, 1000);
  const std::string recording = fmt::format("--recording '{}'", (dir / "recording.rttfc").string());

  const ProgramRun off = lf_run(dir, fmt::format("--check --trace '{}' {}", (dir / "off.csv").string(), recording));
  EXPECT_EQ(off.exitCode, 1) << off.output;
  EXPECT_NE(off.output.find("1 objects, 1 of them matched"), std::string::npos) << off.output;
  EXPECT_NE(off.output.find("flown = reported + 31.0 s"), std::string::npos) << off.output;
  EXPECT_NE(off.output.find("aircraft off the nose at all: 1, more than 10 s: 1"), std::string::npos) << off.output;
  EXPECT_NE(off.output.find("TST1 (531900001)"), std::string::npos) << off.output;

  const ProgramRun clean = lf_run(dir, fmt::format("--check --quiet --trace '{}' {}", (dir / "clean.csv").string(), recording));
  EXPECT_EQ(clean.exitCode, 0) << clean.output;
  EXPECT_NE(clean.output.find("of 120.0 s (0.00 %)"), std::string::npos) << clean.output;
  EXPECT_NE(clean.output.find("bounds: all hold"), std::string::npos) << clean.output;

  // A file that is no trace is an error of its own.
  const ProgramRun wrong = lf_run(dir, fmt::format("--check --trace '{}' {}", (dir / "recording.rttfc").string(), recording));
  EXPECT_EQ(wrong.exitCode, 3) << wrong.output;
  EXPECT_NE(wrong.output.find("not a simulator trace"), std::string::npos) << wrong.output;
}

}  // namespace
