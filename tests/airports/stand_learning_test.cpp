// Stand finding and stand learning: the stand at a position, the stand a live aircraft takes, real and
// soft options by weekday and half hour with their gaps filled, the soft stand choice and the coupled
// callsign.

#include "parking_fixture.hpp"

#include "traffic/live_ac.hpp"

namespace amb {
namespace {

using test::airliner;
using test::makeOption;
using test::makeStand;
using test::north;

const LatLon kBase{40.6413, -73.7781};
constexpr double kRadiansPerDegree = kPi / 180.0;

class StandLearning : public test::ParkingTest {
protected:
  void SetUp() override {
    ParkingTest::SetUp();
    setPark({"KJFK", "JFK", kBase.lat, kBase.lon, 13});
    g_userOnGround = 1;
  }
  // The stands, numbered from 1 as the loader numbers them.
  static void stands(std::vector<Stand> list) {
    std::uint32_t id = 1;
    for (Stand& s : list) s.id = id++;
    g_stands = std::move(list);
    gf_forgetStandNameCache();
  }
  static Stand gate(const std::string& name, const LatLon& at, double radiusMetres) {
    return makeStand(name, at.lat, at.lon, 0, radiusMetres);
  }
  static Stand& stand(std::uint32_t id) { return g_stands.at(id - 1); }
  static std::string found(const std::vector<Stand>::iterator it) { return it == g_stands.end() ? "" : it->name; }
};

// ---- The stand at a position ----

TEST_F(StandLearning, TheStandAtAPositionLiesWithin55Metres) {
  stands({gate("A1", north(kBase, 55.0), 20)});
  EXPECT_EQ(gf_standNameAt(kBase.lat, kBase.lon), "A1");
  stands({gate("A2", north(kBase, 55.1), 20)});
  EXPECT_EQ(gf_standNameAt(kBase.lat, kBase.lon), "");
  // Equally near: the first one; nearer: that one, whatever it is.
  stands({gate("B1", north(kBase, 30), 20), gate("B2", north(kBase, 30), 20), gate("B3", north(kBase, 31), 20)});
  EXPECT_EQ(gf_standNameAt(kBase.lat, kBase.lon), "B1");
  stands({gate("C1", north(kBase, 30), 20), gate("C2", north(kBase, -10), 20)});
  stand(2).occupied = 1;
  stand(2).heli = 1;
  EXPECT_EQ(gf_standNameAt(kBase.lat, kBase.lon), "C2");
  // Not while the user aircraft is in the air, and not without stands.
  g_userOnGround = 0;
  EXPECT_EQ(gf_standNameAt(kBase.lat, kBase.lon), "");
  g_userOnGround = 1;
  stands({});
  EXPECT_EQ(gf_standNameAt(kBase.lat, kBase.lon), "");
}

// The same position asked again takes the last answer; new stands are searched again.
TEST_F(StandLearning, TheLastAnswerIsKeptForTheSamePosition) {
  stands({gate("A1", north(kBase, 10), 20)});
  EXPECT_EQ(gf_standNameAt(kBase.lat, kBase.lon), "A1");
  g_stands.front().name = "renamed";
  EXPECT_EQ(gf_standNameAt(kBase.lat, kBase.lon), "A1");
  EXPECT_EQ(gf_standNameAt(kBase.lat + 1e-7, kBase.lon), "renamed");
  stands({gate("B7", north(kBase, 10), 20)});
  EXPECT_EQ(gf_standNameAt(kBase.lat + 1e-7, kBase.lon), "B7");
}

// ---- The stand for an aircraft ----

// Half span 0.01 nm (18.52 m) against a stand of radius 10 m: 8.52 m too small.
TEST_F(StandLearning, ATooSmallStandIsTakenOnlyWithin20MetresAndThenEnlarged) {
  const AcData ac = airliner(0xA00001, "DAL10", "N10");
  stands({gate("S19", north(kBase, 19), 10)});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, false)), "S19");
  EXPECT_DOUBLE_EQ(stand(1).radiusNm, 0.01 - 0.0005399568034557236);
  EXPECT_EQ(stand(1).radiusChanged, 1);
  EXPECT_EQ(g_standUpdates, 1);
  EXPECT_EQ(g_mainWindow.parkingUpdates.load(), 1u);

  // At 21 m it is passed over: the fitting stand at 40 m is taken, and the small one keeps its size.
  g_standUpdates = 0;
  stands({gate("S21", north(kBase, 21), 10), gate("F40", north(kBase, 40), 30)});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, false)), "F40");
  EXPECT_DOUBLE_EQ(stand(1).radiusNm, 10 * 0.0005399568034557236);
  EXPECT_EQ(g_standUpdates, 0);

  // A stand that is just not too small (1.8 m) is taken as it is.
  stands({gate("S", north(kBase, 30), 18.52 - 1.79)});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, false)), "S");
  EXPECT_EQ(stand(1).radiusChanged, 0);
}

