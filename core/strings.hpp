#pragma once
// Small shared helpers: plural suffixes, comma lists, number texts, banner lines, random choices,
// time texts and week slots, socket error texts.

#include <cstdint>
#include <filesystem>
#include <list>
#include <random>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace amb {

struct AirportData;

// Counts and text.
const std::string& gf_plural(std::uint64_t count);   // "" for 1, else "s"
const std::string& gf_pluralS(std::int64_t count);   // "" for 1 or negative, else "s"
const std::string& gf_pluralS(std::int32_t count);
std::vector<std::string> gf_splitToVector(const std::string& text, char delimiter);
std::vector<std::string> gf_splitComma(const std::string& text);
std::list<std::string> gf_splitToSet(const std::string& text);  // sorted, repeats removed
std::string gf_trim(const std::string& text);                    // strips " \t\n\r"
void gf_trimCommaList(std::string& text);
std::string gf_joinComma(const std::vector<std::string>& pieces);
std::string gf_toUpper(const std::string& text);
// Upper-cases b (ASCII letters) and answers whether it then equals a; a is taken as it is.
bool gf_toUpper(const std::string& a, std::string b);
bool gf_equalsWithStar(const std::string& a, const std::string& b);  // b == a + "*"
std::string gf_float2string(float value);
std::string gf_bannerLine(int a, int b, bool leadingNewline, bool trailingNewline, std::string_view text);
std::string gf_airportLabel(const AirportData& airport);

// Random choices on the calling thread's engine. gf_randomOn mirrors the RANDOM option; the settings
// load sets it.
bool gf_randomOn();
void gf_setRandomOn(bool on);
std::mt19937& gf_randomEngine();
std::int64_t gf_randomIndex(std::int64_t n);  // 0 when RANDOM is off or n < 2
void gf_shuffle(std::vector<std::string>& items);
double gf_randomVariation(double value, double percent);

// Time texts (UTC).
std::string gf_timeString(long long unixSeconds);  // "Sat Dec 05 18:33:18 2026"
std::string gf_timeOfDay();                         // "hh:mm:ss" of the PC clock
std::string gf_trafficTimeOfDay();                  // "hh:mm:ss" of the traffic time
std::string gf_dateString();                        // "Dec 05, 2026"
const std::string& gf_dayName(int day);             // 1 "Mon" .. 7 "Sun", else "???"

// The weekday (1 Monday .. 7 Sunday) and half hour of the day (0..47); the second half of each hour
// begins at hh:29:30.
struct WeekSlot {
  std::uint32_t weekday = 1;
  std::uint32_t halfHour = 0;
  bool operator==(const WeekSlot&) const = default;
  // As one 64-bit value: the weekday in the low 32 bits, the half hour in the high 32 bits.
  std::uint64_t packed() const { return (std::uint64_t{halfHour} << 32) | weekday; }
  static WeekSlot fromPacked(std::uint64_t v) {
    return {static_cast<std::uint32_t>(v & 0xFFFFFFFFu), static_cast<std::uint32_t>(v >> 32)};
  }
};
WeekSlot gf_weekSlotAt(long long unixSeconds);
WeekSlot gf_weekSlotNow();  // of the traffic time

// The traffic time: the last traffic datagram's timestamp (cut to whole seconds) while RealTraffic is
// the professional edition and the timestamp is not 0, else the PC clock. The feed installs its
// sources here; null sources (the start value) mean the PC clock.
void gf_setTrafficTimeSource(double (*timestampSource)(), bool (*professionalSource)());
long long gf_trafficTime();

std::string gf_wsaErrorText(int code);  // "10061 Connection refused"
// Regular files directly in the folder (links followed); 0 when it does not exist.
int gf_countFilesInFolder(const std::filesystem::path& folder);

// Start values: RANDOM on, no traffic time source.
void gf_resetStringHelpers();

}  // namespace amb
