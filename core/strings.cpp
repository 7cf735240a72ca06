#include "core/strings.hpp"

#include "core/airport_data.hpp"
#include "core/clock.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cmath>
#include <system_error>

namespace amb {

namespace fs = std::filesystem;

namespace {
const std::string kEmpty;
const std::string kPluralS{"s"};
constexpr const char* kBlanks = " \t\n\r";

std::atomic<bool> g_randomOn{true};
std::atomic<double (*)()> g_trafficTimestampSource{nullptr};
std::atomic<bool (*)()> g_professionalSource{nullptr};
}  // namespace

void gf_resetStringHelpers() {
  g_randomOn = true;
  g_trafficTimestampSource = nullptr;
  g_professionalSource = nullptr;
}

// ---------------------------------------------------------------------------------------------
// Counts and text

const std::string& gf_plural(std::uint64_t count) { return count == 1 ? kEmpty : kPluralS; }
const std::string& gf_pluralS(std::int64_t count) { return count == 1 || count < 0 ? kEmpty : kPluralS; }
const std::string& gf_pluralS(std::int32_t count) { return gf_pluralS(static_cast<std::int64_t>(count)); }

std::vector<std::string> gf_splitToVector(const std::string& text, char delimiter) {
  std::vector<std::string> pieces;
  if (text.empty()) return pieces;
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find(delimiter, start);
    if (end == std::string::npos) {
      pieces.emplace_back(text, start);
      return pieces;
    }
    pieces.emplace_back(text, start, end - start);
    start = end + 1;
  }
}

std::vector<std::string> gf_splitComma(const std::string& text) { return gf_splitToVector(text, ','); }

std::list<std::string> gf_splitToSet(const std::string& text) {
  std::vector<std::string> pieces = gf_splitComma(text);
  std::sort(pieces.begin(), pieces.end());
  pieces.erase(std::unique(pieces.begin(), pieces.end()), pieces.end());
  return {std::make_move_iterator(pieces.begin()), std::make_move_iterator(pieces.end())};
}

std::string gf_trim(const std::string& text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string::npos) return {};
  const std::size_t last = text.find_last_not_of(kBlanks);
  return text.substr(first, last - first + 1);
}

void gf_trimCommaList(std::string& text) {
  if (text.find_first_of(kBlanks) == std::string::npos) return;
  std::vector<std::string> pieces = gf_splitComma(text);
  for (auto& piece : pieces) piece = gf_trim(piece);
  text = gf_joinComma(pieces);
}

std::string gf_joinComma(const std::vector<std::string>& pieces) {
  std::size_t total = pieces.empty() ? 0 : pieces.size() - 1;
  for (const auto& piece : pieces) total += piece.size();
  std::string out;
  out.reserve(total);
  for (std::size_t i = 0; i < pieces.size(); ++i) {
    if (i > 0) out += ',';
    out += pieces[i];
  }
  return out;
}

namespace {
char lf_upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
}  // namespace

std::string gf_toUpper(const std::string& text) {
  std::string out = text;
  for (char& c : out) c = lf_upper(c);
  return out;
}

bool gf_toUpper(const std::string& a, std::string b) {
  for (char& c : b) c = lf_upper(c);
  return a == b;
}

bool gf_equalsWithStar(const std::string& a, const std::string& b) {
  return b.size() == a.size() + 1 && b.back() == '*' && b.compare(0, a.size(), a) == 0;
}

std::string gf_float2string(float value) {
  if (value != std::trunc(value)) return fmt::format("{:.1F}", value);
  return fmt::format("{:.0f}", value);
}

std::string gf_bannerLine(int a, int b, bool leadingNewline, bool trailingNewline, std::string_view text) {
  std::string out = leadingNewline ? "\n" : "";
  int w = a + b;
  if (w % 2 != 0) ++w;
  if (text.empty()) {
    out.append(static_cast<std::size_t>(std::max(w, 0)), '*');
  } else if (w > static_cast<int>(text.size()) + 2) {
    const std::string stars(static_cast<std::size_t>(w / 2 - 1), '*');
    out += stars + " " + std::string(text) + " " + stars;
  } else {
    out += text;
  }
  if (trailingNewline) out += "\n";
  return out;
}

