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

TEST(Text, CountsListsAndLabels) {
  EXPECT_EQ(gf_plural(0) + gf_plural(1) + gf_plural(2), "ss");
  EXPECT_EQ(gf_pluralS(std::int64_t{-3}) + gf_pluralS(std::int32_t{1}) + gf_pluralS(std::int32_t{0}), "s");

  EXPECT_EQ(gf_splitComma("a,,b,"), (V{"a", "", "b", ""}));
  EXPECT_EQ(gf_splitComma(""), V{});
  EXPECT_EQ(gf_splitToVector(" a ;b", ';'), (V{" a ", "b"}));
  EXPECT_EQ(gf_splitToSet("c,a,,B,a"), (std::list<std::string>{"", "B", "a", "c"}));
  EXPECT_EQ(gf_trim(" \t\r\nabc \n"), "abc");
  EXPECT_EQ(gf_trim(" \t\n\r"), "");
  EXPECT_EQ(gf_joinComma({"a", "", "b"}), "a,,b");
  for (const auto& [in, out] : {std::pair<std::string, std::string>{"a, b ,c", "a,b,c"}, {"a,\tb\r\n", "a,b"},
                                {",a,,", ",a,,"}}) {
    std::string text = in;
    gf_trimCommaList(text);
    EXPECT_EQ(text, out);
  }

  EXPECT_EQ(gf_toUpper("abz-9\xC3\xA9"), "ABZ-9\xC3\xA9");
  EXPECT_TRUE(gf_toUpper("CFG", "cFg"));
  EXPECT_FALSE(gf_toUpper("cfg", "cfg"));  // only the second text is upper-cased
  EXPECT_TRUE(gf_equalsWithStar("B73", "B73*"));
  EXPECT_FALSE(gf_equalsWithStar("B73", "B738") || gf_equalsWithStar("B73", "B7*") || gf_equalsWithStar("", ""));
  EXPECT_EQ(gf_float2string(2.5f) + "|" + gf_float2string(3.0f) + "|" + gf_float2string(-1.5f), "2.5|3|-1.5");

  EXPECT_EQ(gf_bannerLine(10, 5, false, false, "abc"), "******* abc *******");
  EXPECT_EQ(gf_bannerLine(3, 0, true, true, ""), "\n****\n");
  EXPECT_EQ(gf_bannerLine(4, 0, false, false, "ab"), "ab");
  EXPECT_EQ(gf_airportLabel({"EDDF", "FRA", 0, 0, 0}) + gf_airportLabel({"", "", 0, 0, 0}), "EDDF (FRA)?");
}

TEST(Random, ChoicesFollowTheOptionAndTheEngine) {
  gf_resetStringHelpers();
  gf_setRandomOn(false);
  const V original{"a", "b", "c", "d", "e", "f"};
  auto v = original;
  for (int i = 0; i < 20; ++i) {
    EXPECT_EQ(gf_randomIndex(10), 0);
    gf_shuffle(v);
  }
  EXPECT_EQ(v, original);

  gf_setRandomOn(true);
  gf_randomEngine().seed(7);
  std::mt19937 copy(7);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(gf_randomIndex(7), static_cast<std::int64_t>(copy() % 7));
  EXPECT_EQ(gf_randomIndex(1), 0);
  EXPECT_EQ(gf_randomEngine(), copy);  // n below 2 draws nothing
  for (int i = 0; i < 20 && v == original; ++i) gf_shuffle(v);
  EXPECT_NE(v, original);
  std::sort(v.begin(), v.end());
  EXPECT_EQ(v, original);

  gf_randomEngine().seed(11);
  copy.seed(11);
  for (int i = 0; i < 20; ++i) EXPECT_DOUBLE_EQ(gf_randomVariation(200.0, 10.0), (copy() & 1u) ? 180.0 : 220.0);
  EXPECT_DOUBLE_EQ(gf_randomVariation(200.0, 0.0), 200.0);
}

