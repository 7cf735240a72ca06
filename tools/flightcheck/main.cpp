// amb_flightcheck: measures what a pilot would see wrong in the flown AI tracks (noses off the path,
// spins, overspeed, reversals on the ground, genuine positions dropped, take-offs never rolled,
// aeroplanes standing still or crawling aloft or slower than their positions go, turns no bank
// allows, turn-rounds the records do not make, porpoising, plunges, landings away from where the
// records land, roll-outs faster than they slow, aircraft removed and never created again or
// removed in the air while the feed is live), either on the simulator double's trace of a run of the
// program or on a replay of a recording through the feed and the engine in virtual time.

#include "enginesim/fidelity.hpp"
#include "enginesim/habits.hpp"
#include "enginesim/harness.hpp"
#include "feed/readers.hpp"
#include "feed/traffic_line.hpp"
#include "flightcheck/flightcheck.hpp"
#include "flightcheck/replay.hpp"
#include "traffic/engine.hpp"

#include <fmt/format.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using namespace amb;
namespace fc = amb::flightcheck;

constexpr const char* kUsage =
    "usage: amb_flightcheck --replay [--recording FILE.rttfc[.gz]] [--faa FAA.csv[.gz]]\n"
    "                       [--airport CODE,LAT,LON,ELEV_FT] [--user LAT,LON] [--radius NM] [--every CYCLES]\n"
    "                       [--write-trace TRACE.csv] [--cg FT] [--habits HEXID,...] [--hostile HEXID,...]\n"
    "                       [--second-sender ADDRESS,HEXID] [--habits-seed N] [--write-recording FILE.rttfc]\n"
    "       amb_flightcheck --trace TRACE.csv [--recording FILE.rttfc[.gz]] [--log Log.txt] [--delay SECONDS]\n"
    "                       [--pass SECONDS] [--cg FT]\n"
    "                       [--airport CODE,LAT,LON,ELEV_FT] [--user LAT,LON] [--radius NM]\n"
    "  common: [--grid SECONDS] [--window SECONDS] [--quiet] [--check] [--detail CALLSIGN|HEXID]...\n"
    "          [--cross-track ALL,AWAY,LOW,HIGH]\n"
    "          [--airports AIRPORTS.csv[.gz] --runways RUNWAYS.csv[.gz]]\n"
    "  --replay flies the recording through the feed and the engine in virtual time (a flown point every\n"
    "  CYCLES cycles, 10 unless given; --write-trace writes them as the simulator double's trace, on the\n"
    "  engine's clock, for the tools that read a demo's trace; --habits lays the feed's habits on those\n"
    "  streams, positions frozen 20-60 s with fresh stamps and stamps shifted within 10 s, the same for a\n"
    "  seed; --hostile makes those streams' lines arrive 0-4 s late with copies of their positions of 20 s\n"
    "  before sent again among them, half restamped; --second-sender sends the second stream's lines\n"
    "  under the first one's address and callsign; --write-recording writes the lines replayed, in the\n"
    "  order they arrive); --trace reads the simulator double's trace of\n"
    "  a run that replayed the recording, fits the delay between reported and flown clock unless --delay\n"
    "  gives it, takes a reported position as dropped when an object flew then and none passed within\n"
    "  0.5 nm of it from --pass seconds (60) before its due time to 300 s after it, after the position\n"
    "  taken before it, and with --log lists the aircraft whose positions the program's log says it\n"
    "  dropped. The recording is the JFK one unless given; without --airport and --user the JFK setting\n"
    "  is used.\n"
    "  The airport list (OurAirports' tables, as the program's list is made; the repository's copies\n"
    "  unless given) gives the field under each point and the runways of the touchdowns; --cg the\n"
    "  height of a trace's objects above the ground when they stand on it (6.5 ft, the double's); in a\n"
    "  replay the static CG its simulator answers (10 ft, or the double's 6.5 ft with --write-trace).\n"
    "  --check: exit code 1\n"
    "  when a bound fails (at most 1 % of airborne seconds more than 45 deg off the nose and no aircraft\n"
    "  more than 10 s; no fast turn of 3 s; no overspeed of 5 s; no reversal on the ground; no dropped\n"
    "  position confirmed; every take-off roll rolled; no aeroplane below 20 kt more than 100 ft above\n"
    "  the field for 3 s, nor below 60 % of its slowest reported airborne speed or of the speed its\n"
    "  positions imply over the last minute for 5 s; no turn faster than 1.2 x the rate of a coordinated\n"
    "  turn at the category's bank + 0.5 deg/s for 3 s; no turn-round through more than 180 deg within\n"
    "  60 s where the records' tracks change less than 90 deg; no porpoising where the records' altitudes\n"
    "  do not swing; no vertical speed beyond 6000 ft/min; nothing more than 5 ft below the ground; every\n"
    "  arrival touching down on the line of the records' ground positions (within 150 m, no more than\n"
    "  600 m before the first), or where they end in the air on their field within 600 m of the line of\n"
    "  their last positions, within 10 s of them where they descend to the ground, staying down, not\n"
    "  below 80 % of its approach speed in the flare, rolling out no more than 20 kt faster than they for\n"
    "  more than 10 s; no object removed while its aircraft is still reported and never created again,\n"
    "  nor in the air within 60 s of a new position; delay median 29.9-31 s; cross-track p95 at most\n"
    "  50 m; with\n"
    "  --cross-track, the 95th percentiles of the airborne cross-track against the records' polyline\n"
    "  within 120 s, once a flown second, at most these metres: in all, away from the records' jumps\n"
    "  and reversals, below 3000 ft within 10 nm of an airport, above or farther).\n"
    "  --detail prints an aircraft's reported positions and flown track in time order, with the\n"
    "  intervals each measure counts, its touchdowns and its removals.\n";