std::string gf_airportLabel(const AirportData& airport) {
  std::string out = airport.code.empty() ? "?" : airport.code;
  if (!airport.iata.empty()) out += " (" + airport.iata + ")";
  return out;
}

// ---------------------------------------------------------------------------------------------
// Random choices

bool gf_randomOn() { return g_randomOn.load(std::memory_order_relaxed); }
void gf_setRandomOn(bool on) { g_randomOn.store(on, std::memory_order_relaxed); }

std::mt19937& gf_randomEngine() {
  thread_local std::mt19937 t_randomEngine{std::random_device{}()};
  return t_randomEngine;
}

std::int64_t gf_randomIndex(std::int64_t n) {
  if (!gf_randomOn() || n < 2) return 0;
  return static_cast<std::int64_t>(gf_randomEngine()() % static_cast<std::uint64_t>(n));
}

void gf_shuffle(std::vector<std::string>& items) {
  if (gf_randomOn() && items.size() > 1) std::shuffle(items.begin(), items.end(), gf_randomEngine());
}

double gf_randomVariation(double value, double percent) {
  const bool minus = (gf_randomEngine()() & 1u) != 0;
  if (percent <= 0) return value;
  const double delta = value * percent / 100.0;
  return minus ? value - delta : value + delta;
}

// ---------------------------------------------------------------------------------------------
// Time