TEST_F(StandLearning, AStandIsFoundUpToTheSearchDistanceAndOnlyWhenFree) {
  const AcData ac = airliner(0xA00002, "DAL11", "N11");
  stands({gate("A", north(kBase, 55.0), 30)});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, false)), "A");
  stands({gate("A", north(kBase, 55.1), 30)});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, false)), "");
  stands({gate("near", north(kBase, 5), 30), gate("far", north(kBase, 15), 30)});
  stand(1).occupied = 1;
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.010799136069114472, false)), "far");
  stand(2).occupied = 1;
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.010799136069114472, false)), "");
}

// A stand whose learned options fit the aircraft counts up to 85 m, but only when options are tried
// and no stand lies within the search distance.
TEST_F(StandLearning, AnOptionStandWithin85MetresServesWhenNoneIsNearer) {
  AcData ac = airliner(0xA00003, "DAL12", "N12");
  const auto optionStand = [](const std::string& cs1, const std::string& airline) {
    Stand s = gate("OPT", north(kBase, 80), 30);
    s.options.push_back(makeOption(airline, "B738", "N99", 1, 1u << 10, 1, 1, cs1));
    return s;
  };
  stands({optionStand("DAL12", "UAL")});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, true)), "OPT");
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, false)), "");
  // By airline and type when the callsign differs; never without a callsign.
  stands({optionStand("XXX1", "DAL")});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, true)), "OPT");
  ac.callsign.clear();
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, true)), "");
  ac.callsign = "DAL12";
  // A soft option does not fit; neither does one set aside.
  stands({optionStand("DAL12", "UAL")});
  stand(1).options.front().kind = 0;
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, true)), "");
  stand(1).options.front().kind = 1;
  stand(1).options.front().id = 0;
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, true)), "");
  // Any stand within the search distance wins over it.
  stands({optionStand("DAL12", "UAL"), gate("G50", north(kBase, -50), 30)});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, true)), "G50");
  // A too-small stand passed over (21 m) does not end the option search.
  stands({optionStand("DAL12", "UAL"), gate("S21", north(kBase, -21), 10)});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, ac, 0.029697624190064796, true)), "OPT");
}

TEST_F(StandLearning, HelipadsAreForRotorcraftOnly) {
  AcData heli = airliner(0xA00004, "N44HX", "N44HX", 0.004);
  heli.category = Rotorcraft;
  const AcData jet = airliner(0xA00005, "DAL13", "N13");
  Stand pad = makeStand("H1", north(kBase, 10).lat, kBase.lon, 0, 15, false, false, true);
  stands({pad, gate("G1", north(kBase, 30), 30)});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, heli, 0.029697624190064796, false)), "H1");
  // The nearest stand is a helipad: no stand for the airliner.
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, jet, 0.029697624190064796, false)), "");
  stands({gate("G1", north(kBase, 30), 30)});
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, jet, 0.029697624190064796, false)), "G1");
  EXPECT_EQ(found(gf_findStandForAct(kBase.lat, kBase.lon, heli, 0.029697624190064796, false)), "");
}

// ---- Real options ----