TEST(Time, TextsAndWeekSlots) {
  for (const auto& [t, text] : {std::pair<long long, std::string>{0, "Thu Jan 01 00:00:00 1970"},
                                {kSat, "Sat Dec 05 18:33:18 2026"}, {1791021600, "Sat Okt 03 10:00:00 2026"},
                                {1709164800, "Thu Feb 29 00:00:00 2024"}, {-1, "Wed Dec 31 23:59:59 1969"}})
    EXPECT_EQ(gf_timeString(t), text);
  EXPECT_EQ(gf_dayName(7) + gf_dayName(0), "Sun???");
  clock::ManualClock clk(kSat);
  EXPECT_EQ(gf_timeOfDay(), "18:33:18");
  EXPECT_EQ(gf_dateString(), "Dec 05, 2026");

  const long long noon = kMonday + 12 * 3600;
  const std::pair<long long, WeekSlot> slots[] = {
      {noon + 29 * 60 + 29, {1, 24}}, {noon + 29 * 60 + 30, {1, 25}}, {noon + 59 * 60 + 59, {1, 25}},
      {kMonday + 86399, {1, 47}}, {kMonday + 86400 * 5, {6, 0}}, {kMonday - 1, {7, 47}}};
  for (const auto& [t, slot] : slots) EXPECT_EQ(gf_weekSlotAt(t), slot) << t;
  EXPECT_EQ(WeekSlot({3, 41}).packed(), (std::uint64_t{41} << 32) | 3u);
}

double g_timestamp = 0;
bool g_professional = false;

TEST(Time, TrafficTimeFollowsTheProfessionalFeedOnly) {
  gf_resetStringHelpers();
  clock::ManualClock clk(kSat);
  EXPECT_EQ(gf_trafficTime(), kSat);
  gf_setTrafficTimeSource([] { return g_timestamp; }, [] { return g_professional; });
  const long long sunday = kMonday - 60;  // Sun 23:59:00
  for (const auto& [pro, ts, expected] : {std::tuple<bool, double, long long>{false, sunday, kSat}, {true, 0.0, kSat},
                                          {true, sunday + 0.9, sunday}, {true, std::nan(""), kSat}}) {
    g_professional = pro;
    g_timestamp = ts;
    EXPECT_EQ(gf_trafficTime(), expected) << ts;
  }
  g_timestamp = static_cast<double>(sunday);
  EXPECT_EQ(gf_trafficTimeOfDay(), "23:59:00");
  EXPECT_EQ(gf_weekSlotNow(), (WeekSlot{7, 47}));
  gf_resetStringHelpers();
  EXPECT_EQ(gf_weekSlotNow(), (WeekSlot{6, 37}));
}

TEST(Other, SocketErrorsAndFileCounts) {
  EXPECT_EQ(gf_wsaErrorText(10061), "10061 Connection refused");
  EXPECT_EQ(gf_wsaErrorText(11004), "11004 No host data of that type was found");
  EXPECT_EQ(gf_wsaErrorText(5), "5 Unknown errror code");

  test::TempDir dir;
  EXPECT_EQ(gf_countFilesInFolder(dir / "missing"), 0);
  test::writeFile(dir / "a.txt", "x");
  test::writeFile(dir / "b.bgl", "");
  test::writeFile(dir / "sub" / "c.txt", "x");
#ifdef _WIN32
  // Symbolic links need a privilege on Windows.
  EXPECT_EQ(gf_countFilesInFolder(dir.path()), 2);
#else
  fs::create_symlink(dir / "a.txt", dir / "link.txt");
  fs::create_symlink(dir / "gone.txt", dir / "broken.txt");
  EXPECT_EQ(gf_countFilesInFolder(dir.path()), 3);  // a, b and the link to a
#endif
  EXPECT_THROW(gf_countFilesInFolder(dir / "a.txt"), fs::filesystem_error);
}

}  // namespace
}  // namespace amb