int usage() {
  std::cerr << kUsage;
  return 2;
}

// What the replay writes besides its measures, and the habits it lays on the recording's streams.
struct ReplayFiles {
  std::filesystem::path trace;      // the double's trace of the objects; none when empty
  std::filesystem::path recording;  // the lines replayed; none when empty
  enginesim::HabitOptions habits;   // no stream chosen: the recording as it is
  enginesim::HostileOptions hostile;
};

// The replay: every position the feed queued, which of them the engine took, and every object's
// track (a point every `every` cycles); how closely the objects follow the reported positions.

fc::Input lf_replay(const std::filesystem::path& recording, enginesim::HarnessOptions options, std::int32_t every,
                    enginesim::FidelityFigures& fidelity, const ReplayFiles& files) {
  const std::filesystem::path& tracePath = files.trace;
  enginesim::HabitSummary habits;
  enginesim::HostileSummary hostile;
  const auto lines = enginesim::applyHostile(
      enginesim::applyHabits(enginesim::readRecording(recording), files.habits, &habits), files.hostile, &hostile);
  if (!habits.streams.empty())
    std::cout << fmt::format("the feed's habits on {} streams: {} freezes ({} lines), stamps moved up to {:.1f} s\n",
                             habits.streams.size(), habits.freezes, habits.frozenLines, habits.largestShiftSeconds);
  if (!hostile.streams.empty() || hostile.relabelled > 0)
    std::cout << fmt::format(
        "a hostile feed on {} streams: {} late lines (up to {:.1f} s), {} stale copies ({} restamped); {} lines of a "
        "second sender\n",
        hostile.streams.size(), hostile.lateLines, hostile.latestSeconds, hostile.copies, hostile.restampedCopies,
        hostile.relabelled);
  if (!files.recording.empty()) {
    std::ofstream out(files.recording, std::ios::trunc);
    for (const enginesim::RecordedLine& line : lines) out << line.text << "\n";
    out.close();
    if (!out) throw std::runtime_error("cannot write " + files.recording.string());
  }
  options.sim.trackEvery = 0;
  enginesim::EngineHarness h(options);
  std::ofstream traceFile;
  std::optional<fc::TraceWriter> trace;
  if (!tracePath.empty()) {
    traceFile.open(tracePath, std::ios::trunc);
    if (!traceFile) throw std::runtime_error("cannot write " + tracePath.string());
    trace.emplace(traceFile, h.sim(), every);
    h.sim().onCreated = [&](std::int32_t cycle, const enginesim::SimObject& o) { trace->created(cycle, o); };
    h.sim().onRemoved = [&](std::int32_t cycle, const enginesim::SimObject& o) { trace->removed(cycle, o); };
  }
  fc::ReplayCollector collect(h, lines, every, options.parkAirport.alt, options.sim.staticCg);
  enginesim::FidelityOptions fidelityOptions;
  fidelityOptions.groundElevationFt = options.parkAirport.alt;
  enginesim::FidelityRecorder recorder(fidelityOptions);
  h.onQueued = [&](const enginesim::RecordedLine& line, const Situation& s) {
    collect.queued(line, s);
    recorder.reported(line.hexid, s.due - kTrafficDelayCycles, s.latitude, s.longitude, s.airborne != 0);
  };
  h.sim().onPosition = [&](std::int32_t cycle, const enginesim::SimObject& o, const AiPosBlock& b) {
    collect.flown(cycle, o, b);
    recorder.flown(cycle, o.id, o.hexid, b);
    if (trace) trace->flown(cycle, o, b);
  };
  h.schedule(lines);
  const std::int32_t end = h.lastLineCycle() + 3000 + 8 * 800 + 2000;
  // The trace ends where a run of the program would that exits once the last line fell due: past it
  // the objects fly on with no records to be measured against.
  const std::int32_t exit = h.lastLineCycle() + kTrafficDelayCycles;
  h.run(exit);
  if (trace) trace->exit(h.cycle());
  h.run(end - exit);
  h.sim().onCreated = nullptr;
  h.sim().onRemoved = nullptr;
  if (traceFile.is_open()) {
    traceFile.close();
    if (!traceFile) throw std::runtime_error("cannot write " + tracePath.string());
  }
  fidelity = recorder.figures();
  return collect.finish();
}

