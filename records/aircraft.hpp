#pragma once
// The records of every aircraft the program handles, live or parked: who it is (AcIdentity), what
// follows from its type (AcData), and its life as an AI object in the simulator (Act). LiveAc
// (traffic/live_ac.hpp) extends Act for live traffic; parked aircraft are plain Acts.

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace amb {

// The text fields that come from the feed.
struct AcIdentity {
  std::string airline;  // ICAO airline code, may be empty
  std::string model;    // ICAO type code
  std::string origin;
  std::string destination;
  std::string callsign;
  std::string secondCallsign;   // a new live aircraft starts with its callsign here
  std::string coupledCallsign;  // a callsign this aircraft is known to be coupled with
  std::string registration;
  std::uint8_t coupledCallsignSearched = 0;

  AcIdentity() = default;
  AcIdentity(const AcIdentity&) = default;
  AcIdentity& operator=(const AcIdentity&) = default;
  // Leaves the source's strings empty.
  AcIdentity(AcIdentity&& other) noexcept;
  AcIdentity& operator=(AcIdentity&& other) noexcept;
};

// The data of an aircraft: its identity plus what the program derives from its type.
struct AcData : AcIdentity {
  std::int32_t category = 2;  // AircraftCategory
  double halfWingspan = 0;    // nautical miles
  double staticCgHeight = 0;  // feet, from the simulator
  double staticPitch = 0;     // from the simulator
  double takeOffPitch = 0;    // radians
  double climbPitch = 0;      // radians
  // The four movement values of a live aircraft (lf_setLiveValues), 0 when built: the turn per cycle
  // (radians), the current turn step, the largest altitude change per cycle (feet) and the speed
  // towards the stand (knots).
  std::array<double, 4> movementValues{};
  std::string_view liveryTitle;            // a view into the livery tables, empty when none
  std::uint32_t hexid = 0;                 // the aircraft's 24-bit address
  std::uint32_t flareSteps = 0;
  std::uint32_t landingSteps = 0;
  std::uint32_t takeOffRollSteps = 0;
  std::uint32_t climbOutSteps = 0;
  std::uint8_t cargo = 0;
  std::uint8_t fsltlTitle = 0;  // the chosen livery title contains "FSLTL_"

  AcData() = default;
  // Copies the identity in and fills category, half wing span and the per-category values from the
  // model. Throws std::out_of_range "invalid unordered_map<K, T> key" for a category without values.
  explicit AcData(const AcIdentity& identity);
  AcData(std::string airline, std::string model, std::string origin, std::string destination,
         std::string callsign, std::string secondCallsign, std::string coupledCallsign,
         std::string registration, bool cargo);

  AcData(const AcData&) = default;
  AcData& operator=(const AcData&) = default;
  // Moves the identity, copies every other field.
  AcData(AcData&&) noexcept = default;
  AcData& operator=(AcData&&) noexcept = default;

  std::string airlineModelText() const;     // "{:3} {:4}"
  std::string routeText() const;            // "{:3}->{:3}", or eight blanks when both are empty
  std::string idText() const;               // callsign, registration, route
  std::string description() const;         // id text and airline/model text
  std::string descriptionForward() const;  // the same as description()
  std::string callsignRegModel() const;
  std::string airlineModelRegText() const;  // airline/model text, a blank, the registration
  // Not empty, not "@@@@@@@@", at most 8 characters.
  bool hasValidCallsign() const;

  double& turnPerCycle() { return movementValues[0]; }
  double turnPerCycle() const { return movementValues[0]; }
  double& turnStep() { return movementValues[1]; }
  double turnStep() const { return movementValues[1]; }
  double& maxClimbPerCycle() { return movementValues[2]; }
  double maxClimbPerCycle() const { return movementValues[2]; }
  double& pushBackSpeed() { return movementValues[3]; }
  double pushBackSpeed() const { return movementValues[3]; }

private:
  void applyModel();
};

enum class ActState : std::uint32_t { New = 0, Creating = 1, InSim = 2, Respawning = 3, Removing = 4 };

// Where an act was placed: degrees, and the heading in radians.
struct ActPosition {
  double latitude = 0;
  double longitude = 0;
  double heading = 0;
};

// An aircraft that is, or is to be, an AI object in the simulator.
struct Act : AcData {
  std::uint32_t objectId = 0;  // 0 while the object does not exist
  double latitude = 0;
  double longitude = 0;
  double heading = 0;
  std::uint32_t weekDay = 0;       // time at the stand
  std::uint32_t halfHourSlot = 0;
  std::uint32_t standId = 0;       // 0 for none
  ActState state = ActState::New;
  std::uint32_t throttleMarker = 5;  // the throttle step last sent; 0 once set to 0
  std::uint32_t flapsMarker = 4;     // 0 once the flaps are set to 0
  std::uint8_t cabinLightOff = 0;
  // The engine cycle at which its creation went to the simulator; -1 while it has not gone.
  std::int32_t creationCycle = -1;
  std::uint8_t removeWhenCreated = 0;
  std::uint8_t remove = 0;
  std::uint8_t eraseNow = 0;

  Act() = default;
  Act(AcData&& data, std::uint32_t standId, const ActPosition& position, std::uint8_t cabinLightOff);
};

// The values a new live aircraft gets on top of those of its category's AcData: turn per cycle, the
// turn step starting from it, largest altitude change per cycle and speed towards the stand.
// std::out_of_range "invalid unordered_map<K, T> key" for a category outside 0..5.
void lf_setLiveValues(AcData& data);

// "Light", "Buzjets", "Large", "Heavy", "HighPerf", "Rotorcraft"; std::out_of_range
// "invalid unordered_map<K, T> key" outside 0..5.
const std::string& gf_categoryName(int category);

// The airline code of an airline callsign: three letters and a digit at the start give the three
// letters in upper case.
std::optional<std::string> gf_airlineFromCallsign(const std::string& callsign);

}  // namespace amb
