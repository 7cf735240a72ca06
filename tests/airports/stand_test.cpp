// The stand's option table: new options, callsigns, half-hour bits and their text form, and the
// half-hour distance within a week.

#include "airports/stand.hpp"
#include "airports_fixture.hpp"

#include <stdexcept>

namespace amb {
namespace {

using test::makeOption;

class StandOptions : public test::AirportsTest {};

constexpr std::uint64_t bit(int i) { return std::uint64_t{1} << i; }

TEST_F(StandOptions, NewOptionsAreNumberedAfterTheLastAndRepeatsAreRefused) {
  std::vector<ParkPosOption> t;
  const std::string dal = "DAL", b738 = "B738";
  EXPECT_EQ(gf_addParkPosOption(t, {dal, b738}, 1, {3, 20}, "DAL12_", "N1"), 1u);
  EXPECT_EQ(t[0].cs1, "DAL12");
  EXPECT_EQ(t[0].halfHours, bit(20));
  EXPECT_EQ(t[0].day, 3u);
  EXPECT_EQ(t[0].readMark, 0u);
  // Same registration, day, half hour and callsign: refused; airline, type and kind are not compared.
  EXPECT_EQ(gf_addParkPosOption(t, {b738, dal}, 0, {3, 20}, "DAL12", "N1"), 0u);
  EXPECT_EQ(gf_addParkPosOption(t, {dal, b738}, 1, {3, 20}, "DAL99", "N1"), 2u);
  // The next id follows the last option's, whatever the others hold.
  t.back().id = 7;
  t.front().id = 40;
  EXPECT_EQ(gf_addParkPosOption(t, {dal, b738}, 0, {4, 0}, "_", ""), 8u);
  EXPECT_EQ(t.back().cs1, "");
  EXPECT_EQ(t.back().kind, 0u);
  EXPECT_EQ(test::thrownText<std::out_of_range>([&] { gf_addParkPosOption(t, {dal, b738}, 1, {4, 48}, "X", ""); }),
            "invalid bitset position");
  EXPECT_EQ(t.size(), 3u);
}

TEST_F(StandOptions, AKnownRegistrationGivesTheDataBasesOperatorAndType) {
  g_regcodeInfos["D-ABCD"] = {"DLH", "A320", "", false};
  g_regcodeInfos["N123FE"] = {"FDX", "MD11", "FXX", true};
  std::vector<ParkPosOption> t;
  const std::string x = "XXX", y = "YYYY";
  gf_addParkPosOption(t, {x, y}, 1, {1, 1}, "A", "DABCD");  // found as its second form
  gf_addParkPosOption(t, {x, y}, 1, {1, 1}, "B", "N123FE");
  gf_addParkPosOption(t, {x, y}, 1, {1, 1}, "C", "G-NONE");
  EXPECT_EQ(t[0].airl + t[0].type, "DLHA320");
  EXPECT_EQ(t[1].airl + t[1].type, "FXXMD11");
  EXPECT_EQ(t[2].airl + t[2].type, "XXXYYYY");
  EXPECT_EQ(t[0].reg, "DABCD");
}

TEST_F(StandOptions, CallsignsKeepTheFirstAndTheLatestOther) {
  std::vector<ParkPosOption> t{makeOption("A", "T", "", 1, 0, 0), makeOption("A", "T", "", 1, 0, 2),
                               makeOption("A", "T", "", 1, 0, 2)};
  gf_addOptionCallsign(t, 0, "ZERO");  // id 0 is never touched
  EXPECT_EQ(t[0].cs1, "");
  for (const char* cs : {"A", "B", "C", "A", "_"}) gf_addOptionCallsign(t, 2, cs);
  EXPECT_EQ(t[1].cs1, "A");
  EXPECT_EQ(t[1].cs2, "C");
  EXPECT_EQ(t[2].cs1, "");  // only the first option with the id
}

TEST_F(StandOptions, HalfHoursGoBackOverMidnightAndTheEndOfTheWeek) {
  std::vector<WeekSlot> v;
  lf_lastHalfHours(v, 3, {1, 1});
  EXPECT_EQ(v, (std::vector<WeekSlot>{{1, 1}, {1, 0}, {7, 47}}));
  lf_lastHalfHours(v, 0, {1, 1});
  lf_lastHalfHours(v, -2, {1, 1});
  EXPECT_EQ(v.size(), 3u);

  std::vector<ParkPosOption> t{makeOption("A", "T", "", 2, 0, 1)};
  gf_extendOption(t, {2, 10}, "CS", 3, 1);
  EXPECT_EQ(t[0].halfHours, bit(8) | bit(9) | bit(10));
  EXPECT_EQ(t[0].cs1, "CS");
  gf_extendOption(t, {2, 12}, "CS", 2, 5);  // no such option: nothing set
  EXPECT_EQ(t[0].halfHours, bit(8) | bit(9) | bit(10));

  // From 46 of day 1 to 1 of day 2: 46 and 47 in the old option, 0 in the new; 1 (now) is the new's own.
  std::vector<ParkPosOption> m{makeOption("A", "T", "", 1, 0, 1), makeOption("A", "T", "", 2, bit(1), 2)};
  gf_extendOptionOverMidnight(m, {2, 1}, "CS_", 4, 1, 2);
  EXPECT_EQ(m[0].halfHours, bit(46) | bit(47));
  EXPECT_EQ(m[1].halfHours, bit(0) | bit(1));
  EXPECT_EQ(m[0].cs1 + m[1].cs1, "CSCS");
}

TEST_F(StandOptions, BitsOutsideTheDayAreLoggedNotSet) {
  ParkPosOption o = makeOption("A", "T", "", 1, 0, 1, 1, "C1", "C2");
  updateOption(o, 48);
  updateOption(o, -1);
  EXPECT_EQ(o.halfHours, 0u);
  EXPECT_TRUE(logHas("updateOption \"C1\" \"C2\" bit:48 exception:invalid bitset position"));
  std::uint32_t out = 0;
  EXPECT_FALSE(testRange(o, 48, 2, out));
  EXPECT_TRUE(logHas("===> exception invalid bitset position in testRange, start: 48, offset: 2"));
}

TEST_F(StandOptions, RangeTestReportsHowFarItReachesIntoThePreviousDay) {
  ParkPosOption o = makeOption("A", "T", "", 1, 0, 1);
  std::uint32_t out = 0;
  EXPECT_FALSE(testRange(o, 3, 5, out));
  EXPECT_EQ(out, 2u);
  EXPECT_FALSE(testRange(o, 0, 60, out));
  EXPECT_EQ(out, 46u);
  o.halfHours = bit(6) | bit(11);
  EXPECT_FALSE(testRange(o, 10, 3, out));  // 10, 9, 8, 7
  EXPECT_EQ(out, 0xFFFFFFFFu);
  EXPECT_TRUE(testRange(o, 10, 4, out));
  EXPECT_TRUE(testRange(o, 11, 0, out));
}

TEST_F(StandOptions, RealOptionsMatchByCallsignElseByAirlineAndType) {
  const std::string dal = "DAL", b738 = "B738", aal = "AAL";
  ParkPosOption o = makeOption("DAL", "B738", "", 1, 0, 3, 1, "DAL1", "DAL2");
  EXPECT_TRUE(gf_isRealOptionOf("DAL2", {aal, aal}, o));
  EXPECT_TRUE(gf_isRealOptionOf("XXX", {dal, b738}, o));
  EXPECT_FALSE(gf_isRealOptionOf("XXX", {dal, aal}, o));
  o.kind = 0;
  EXPECT_FALSE(gf_isRealOptionOf("DAL1", {dal, b738}, o));
  o.kind = 1;
  o.id = 0;
  EXPECT_FALSE(gf_isRealOptionOf("DAL1", {dal, b738}, o));
  EXPECT_TRUE(gf_sameAirlineModel(o, makeOption("DAL", "B738", "X", 5, 0, 0)));
  EXPECT_FALSE(gf_sameAirlineModel(o, makeOption("DAL", "B739", "", 1, 0, 3)));
}

TEST_F(StandOptions, WeekDistanceWrapsOnlyFromSundayToMonday) {
  EXPECT_EQ(gf_weekHalfHourDiff({7, 46}, {1, 1}), 3u);
  EXPECT_EQ(gf_weekHalfHourDiff({1, 1}, {7, 46}), 3u);
  EXPECT_EQ(gf_weekHalfHourDiff({2, 10}, {2, 10}), 0u);
  EXPECT_EQ(gf_weekHalfHourDiff({3, 0}, {2, 47}), 1u);
  EXPECT_EQ(gf_weekHalfHourDiff({2, 47}, {3, 0}), 1u);
  EXPECT_EQ(gf_weekHalfHourDiff({1, 0}, {6, 0}), 240u);  // day 6 counts as the later one
}

TEST_F(StandOptions, HalfHourTextsReadEveryGoodPieceAndLogTheRest) {
  EXPECT_EQ(gf_hours2bitset("3,7,47"), bit(3) | bit(7) | bit(47));
  EXPECT_EQ(gf_hours2bitset("12x"), bit(12));
  EXPECT_EQ(gf_hours2bitset(""), 0u);
  EXPECT_FALSE(logHas("invalid hour"));
  EXPECT_EQ(gf_hours2bitset("1,,2,48, 5,-1,99999999999,"), bit(1) | bit(2));
  for (const char* piece : {"\"\"", "\"48\"", "\" 5\"", "\"-1\"", "\"99999999999\""})
    EXPECT_TRUE(logHas(std::string("gf_hours2bitset invalid hour ") + piece + " in 1,,2,48, 5,-1,99999999999,"))
        << piece;
  EXPECT_EQ(gf_bitset2hours(bit(0) | bit(1) | bit(2) | bit(17)), "0,1,2,17");
  EXPECT_EQ(gf_bitset2hours(bit(0)), "0");
  EXPECT_EQ(gf_bitset2hours(0), "");
  EXPECT_EQ(gf_bitset2hours(bit(50) | bit(47)), "47");  // nothing beyond the day
}

}  // namespace
}  // namespace amb
