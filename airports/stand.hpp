#pragma once
// The small operations on a stand's table of learned options that stand learning, static parking and
// the airport-file reader and writer share, the half-hour distance within a week and the text form
// of a half-hour set.
//
// Time is a WeekSlot: weekday 1 (Monday) to 7, half hour 0 to 47 of the day, in UTC; day 1 follows
// day 7.

#include "records/parking.hpp"
#include "core/strings.hpp"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace amb {

// The airline and the type of a record: every record of aircraft or options starts with these two.
struct AirlineModel {
  const std::string& airline;
  const std::string& model;
};
template <typename R>
AirlineModel gf_airlineModelOf(const R& r) {
  if constexpr (requires { r.airl; })
    return {r.airl, r.type};
  else
    return {r.airline, r.model};
}

// The airline and type of an aircraft for a stand table: the registration data base's record of the
// first known form of the registration (its operator code in place of the airline when it has one),
// else the given airline and model. True when the registration was found.
bool gf_airlineModelOfRegistration(const std::string& registration, std::string& airline, std::string& model);

// A new learned option with the one half-hour bit of the slot; 0 when an option with the same
// registration, day, half-hour set and first callsign exists (nothing added). A half hour of 48 or
// more throws std::out_of_range "invalid bitset position".
std::uint32_t gf_addParkPosOption(std::vector<ParkPosOption>& options, const AirlineModel& aircraft,
                                  std::uint32_t kind, WeekSlot slot, const std::string& callsign,
                                  const std::string& registration);
// Records a callsign on the first option with that (non-zero) id: as cs1 when it has none, else as
// cs2 when it is neither.
void gf_addOptionCallsign(std::vector<ParkPosOption>& options, std::uint32_t optionId, const std::string& callsign);
// Sets a half-hour bit; a bit outside 0 to 47 is logged and changes nothing.
void updateOption(ParkPosOption& option, int bit);
// The option has been in use for the last n half hours up to now, all on its day.
void gf_extendOption(std::vector<ParkPosOption>& options, WeekSlot now, const std::string& callsign, int n,
                     std::uint32_t optionId);
// The same across midnight: the half hours up to 47 go to the old option, the rest to the new one.
void gf_extendOptionOverMidnight(std::vector<ParkPosOption>& options, WeekSlot now, const std::string& callsign,
                                 int n, std::uint32_t oldId, std::uint32_t newId);
// Appends n slots from start backwards, one half hour each.
std::back_insert_iterator<std::vector<WeekSlot>> lf_lastHalfHours(std::vector<WeekSlot>& out, int n, WeekSlot start);
// Is a half hour from start down to start - offset set? out: -1, or how many half hours the range
// reaches into the previous day (at most 46) when none is set.
bool testRange(const ParkPosOption& option, int start, int offset, std::uint32_t& out);
// The option is a real one of this aircraft: by callsign, else by airline and type.
bool gf_isRealOptionOf(const std::string& callsign, const AirlineModel& aircraft, const ParkPosOption& option);
template <typename A, typename B>
bool gf_sameAirlineModel(const A& a, const B& b) {
  const AirlineModel x = gf_airlineModelOf(a);
  const AirlineModel y = gf_airlineModelOf(b);
  return x.airline == y.airline && x.model == y.model;
}
// Half hours from the earlier to the later slot; only day 7 to day 1 wraps.
std::uint32_t gf_weekHalfHourDiff(WeekSlot a, WeekSlot b);
// The unreadable hour pieces of one file: the first kLoggedHourFaults are logged, the piece and its
// text escaped and cut short, the others only counted in one line when the object is destroyed. A
// damaged or hostile file thus costs a few lines of log, not the square of its size.
inline constexpr std::size_t kLoggedHourFaults = 20;
class HourFaults {
public:
  // fileText names the file in the count line; empty when the texts come from no file.
  explicit HourFaults(std::string fileText = {}) : m_file(std::move(fileText)) {}
  ~HourFaults();
  HourFaults(const HourFaults&) = delete;
  HourFaults& operator=(const HourFaults&) = delete;
  void add(std::string_view piece, std::string_view text);
  std::size_t count() const { return m_count; }

private:
  std::string m_file;
  std::size_t m_count = 0;
};
// "3,7,47" <-> bits 3, 7 and 47. Unreadable pieces are skipped and noted in faults; without faults
// the text's own are logged within the same bound.
std::uint64_t gf_hours2bitset(const std::string& text, HourFaults& faults);
std::uint64_t gf_hours2bitset(const std::string& text);
std::string gf_bitset2hours(std::uint64_t bits);

// The text the standard library of the original platform gives for a bit index out of range.
inline constexpr const char* kInvalidBitsetPosition = "invalid bitset position";

}  // namespace amb
