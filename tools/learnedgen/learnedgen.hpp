#pragma once
// The learned airport file of a busy airport as a user's file looks after weeks there: a week of
// aircraft turning round at every stand, each seen at its stand every half hour it stood there, taught
// to the program's own stand learning. The flights are made up from recorded traffic: its airlines
// and types (so that the AI package made from the same recording has their liveries), in the mix the
// recording shows, at the stands the airport gives those airlines; their flight numbers,
// registrations and addresses are none of the recording's, so none of them is in the air while the
// recording replays.

#include "ailibgen/ailibgen.hpp"
#include "airports/services.hpp"
#include "enginesim/harness.hpp"
#include "enginesim/parking_days.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace amb::learnedgen {

// An airline and type of the recording that the AI package paints.
struct Operator {
  std::string airline;
  std::string type;
  std::uint32_t weight = 0;  // aircraft seen; those flying to or from the airport count four times
  bool cargo = false;        // a freighter airline
};

// What the made-up flights take from the recording, and what they must not share with it.
struct Recorded {
  std::vector<Operator> operators;  // by airline, then type
  std::set<std::string> callsigns;
  std::set<std::string> registrations;
  std::set<std::uint32_t> hexids;
  // Per airline: its registrations in the package (patterns for new ones) and the most digits of
  // its flight numbers.
  std::map<std::string, std::vector<std::string>> fleets;
  std::map<std::string, std::size_t> flightDigits;
};

// `airport` is the airport's IATA code as the recording's origin and destination fields give it.
Recorded readRecorded(const std::vector<enginesim::RecordedLine>& lines, const ailibgen::Library& library,
                      const std::string& airport);

// A stand as the schedule sees it: the airlines the airport gives it (empty: any).
struct StandUse {
  std::uint32_t id = 0;
  std::string name;
  double radiusMetres = 0;
  bool cargo = false;
  std::vector<std::string> airlines;
};

// The loaded stands (helipads left out), each with the airline codes of the ground network's parking
// position at its place (within 5 m). Throws std::runtime_error when the file cannot be read.
std::vector<StandUse> standUses(const std::vector<Stand>& stands, const std::filesystem::path& groundnet);

// Half hours of the week from Monday 00:00 UTC.
constexpr int kWeekHalfHours = 7 * 48;

// One aircraft at one stand, from the half hour it was first seen there to the last one (both
// counted), in half hours of the week; a turn over Sunday midnight runs past kWeekHalfHours and wraps
// to Monday. It arrives as `arrival` and is seen under `departure` in its last half hour.
struct Turn {
  std::uint32_t standId = 0;
  std::string airline, type, registration, arrival, departure;
  std::uint32_t hexid = 0;
  int first = 0;
  int last = 0;
};

// A week of turns: every stand repeats a day of its own (aircraft standing overnight, then turns
// from the morning to the late evening, at the airport's local time `utcOffsetHours`), each turn
// flown on most days, each day by an aircraft of the fleet that is not elsewhere at the time. Every
// turn's type fits its stand. The same seed gives the same week.
std::vector<Turn> weekOfTurns(const std::vector<StandUse>& stands, const Recorded& recorded, std::uint32_t seed,
                              int utcOffsetHours = -5);

// Teaches the loaded stands (g_stands) the turns through the program's real stand learning: the
// aircraft is seen at its stand every half hour of its turn, tracked from one half hour to the next
// within a day.
void teach(const std::vector<Turn>& turns);

// The whole of it in the program's folder (the current folder): the user aircraft arrives at the
// airport at `start`, the program loads the airport's file, is taught a week of turns at its stands
// and writes its learned file when the user flies away. Returns the turns; throws std::runtime_error
// when the program does not load the airport `code` or does not leave it.
std::vector<Turn> learnWeek(enginesim::ParkingDays& days, clock::SystemTime start, const LatLon& user,
                            const std::string& code, const std::filesystem::path& groundnet,
                            const std::vector<enginesim::RecordedLine>& recording, const ailibgen::Library& library,
                            std::uint32_t seed, int utcOffsetHours = -5);

}  // namespace amb::learnedgen
