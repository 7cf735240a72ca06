// The aircraft records: their texts, the values that follow from the category, and how they move.

#include "core/strings.hpp"
#include "records/aircraft.hpp"
#include "refdata/database.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

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

// Category values come from the data base; each pitch is varied up or down by its percentage.
TEST(Records, CategoryValuesFollowTheDataBase) {
  gf_resetDataBase();
  g_heavyModels.insert("B77L");
  g_wingspans["B77L"] = 0.0175;
  const auto isVaried = [](double pitch, double base, double percent) {
    const double deg = pitch / kDeg;
    return std::fabs(deg - base * (1 + percent)) < 1e-9 || std::fabs(deg - base * (1 - percent)) < 1e-9;
  };
  for (int i = 0; i < 20; ++i) {
    const AcData light(identity("", "ZZZ9", "", "", "N1", "N1"));
    EXPECT_EQ(fmt::format("{} {} {} {} {}", light.category, light.flareSteps, light.landingSteps,
                          light.takeOffRollSteps, light.climbOutSteps),
              "0 250 250 100 200");
    EXPECT_TRUE(isVaried(light.takeOffPitch, -9, 0.025)) << light.takeOffPitch / kDeg;
    EXPECT_TRUE(isVaried(light.climbPitch, -15, 0.05)) << light.climbPitch / kDeg;
    const AcData cargo("FDX", "B77L", "", "", "FDX12", "", "", "N851FD", true);
    EXPECT_EQ(fmt::format("{} {} {} {} {} {}", cargo.cargo, cargo.category, cargo.flareSteps, cargo.landingSteps,
                          cargo.takeOffRollSteps, cargo.climbOutSteps),
              "1 3 450 450 250 400");
    EXPECT_DOUBLE_EQ(cargo.halfWingspan, 0.0175);
    EXPECT_TRUE(isVaried(cargo.takeOffPitch, -5, 0.025)) << cargo.takeOffPitch / kDeg;
  }
  gf_resetDataBase();
}

}  // namespace
}  // namespace amb