// How closely a trace's objects follow the reported positions: the trace's clock shifted so that
// each position falls due the engine's delay after it was queued.
enginesim::FidelityFigures lf_traceFidelity(const fc::Input& input, double groundFt) {
  enginesim::FidelityOptions options;
  options.groundElevationFt = groundFt;
  options.sampleEvery = 1;
  enginesim::FidelityRecorder recorder(options);
  const auto cycleOf = [](double seconds) {
    return static_cast<std::int32_t>(std::lround(seconds * kCyclesPerSecond));
  };
  for (const auto& [hexid, a] : input.reported)
    for (const fc::Reported& r : a.positions)
      recorder.reported(hexid, cycleOf(r.t), r.latitude, r.longitude, r.airborne);
  for (const fc::FlownTrack& t : input.tracks) {
    if (t.hexid == 0) continue;
    for (const fc::FlownPoint& p : t.points) {
      AiPosBlock b{};
      b.latitude = p.latitude;
      b.longitude = p.longitude;
      b.altitude = p.altitude;
      recorder.flown(cycleOf(p.t - input.delaySeconds) + kTrafficDelayCycles, t.objectId, t.hexid, b);
    }
  }
  return recorder.figures();
}

// The positions of the recording the feed would queue (its own checks and on-ground judgement), on
// the recording's clock (seconds from its first line).
void lf_feedRecords(const std::vector<enginesim::RecordedLine>& lines, const enginesim::HarnessOptions& options,
                    fc::Input& input) {
  // The harness sets up what the feed reads (park airport, radius, settings, an open queue).
  enginesim::EngineHarness h(options);
  TrafficReader reader;
  reader.setUserPosition(options.userLatitude, options.userLongitude);
  if (!options.parkAirport.code.empty()) reader.setParkElevation(options.parkAirport.alt);
  if (lines.empty()) return;
  const double t0 = lines.front().timestamp;
  for (const enginesim::RecordedLine& line : lines) {
    gf_splitTrafficLine(reader, line.text);
    if (processLineFor(reader) != LineResult::Queued) continue;
    std::lock_guard lock(g_trafficQueueMutex);
    const TrafficRecord& record = g_trafficQueue.back();
    input.reported[record.hexid].positions.push_back(fc::reportedOf(line.timestamp - t0, record.situation));
    g_trafficQueue.pop_back();
  }
}

// The program's log lines of positions dropped as stale or foreign.
void lf_printLogDrops(const std::filesystem::path& log, std::ostream& out) {
  std::ifstream in(log);
  if (!in) throw std::runtime_error("cannot read " + log.string());
  std::string line;
  std::vector<std::string> found;
  while (std::getline(in, line))
    if (line.find("position dropped as stale or foreign") != std::string::npos) found.push_back(line);
  std::set<std::string> aircraft;
  for (const std::string& l : found) {
    const std::size_t at = l.find("hexid:");
    if (at != std::string::npos) aircraft.insert(l.substr(at, l.find(':', at + 6) - at));
  }
  out << fmt::format("\nthe program's log: {} lines in {} aircraft of a position dropped as stale or foreign\n",
                     found.size(), aircraft.size());
  for (const std::string& l : found) out << "  " << l << "\n";
}

}  // namespace

