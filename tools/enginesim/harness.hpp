#pragma once
// The live traffic engine in virtual time: gf_updateAI is called cycle by cycle, recorded traffic
// lines enter through the feed's real processLine at the cycles their timestamps give (one second
// of feed time is 100 cycles), and a FakeSim plays the simulator behind the engine's SimPort. No
// thread, no socket, no sleep: a 20-minute recording runs in seconds.

#include "airports/services.hpp"
#include "core/airport_data.hpp"
#include "enginesim/fake_sim.hpp"
#include "feed/readers.hpp"
#include "liveries/livery.hpp"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <limits>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

namespace amb {
struct LiveAc;
}

namespace amb::enginesim {

// One recorded traffic line with the fields the harness reads itself.
struct RecordedLine {
  std::string text;
  double timestamp = 0;
  std::uint32_t hexid = 0;
  // When it reaches the program, on the stamps' clock; NaN: at its stamp.
  double arrival = std::numeric_limits<double>::quiet_NaN();
};

// The lines of a recording (plain or gzip), in file order.
std::vector<RecordedLine> readRecording(const std::filesystem::path& file);
// Field i of a traffic line; empty when it has fewer fields.
std::string lineField(const std::string& line, std::size_t index);

// Reads the aircraft data base generated from the real sources (the FAA aircraft table and a
// traffic recording) into the data-base tables, through a scratch folder; generated once per process,
// read again when the tables were emptied since.
void loadDataBase(const std::filesystem::path& faaCsv, const std::filesystem::path& traffic);

struct HarnessOptions {
  // The user aircraft, standing on the ground (the reader's radius is measured from it).
  double userLatitude = 40.6413;
  double userLongitude = -73.7781;
  double userHeadingDeg = 0;
  // The park airport; none when the code is empty.
  AirportData parkAirport{"KJFK", "JFK", 40.639751, -73.778925, 13};
  std::int32_t radiusNm = 40;
  std::uint32_t seed = 20190305;
  FakeSimOptions sim;
  // The airport list the engine knows (the program's "airports_p3d.xml"); none when empty. The
  // simulator's ground lies at each one's elevation around it (FakeSimOptions::fields).
  std::vector<AirportData> airports;
  // The park airport's stands (tools/enginesim/parking.hpp); none when empty.
  std::vector<Stand> stands;
  // The program folder (flight plans go to its "orig_dest"); none when empty.
  std::filesystem::path programFolder;
  // What runs as the engine's cycle: gf_updateAI when empty (a caller may run the shell's tick,
  // which runs gf_updateAI itself).
  std::function<void()> cycle;
  // The lines go through the program's own traffic reader (g_trafficReader), whose callsign
  // collection static parking reads, instead of a reader of the harness.
  bool programReader = false;
  // The liveries the matching finds (tools/enginesim/liveries.hpp); unset: a generic livery of every
  // type of the data base.
  std::optional<std::vector<LiveryData>> liveries;
};

// The tools' "--airport CODE,LAT,LON,ELEV_FT" and "--user LAT,LON": true when `name` is one of them
// (`valid` false when its value does not read; otherwise read into the options).
// finish then puts the user on the airport when only the airport was given.
struct SettingArguments {
  bool airportGiven = false;
  bool userGiven = false;
  bool take(const std::string& name, const std::string& value, HarnessOptions& options, bool& valid);
  void finish(HarnessOptions& options) const;
};

// A reported position an aircraft's buffer took.
struct AcceptedPosition {
  double latitude = 0;
  double longitude = 0;
  double altitude = 0;
  std::int32_t due = 0;  // as stamped on arrival: arrival cycle + 3000
  bool airborne = false;
  double timestamp = 0;  // the feed's stamp
};

class EngineHarness {
public:
  explicit EngineHarness(HarnessOptions options = {});
  ~EngineHarness();
  EngineHarness(const EngineHarness&) = delete;
  EngineHarness& operator=(const EngineHarness&) = delete;

