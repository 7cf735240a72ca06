#include "records/aircraft.hpp"

#include "core/geometry.hpp"
#include "core/startup.hpp"
#include "core/strings.hpp"
#include "records/upcalls.hpp"

#include <fmt/format.h>

#include <stdexcept>
#include <utility>

namespace amb {

using namespace up::refdata;

namespace {

std::size_t categoryIndex(int category) {
  if (category < 0 || category >= static_cast<int>(g_flareSteps.size()))
    throw std::out_of_range("invalid unordered_map<K, T> key");
  return static_cast<std::size_t>(category);
}


}  // namespace

AcIdentity::AcIdentity(AcIdentity&& o) noexcept
    : airline(std::exchange(o.airline, {})),
      model(std::exchange(o.model, {})),
      origin(std::exchange(o.origin, {})),
      destination(std::exchange(o.destination, {})),
      callsign(std::exchange(o.callsign, {})),
      secondCallsign(std::exchange(o.secondCallsign, {})),
      coupledCallsign(std::exchange(o.coupledCallsign, {})),
      registration(std::exchange(o.registration, {})),
      coupledCallsignSearched(o.coupledCallsignSearched) {}

AcIdentity& AcIdentity::operator=(AcIdentity&& o) noexcept {
  if (this != &o) {
    airline = std::exchange(o.airline, {});
    model = std::exchange(o.model, {});
    origin = std::exchange(o.origin, {});
    destination = std::exchange(o.destination, {});
    callsign = std::exchange(o.callsign, {});
    secondCallsign = std::exchange(o.secondCallsign, {});
    coupledCallsign = std::exchange(o.coupledCallsign, {});
    registration = std::exchange(o.registration, {});
    coupledCallsignSearched = o.coupledCallsignSearched;
  }
  return *this;
}

AcData::AcData(const AcIdentity& identity) : AcIdentity(identity) { applyModel(); }

AcData::AcData(std::string airline_, std::string model_, std::string origin_, std::string destination_,
               std::string callsign_, std::string secondCallsign_, std::string coupledCallsign_,
               std::string registration_, bool cargo_) {
  airline = std::move(airline_);
  model = std::move(model_);
  origin = std::move(origin_);
  destination = std::move(destination_);
  callsign = std::move(callsign_);
  secondCallsign = std::move(secondCallsign_);
  coupledCallsign = std::move(coupledCallsign_);
  registration = std::move(registration_);
  cargo = cargo_ ? 1 : 0;
  applyModel();
}

void AcData::applyModel() {
  halfWingspan = gf_halfWingspan(model);
  category = gf_aircraftCategory(model);
  const std::size_t c = categoryIndex(category);
  flareSteps = static_cast<std::uint32_t>(g_flareSteps[c]);
  landingSteps = static_cast<std::uint32_t>(g_landingSteps[c]);
  takeOffRollSteps = static_cast<std::uint32_t>(g_takeOffRollSteps[c]);
  climbOutSteps = static_cast<std::uint32_t>(g_climbOutSteps[c]);
  takeOffPitch = gf_randomVariation(g_takeOffPitch[c], 2.5) * kDegToRad;
  climbPitch = gf_randomVariation(g_climbPitch[c], 5.0) * kDegToRad;
}

std::string AcData::airlineModelText() const { return fmt::format("{:3} {:4}", airline, model); }

std::string AcData::routeText() const {
  if (origin.empty() && destination.empty()) return std::string(8, ' ');
  return fmt::format("{:3}->{:3}", origin, destination);
}

std::string AcData::idText() const {
  return fmt::format("{} {:8} {}", fmt::format("{:8}", callsign), registration, routeText());
}

std::string AcData::description() const { return fmt::format("{} {}", idText(), airlineModelText()); }

std::string AcData::descriptionForward() const { return description(); }

std::string AcData::callsignRegModel() const {
  return fmt::format("{} {} {}", fmt::format("{:8}", callsign), registration, airlineModelText());
}

std::string AcData::airlineModelRegText() const { return airlineModelText() + " " + registration; }

bool AcData::hasValidCallsign() const {
  return !callsign.empty() && callsign != "@@@@@@@@" && callsign.size() <= 8;
}

Act::Act(AcData&& data, std::uint32_t standId_, const ActPosition& position, std::uint8_t cabinLightOff_)
    : AcData(std::move(data)),
      latitude(position.latitude),
      longitude(position.longitude),
      heading(position.heading),
      standId(standId_),
      cabinLightOff(cabinLightOff_) {}

void lf_setLiveValues(AcData& data) {
  static constexpr std::array<double, 6> kTurnPerCycleDeg{0.15, 0.10, 0.07, 0.05, 0.10, 0.20};
  static constexpr std::array<double, 6> kMaxClimbPerCycle{0.5, 0.75, 0.6, 0.5, 1.0, 0.75};
  static constexpr std::array<double, 6> kStandSpeedKt{5.0, 4.5, 4.0, 3.0, 4.5, 5.0};
  const std::size_t c = categoryIndex(data.category);
  data.turnPerCycle() = kTurnPerCycleDeg[c] * kDegToRad;
  data.turnStep() = data.turnPerCycle();
  data.maxClimbPerCycle() = kMaxClimbPerCycle[c];
  data.pushBackSpeed() = kStandSpeedKt[c];
}

const std::string& gf_categoryName(int category) {
  static const std::array<std::string, 6> names{"Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"};
  return names[categoryIndex(category)];
}

std::optional<std::string> gf_airlineFromCallsign(const std::string& callsign) {
  const auto letter = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); };
  if (callsign.size() < 4 || !letter(callsign[0]) || !letter(callsign[1]) || !letter(callsign[2]) ||
      callsign[3] < '0' || callsign[3] > '9')
    return std::nullopt;
  std::string code = callsign.substr(0, 3);
  for (char& c : code)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return code;
}

}  // namespace amb
