#include "core/airport_data.hpp"
#include "core/clock.hpp"
#include "core/strings.hpp"
#include "support/test_support.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

namespace amb {
namespace {

namespace fs = std::filesystem;
using V = std::vector<std::string>;

constexpr long long kSat = 1796495598;     // Sat 2026-12-05 18:33:18 UTC
constexpr long long kMonday = 1796601600;  // Mon 2026-12-07 00:00:00 UTC

TEST(Text, ListsAndLabels) {
  EXPECT_EQ(gf_splitComma("a,,b,"), (V{"a", "", "b", ""}));
  EXPECT_EQ(gf_splitToSet("c,a,,B,a"), (std::list<std::string>{"", "B", "a", "c"}));
  std::string list = "a, b ,c\r\n";
  gf_trimCommaList(list);
  EXPECT_EQ(list, "a,b,c");
  EXPECT_FALSE(gf_toUpper("cfg", "cfg"));  // only the second text is upper-cased
  EXPECT_TRUE(gf_equalsWithStar("B73", "B73*"));
  EXPECT_FALSE(gf_equalsWithStar("B73", "B738") || gf_equalsWithStar("B73", "B7*") || gf_equalsWithStar("", ""));
  EXPECT_EQ(gf_float2string(2.5f) + "|" + gf_float2string(3.0f), "2.5|3");
  EXPECT_EQ(gf_airportLabel({"EDDF", "FRA", 0, 0, 0}) + gf_airportLabel({"", "", 0, 0, 0}), "EDDF (FRA)?");
}

TEST(Random, ChoicesFollowTheOptionAndTheEngine) {
  gf_resetStringHelpers();
  gf_setRandomOn(false);
  const V original{"a", "b", "c", "d", "e", "f"};
  auto v = original;
  for (int i = 0; i < 20; ++i) gf_shuffle(v);
  EXPECT_EQ(v, original);
  EXPECT_EQ(gf_randomIndex(10), 0);
  gf_setRandomOn(true);
  gf_randomEngine().seed(7);
  std::mt19937 copy(7);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(gf_randomIndex(7), static_cast<std::int64_t>(copy() % 7));
  for (int i = 0; i < 20 && v == original; ++i) gf_shuffle(v);
  EXPECT_NE(v, original);
  std::sort(v.begin(), v.end());
  EXPECT_EQ(v, original);
}

double g_timestamp = 0;
bool g_professional = false;

TEST(Time, TextsWeekSlotsAndTheTrafficTime) {
  for (const auto& [t, text] : {std::pair<long long, std::string>{kSat, "Sat Dec 05 18:33:18 2026"},
                                {1791021600, "Sat Okt 03 10:00:00 2026"}, {-1, "Wed Dec 31 23:59:59 1969"}})
    EXPECT_EQ(gf_timeString(t), text);
  clock::ManualClock clk(kSat);
  EXPECT_EQ(gf_timeOfDay() + " " + gf_dateString(), "18:33:18 Dec 05, 2026");
  const long long noon = kMonday + 12 * 3600;
  const std::pair<long long, WeekSlot> slots[] = {
      {noon + 29 * 60 + 29, {1, 24}}, {noon + 29 * 60 + 30, {1, 25}}, {kMonday + 86400 * 5, {6, 0}}, {kMonday - 1, {7, 47}}};
  for (const auto& [t, slot] : slots) EXPECT_EQ(gf_weekSlotAt(t), slot) << t;

  // The traffic time follows the professional feed's timestamps only, when they are usable.
  gf_resetStringHelpers();
  gf_setTrafficTimeSource([] { return g_timestamp; }, [] { return g_professional; });
  const long long sunday = kMonday - 60;  // Sun 23:59:00
  for (const auto& [pro, ts, expected] : {std::tuple<bool, double, long long>{false, sunday, kSat}, {true, 0.0, kSat},
                                          {true, sunday + 0.9, sunday}, {true, std::nan(""), kSat}}) {
    g_professional = pro;
    g_timestamp = ts;
    EXPECT_EQ(gf_trafficTime(), expected) << ts;
  }
  g_timestamp = static_cast<double>(sunday);
  EXPECT_EQ(gf_weekSlotNow(), (WeekSlot{7, 47}));
  gf_resetStringHelpers();
  EXPECT_EQ(gf_weekSlotNow(), (WeekSlot{6, 37}));
}

TEST(Other, SocketErrorsAndFileCounts) {
  EXPECT_EQ(gf_wsaErrorText(5), "5 Unknown errror code");
  test::TempDir dir;
  EXPECT_EQ(gf_countFilesInFolder(dir / "missing"), 0);
  test::writeFile(dir / "a.txt", "x");
  test::writeFile(dir / "sub" / "c.txt", "x");
#ifdef _WIN32
  EXPECT_EQ(gf_countFilesInFolder(dir.path()), 1);  // symbolic links need a privilege on Windows
#else
  fs::create_symlink(dir / "a.txt", dir / "link.txt");
  fs::create_symlink(dir / "gone.txt", dir / "broken.txt");
  EXPECT_EQ(gf_countFilesInFolder(dir.path()), 2);  // a and the link to a
#endif
  EXPECT_THROW(gf_countFilesInFolder(dir / "a.txt"), fs::filesystem_error);
}

}  // namespace
}  // namespace amb