const std::string& gf_dayName(int day) {
  static const std::array<std::string, 8> names{"???", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  return (day >= 1 && day <= 7) ? names[static_cast<std::size_t>(day)] : names[0];
}

namespace {
const std::string& lf_monthName(unsigned month) {
  static const std::array<std::string, 13> names{"???", "Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                                 "Jul", "Aug", "Sep", "Okt", "Nov", "Dec"};
  return month >= 1 && month <= 12 ? names[month] : names[0];
}
}  // namespace

std::string gf_timeString(long long unixSeconds) {
  using namespace std::chrono;
  const sys_seconds t{seconds(unixSeconds)};
  const auto day = floor<days>(t);
  const year_month_day ymd{day};
  const hh_mm_ss hms{t - day};
  const weekday wd{day};
  return fmt::format("{:3} {:3} {:02} {:02}:{:02}:{:02} {:4}", gf_dayName(static_cast<int>(wd.iso_encoding())),
                     lf_monthName(static_cast<unsigned>(ymd.month())), static_cast<unsigned>(ymd.day()),
                     hms.hours().count(), hms.minutes().count(), hms.seconds().count(),
                     static_cast<int>(ymd.year()));
}

namespace {
// The eight characters hh:mm:ss, which end 5 characters before the end of the time text.
std::string lf_timeOfDayOf(long long unixSeconds) {
  const std::string t = gf_timeString(unixSeconds);
  return t.substr(t.size() - 13, 8);
}
}  // namespace

std::string gf_timeOfDay() { return lf_timeOfDayOf(clock::unixSeconds()); }

std::string gf_trafficTimeOfDay() { return lf_timeOfDayOf(gf_trafficTime()); }

std::string gf_dateString() {
  const std::string t = gf_timeString(clock::unixSeconds());
  return fmt::format("{}, {}", t.substr(4, 6), t.substr(20, 4));
}

void gf_setTrafficTimeSource(double (*timestampSource)(), bool (*professionalSource)()) {
  g_trafficTimestampSource = timestampSource;
  g_professionalSource = professionalSource;
}

long long gf_trafficTime() {
  const auto professional = g_professionalSource.load();
  const auto timestamp = g_trafficTimestampSource.load();
  if (professional && timestamp && professional()) {
    const double t = timestamp();
    // Anything that is no time of this world falls back to the PC clock as well.
    if (t != 0.0 && std::isfinite(t) && std::fabs(t) < 1e15) return static_cast<long long>(t);
  }
  return clock::unixSeconds();
}

WeekSlot gf_weekSlotAt(long long unixSeconds) {
  using namespace std::chrono;
  const sys_seconds t{seconds(unixSeconds)};
  const auto day = floor<days>(t);
  const hh_mm_ss hms{t - day};
  const auto h = static_cast<std::uint32_t>(hms.hours().count());
  const auto m = hms.minutes().count();
  const auto s = hms.seconds().count();
  const std::uint32_t second = (m >= 30 || (m == 29 && s >= 30)) ? 1u : 0u;
  return {weekday{day}.iso_encoding(), (2 * h + second) % 48};
}

WeekSlot gf_weekSlotNow() { return gf_weekSlotAt(gf_trafficTime()); }

// ---------------------------------------------------------------------------------------------
// Other

std::string gf_wsaErrorText(int code) {
  struct Entry {
    int code;
    const char* text;
  };
  static constexpr std::array<Entry, 49> table{{
      {10004, "Interrupted system call"},
      {10009, "Bad file number"},
      {10013, "Permission denied"},
      {10014, "Bad address"},
      {10022, "Invalid argument"},
      {10024, "Too many open sockets"},
      {10035, "Operation would block"},
      {10036, "Operation now in progress"},
      {10037, "Operation already in progress"},
      {10038, "Socket operation on non-socket"},
      {10039, "Destination address required"},
      {10040, "Messenger too long"},
      {10041, "Protocol wrong type for socket"},
      {10042, "Bad protocol option"},
      {10043, "Protocol not supported"},
      {10044, "Socket type not supported"},
      {10045, "Operation not supported on socket"},
      {10046, "Protocol family not supported"},
      {10047, "Address family not supported"},
      {10048, "Address already in use"},
      {10049, "Can't assign requested address"},
      {10050, "Network is down"},
      {10051, "Network is unreachable"},
      {10052, "Net connection reset"},
      {10053, "Software caused connection abort"},
      {10054, "Connection reset by peer"},
      {10055, "No buffer space available"},
      {10056, "Socket is already connected"},
      {10057, "Socket is not connected"},
      {10058, "Can't send numLines socket shutdown"},
      {10059, "Too many references, can't splice"},
      {10060, "Connection timed out"},
      {10061, "Connection refused"},
      {10062, "Too many levels of symbolic links"},
      {10063, "File name too long"},
      {10064, "Host is down"},
      {10065, "No route to host"},
      {10066, "Directory not empty"},
      {10067, "Too many processes"},
      {10068, "Too many users"},
      {10069, "Disc quota exceeded"},
      {10070, "Stale NFS file handle"},
      {10071, "Too many levels of remote in path"},
      {10091, "Network system is unavailable"},
      {10092, "Winsock version out of range"},
      {10093, "WSAStartup not yet called"},
      {10101, "Graceful shutdown in progress"},
      {11001, "Host not found"},
      {11004, "No host data of that type was found"},
  }};
  const auto it = std::find_if(table.begin(), table.end(), [code](const Entry& e) { return e.code == code; });
  return fmt::format("{} {}", code, it != table.end() ? it->text : "Unknown errror code");
}

int gf_countFilesInFolder(const fs::path& folder) {
  std::error_code ec;
  if (!fs::exists(folder, ec)) {
    if (ec) throw fs::filesystem_error("directory_iterator::directory_iterator", folder, ec);
    return 0;
  }
  fs::directory_iterator it(folder, ec);
  if (ec) throw fs::filesystem_error("directory_iterator::directory_iterator", folder, ec);
  int count = 0;
  for (; it != fs::directory_iterator(); it.increment(ec)) {
    const fs::file_status st = it->status(ec);
    // A link whose target is gone is simply not a file.
    if (ec && st.type() != fs::file_type::not_found)
      throw fs::filesystem_error("directory_entry::status", it->path(), ec);
    if (fs::is_regular_file(st)) ++count;
    ec.clear();
  }
  if (ec) throw fs::filesystem_error("directory_iterator::operator++", folder, ec);
  return count;
}

}  // namespace amb
