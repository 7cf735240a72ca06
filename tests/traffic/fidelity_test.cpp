// The replay's fidelity figures on a made-up track whose answers are known: an object that flies the
// reported track 50 m to its left and 2 s behind the engine's delay.

#include "core/geometry.hpp"
#include "enginesim/fidelity.hpp"

#include <gtest/gtest.h>

#include <cmath>

namespace amb {
namespace {

constexpr double kLat = 40.0, kLon = -74.0;
constexpr double kMetresPerDegree = 111132.95;
constexpr double kSpeed = 100;  // metres per second, due east

double lonAt(double seconds) { return kLon + kSpeed * seconds / (kMetresPerDegree * std::cos(kLat * kDegToRad)); }

TEST(Fidelity, FiguresOfATrackFlownBesideAndBehindTheReportedOne) {
  enginesim::FidelityRecorder recorder;
  constexpr std::uint32_t hexid = 4000001;
  // A report every 10 s (1000 cycles) from cycle 0 to 10000.
  for (int k = 0; k <= 10; ++k) {
    recorder.reported(hexid, 1000 * k, kLat, lonAt(10.0 * k), true);
    // Neither a repeat of the last position nor a ground position says where it is in the air.
    if (k == 3) recorder.reported(hexid, 3500, kLat, lonAt(30), true);
    if (k == 5) recorder.reported(hexid, 5500, kLat + 0.01, lonAt(50), false);
  }
  // Flown from cycle 3200 to 13200: the reported position of 32 s before, 50 m to the north.
  const double north = 50 / kMetresPerDegree;
  for (std::int32_t c = 3200; c <= 13200; ++c) {
    AiPosBlock b;
    b.latitude = kLat + north;
    b.longitude = lonAt((c - 3200) / 100.0);
    b.altitude = 5000;
    recorder.flown(c, 900, hexid, b);
  }
  const enginesim::FidelityFigures f = recorder.figures();
  SCOPED_TRACE(enginesim::FidelityRecorder::describe(f));
  // The first report falls due (cycle 3000) before the object exists.
  EXPECT_EQ(f.positions, 10u);
  EXPECT_NEAR(f.medianLateSeconds, 2.0, 0.01);
  EXPECT_NEAR(f.meanLateSeconds, 2.0, 0.01);
  EXPECT_DOUBLE_EQ(f.fittedDelaySeconds, 32.0);
  // At the due time it is 200 m behind and 50 m beside the position.
  EXPECT_EQ(f.atDue, 10u);
  EXPECT_NEAR(f.medianDistanceAtDueMetres, std::hypot(200.0, 50.0), 0.5);
  EXPECT_NEAR(f.p95DistanceAtDueMetres, std::hypot(200.0, 50.0), 0.5);
  EXPECT_GT(f.crossTrackPoints, 100u);
  EXPECT_NEAR(f.medianCrossTrackMetres, 50.0, 0.5);
  EXPECT_NEAR(f.p95CrossTrackMetres, 50.0, 0.5);
}

TEST(Fidelity, APositionTheObjectNeverCameNearDoesNotCount) {
  enginesim::FidelityRecorder recorder;
  recorder.reported(7, 0, kLat, kLon, true);
  recorder.reported(7, 1000, kLat, lonAt(10), true);
  for (std::int32_t c = 2500; c <= 5000; c += 10) {
    AiPosBlock b;
    b.latitude = kLat + 0.05;  // 5.6 km to the north
    b.longitude = lonAt((c - 3000) / 100.0);
    b.altitude = 5000;
    recorder.flown(c, 901, 7, b);
  }
  const enginesim::FidelityFigures f = recorder.figures();
  EXPECT_EQ(f.positions, 0u);
  EXPECT_EQ(f.atDue, 2u);
}

}  // namespace
}  // namespace amb

namespace amb {
namespace {

// Across a silence of the feed of more than a minute the object flies synthetic legs: no reported
// track lies there, and the points flown then are no cross-track distance. Reports every 10 s from
// cycle 0 to 5000 and from 15000 to 20000, 100 s apart between; the object flies 30 s behind them,
// 20 m beside the track, but 1 km off it in the silence.
TEST(Fidelity, ASilenceOfTheFeedIsNoCrossTrack) {
  enginesim::FidelityRecorder recorder;
  constexpr std::uint32_t hexid = 4000002;
  for (int k = 0; k <= 20; ++k)
    if (k <= 5 || k >= 15) recorder.reported(hexid, 1000 * k, kLat, lonAt(10.0 * k), true);
  for (std::int32_t c = 3000; c <= 23000; ++c) {
    const bool silence = c > 3000 + 5000 && c < 3000 + 15000;
    AiPosBlock b;
    b.latitude = kLat + (silence ? 1000.0 : 20.0) / kMetresPerDegree;
    b.longitude = lonAt((c - 3000) / 100.0);
    b.altitude = 5000;
    recorder.flown(c, 902, hexid, b);
  }
  const enginesim::FidelityFigures f = recorder.figures();
  SCOPED_TRACE(enginesim::FidelityRecorder::describe(f));
  EXPECT_GT(f.crossTrackPoints, 100u);
  EXPECT_NEAR(f.p95CrossTrackMetres, 20.0, 0.5);
}

}  // namespace
}  // namespace amb
