// The aircraft records: their texts, the values that follow from the category, and how they move.

#include "core/strings.hpp"
#include "refdata/database.hpp"
#include "traffic/records.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <stdexcept>

namespace amb {
namespace {

constexpr double kDeg = std::numbers::pi / 180;

AcIdentity identity(std::string airline, std::string model, std::string origin, std::string destination,
                    std::string callsign, std::string registration) {
  AcIdentity id;
  id.airline = std::move(airline);
  id.model = std::move(model);
  id.origin = std::move(origin);
  id.destination = std::move(destination);
  id.callsign = std::move(callsign);
  id.registration = std::move(registration);
  return id;
}

TEST(Records, TextsNameTheAircraft) {
  struct Case {
    AcIdentity id;
    std::string airlineModel;
    std::string route;
    std::string idText;
    std::string callsignRegModel;
    std::string airlineModelReg;
  };
  const std::vector<Case> cases{
      {identity("DAL", "A321", "LGA", "MIA", "DAL2171", "N355DN"), "DAL A321", "LGA->MIA",
       "DAL2171  N355DN   LGA->MIA", "DAL2171  N355DN DAL A321", "DAL A321 N355DN"},
      // Nothing but a type and a callsign: every column keeps its width.
      {identity("", "C25B", "", "", "C25B", ""), "    C25B", "        ", "C25B                      ",
       "C25B          C25B", "    C25B "},
      // Longer codes are not cut.
      {identity("PVT", "B7879", "KJFK", "", "N123456789", "N123456789"), "PVT B7879", "KJFK->   ",
       "N123456789 N123456789 KJFK->   ", "N123456789 N123456789 PVT B7879", "PVT B7879 N123456789"},
      // Blank callsign and registration columns of 8, each followed by a blank.
      {identity("", "", "", "EGLL", "", ""), std::string(8, ' '), "   ->EGLL", std::string(18, ' ') + "   ->EGLL",
       std::string(18, ' '), std::string(9, ' ')},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.id.callsign + "/" + c.id.model);
    const AcData ac(c.id);
    EXPECT_EQ(ac.airlineModelText(), c.airlineModel);
    EXPECT_EQ(ac.routeText(), c.route);
    EXPECT_EQ(ac.idText(), c.idText);
    EXPECT_EQ(ac.description(), c.idText + " " + c.airlineModel);
    EXPECT_EQ(ac.descriptionForward(), ac.description());
    EXPECT_EQ(ac.callsignRegModel(), c.callsignRegModel);
    EXPECT_EQ(ac.airlineModelRegText(), c.airlineModelReg);
  }
}

TEST(Records, CallsignRules) {
  const std::vector<std::pair<const char*, std::optional<std::string>>> airlines{
      {"abc1x", "ABC"}, {"DAL2171", "DAL"}, {"aBc9", "ABC"}, {"ab1", std::nullopt},   {"abc", std::nullopt},
      {"ab12", std::nullopt}, {"1abc", std::nullopt}, {"AB-1", std::nullopt}, {"", std::nullopt},
      {"\xc3\xa4" "bc1", std::nullopt},  // a letter outside ASCII
  };
  for (const auto& [callsign, airline] : airlines) EXPECT_EQ(gf_airlineFromCallsign(callsign), airline) << callsign;

  const std::vector<std::pair<const char*, bool>> valid{
      {"", false}, {"@@@@@@@@", false}, {"ABCDEFGHI", false}, {"ABCDEFGH", true}, {"N1", true}, {"@@@@@@@", true}};
  for (const auto& [callsign, ok] : valid) {
    AcData ac;
    ac.callsign = callsign;
    EXPECT_EQ(ac.hasValidCallsign(), ok) << callsign;
  }
}

TEST(Records, CategoryNames) {
  const char* names[] = {"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};
  for (int c = 0; c < 6; ++c) EXPECT_EQ(gf_categoryName(c), names[c]);
  for (int c : {-1, 6}) {
    try {
      gf_categoryName(c);
      ADD_FAILURE() << c;
    } catch (const std::out_of_range& e) {
      EXPECT_STREQ(e.what(), "invalid unordered_map<K, T> key");
    }
  }
}

TEST(Records, UnknownTypeTakesTheLightValues) {
  gf_resetDataBase();
  // Many builds: each pitch is varied up or down by its percentage, never anything else.
  for (int i = 0; i < 50; ++i) {
    const AcData ac(identity("", "ZZZ9", "", "", "N1", "N1"));
    EXPECT_EQ(ac.category, 0);
    EXPECT_EQ(ac.flareSteps, 250u);
    EXPECT_EQ(ac.landingSteps, 250u);
    EXPECT_EQ(ac.takeOffRollSteps, 100u);
    EXPECT_EQ(ac.climbOutSteps, 200u);
    const double takeOff = ac.takeOffPitch / kDeg;
    const double climb = ac.climbPitch / kDeg;
    EXPECT_TRUE(std::fabs(takeOff + 9.225) < 1e-9 || std::fabs(takeOff + 8.775) < 1e-9) << takeOff;
    EXPECT_TRUE(std::fabs(climb + 15.75) < 1e-9 || std::fabs(climb + 14.25) < 1e-9) << climb;
    EXPECT_EQ(ac.liveryTitle, "");
    EXPECT_EQ(ac.hexid, 0u);
    EXPECT_EQ(ac.movementValues, (std::array<double, 4>{}));
  }
}

TEST(Records, KnownTypeTakesItsCategoryAndSpanFromTheDataBase) {
  gf_resetDataBase();
  g_heavyModels.insert("B77L");
  g_wingspans["B77L"] = 0.0175;
  const AcData cargo("FDX", "B77L", "", "", "FDX12", "", "", "N851FD", true);
  EXPECT_EQ(cargo.cargo, 1);
  EXPECT_EQ(cargo.registration, "N851FD");
  EXPECT_EQ(cargo.category, 3);
  EXPECT_DOUBLE_EQ(cargo.halfWingspan, 0.0175);
  EXPECT_EQ(fmt::format("{} {} {} {}", cargo.flareSteps, cargo.landingSteps, cargo.takeOffRollSteps,
                        cargo.climbOutSteps),
            "450 450 250 400");
  const double takeOff = cargo.takeOffPitch / kDeg;
  EXPECT_TRUE(std::fabs(takeOff + 5.125) < 1e-9 || std::fabs(takeOff + 4.875) < 1e-9) << takeOff;
  gf_resetDataBase();
}

}  // namespace
}  // namespace amb