TEST_F(StandLearning, ARealOptionIsLearnedAndItsGapsFilled) {
  stands({gate("A1", kBase, 30)});
  const AcData ac = airliner(0xA00010, "DAL20_", "N20");
  EXPECT_TRUE(lf_addRealParkPosOption(1, ac, true, {2, 10}, false));
  ASSERT_EQ(stand(1).options.size(), 1u);
  const ParkPosOption& o = stand(1).options.front();
  EXPECT_EQ(o, (makeOption("DAL", "B738", "N20", 2, std::uint64_t{1} << 10, 1, 1, "DAL20")));
  const StandVisit visit = stand(1).realByHexid.at(0xA00010);
  EXPECT_EQ(std::make_tuple(visit.weekday, visit.halfHour, visit.optionId), std::make_tuple(2u, 10u, 1u));
  EXPECT_EQ(g_standUpdates, 1);

  // The same half hour again changes nothing.
  EXPECT_FALSE(lf_addRealParkPosOption(1, ac, true, {2, 10}, false));
  // Two half hours later: the one between is filled.
  EXPECT_TRUE(lf_addRealParkPosOption(1, ac, true, {2, 12}, false));
  EXPECT_EQ(stand(1).options.front().halfHours, std::uint64_t{0b111} << 10);
  EXPECT_EQ(stand(1).realByHexid.at(0xA00010).halfHour, 12u);
  EXPECT_EQ(g_standUpdates, 2);
  // Stopping the tracking of a half hour already known forgets the aircraft.
  EXPECT_FALSE(lf_addRealParkPosOption(1, ac, false, {2, 12}, true));
  EXPECT_EQ(stand(1).realByHexid.count(0xA00010), 0u);
  // Without tracking the half hour is only set.
  EXPECT_TRUE(lf_addRealParkPosOption(1, ac, false, {2, 15}, false));
  EXPECT_EQ(stand(1).options.front().halfHours, (std::uint64_t{0b111} << 10) | (std::uint64_t{1} << 15));
  EXPECT_EQ(stand(1).realByHexid.count(0xA00010), 0u);
  // Another weekday is another option.
  EXPECT_TRUE(lf_addRealParkPosOption(1, ac, true, {3, 15}, false));
  EXPECT_EQ(stand(1).options.size(), 2u);
}

TEST_F(StandLearning, ARealOptionNeedsRegistrationCallsignAndAKnownStand) {
  stands({gate("A1", kBase, 30)});
  EXPECT_FALSE(lf_addRealParkPosOption(1, airliner(1, "DAL1", ""), true, {1, 1}, false));
  EXPECT_FALSE(lf_addRealParkPosOption(1, airliner(1, "", "N1"), true, {1, 1}, false));
  EXPECT_FALSE(lf_addRealParkPosOption(9, airliner(1, "DAL1", "N1"), true, {1, 1}, false));
  // An option of the airport's own file learns no half hour.
  stand(1).options.push_back(makeOption("DAL", "B738", "N1", 1, 1u << 3, 1));
  stand(1).options.back().readMark = 1;
  EXPECT_FALSE(lf_addRealParkPosOption(1, airliner(1, "DAL1", "N1"), true, {1, 4}, false));
  EXPECT_EQ(stand(1).options.back().halfHours, 1u << 3);
  // A half hour out of range is logged, not learned.
  EXPECT_FALSE(lf_addRealParkPosOption(1, airliner(2, "DAL2", "N2"), true, {1, 48}, false));
  EXPECT_TRUE(logHas("===> lf_addRealParkPosOption: hh_now: 48, invalid bitset position"));
  EXPECT_EQ(stand(1).options.size(), 1u);
  EXPECT_EQ(g_standUpdates, 0);
}