int main(int argc, char** argv) {
  std::filesystem::path recording = AMB_FLIGHTCHECK_RECORDING, faa = AMB_FLIGHTCHECK_FAA, trace, log;
  ReplayFiles replayFiles;
  std::filesystem::path airports = AMB_FLIGHTCHECK_AIRPORTS, runways = AMB_FLIGHTCHECK_RUNWAYS;
  // The double's static CG; a replay's simulator answers its own unless told.
  constexpr double kDoubleCgFt = 6.5;
  std::optional<double> cgGiven;
  std::vector<std::string> details;
  enginesim::HarnessOptions options;
  fc::Options check;
  bool replay = false, quiet = false, checkBounds = false, windowGiven = false;
  enginesim::SettingArguments setting;
  std::optional<double> delay;
  std::int32_t every = 10;
  for (int i = 1; i < argc; ++i) {
    const std::string a = argv[i];
    if (a == "--replay") {
      replay = true;
      continue;
    }
    if (a == "--quiet") {
      quiet = true;
      continue;
    }
    if (a == "--check") {
      checkBounds = true;
      continue;
    }
    if (i + 1 >= argc) return usage();
    const std::string value = argv[++i];
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    const bool isNumber = end != value.c_str() && *end == '\0' && std::isfinite(number);
    if (a == "--recording") {
      recording = value;
    } else if (a == "--faa") {
      faa = value;
    } else if (a == "--airports") {
      airports = value;
    } else if (a == "--runways") {
      runways = value;
    } else if (a == "--cg" && isNumber && number >= 0) {
      cgGiven = number;
    } else if (a == "--write-trace") {
      replayFiles.trace = value;
    } else if (a == "--write-recording") {
      replayFiles.recording = value;
    } else if (a == "--habits-seed" && isNumber && number >= 0) {
      replayFiles.habits.seed = replayFiles.hostile.seed = static_cast<std::uint32_t>(number);
    } else if (a == "--habits" || a == "--hostile" || a == "--second-sender") {
      std::set<std::uint32_t>& into = a == "--habits" ? replayFiles.habits.hexids : replayFiles.hostile.hexids;
      std::vector<std::uint32_t> pair;
      std::stringstream list(value);
      for (std::string hexid; std::getline(list, hexid, ',');) {
        char* last = nullptr;
        const unsigned long h = std::strtoul(hexid.c_str(), &last, 10);
        if (hexid.empty() || *last != '\0' || h == 0) return usage();
        if (a == "--second-sender")
          pair.push_back(static_cast<std::uint32_t>(h));
        else
          into.insert(static_cast<std::uint32_t>(h));
      }
      if (a == "--second-sender") {
        if (pair.size() != 2) return usage();
        replayFiles.hostile.address = pair[0];
        replayFiles.hostile.secondSender = pair[1];
      }
    } else if (a == "--cross-track") {
      double v[4];
      if (std::sscanf(value.c_str(), "%lf,%lf,%lf,%lf", &v[0], &v[1], &v[2], &v[3]) != 4) return usage();
      check.maxCrossTrackAllP95Metres = v[0];
      check.maxCrossTrackAwayP95Metres = v[1];
      check.maxCrossTrackLowP95Metres = v[2];
      check.maxCrossTrackHighP95Metres = v[3];
    } else if (a == "--trace") {
      trace = value;
    } else if (a == "--detail") {
      details.push_back(value);
    } else if (a == "--log") {
      log = value;
    } else if (a == "--delay" && isNumber) {
      delay = number;
    } else if (a == "--grid" && isNumber && number >= 0.01) {
      check.gridSeconds = number;
    } else if (a == "--window" && isNumber && number >= 0) {
      check.windowSeconds = number;
      windowGiven = true;
    } else if (a == "--pass" && isNumber && number > 0) {
      check.passSeconds = number;
    } else if (a == "--every" && isNumber && number >= 1 && number <= 100) {
      every = static_cast<std::int32_t>(number);
    } else if (a == "--radius" && isNumber && number > 0) {
      options.radiusNm = static_cast<std::int32_t>(number);
    } else if (bool valid = true; setting.take(a, value, options, valid)) {
      if (!valid) return usage();
    } else {
      return usage();
    }
  }
  if (replay == !trace.empty() ||
      (!replay && (!replayFiles.trace.empty() || !replayFiles.recording.empty() || !replayFiles.habits.hexids.empty() ||
                   !replayFiles.hostile.hexids.empty() || replayFiles.hostile.address != 0)))
    return usage();
  setting.finish(options);
  options.sim.groundElevation = options.parkAirport.alt;
  // A trace written for the tools that read the double's stands its objects where the double does.
  if (cgGiven || !replayFiles.trace.empty()) options.sim.staticCg = cgGiven.value_or(kDoubleCgFt);
  try {
    fc::Input input;
    check = fc::categoryOptions(check);
    enginesim::FidelityFigures fidelity;
    double delayMedian = 0;
    enginesim::loadDataBase(faa, recording);
    const std::vector<fc::Airport> airportList =
        fc::readAirportList(airports, runways, {options.userLatitude, options.userLongitude}, options.radiusNm + 10.0);
    options.airports = fc::engineAirports(airportList);
    if (replay) {
      if (check.gridSeconds * kCyclesPerSecond < every) check.gridSeconds = every / static_cast<double>(kCyclesPerSecond);
      input = lf_replay(recording, options, every, fidelity, replayFiles);
      delayMedian = input.delaySeconds + fidelity.medianLateSeconds;
      std::cout << fmt::format("replay of {} in virtual time, a flown point every {} cycles\n", recording.string(), every);
    } else {
      // The double's clock is the wall clock of the run: points come as the program sent them.
      if (!windowGiven) check.windowSeconds = 1.0;
      std::ifstream in(trace);
      if (!in) throw std::runtime_error("cannot read " + trace.string());
      input.tracks = fc::readTrace(in);
      const auto lines = enginesim::readRecording(recording);
      fc::recordedIdentities(lines, input.reported);
      lf_feedRecords(lines, options, input);
      fc::matchHexids(input.tracks, input.reported);
      if (delay) {
        input.delaySeconds = *delay;
      } else {
        const auto fitted = fc::fitDelay(input, -120, 900);
        if (!fitted) throw std::runtime_error("no reported position meets a flown track: is it the run of this recording?");
        input.delaySeconds = *fitted;
      }
      fc::inferTaken(input, check);
      input.parkElevationFt = options.parkAirport.alt;
      input.cgFt = cgGiven.value_or(kDoubleCgFt);
      fidelity = lf_traceFidelity(input, options.parkAirport.alt);
      delayMedian = input.delaySeconds + fidelity.medianLateSeconds;
      std::size_t matched = 0;
      for (const auto& t : input.tracks) matched += t.hexid != 0 ? 1 : 0;
      std::cout << fmt::format("trace {}: {} objects, {} of them matched to the recording {}; flown = reported + {:.1f} s\n",
                               trace.string(), input.tracks.size(), matched, recording.string(), input.delaySeconds);
    }
    input.airports = airportList;
    input.park = LatLon{options.parkAirport.lat, options.parkAirport.lon};
    input.user = LatLon{options.userLatitude, options.userLongitude};
    input.radiusNm = options.radiusNm;
    std::cout << fmt::format("airport list: {} airports within {} nm of the user\n", input.airports.size(),
                             options.radiusNm + 10);
    std::cout << fmt::format("grid {:.2f} s, rates over {:.2f} s\n\n", check.gridSeconds,
                             std::max(check.gridSeconds, check.windowSeconds));
    fc::Figures figures = fc::measure(input, check);
    if (fidelity.positions > 0) figures.delayMedianSeconds = delayMedian;
    if (fidelity.crossTrackPoints > 0) figures.crossTrackP95Metres = fidelity.p95CrossTrackMetres;
    fc::print(std::cout, figures, check, !quiet);
    if (!log.empty()) lf_printLogDrops(log, std::cout);
    for (const std::string& who : details) {
      std::cout << "\n";
      fc::printTimeline(std::cout, input, check, who);
    }
    const auto failed = fc::check(figures, check);
    std::cout << (failed.empty() ? "\nbounds: all hold\n" : "\nbounds: failed\n");
    for (const std::string& f : failed) std::cout << "  " << f << "\n";
    return checkBounds && !failed.empty() ? 1 : 0;
  } catch (const std::exception& e) {
    std::cerr << "amb_flightcheck: " << e.what() << "\n";
    return 3;
  }
}
