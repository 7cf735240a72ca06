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
using test::TempDir;
using test::writeFile;

// 2026-12-05 18:33:18 UTC, a Saturday.
constexpr long long kSat = 1796495598;
// 2026-12-07 00:00:00 UTC, a Monday.
constexpr long long kMonday = 1796601600;

TEST(Text, PluralSuffixes) {
  EXPECT_EQ(gf_plural(0), "s");
  EXPECT_EQ(gf_plural(1), "");
  EXPECT_EQ(gf_plural(2), "s");
  EXPECT_EQ(gf_pluralS(std::int64_t{-3}), "");
  EXPECT_EQ(gf_pluralS(std::int64_t{1}), "");
  EXPECT_EQ(gf_pluralS(std::int64_t{0}), "s");
  EXPECT_EQ(gf_pluralS(std::int32_t{-1}), "");
  EXPECT_EQ(gf_pluralS(std::int32_t{5}), "s");
}

TEST(Text, SplitTrimAndJoin) {
  using V = std::vector<std::string>;
  const std::pair<std::string, V> splits[] = {
      {"", V{}},
      {"a", V{"a"}},
      {"a,,b,", V{"a", "", "b", ""}},
      {",", V{"", ""}},
      {" a , b", V{" a ", " b"}},  // no trimming
  };
  for (const auto& [text, pieces] : splits) EXPECT_EQ(gf_splitComma(text), pieces) << text;
  EXPECT_EQ(gf_splitToVector("1;2;;3", ';'), (V{"1", "2", "", "3"}));

  EXPECT_EQ(gf_splitToSet("c,a,b,a"), (std::list<std::string>{"a", "b", "c"}));
  EXPECT_EQ(gf_splitToSet("b,,a"), (std::list<std::string>{"", "a", "b"}));
  EXPECT_EQ(gf_splitToSet("B,a"), (std::list<std::string>{"B", "a"}));  // byte order

  const std::pair<std::string, std::string> trims[] = {
      {"  abc\t\r\n", "abc"}, {"a b", "a b"}, {" \t\n\r", ""}, {"", ""}, {"\vx\v", "\vx\v"}};
  for (const auto& [in, out] : trims) EXPECT_EQ(gf_trim(in), out) << in;

  const std::pair<std::string, std::string> lists[] = {
      {"a, b ,c", "a,b,c"}, {"a,b", "a,b"}, {" x ", "x"}, {"a,\tb\r\n", "a,b"}, {"a,,b ", "a,,b"}};
  for (const auto& [in, out] : lists) {
    std::string text = in;
    gf_trimCommaList(text);
    EXPECT_EQ(text, out) << in;
  }
  // Without blanks the text is left exactly as it is, pieces of "," included.
  std::string untouched = ",a,,";
  gf_trimCommaList(untouched);
  EXPECT_EQ(untouched, ",a,,");

  EXPECT_EQ(gf_joinComma({}), "");
  EXPECT_EQ(gf_joinComma({"a"}), "a");
  EXPECT_EQ(gf_joinComma({"a", "", "b"}), "a,,b");
  EXPECT_EQ(gf_joinComma(gf_splitComma("x,,y,")), "x,,y,");
}

TEST(Text, CaseStarAndNumbers) {
  EXPECT_EQ(gf_toUpper("abc-xyz_9\xC3\xA9"), "ABC-XYZ_9\xC3\xA9");
  EXPECT_TRUE(gf_toUpper("CFG", "cfg"));
  EXPECT_TRUE(gf_toUpper("CFG", "CfG"));
  EXPECT_FALSE(gf_toUpper("cfg", "cfg"));  // only the second text is upper-cased
  EXPECT_FALSE(gf_toUpper("CFG", "cfgx"));

  EXPECT_TRUE(gf_equalsWithStar("B73", "B73*"));
  EXPECT_FALSE(gf_equalsWithStar("B73", "B73"));
  EXPECT_FALSE(gf_equalsWithStar("B73", "B738"));
  EXPECT_FALSE(gf_equalsWithStar("B73", "B7*"));
  EXPECT_TRUE(gf_equalsWithStar("", "*"));
  EXPECT_FALSE(gf_equalsWithStar("", ""));

  const std::pair<float, std::string> floats[] = {
      {2.5f, "2.5"}, {3.0f, "3"}, {0.0f, "0"}, {-1.5f, "-1.5"}, {24.0f, "24"}, {0.5f, "0.5"}, {-7.0f, "-7"}};
  for (const auto& [v, text] : floats) EXPECT_EQ(gf_float2string(v), text) << v;
}