// Last counted in half hour 46 of Wednesday, now in half hour 1 of Thursday: 47 goes to Wednesday's
// option, 0 and 1 to a new option of Thursday.
TEST_F(StandLearning, AGapAcrossMidnightSpreadsOverTwoDays) {
  stands({gate("A1", kBase, 30)});
  stand(1).options.push_back(makeOption("DAL", "B738", "N30", 3, std::uint64_t{1} << 46, 1, 1, "DAL30"));
  const AcData ac = airliner(0xA00030, "DAL31", "N30");
  StandVisit visit{3, 46, 1};
  lf_fillStandGap(visit, {4, 1}, stand(1), 1, ac);
  ASSERT_EQ(stand(1).options.size(), 2u);
  EXPECT_EQ(stand(1).options[0].halfHours, (std::uint64_t{1} << 46) | (std::uint64_t{1} << 47));
  EXPECT_EQ(stand(1).options[0].cs2, "DAL31");
  EXPECT_EQ(stand(1).options[1].day, 4u);
  EXPECT_EQ(stand(1).options[1].halfHours, 0b11u);
  EXPECT_EQ(std::make_tuple(visit.weekday, visit.halfHour, visit.optionId), std::make_tuple(4u, 1u, 2u));
  // More than five half hours: nothing is filled, the visit moves on.
  visit = {4, 10, 2};
  lf_fillStandGap(visit, {4, 16}, stand(1), 1, ac);
  EXPECT_EQ(stand(1).options[1].halfHours, 0b11u);
  EXPECT_EQ(visit.halfHour, 16u);
  // Sunday to Monday is the next day too.
  visit = {7, 47, 2};
  stand(1).options[1].day = 7;
  lf_fillStandGap(visit, {1, 0}, stand(1), 1, ac);
  EXPECT_EQ(stand(1).options.back().day, 1u);
  EXPECT_EQ(visit.optionId, stand(1).options.back().id);
}

// ---- Soft options ----

TEST_F(StandLearning, ASoftOptionIsNotTriedAgainWithinThreeHalfHours) {
  EXPECT_TRUE(lf_softRepeatAllowed(7, {1, 47}, false));
  EXPECT_FALSE(lf_softRepeatAllowed(7, {2, 1}, false));  // 47 -> 1 is 2
  EXPECT_FALSE(lf_softRepeatAllowed(7, {2, 0}, true));
  EXPECT_TRUE(lf_softRepeatAllowed(7, {2, 2}, true));  // 3, not remembered
  EXPECT_EQ(g_softSeen.front().halfHour, 47u);
  EXPECT_TRUE(lf_softRepeatAllowed(7, {2, 2}, false));
  EXPECT_EQ(g_softSeen.front().halfHour, 2u);
  EXPECT_TRUE(lf_softRepeatAllowed(8, {2, 2}, false));
  EXPECT_EQ(g_softSeen.size(), 2u);
}

// Every stand in use at half hour 20 of Monday, free at 21.
std::vector<Stand> lf_busyGates(int n) {
  std::vector<Stand> list;
  for (int i = 1; i <= n; ++i) {
    Stand s = makeStand("G" + std::to_string(i), kBase.lat + i * 0.001, kBase.lon, 0, 30);
    s.options.push_back(makeOption("UAL", "A320", "N" + std::to_string(i), 1, std::uint64_t{1} << 20, 1));
    list.push_back(s);
  }
  return list;
}

TEST_F(StandLearning, ASmallAirportIsSearchedAgainForTheNextHalfHour) {
  const AcData ac = airliner(0xA00040, "DAL40", "N40");
  stands(lf_busyGates(10));
  // All ten fit alike; the last one found comes first.
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, true)), "G10");
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "");
  stands(lf_busyGates(11));
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, true)), "");
  EXPECT_EQ(found(lf_chooseSoftStand({1, 21}, ac, true)), "G11");
}

TEST_F(StandLearning, TheSoftStandSuitsTheAircraft) {
  const auto at = [](int i) { return north(kBase, 100.0 * i); };
  stands({gate("GATE", at(1), 30), makeStand("CARGO", at(2).lat, at(2).lon, 0, 30, true),
          makeStand("RAMP", at(3).lat, at(3).lon, 0, 30, false, true),
          makeStand("HELI", at(4).lat, at(4).lon, 0, 30, false, false, true)});
  AcData ac = airliner(0xA00050, "DAL50", "N50");
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "GATE");
  ac.cargo = 1;
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "CARGO");
  ac.cargo = 0;
  ac.category = Light;
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "RAMP");
  ac.category = Large;
  ac.airline = "PVT";
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "RAMP");
  ac.category = Rotorcraft;
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "HELI");
  // A cargo aircraft without a free cargo stand takes any stand but a helipad.
  ac.category = Large;
  ac.cargo = 1;
  stand(2).options.push_back(makeOption("FDX", "B763", "N2", 1, std::uint64_t{1} << 20, 1));
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "RAMP");
}