  FakeSim& sim() { return m_sim; }
  std::int32_t cycle() const;

  // Lines to replay: the first line enters at startCycle, every later one at startCycle plus its
  // arrival's distance from the first one's timestamp in hundredths of seconds (its own timestamp's
  // unless it arrives late), in the order they arrive.
  void schedule(const std::vector<RecordedLine>& lines, std::int32_t startCycle = 0);
  // Runs n engine cycles: the lines due, gf_updateAI, one simulator frame.
  void run(std::int32_t cycles);
  // Runs until the condition holds or the bound of cycles passes; true when it held.
  bool runUntil(const std::function<bool()>& condition, std::int32_t maxCycles);
  // True when every scheduled line has been handed to processLine.
  bool allLinesSent() const { return m_next >= m_lines.size(); }
  std::int32_t lastLineCycle() const;

  // The moment a reported position became the one the aircraft flies from: it is there.
  struct Passage {
    std::int32_t cycle = 0;
    AcceptedPosition position;
    bool inSim = false;
    bool landing = false;  // on its approach, or on the ground after its touchdown
  };
  // Follows the buffers of these hexids: every reported position they take, and when they pass it.
  void follow(std::uint32_t hexid);
  const std::vector<AcceptedPosition>& accepted(std::uint32_t hexid) const;
  const std::vector<Passage>& passages(std::uint32_t hexid) const;
  // True while the aircraft flew synthetic situations of its own (or back from them to its track).
  bool offTrack(std::uint32_t hexid, std::int32_t cycle) const;
  // The records of a followed aircraft (by their place among those the feed queued for it) that its
  // intake still held back, neither taken nor dropped, once a later record at another position had
  // left the feed's queue for the intake.
  std::vector<std::size_t> heldPastNext(std::uint32_t hexid) const;
  // Called for every line the feed queued, with the situation it queued (its due cycle stamped).
  std::function<void(const RecordedLine& line, const Situation& situation)> onQueued;
  // The lines handed to processLine, by hexid.
  std::map<std::uint32_t, std::vector<RecordedLine>> linesByHexid;
  // What the feed queued of them (its own on-ground judgement included), by hexid, in order.
  std::map<std::uint32_t, std::vector<AcceptedPosition>> queuedByHexid;

private:
  struct Scheduled {
    std::int32_t cycle;
    RecordedLine line;
  };
  void feedDueLines();
  void collectAccepted();

  HarnessOptions m_options;
  FakeSim m_sim;
  std::vector<Scheduled> m_lines;
  std::size_t m_next = 0;
  struct Reader;
  std::unique_ptr<Reader> m_reader;
  TrafficReader* m_lineReader = nullptr;  // the reader the lines go through
  struct Followed {
    std::vector<AcceptedPosition> injected;  // queued by the feed
    std::vector<AcceptedPosition> accepted;  // taken into the buffer
    std::vector<bool> injectedTaken;          // by index of injected
    std::vector<bool> injectedHeldPast;       // by index of injected
    // The buffer's situations at the end of the last cycle (position and due), and the aircraft's
    // address in the live list then: a situation not among them entered the buffer this cycle.
    std::vector<std::tuple<double, double, std::int32_t>> lastBuffer;
    const void* lastAircraft = nullptr;
    std::vector<Passage> passages;
    double frontLatitude = 0, frontLongitude = 0;
    std::int32_t frontDue = -1;
    bool frontMatched = false;
    AcceptedPosition frontPosition;
    std::size_t nextToPass = 0;
    bool offTrack = false;
    std::vector<std::pair<std::int32_t, std::int32_t>> offTrackIntervals;
  };
  std::map<std::uint32_t, Followed> m_followed;
  void collectHeld(Followed& f, const LiveAc& ac, std::uint32_t hexid);
};

}  // namespace amb::enginesim
