#include "core/strings.hpp"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>

namespace amb {

namespace {
std::atomic<bool> g_randomOn{true};
}

bool gf_randomOn() { return g_randomOn.load(std::memory_order_relaxed); }
void gf_setRandomOn(bool on) { g_randomOn.store(on, std::memory_order_relaxed); }

const std::string& gf_dayName(int day) {
  static const std::array<std::string, 8> names{"???", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat", "Sun"};
  return (day >= 1 && day <= 7) ? names[static_cast<std::size_t>(day)] : names[0];
}

namespace {
const std::string& monthName(unsigned month) {
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
                     monthName(static_cast<unsigned>(ymd.month())), static_cast<unsigned>(ymd.day()),
                     hms.hours().count(), hms.minutes().count(), hms.seconds().count(),
                     static_cast<int>(ymd.year()));
}

}  // namespace amb

namespace amb {

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

}  // namespace amb

#include "core/clock.hpp"

namespace amb {

std::string gf_timeOfDay() {
  const std::string t = gf_timeString(clock::unixSeconds());
  return t.substr(t.size() - 13, 8);
}

}  // namespace amb