TEST(Text, BannerLines) {
  struct Case {
    int a, b;
    bool lead, trail;
    std::string text, expected;
  };
  const Case cases[] = {
      {10, 5, false, false, "abc", "******* abc *******"},  // w = 16
      {70, 0, false, false, "", std::string(70, '*')},
      {3, 0, false, false, "", "****"},
      {4, 0, false, false, "ab", "ab"},  // w is not greater than length + 2
      {5, 0, false, false, "ab", "** ab **"},
      {70, 10, true, true, "x", "\n" + std::string(39, '*') + " x " + std::string(39, '*') + "\n"},
  };
  for (const auto& c : cases) EXPECT_EQ(gf_bannerLine(c.a, c.b, c.lead, c.trail, c.text), c.expected) << c.text;
}

TEST(Text, AirportLabels) {
  EXPECT_EQ(gf_airportLabel(AirportData{"EDDF", "FRA", 50.0, 8.5, 364}), "EDDF (FRA)");
  EXPECT_EQ(gf_airportLabel(AirportData{"EDDF", "", 0, 0, 0}), "EDDF");
  EXPECT_EQ(gf_airportLabel(AirportData{"", "FRA", 0, 0, 0}), "? (FRA)");
  EXPECT_EQ(gf_airportLabel(AirportData{}), "?");
}

TEST(Random, OffGivesFirstChoicesAndKeepsOrder) {
  gf_resetStringHelpers();
  gf_setRandomOn(false);
  const std::vector<std::string> original{"a", "b", "c", "d", "e"};
  for (int i = 0; i < 50; ++i) {
    EXPECT_EQ(gf_randomIndex(10), 0);
    auto v = original;
    gf_shuffle(v);
    EXPECT_EQ(v, original);
  }
  gf_resetStringHelpers();
  EXPECT_TRUE(gf_randomOn());
}

TEST(Random, OnDrawsFromTheEngineInRange) {
  gf_resetStringHelpers();
  gf_randomEngine().seed(7);
  std::mt19937 copy(7);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(gf_randomIndex(7), static_cast<std::int64_t>(copy() % 7));
  // n below 2 draws nothing.
  const auto before = gf_randomEngine();
  EXPECT_EQ(gf_randomIndex(1), 0);
  EXPECT_EQ(gf_randomIndex(-4), 0);
  EXPECT_EQ(gf_randomEngine(), before);

  const std::vector<std::string> original{"a", "b", "c", "d", "e", "f", "g", "h"};
  bool changed = false;
  for (int i = 0; i < 20; ++i) {
    auto v = original;
    gf_shuffle(v);
    auto sorted = v;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(sorted, original);
    changed = changed || v != original;
  }
  EXPECT_TRUE(changed);
}

TEST(Random, VariationTakesItsSignFromTheLowestBit) {
  gf_randomEngine().seed(11);
  std::mt19937 copy(11);
  for (int i = 0; i < 50; ++i) {
    const bool minus = (copy() & 1u) != 0;
    EXPECT_DOUBLE_EQ(gf_randomVariation(200.0, 10.0), minus ? 180.0 : 220.0);
  }
  EXPECT_DOUBLE_EQ(gf_randomVariation(200.0, 0.0), 200.0);
  EXPECT_DOUBLE_EQ(gf_randomVariation(200.0, -5.0), 200.0);
}

TEST(Time, TimeStrings) {
  const std::pair<long long, std::string> cases[] = {
      {0, "Thu Jan 01 00:00:00 1970"},
      {kSat, "Sat Dec 05 18:33:18 2026"},
      {1791021600, "Sat Okt 03 10:00:00 2026"},   // October
      {1709164800, "Thu Feb 29 00:00:00 2024"},   // leap day
      {4102444799, "Thu Dec 31 23:59:59 2099"},
      {-1, "Wed Dec 31 23:59:59 1969"},
  };
  for (const auto& [t, text] : cases) EXPECT_EQ(gf_timeString(t), text) << t;
  EXPECT_EQ(gf_dayName(1), "Mon");
  EXPECT_EQ(gf_dayName(7), "Sun");
  EXPECT_EQ(gf_dayName(0), "???");
  EXPECT_EQ(gf_dayName(8), "???");

  clock::ManualClock clk(kSat);
  EXPECT_EQ(gf_timeOfDay(), "18:33:18");
  EXPECT_EQ(gf_dateString(), "Dec 05, 2026");
}

