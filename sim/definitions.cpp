// The vocabulary the program registers on every new connection: system events, data definitions,
// client events, their notification group and its priority. The order of the calls is fixed; the
// data of a definition arrive packed in the order their datums were added.

#include "sim/link.hpp"

#include <array>

namespace amb {

namespace {

struct DatumSpec {
  std::uint32_t definition;
  const char* name;
  const char* units;  // null: none
  std::uint32_t type;
};

constexpr std::uint32_t kInt64 = sc::kInt64;
constexpr std::uint32_t kFloat64 = sc::kFloat64;
constexpr std::uint32_t kString32 = sc::kString32;
constexpr std::uint32_t kStringV = sc::kStringV;

constexpr std::array<DatumSpec, 33> kDatums{{
    {DEF_TITLE, "TITLE", nullptr, kStringV},
    {DEF_ATC_MODEL, "ATC MODEL", nullptr, kString32},
    {DEF_ON_GROUND, "SIM ON GROUND", "Bool", kInt64},

    {DEF_AI_POSITION, "Plane Latitude", "degree", kFloat64},
    {DEF_AI_POSITION, "Plane Longitude", "degree", kFloat64},
    {DEF_AI_POSITION, "Plane Pitch degrees", "radians", kFloat64},
    {DEF_AI_POSITION, "Plane Bank degrees", "radians", kFloat64},
    {DEF_AI_POSITION, "Plane Heading degrees true", "radians", kFloat64},
    {DEF_AI_POSITION, "Plane Altitude", "feet", kFloat64},
    {DEF_AI_POSITION, "Vertical Speed", "feet per second", kFloat64},
    {DEF_AI_POSITION, "Airspeed True", "knots", kFloat64},

    {DEF_USER_AIRCRAFT, "Plane Latitude", "degree", kFloat64},
    {DEF_USER_AIRCRAFT, "Plane Longitude", "degree", kFloat64},
    {DEF_USER_AIRCRAFT, "Plane Pitch degrees", "radians", kFloat64},
    {DEF_USER_AIRCRAFT, "Plane Bank degrees", "radians", kFloat64},
    {DEF_USER_AIRCRAFT, "Plane Heading degrees true", "radians", kFloat64},
    {DEF_USER_AIRCRAFT, "Plane Altitude", "feet", kFloat64},
    {DEF_USER_AIRCRAFT, "Plane Alt Above Ground", "feet", kFloat64},
    {DEF_USER_AIRCRAFT, "Ground Velocity", "knots", kFloat64},
    {DEF_USER_AIRCRAFT, "ZULU TIME", "Seconds", kInt64},
    {DEF_USER_AIRCRAFT, "ZULU DAY OF YEAR", "Number", kInt64},
    {DEF_USER_AIRCRAFT, "ZULU YEAR", "Number", kInt64},
    {DEF_USER_AIRCRAFT, "LIGHT STATES", "Mask", kInt64},

    {DEF_STATIC_CG, "Static CG to Ground", "feet", kFloat64},
    {DEF_STATIC_CG, "Static Pitch", "radians", kFloat64},

    {DEF_LIGHT_STATES, "Light On States", "Mask", kInt64},

    {DEF_OBJECT_GROUND, "Plane Alt Above Ground", "feet", kFloat64},
    {DEF_OBJECT_GROUND, "Ground Altitude", "feet", kFloat64},
    {DEF_OBJECT_GROUND, "SIM ON GROUND", "Bool", kInt64},
    {DEF_OBJECT_GROUND, "ATC ID", nullptr, kString32},

    {DEF_AI_CONTROLS, "SPOILERS HANDLE POSITION", "percent", kFloat64},
    {DEF_AI_CONTROLS, "GENERAL ENG THROTTLE LEVER POSITION:1", "percent", kFloat64},
    {DEF_AI_CONTROLS, "GENERAL ENG THROTTLE LEVER POSITION:2", "percent", kFloat64},
}};

struct NamedId {
  std::uint32_t id;
  const char* name;
};

constexpr std::array<NamedId, 6> kSystemEvents{{
    {EVT_SIM, "Sim"},
    {EVT_OBJECT_ADDED, "ObjectAdded"},
    {EVT_OBJECT_REMOVED, "ObjectRemoved"},
    {EVT_POSITION_CHANGED, "PositionChanged"},
    {EVT_FLIGHT_LOADED, "FlightLoaded"},
    {EVT_FRAME, "Frame"},
}};

// Every client event but ENGINE_AUTO_START joins the AI group, in this order.
constexpr std::array<std::uint32_t, 16> kGroupedEvents{
    EVT_NAV_LIGHTS_SET,     EVT_BEACON_LIGHTS_SET, EVT_LANDING_LIGHTS_SET,   EVT_TAXI_LIGHTS_SET,
    EVT_STROBES_SET,        EVT_LOGO_LIGHTS_SET,   EVT_CABIN_LIGHTS_SET,     EVT_ALL_LIGHTS_TOGGLE,
    EVT_FLAPS_SET,          EVT_SPOILERS_SET,      EVT_GEAR_SET,             EVT_ENGINE_AUTO_SHUTDOWN,
    EVT_THROTTLE_SET,       EVT_FREEZE_LATITUDE_LONGITUDE_SET, EVT_FREEZE_ALTITUDE_SET, EVT_FREEZE_ATTITUDE_SET,
};

}  // namespace

void lf_addToAiEventGroup(std::uint32_t eventId) {
  SimConnect_AddClientEventToNotificationGroup(g_hSimConnect, GROUP_AI_EVENTS, eventId, true);
}

void lf_registerSimDefinitions() {
  const SimHandle h = g_hSimConnect;
  for (const auto& e : kSystemEvents) SimConnect_SubscribeToSystemEvent(h, e.id, e.name);

  for (const auto& d : kDatums)
    SimConnect_AddToDataDefinition(h, d.definition, d.name, d.units, d.type, 0.0f, sc::kUnused);

  // Built for the call and walked front to back.
  const std::array<NamedId, 17> clientEvents{{
      {EVT_GEAR_SET, "GEAR_SET"},
      {EVT_ENGINE_AUTO_START, "ENGINE_AUTO_START"},
      {EVT_ENGINE_AUTO_SHUTDOWN, "ENGINE_AUTO_SHUTDOWN"},
      {EVT_THROTTLE_SET, "THROTTLE_SET"},
      {EVT_FLAPS_SET, "FLAPS_SET"},
      {EVT_SPOILERS_SET, "SPOILERS_SET"},
      {EVT_NAV_LIGHTS_SET, "NAV_LIGHTS_SET"},
      {EVT_BEACON_LIGHTS_SET, "BEACON_LIGHTS_SET"},
      {EVT_LANDING_LIGHTS_SET, "LANDING_LIGHTS_SET"},
      {EVT_TAXI_LIGHTS_SET, "TAXI_LIGHTS_SET"},
      {EVT_STROBES_SET, "STROBES_SET"},
      {EVT_LOGO_LIGHTS_SET, "LOGO_LIGHTS_SET"},
      {EVT_CABIN_LIGHTS_SET, "CABIN_LIGHTS_SET"},
      {EVT_ALL_LIGHTS_TOGGLE, "ALL_LIGHTS_TOGGLE"},
      {EVT_FREEZE_LATITUDE_LONGITUDE_SET, "FREEZE_LATITUDE_LONGITUDE_SET"},
      {EVT_FREEZE_ALTITUDE_SET, "FREEZE_ALTITUDE_SET"},
      {EVT_FREEZE_ATTITUDE_SET, "FREEZE_ATTITUDE_SET"},
  }};
  for (const auto& e : clientEvents) SimConnect_MapClientEventToSimEvent(h, e.id, e.name);

  for (std::uint32_t id : kGroupedEvents) lf_addToAiEventGroup(id);
  SimConnect_SetNotificationGroupPriority(h, GROUP_AI_EVENTS, 1);
}

}  // namespace amb