// Saving the learned file erases the airport file's own options; options learned afterwards may fill
// the same storage to the same count, and the choice must see them, not the erased ones.
TEST_F(StandLearning, TheChoiceSeesOptionsLearnedAfterASave) {
  const AcData ac = airliner(0xA00070, "DAL70", "N70");
  stands({gate("B", north(kBase, 100), 30), gate("A", north(kBase, 200), 30)});
  const std::uint64_t hh20 = std::uint64_t{1} << 20;
  stand(2).options.reserve(4);
  stand(2).options.push_back(makeOption("UAL", "B738", "N1", 1, hh20, 1));
  stand(2).options.back().readMark = 1;  // from the airport file
  stand(2).options.push_back(makeOption("UAL", "B738", "N2", 2, hh20, 2));
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "B");  // A is taken on day 1 at half hour 20
  gf_saveLearnedApf();
  ASSERT_EQ(stand(2).options.size(), 1u);
  stand(2).options.push_back(makeOption("UAL", "B738", "N3", 3, hh20, 3));
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "A");  // and free there now
}

// Half span 0.01 nm: size steps of 21 m. A 25 m stand is 0 steps away, a 60 m stand 2; a stand with
// an option of the aircraft comes first among equals.
TEST_F(StandLearning, TheClosestSizeAndAFittingOptionComeFirst) {
  const AcData ac = airliner(0xA00060, "DAL60", "N60");
  stands({gate("BIG", north(kBase, 100), 60), gate("SMALL", north(kBase, 200), 25)});
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "SMALL");
  stands({gate("SMALL", north(kBase, 100), 25), gate("BIG", north(kBase, 200), 60)});
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "SMALL");
  Stand known = gate("KNOWN", north(kBase, 300), 25);
  known.options.push_back(makeOption("DAL", "B738", "N1", 2, 1, 1, 1, "DAL60"));
  stands({known, gate("OTHER", north(kBase, 400), 25)});
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, ac, false)), "KNOWN");
}

class SoftLearning : public StandLearning {
protected:
  void SetUp() override {
    StandLearning::SetUp();
    g_softLearningAllowed = 1;
    stands({gate("G1", north(kBase, 100), 30), gate("G2", north(kBase, 200), 30)});
  }
  // A live aircraft whose stream ends at the position; callsign DALn and registration Nn, n the
  // hexid's last byte.
  static LiveAc ending(std::uint32_t hexid, const LatLon& where, double aboveGroundFt = 0) {
    Situation s;
    s.latitude = where.lat;
    s.longitude = where.lon;
    const std::string n = std::to_string(hexid & 0xFF);
    LiveAc ac(s, airliner(hexid, "DAL" + n, "N" + n), 0);
    ac.position.latitude = where.lat;
    ac.position.longitude = where.lon;
    ac.heightAboveGround = aboveGroundFt;
    return ac;
  }
  static std::size_t softOptions() {
    std::size_t n = 0;
    for (const Stand& s : g_stands) n += std::count_if(s.options.begin(), s.options.end(), [](const ParkPosOption& o) { return o.kind == 0; });
    return n;
  }
};

