// A second sender replays the recording's opening snapshot, four minutes old, with fresh times into
// a running engine: the aircraft in the air keep flying their own reported tracks.
// The first five minutes of the JFK recording run through the real feed and engine in virtual time.

#include "core/geometry.hpp"
#include "enginesim/habits.hpp"
#include "enginesim/harness.hpp"
#include "support/test_support.hpp"
#include "traffic/engine.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>
#include <set>
#include <memory>
#include <vector>

namespace amb {
namespace {

using enginesim::EngineHarness;
using enginesim::RecordedLine;

constexpr std::int32_t kResendCycle = 23000;
constexpr std::int32_t kDelay = 3000;         // the engine flies a record 30 s after it came
constexpr std::int32_t kWatchEnd = kResendCycle + kDelay + 4000;
constexpr double kFieldFeet = 13;
constexpr double kNmMetres = 1852;

struct Fix {
  double time, latitude, longitude, track;
};

// Metres from a point to the nearest point of a reported track (a single fix or the segments
// between fixes), on a local plane around the point.
double lf_metresToTrack(double lat, double lon, const std::vector<Fix>& track) {
  constexpr double m = 111132.95;
  const double k = std::cos(lat * kDegToRad);
  const auto north = [&](const Fix& f) { return (f.latitude - lat) * m; };
  const auto east = [&](const Fix& f) { return (f.longitude - lon) * m * k; };
  double best = track.size() == 1 ? std::hypot(north(track[0]), east(track[0])) : 1e12;
  for (std::size_t i = 0; i + 1 < track.size(); ++i) {
    const double an = north(track[i]), ae = east(track[i]);
    const double dn = north(track[i + 1]) - an, de = east(track[i + 1]) - ae, len2 = dn * dn + de * de;
    const double t = len2 > 0 ? std::clamp(-(an * dn + ae * de) / len2, 0.0, 1.0) : 0;
    best = std::min(best, std::hypot(an + t * dn, ae + t * de));
  }
  return best;
}

class ResentSnapshot : public ::testing::Test {
protected:
  // The worst distance off its reported track of every aircraft in the air while the engine flies
  // the re-send's time, by hexid: the recording alone, or with the snapshot sent again.
  static std::map<std::uint32_t, double> worstOffTrack(bool resend) {
    const auto recording = test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz");
    test::TempDir folder("engine-resend");
    enginesim::HarnessOptions options;
    options.programFolder = folder.path();
    EngineHarness h(options);

    const std::vector<RecordedLine> lines = enginesim::readRecording(recording);
    const double t0 = lines.front().timestamp;
    // Every hexid's reported track; the lines of the opening snapshot, stamped as if sent at the
    // cycle of the re-send.
    std::map<std::uint32_t, std::vector<Fix>> tracks;
    std::vector<RecordedLine> snapshot;
    for (const RecordedLine& line : lines) {
      tracks[line.hexid].push_back({line.timestamp, std::stod(enginesim::lineField(line.text, 2)),
                                    std::stod(enginesim::lineField(line.text, 3)),
                                    std::stod(enginesim::lineField(line.text, 7))});
      if (line.timestamp < t0 + 1)
        snapshot.push_back(enginesim::restamped(line, line.timestamp + kResendCycle / 100.0));
    }
    // A stale position that lies on along its own track from where the aircraft was last reported
    // before the re-send is a position the aircraft could have gone on to: it is taken, and flown.
    for (const RecordedLine& line : snapshot) {
      const auto& track = tracks[line.hexid];
      const Fix* last = nullptr;
      for (const Fix& f : track)
        if (f.time <= t0 + kResendCycle / 100.0) last = &f;
      const Fix& stale = track.front();
      if (last == nullptr || gf_distanceNm({last->latitude, last->longitude}, {stale.latitude, stale.longitude}) < 0.05)
        continue;
      const double course = gf_bearingRad({last->latitude, last->longitude}, {stale.latitude, stale.longitude});
      if (std::fabs(gf_angleDiff(course, stale.track * kDegToRad)) <= 45 * kDegToRad) s_alongTrack.insert(line.hexid);
    }
    s_snapshotLines = snapshot.size();
    h.schedule(lines);
    if (resend) h.schedule(snapshot, kResendCycle);

    std::map<std::uint32_t, double> worst;
    h.sim().onPosition = [&](std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b) {
      if (cycle < kResendCycle || cycle >= kWatchEnd) return;
      const LiveAc* ac = lf_findLiveByObjectId(o.id);
      // In the air, flying reported positions (not the synthetic legs after a stream's end).
      if (ac == nullptr || ac->phase != GroundPhase::Airborne || b.altitude < kFieldFeet + 200 ||
          ac->extensionCount > 0 || ac->waiting != 0)
        return;
      const auto track = tracks.find(o.hexid);
      if (track == tracks.end()) return;
      // The reported positions around the feed time the engine flies now.
      const double now = t0 + (cycle - kDelay) / 100.0;
      std::vector<Fix> near;
      for (const Fix& f : track->second)
        if (f.time >= now - 90 && f.time <= now + 60) near.push_back(f);
      if (near.empty()) return;
      double& w = worst[o.hexid];
      w = std::max(w, lf_metresToTrack(b.latitude, b.longitude, near));
    };
    h.run(kWatchEnd);
    h.sim().onPosition = nullptr;
    return worst;
  }
  static void SetUpTestSuite() {
    enginesim::loadDataBase(test::testData("reference/faa-aircraft-characteristics.csv.gz"),
                            test::testData("traffic/KJFK_20190305_2130Z.rttfc.gz"));
    s_alone = worstOffTrack(false);
    s_worst = worstOffTrack(true);
  }
  static void TearDownTestSuite() {
    s_worst.clear();
    s_alone.clear();
  }

  static inline std::map<std::uint32_t, double> s_worst;  // metres off the track, by hexid
  static inline std::map<std::uint32_t, double> s_alone;  // the same without the re-send
  static inline std::size_t s_snapshotLines = 0;
  static inline std::set<std::uint32_t> s_alongTrack;  // stale positions on along their own track
};

// No aircraft in the air strays more than a mile from its reported track for the stale snapshot:
// within a mile, or (where the recording's own records send it round wider arcs than that) no
// farther than without the re-send. A stale position that lies on along its own track from where the
// aircraft is is taken as the aircraft's, as any such record is: those few are left out.
TEST_F(ResentSnapshot, EveryAircraftInTheAirStaysWithinOneMileOfItsReportedTrack) {
  ASSERT_GT(s_snapshotLines, 250u);
  // Most of the recording's airborne traffic is watched.
  EXPECT_GT(s_worst.size(), 60u);
  std::size_t off = 0;
  double largest = 0;
  EXPECT_LT(s_alongTrack.size(), s_snapshotLines / 20);
  for (const auto& [hexid, metres] : s_worst) {
    if (s_alongTrack.count(hexid) != 0) continue;
    const auto alone = s_alone.find(hexid);
    const double bound = std::max(kNmMetres, alone == s_alone.end() ? 0.0 : alone->second + 100);
    off += metres > bound ? 1 : 0;
    largest = std::max(largest, metres);
    EXPECT_LE(metres, bound) << "hexid " << hexid;
  }
  RecordProperty("summary", fmt::format("more than 1 nm off (or off farther than without the re-send): {} of {}, "
                                        "the largest {:.2f} nm", off, s_worst.size(), largest / kNmMetres));
  EXPECT_EQ(off, 0u);
}

}  // namespace
}  // namespace amb
