// The settings table: every option with its key, default, range, control id and row; the order in
// which the main window creates the controls; and the six lists through which "parameters.xml" is
// read and written.

#include "settings/options.hpp"

#include <array>

namespace amb {

// Check boxes: key, default, control id, row.
BoolOptionCheckBox SCAN_LIVERIES{"SCAN_LIVERIES", 1, 32797, 147};
BoolOptionCheckBox LIG_AUTOMATIC{"LIG_AUTOMATIC", 1, 32798, 147};
BoolOptionCheckBox LIG_PRIORITIZE{"LIG_PRIORITIZE", 0, 32799, 147};
BoolOptionCheckBox SUPPRESS_STUB{"SUPPRESS_STUB", 1, 32801, 147};
BoolOptionCheckBox LOG{"LOG", 1, 32779, 147};
BoolOptionCheckBox ALWAYS_ON_TOP{"ALWAYS_ON_TOP", 0, 32771, 147};
BoolOptionCheckBox SCAN_AIRPORTS{"SCAN_AIRPORTS", 1, 32802, 175};
BoolOptionCheckBox AFG_AUTOMATIC{"AFG_AUTOMATIC", 1, 32803, 175};
BoolOptionCheckBox NAV_LIGHTS_WHILE_PARKED{"NAV_LIGHTS_WHILE_PARKED", 1, 32778, 175};
BoolOptionCheckBox LEARN_SOFT{"LEARN_SOFT", 1, 32777, 175};
BoolOptionCheckBox LIGHT_AIRCRAFT{"LIGHT_AIRCRAFT", 1, 32809, 203};
BoolOptionCheckBox HELICOPTERS{"HELICOPTERS", 1, 32810, 203};
BoolOptionCheckBox HIGH_PERF_AIRCRAFT{"HIGH_PERF_AIRCRAFT", 1, 32811, 203};
BoolOptionCheckBox AEROWINX{"AEROWINX", 0, 32775, 203};
BoolOptionCheckBox GUID_CHANGES{"GUID_CHANGES", 1, 32773, 203};
BoolOptionCheckBox AUTO_RANGE{"AUTO_RANGE", 1, 32819, 231};
BoolOptionCheckBox COLLISION_USER_GND{"COLLISION_USER_GND", 1, 32834, 287};
BoolOptionCheckBox COLLISION_USER_AIR{"COLLISION_USER_AIR", 1, 32833, 287};
BoolOptionCheckBox COLLISION_LIVE_PARKED_GND{"COLLISION_LIVE_PARKED_GND", 0, 32835, 287};
BoolOptionCheckBox STRAIGHT_PBS_ONLY{"STRAIGHT_PBS_ONLY", 0, 32856, 315};
BoolOptionCheckBox PARK_FAKE{"PARK_FAKE", 0, 32852, 371};
BoolOptionCheckBox WEEK{"WEEK", 0, 32854, 371};
BoolOptionCheckBox PARK_SOFT{"PARK_SOFT", 1, 32851, 371};
BoolOptionCheckBox INITIAL_LOAD_ONLY{"INITIAL_LOAD_ONLY", 0, 32850, 371};

BoolOption RANDOM{"RANDOM", 1};

// Edit boxes: key, default, minimum, maximum, control id, row.
IntOptionEdit MATCHING_DEPTH{"MATCHING_DEPTH", 4, 1, 4, 32808, 203};
IntOptionEdit LATERAL_RANGE{"LATERAL_RANGE", 40, 2, 100, 32818, 231};
IntOptionEdit AUTO_RANGE_ABOVE_HEIGHT{"AUTO_RANGE_ABOVE_HEIGHT", 49000, 18000, 49000, 32820, 231};
IntOptionEdit CUSTOM_MAX_PARK{"CUSTOM_MAX_PARK", -1, -1, 500, 32865, 315};
IntOptionEdit MAX_LIVE{"MAX_LIVE", -1, -1, 300, 32821, 315};
IntOptionEdit AIRPORT_RANGE{"AIRPORT_RANGE", 20, 8, 30, 32841, 343};
IntOptionEdit AIRPORT_HEIGHT{"AIRPORT_HEIGHT", 18000, 2000, 45000, 32842, 343};
IntOptionEdit MAX_FIT{"MAX_FIT", 47, 0, 47, 32853, 371};
IntOptionEdit parking_percentage{"parking_percentage", 30, 0, 100, 32848, 371};
FloatOptionEdit MAX_FIT_FL{"MAX_FIT_FL", 24.0f, 0.5f, 24.0f, 32855, 371};

// Plain ints: key, default, minimum, maximum.
IntOption CUSTOM_PARKING_PERCENTAGE{"CUSTOM_PARKING_PERCENTAGE", -1, -1, 100};
IntOption MAIN_WINDOW_X{"MAIN_WINDOW_X", 400, -30000, 30000};
IntOption MAIN_WINDOW_Y{"MAIN_WINDOW_Y", 20, -30000, 30000};
IntOption LAST_EPOCH_TIME{"LAST_EPOCH_TIME", 0, 0, 2147483647};
IntOption HOLDING_THRESHOLD_METERS{"HOLDING_THRESHOLD_METERS", 250, 10, 4000};
IntOption MAX_HOLDING_MINUTES{"MAX_HOLDING_MINUTES", 20, 1, 60};
IntOption P3D_VERSION{"P3D_VERSION", 5, 5, 6};

// Plain strings: key, default.
StringOption PROGRAM_VERSION{"PROGRAM_VERSION", ""};
StringOption SIM_INSTALL_PATH{"SIM_INSTALL_PATH", ""};
StringOption PORT_NUMBER{"PORT_NUMBER", "10747"};
StringOption lfolder0{"lfolder0", ""}, lfolder1{"lfolder1", ""}, lfolder2{"lfolder2", ""},
    lfolder3{"lfolder3", ""}, lfolder4{"lfolder4", ""}, lfolder5{"lfolder5", ""}, lfolder6{"lfolder6", ""},
    lfolder7{"lfolder7", ""}, lfolder8{"lfolder8", ""}, lfolder9{"lfolder9", ""};
StringOption afolder0{"afolder0", ""}, afolder1{"afolder1", ""}, afolder2{"afolder2", ""},
    afolder3{"afolder3", ""}, afolder4{"afolder4", ""}, afolder5{"afolder5", ""}, afolder6{"afolder6", ""},
    afolder7{"afolder7", ""}, afolder8{"afolder8", ""}, afolder9{"afolder9", ""};
StringOption PROGRAM_INSTALL_PATH{"PROGRAM_INSTALL_PATH", ""};

// Edit boxes for strings: key, default, control id, row.
StringOptionEdit ALL_INSTALL_PATH{"ALL_INSTALL_PATH", "", 32788, 119};
StringOptionEdit BLOCK_CALLSIGN{"BLOCK_CALLSIGN", "", 32828, 259};
StringOptionEdit DESTINATION{"DESTINATION", "", 32840, 343};

// Push buttons: caption, control id, row (2 pixels above the line).
OptionButton UNBLOCK_BUTTON{"Unblock", 32829, 257};
OptionButton REREAD_BUTTON{"Re-read", 32838, 341};
OptionButton FLUSH_STATIC_BUTTON{"Flush static", 32858, 369};

// Meta entries.
StringOption META_AUTHOR{"author", ""};
StringOption META_DATE{"date", ""};
StringOption META_VERSION{"version", ""};
StringOption META_COPYRIGHT{"copyright", "Copyright (c) Ambertrail_P3D developers"};

namespace {

// The controls of the main window in the order they are created: option, x, width.
const std::array<OptionControlRow, 39> kControls{{
    {&ALL_INSTALL_PATH, 111, 1200},
    {&SCAN_LIVERIES, 5, 0},
    {&LIG_AUTOMATIC, 217, 0},
    {&LIG_PRIORITIZE, 430, 0},
    {&SUPPRESS_STUB, 536, 0},
    {&LOG, 652, 0},
    {&ALWAYS_ON_TOP, 748, 0},
    {&SCAN_AIRPORTS, 5, 0},
    {&AFG_AUTOMATIC, 217, 0},
    {&NAV_LIGHTS_WHILE_PARKED, 652, 0},
    {&LEARN_SOFT, 748, 0},
    {&MATCHING_DEPTH, 217, 24},
    {&LIGHT_AIRCRAFT, 323, 0},
    {&HELICOPTERS, 430, 0},
    {&HIGH_PERF_AIRCRAFT, 536, 0},
    {&AEROWINX, 652, 0},
    {&GUID_CHANGES, 748, 0},
    {&LATERAL_RANGE, 217, 34},
    {&AUTO_RANGE, 323, 0},
    {&AUTO_RANGE_ABOVE_HEIGHT, 455, 50},
    {&COLLISION_USER_GND, 217, 0},
    {&COLLISION_USER_AIR, 323, 0},
    {&COLLISION_LIVE_PARKED_GND, 430, 0},
    {&BLOCK_CALLSIGN, 217, 100},
    {&UNBLOCK_BUTTON, 323, 70},
    {&CUSTOM_MAX_PARK, 353, 34},
    {&MAX_LIVE, 601, 34},
    {&DESTINATION, 217, 50},
    {&AIRPORT_RANGE, 353, 34},
    {&AIRPORT_HEIGHT, 566, 50},
    {&STRAIGHT_PBS_ONLY, 652, 0},
    {&PARK_FAKE, 5, 0},
    {&WEEK, 71, 0},
    {&PARK_SOFT, 151, 0},
    {&parking_percentage, 323, 34},
    {&INITIAL_LOAD_ONLY, 430, 0},
    {&MAX_FIT_FL, 566, 34},
    {&REREAD_BUTTON, 758, 90},
    {&FLUSH_STATIC_BUTTON, 758, 90},
}};

// Every option by its class, for the reset.
const std::array<BoolOptionCheckBox*, 24> kCheckBoxes{
    &SCAN_LIVERIES,   &LIG_AUTOMATIC,      &LIG_PRIORITIZE, &SUPPRESS_STUB,           &LOG,
    &ALWAYS_ON_TOP,   &SCAN_AIRPORTS,      &AFG_AUTOMATIC,  &NAV_LIGHTS_WHILE_PARKED, &LEARN_SOFT,
    &LIGHT_AIRCRAFT,  &HELICOPTERS,        &HIGH_PERF_AIRCRAFT, &AEROWINX,            &GUID_CHANGES,
    &AUTO_RANGE,      &COLLISION_USER_GND, &COLLISION_USER_AIR, &COLLISION_LIVE_PARKED_GND,
    &STRAIGHT_PBS_ONLY, &PARK_FAKE,        &WEEK,           &PARK_SOFT,               &INITIAL_LOAD_ONLY};
const std::array<BoolOption*, 1> kPlainBools{&RANDOM};
const std::array<IntOptionEdit*, 9> kIntEdits{&MATCHING_DEPTH, &LATERAL_RANGE,  &AUTO_RANGE_ABOVE_HEIGHT,
                                              &CUSTOM_MAX_PARK, &MAX_LIVE,      &AIRPORT_RANGE,
                                              &AIRPORT_HEIGHT,  &MAX_FIT,       &parking_percentage};
const std::array<FloatOptionEdit*, 1> kFloatEdits{&MAX_FIT_FL};
const std::array<IntOption*, 7> kPlainInts{&CUSTOM_PARKING_PERCENTAGE, &MAIN_WINDOW_X,       &MAIN_WINDOW_Y,
                                           &LAST_EPOCH_TIME,           &HOLDING_THRESHOLD_METERS,
                                           &MAX_HOLDING_MINUTES,       &P3D_VERSION};
const std::array<StringOption*, 24> kPlainStrings{
    &PROGRAM_VERSION, &SIM_INSTALL_PATH, &PORT_NUMBER, &lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
    &lfolder5,        &lfolder6,         &lfolder7,    &lfolder8, &lfolder9, &afolder0, &afolder1, &afolder2,
    &afolder3,        &afolder4,         &afolder5,    &afolder6, &afolder7, &afolder8, &afolder9,
    &PROGRAM_INSTALL_PATH};
const std::array<StringOptionEdit*, 3> kStringEdits{&ALL_INSTALL_PATH, &BLOCK_CALLSIGN, &DESTINATION};
const std::array<OptionButton*, 3> kButtons{&UNBLOCK_BUTTON, &REREAD_BUTTON, &FLUSH_STATIC_BUTTON};
const std::array<StringOption*, 4> kMeta{&META_AUTHOR, &META_DATE, &META_VERSION, &META_COPYRIGHT};

template <typename... Ts>
struct Overloaded : Ts... {
  using Ts::operator()...;
};
template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;  // clang 14 deduces aggregates only with a guide

}  // namespace

std::span<const OptionControlRow> gf_optionControls() { return kControls; }

void gf_createOptionControls(platform::Ui& ui) {
  for (const OptionControlRow& row : kControls) {
    std::visit(Overloaded{
                   [&](BoolOptionCheckBox* o) { gf_createCheckBox(*o, ui, row.x); },
                   [&](OptionButton* o) { gf_createButton(*o, ui, row.x, row.width); },
                   [&](auto* o) { gf_createEditBox(*o, ui, row.x, row.width); },
               },
               row.option);
  }
  ui.invalidate(kOptionArea);
}

LoadLists lf_buildLoadLists() {
  LoadLists lists;
  lists.plainBools = {&RANDOM, &COLLISION_LIVE_PARKED_GND};
  lists.checkBoxBools = {&AEROWINX,          &AFG_AUTOMATIC,     &COLLISION_USER_AIR, &COLLISION_USER_GND,
                         &COLLISION_LIVE_PARKED_GND,             &SUPPRESS_STUB,      &LOG,
                         &ALWAYS_ON_TOP,     &SCAN_LIVERIES,     &LIG_AUTOMATIC,      &LIG_PRIORITIZE,
                         &SCAN_AIRPORTS,     &LIGHT_AIRCRAFT,    &HELICOPTERS,        &HIGH_PERF_AIRCRAFT,
                         &NAV_LIGHTS_WHILE_PARKED,               &AUTO_RANGE,         &LEARN_SOFT,
                         &STRAIGHT_PBS_ONLY, &PARK_SOFT,         &PARK_FAKE,          &WEEK,
                         &INITIAL_LOAD_ONLY, &GUID_CHANGES};
  lists.plainInts = {&CUSTOM_PARKING_PERCENTAGE, &CUSTOM_MAX_PARK,          &MAIN_WINDOW_X,
                     &MAIN_WINDOW_Y,             &LAST_EPOCH_TIME,          &HOLDING_THRESHOLD_METERS,
                     &MAX_HOLDING_MINUTES,       &P3D_VERSION};
  lists.editInts = {&MATCHING_DEPTH, &LATERAL_RANGE, &MAX_FIT,         &AUTO_RANGE_ABOVE_HEIGHT,
                    &MAX_LIVE,       &AIRPORT_RANGE, &AIRPORT_HEIGHT,  &CUSTOM_MAX_PARK};
  lists.plainStrings = {&PROGRAM_VERSION, &SIM_INSTALL_PATH, &PORT_NUMBER,
                        &lfolder0,        &lfolder1,         &lfolder2,
                        &lfolder3,        &lfolder4,         &lfolder5,
                        &lfolder6,        &lfolder7,         &lfolder8,
                        &lfolder9,        &afolder0,         &afolder1,
                        &afolder2,        &afolder3,         &afolder4,
                        &afolder5,        &afolder6,         &afolder7,
                        &afolder8,        &afolder9,         &PROGRAM_INSTALL_PATH,
                        &DESTINATION};
  lists.editStrings = {&BLOCK_CALLSIGN};
  return lists;
}

std::vector<Option*> gf_allOptions() {
  std::vector<Option*> all;
  auto add = [&all](const auto& options) {
    for (Option* o : options) all.push_back(o);
  };
  add(kCheckBoxes);
  add(kPlainBools);
  add(kIntEdits);
  add(kFloatEdits);
  add(kPlainInts);
  add(kPlainStrings);
  add(kStringEdits);
  add(kButtons);
  add(kMeta);
  return all;
}

void gf_resetOptions() {
  for (auto* o : kCheckBoxes) {
    o->value = o->defaultValue;
    o->window = nullptr;
  }
  for (auto* o : kPlainBools) o->value = o->defaultValue;
  for (auto* o : kIntEdits) {
    o->value = o->defaultValue;
    o->window = nullptr;
  }
  for (auto* o : kFloatEdits) {
    o->value = o->defaultValue;
    o->window = nullptr;
  }
  for (auto* o : kPlainInts) o->value = o->defaultValue;
  for (auto* o : kPlainStrings) o->setValue(o->defaultValue);
  for (auto* o : kStringEdits) {
    o->setValue(o->defaultValue);
    o->window = nullptr;
  }
  for (auto* o : kButtons) o->window = nullptr;
  for (auto* o : kMeta) o->setValue(o->defaultValue);
}

}  // namespace amb