TEST_F(SoftLearning, AStreamEndingNearTheParkAirportTeachesASoftOption) {
  const LiveAc ac = ending(0xB00001, north(kBase, 500));
  lf_learnSoftParkPos(ac, true);
  ASSERT_EQ(softOptions(), 1u);
  EXPECT_EQ(stand(2).options.front(), (makeOption("DAL", "B738", "N1", 1, std::uint64_t{1} << 20, 1, 0, "DAL1")));
  EXPECT_EQ(g_softSeen.size(), 1u);
  EXPECT_EQ(g_standUpdates, 1);
  // The same half hour again: not tried again (the stand in use would send it to the other one).
  lf_learnSoftParkPos(ending(0xB00001, north(kBase, 600)), true);
  EXPECT_EQ(softOptions(), 1u);
  // The next half hour extends the option at its stand.
  at(1, 21);
  lf_learnSoftParkPos(ending(0xB00001, north(kBase, 600)), true);
  EXPECT_EQ(softOptions(), 1u);
  EXPECT_EQ(stand(2).options.front().halfHours, std::uint64_t{0b11} << 20);
  EXPECT_EQ(g_standUpdates, 2);
}

TEST_F(SoftLearning, AnAircraftTrackedAtAStandExtendsItsOptionThere) {
  const LiveAc ac = ending(0xB00002, north(kBase, 500));
  EXPECT_TRUE(lf_addSoftParkPosOption(1, ac, true, {1, 19}));
  lf_learnSoftParkPos(ac, true);
  EXPECT_EQ(stand(1).options.front().halfHours, std::uint64_t{0b11} << 19);
  EXPECT_EQ(g_softSeen.front().halfHour, 20u);
  EXPECT_TRUE(stand(2).options.empty());
}

// Tracked at a stand whose option cannot take the half hour (it holds it already): the aircraft is
// learned as if it were new, at a stand not in use.
TEST_F(SoftLearning, ATrackedStandThatLearnsNothingLeavesTheChoiceOpen) {
  const LiveAc ac = ending(0xB00003, north(kBase, 500));
  ASSERT_TRUE(lf_addSoftParkPosOption(1, ac, true, {1, 19}));
  stand(1).options.front().halfHours |= std::uint64_t{1} << 20;
  lf_learnSoftParkPos(ac, true);
  ASSERT_EQ(stand(2).options.size(), 1u);
  EXPECT_EQ(stand(2).options.front().halfHours, std::uint64_t{1} << 20);
  EXPECT_EQ(g_softSeen.front().halfHour, 20u);
}

TEST_F(SoftLearning, OnlyNearTheParkAirportBelowTheClimbOutAndWithoutStand) {
  lf_learnSoftParkPos(ending(0xB00003, test::eastNm(kBase, 5.1)), true);
  LiveAc climbing = ending(0xB00004, north(kBase, 500), 2500);
  lf_learnSoftParkPos(climbing, false);
  lf_learnSoftParkPos(climbing, true);  // not climbing out: the height does not count
  EXPECT_EQ(softOptions(), 1u);
  climbing = ending(0xB00005, north(kBase, 500), 2499);
  lf_learnSoftParkPos(climbing, false);
  EXPECT_EQ(softOptions(), 2u);
  LiveAc parked = ending(0xB00006, north(kBase, 500));
  parked.standId = 1;
  lf_learnSoftParkPos(parked, true);
  LEARN_SOFT.value = 0;
  lf_learnSoftParkPos(ending(0xB00007, north(kBase, 500)), true);
  LEARN_SOFT.value = 1;
  g_softLearningAllowed = 0;
  lf_learnSoftParkPos(ending(0xB00008, north(kBase, 500)), true);
  g_softLearningAllowed = 1;
  setPark({});
  lf_learnSoftParkPos(ending(0xB00009, north(kBase, 500)), true);
  EXPECT_EQ(softOptions(), 2u);
}

// An aircraft known at a real stand in the half hour before, at or after now teaches nothing soft.
TEST_F(SoftLearning, AnAircraftKnownAtARealStandAroundNowIsLeftAlone) {
  stand(1).options.push_back(makeOption("DAL", "B738", "N16", 1, std::uint64_t{1} << 21, 1));
  lf_learnSoftParkPos(ending(0xB00010, north(kBase, 500)), true);
  EXPECT_EQ(softOptions(), 0u);
  // Midnight: half hour 0 and 47 are neighbours.
  stand(1).options.front().halfHours = std::uint64_t{1} << 47;
  at(1, 0);
  lf_learnSoftParkPos(ending(0xB00010, north(kBase, 500)), true);
  EXPECT_EQ(softOptions(), 0u);
  at(1, 3);
  lf_learnSoftParkPos(ending(0xB00010, north(kBase, 500)), true);
  EXPECT_EQ(softOptions(), 1u);
}

