#include "enginesim/ground_watch.hpp"

#include "core/geometry.hpp"
#include "tracemap/tracemap.hpp"
#include "traffic/engine.hpp"

#include <fmt/format.h>

#include <algorithm>

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

namespace amb::enginesim {

void GroundWatch::attach(FakeSim& sim) {
  sim.onPosition = [this](std::int32_t cycle, const SimObject& o, const AiPosBlock& b) {
    WatchedBlock w;
    w.cycle = cycle;
    w.block = b;
    if (const LiveAc* ac = lf_findLiveByObjectId(o.id)) {
      w.phase = ac->phase;
      w.onGround = ac->movesOnGround != 0 || (ac->phase == GroundPhase::TakeOffRoll && ac->stepCounter > 0);
      w.turnPerCycle = ac->turnPerCycle();
      w.standId = ac->standId;
      w.landed = ac->arrivedByLanding != 0;
      Front& front = m_fronts[o.id];
      if (!ac->situations.empty()) {
        const Situation& f = ac->situations.front();
        if (f.due != front.due) {
          front.legStartSpeed = front.speed;
          front.legImpliedSpeed =
              front.due >= 0 && f.due > front.due
                  ? gf_distanceNm({front.latitude, front.longitude}, {f.latitude, f.longitude}) * 360000.0 /
                        (f.due - front.due)
                  : 0.0;
          front.due = f.due;
          front.speed = f.speed;
          front.latitude = f.latitude;
          front.longitude = f.longitude;
        }
      }
      w.reportedStanding = std::all_of(ac->situations.begin(), ac->situations.end(),
                                       [](const Situation& x) { return x.speed == 0; });
      w.legSpeedKt =
          std::max({front.legStartSpeed, front.speed, front.legImpliedSpeed, std::fabs(b.trueAirspeed)});
      if (callsigns.find(o.id) == callsigns.end()) callsigns[o.id] = ac->callsign;
    }
    blocks[o.id].push_back(w);
  };
}

namespace {

constexpr double kMetresPerKnotCycle = 1852.0 / 360000.0;  // metres one knot covers in a cycle

double lf_metres(const AiPosBlock& a, const AiPosBlock& b) {
  return gf_distanceNm({a.latitude, a.longitude}, {b.latitude, b.longitude}) * 1852.0;
}

}  // namespace

PairReport checkGroundPairs(const GroundWatch& watch, double speedFactor, double maxSlideDeg) {
  PairReport report;
  for (const auto& [id, list] : watch.blocks) {
    const auto name = [&, id = id] {
      auto it = watch.callsigns.find(id);
      return it == watch.callsigns.end() ? std::to_string(id) : it->second;
    };
    for (std::size_t i = 1; i < list.size(); ++i) {
      const WatchedBlock& a = list[i - 1];
      const WatchedBlock& b = list[i];
      if (!a.onGround || !b.onGround || b.cycle <= a.cycle) continue;
      ++report.pairs;
      const int cycles = b.cycle - a.cycle;
      const double d = lf_metres(a.block, b.block);
      const double speed = std::max({a.legSpeedKt, b.legSpeedKt, 1.0});
      const double allowed = speed * kMetresPerKnotCycle * cycles;
      report.worstSpeedRatio = std::max(report.worstSpeedRatio, d / allowed);
      if (d > allowed * speedFactor + 0.01 && !(a.reportedStanding && b.reportedStanding))
        report.faults.push_back(fmt::format("{} cycle {}: moves {:.2f} m at {:.1f} kt ({})", name(), b.cycle, d, speed,
                                            static_cast<int>(b.phase)));
      if (i >= 2 && i + 1 < list.size() && list[i - 2].onGround && list[i + 1].onGround) {
        const double before = lf_metres(list[i - 2].block, a.block);
        const double after = lf_metres(b.block, list[i + 1].block);
        if (d > speedFactor * std::max(before, after) + 0.05)
          report.faults.push_back(fmt::format("{} cycle {}: jumps {:.2f} m between {:.2f} and {:.2f} ({})", name(),
                                              b.cycle, d, before, after, static_cast<int>(b.phase)));
      }
      const double turned = std::fabs(gf_angleDiff(a.block.heading, b.block.heading));
      if (d < 0.001) {
        if (turned > 1e-9)
          report.faults.push_back(fmt::format("{} cycle {}: turns {:.3f} deg standing still ({})", name(), b.cycle,
                                              turned * kRadToDeg, static_cast<int>(b.phase)));
        continue;
      }
      // Walking pace: about 1 kt.
      if (d < 0.005 * cycles) continue;
      ++report.movingPairs;
      const double course = gf_bearingRad({a.block.latitude, a.block.longitude}, {b.block.latitude, b.block.longitude});
      const double nose = b.block.trueAirspeed < 0 ? b.block.heading + kPi : b.block.heading;
      const double nosePositive = std::fmod(nose, kTwoPi);
      const double slide = std::fabs(gf_angleDiff(nosePositive, course)) * kRadToDeg;
      report.worstSlideDeg = std::max(report.worstSlideDeg, slide);
      if (slide > maxSlideDeg)
        report.faults.push_back(fmt::format("{} cycle {}: moves {:.0f} deg off its {} ({})", name(), b.cycle, slide,
                                            b.block.trueAirspeed < 0 ? "tail" : "nose", static_cast<int>(b.phase)));
    }
  }
  return report;
}

std::filesystem::path writeGroundMap(const std::filesystem::path& folder, const std::string& name, const GroundWatch& watch,
                                     const std::map<std::uint32_t, std::vector<RecordedLine>>& lines,
                                     const std::vector<Stand>& stands, int every, const MapArea& area,
                                     const std::filesystem::path& runways) {
  tracemap::Tracks tracks;
  const auto inside = [&](double lat, double lon) {
    return gf_distanceNm({area.latitude, area.longitude}, {lat, lon}) <= area.radiusNm;
  };
  for (const auto& [id, list] : watch.blocks) {
    auto label = watch.callsigns.find(id);
    tracemap::Track& t = tracks.flown[fmt::format("{:06}", id)];
    t.label = label == watch.callsigns.end() ? std::to_string(id) : label->second;
    for (std::size_t i = 0; i < list.size(); ++i)
      if (list[i].onGround && (i % static_cast<std::size_t>(every) == 0 || i + 1 == list.size()) &&
          inside(list[i].block.latitude, list[i].block.longitude))
        t.points.push_back({list[i].block.latitude, list[i].block.longitude,
                            list[i].block.trueAirspeed < 0 ? tracemap::Phase::Pushback : tracemap::Phase::Ground});
    if (t.points.empty()) tracks.flown.erase(fmt::format("{:06}", id));
  }
  for (const auto& [hexid, recorded] : lines) {
    tracemap::Track t;
    for (const RecordedLine& line : recorded) {
      // Ground lines only: the altitude field is 0 (or below) on the ground.
      if (std::atof(lineField(line.text, 4).c_str()) > 0) continue;
      const double lat = std::atof(lineField(line.text, 2).c_str());
      const double lon = std::atof(lineField(line.text, 3).c_str());
      if (inside(lat, lon)) t.points.push_back({lat, lon});
    }
    if (!t.points.empty()) tracks.reported[std::to_string(hexid)] = std::move(t);
  }
  for (const Stand& s : stands)
    if (inside(s.lat, s.lon))
      tracks.marks.push_back({s.name, {s.lat, s.lon}, s.heading * kRadToDeg, s.radiusNm * 1852.0});
  std::string error;
  if (!runways.empty() && !tracemap::readRunways(runways, tracks, error)) throw std::runtime_error(error);
  std::filesystem::create_directories(folder);
  const std::filesystem::path file = folder / (name + ".svg");
  tracemap::MapOptions options;
  options.width = 1100;
  options.height = 1000;
  options.title = name;
  std::ofstream out(file, std::ios::trunc);
  out << tracemap::renderSvg(tracks, options);
  return file;
}

}  // namespace amb::enginesim