TEST(Time, WeekSlotsTurnAtTwentyNineThirty) {
  const long long noon = kMonday + 12 * 3600;
  struct Case {
    long long t;
    std::uint32_t weekday, halfHour;
  };
  const Case cases[] = {
      {kMonday, 1, 0},
      {noon + 29 * 60 + 29, 1, 24},
      {noon + 29 * 60 + 30, 1, 25},
      {noon + 59 * 60 + 59, 1, 25},
      {noon + 60 * 60, 1, 26},
      {kMonday + 23 * 3600 + 59 * 60 + 59, 1, 47},
      {kMonday + 23 * 3600 + 29 * 60 + 30, 1, 47},
      {kMonday + 86400 * 5 + 10, 6, 0},            // Saturday
      {kMonday + 86400 * 6 + 3600 * 8, 7, 16},     // Sunday
      {kMonday + 86400 * 7 - 1, 7, 47},
  };
  for (const auto& c : cases) {
    const WeekSlot slot = gf_weekSlotAt(c.t);
    EXPECT_EQ(slot.weekday, c.weekday) << c.t;
    EXPECT_EQ(slot.halfHour, c.halfHour) << c.t;
  }
  const WeekSlot s{3, 41};
  EXPECT_EQ(s.packed(), (std::uint64_t{41} << 32) | 3u);
  EXPECT_EQ(WeekSlot::fromPacked(s.packed()), s);
}

double g_testTimestamp = 0;
bool g_testProfessional = false;
double testTimestamp() { return g_testTimestamp; }
bool testProfessional() { return g_testProfessional; }

TEST(Time, TrafficTimeFollowsTheProfessionalFeedOnly) {
  gf_resetStringHelpers();
  clock::ManualClock clk(kSat);
  EXPECT_EQ(gf_trafficTime(), kSat);  // no source yet

  gf_setTrafficTimeSource(&testTimestamp, &testProfessional);
  const long long sundayNight = kMonday - 60;  // Sun 23:59:00
  struct Case {
    bool professional;
    double timestamp;
    long long expected;
  };
  const Case cases[] = {
      {false, static_cast<double>(sundayNight), kSat},
      {true, 0.0, kSat},
      {true, sundayNight + 0.9, sundayNight},  // cut to whole seconds
      {true, std::nan(""), kSat},
      {true, 1e300, kSat},
  };
  for (const auto& c : cases) {
    g_testProfessional = c.professional;
    g_testTimestamp = c.timestamp;
    EXPECT_EQ(gf_trafficTime(), c.expected) << c.timestamp;
  }
  g_testProfessional = true;
  g_testTimestamp = static_cast<double>(sundayNight);
  EXPECT_EQ(gf_trafficTimeOfDay(), "23:59:00");
  EXPECT_EQ(gf_weekSlotNow(), (WeekSlot{7, 47}));
  EXPECT_EQ(gf_timeOfDay(), "18:33:18");  // the PC clock is not the traffic time

  gf_resetStringHelpers();
  EXPECT_EQ(gf_weekSlotNow(), (WeekSlot{6, 37}));
}

TEST(Other, WinsockErrorTexts) {
  EXPECT_EQ(gf_wsaErrorText(10061), "10061 Connection refused");
  EXPECT_EQ(gf_wsaErrorText(10004), "10004 Interrupted system call");
  EXPECT_EQ(gf_wsaErrorText(10058), "10058 Can't send numLines socket shutdown");
  EXPECT_EQ(gf_wsaErrorText(11004), "11004 No host data of that type was found");
  EXPECT_EQ(gf_wsaErrorText(5), "5 Unknown errror code");
  EXPECT_EQ(gf_wsaErrorText(10000), "10000 Unknown errror code");
}

TEST(Other, CountFilesInFolder) {
  TempDir dir;
  EXPECT_EQ(gf_countFilesInFolder(dir / "missing"), 0);
  EXPECT_EQ(gf_countFilesInFolder(dir.path()), 0);
  writeFile(dir / "a.txt", "x");
  writeFile(dir / "b.bgl", "");
  writeFile(dir / "sub" / "c.txt", "x");  // subfolders are not counted
  fs::create_symlink(dir / "a.txt", dir / "link.txt");
  fs::create_symlink(dir / "gone.txt", dir / "broken.txt");
  fs::create_directory_symlink(dir / "sub", dir / "sublink");
  EXPECT_EQ(gf_countFilesInFolder(dir.path()), 3);  // a, b and the link to a

  try {
    gf_countFilesInFolder(dir / "a.txt");
    ADD_FAILURE() << "a file is not a folder";
  } catch (const fs::filesystem_error& e) {
    EXPECT_NE(std::string(e.what()).find("directory_iterator::directory_iterator"), std::string::npos) << e.what();
  }
}

}  // namespace
}  // namespace amb