// The searches see the options as they are now: one added after a search, half hours set in place,
// and a stand's options replaced by as many others.
TEST_F(SoftLearning, TheSearchesFollowChangesOfTheOptions) {
  // G2 in use now: the choice goes to G1.
  stand(2).options.push_back(makeOption("UAL", "A320", "N900", 1, std::uint64_t{1} << 20, 1));
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, airliner(0xB00020, "DAL20", "N20"), false)), "G1");
  // G1 too, once an option of it gets this half hour in place: none free.
  stand(1).options.push_back(makeOption("UAL", "A320", "N901", 1, std::uint64_t{1} << 30, 1));
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, airliner(0xB00020, "DAL20", "N20"), false)), "G1");
  stand(1).options.front().halfHours |= std::uint64_t{1} << 20;
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, airliner(0xB00020, "DAL20", "N20"), false)), "");
  stand(1).options.front().halfHours = std::uint64_t{1} << 30;
  EXPECT_EQ(found(lf_chooseSoftStand({1, 20}, airliner(0xB00020, "DAL20", "N20"), false)), "G1");
  // A soft option at G1, the only free stand; then N33 is learned at G2 for now: known there, nothing
  // soft for it.
  lf_learnSoftParkPos(ending(0xB00014, north(kBase, 500)), true);
  EXPECT_EQ(softOptions(), 1u);
  stand(2).options.push_back(makeOption("DAL", "B738", "N33", 1, std::uint64_t{1} << 20, 2));
  at(1, 21);
  lf_learnSoftParkPos(ending(0xB00021, north(kBase, 500)), true);
  EXPECT_EQ(softOptions(), 1u);
  // G2's options replaced by as many of another registration and weekday: N33 is no longer known.
  const std::size_t count = stand(2).options.size();
  stand(2).options = std::vector<ParkPosOption>(count, makeOption("DAL", "B738", "N77", 3, std::uint64_t{1} << 20, 1));
  at(1, 24);
  lf_learnSoftParkPos(ending(0xB00021, north(kBase, 500)), true);
  EXPECT_EQ(softOptions(), 2u);
}

// ---- Coupled callsigns ----

TEST_F(StandLearning, TheCoupledCallsignComesFromAnOptionAroundThisTime) {
  stands({gate("A1", kBase, 30)});
  stand(1).options.push_back(makeOption("DAL", "B738", "N70", 2, std::uint64_t{1} << 20, 1, 1, "DAL70", "DAL71"));
  AcData ac = airliner(0xA00070, "DAL71_", "N70");
  lf_searchForCoupledCsAroundThisTime({2, 30}, ac);  // half hours 20 to 40
  EXPECT_EQ(ac.secondCallsign + "/" + ac.coupledCallsign, "DAL70/DAL71");
  AcData late = airliner(0xA00071, "DAL70", "N70");
  lf_searchForCoupledCsAroundThisTime({2, 31}, late);  // 21 to 41
  EXPECT_EQ(late.coupledCallsign, "");
  late.category = Heavy;
  lf_searchForCoupledCsAroundThisTime({2, 34}, late);  // 20 to 47
  EXPECT_EQ(late.coupledCallsign, "DAL71");
  AcData otherDay = airliner(0xA00072, "DAL70", "N70");
  lf_searchForCoupledCsAroundThisTime({3, 20}, otherDay);
  EXPECT_EQ(otherDay.coupledCallsign, "");
  otherDay.airline = "UAL";
  lf_searchForCoupledCsAroundThisTime({2, 20}, otherDay);
  EXPECT_EQ(otherDay.coupledCallsign, "");
}

}  // namespace
}  // namespace amb
