#pragma once
// The option objects: one global object per setting, holding its key (the setting's name in
// "parameters.xml"), default, limits and current value. Options shown in the main window are also
// option controls, carrying the control id and row of their check box, edit box or push button.
//
// Threading: scalar values are relaxed atomics and string values are copied under a lock, so any
// thread may read them while the window thread or the worker changes them.

#include "platform/ui.hpp"

#include <fmt/format.h>

#include <atomic>
#include <cstdint>
#include <mutex>
#include <span>
#include <string>
#include <variant>
#include <vector>

namespace amb {

// The current value of a bool, int or float option. Reads and writes are relaxed: each value stands
// alone and publishes nothing else. Reads like a plain field: `if (LOG.value)`, `MAX_LIVE.value = 5`.
template <typename T>
class OptionValue {
public:
  constexpr explicit OptionValue(T v) noexcept : m_value(v) {}
  OptionValue(const OptionValue&) = delete;
  OptionValue& operator=(const OptionValue& other) noexcept {
    store(other.load());
    return *this;
  }
  OptionValue& operator=(T v) noexcept {
    store(v);
    return *this;
  }
  operator T() const noexcept { return load(); }
  T load() const noexcept { return m_value.load(std::memory_order_relaxed); }
  void store(T v) noexcept { m_value.store(v, std::memory_order_relaxed); }

private:
  std::atomic<T> m_value;
};

class Option {
public:
  explicit Option(std::string key) : key(std::move(key)) {}
  virtual ~Option() = default;
  Option(const Option&) = delete;
  Option& operator=(const Option&) = delete;

  // The setting's name in the settings file; for a push button, its caption.
  const std::string key;
};

// Nonzero means true. Minimum and maximum equal the default and carry no meaning.
class BoolOption : public Option {
public:
  BoolOption(std::string key, std::uint8_t defaultValue);
  const std::uint8_t defaultValue;
  const std::uint8_t minimum;
  const std::uint8_t maximum;
  OptionValue<std::uint8_t> value;
};

class IntOption : public Option {
public:
  IntOption(std::string key, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum);
  // Below minimum gives minimum, else above maximum gives maximum, else the value itself.
  std::int32_t clamped(std::int32_t v) const;
  const std::int32_t defaultValue;
  const std::int32_t minimum;
  const std::int32_t maximum;
  OptionValue<std::int32_t> value;
};

class FloatOption : public Option {
public:
  FloatOption(std::string key, float defaultValue, float minimum, float maximum);
  float clamped(float v) const;
  const float defaultValue;
  const float minimum;
  const float maximum;
  OptionValue<float> value;
};

// Only the default and the value are used; minimum and maximum are copies of the default.
class StringOption : public Option {
public:
  StringOption(std::string key, const std::string& defaultValue);
  std::string value() const;  // a copy, taken under the option's lock
  void setValue(std::string v);
  const std::string defaultValue;
  const std::string minimum;
  const std::string maximum;

private:
  mutable std::mutex m_mutex;
  std::string m_value;
};

// The window part of an option shown in the main window. window is the window the control was
// created in; null until then (and for MAX_FIT, which has an id and a row but no control).
class OptionControl {
public:
  OptionControl(std::uint16_t controlId, std::int32_t row) : controlId(controlId), row(row) {}
  virtual ~OptionControl() = default;
  OptionControl(const OptionControl&) = delete;
  OptionControl& operator=(const OptionControl&) = delete;

  const std::uint16_t controlId;  // child-window id and command id, 32771 to 32865
  const std::int32_t row;         // top of the control's line in the client area, in pixels
  std::atomic<platform::Ui*> window{nullptr};
};

class BoolOptionCheckBox : public BoolOption, public OptionControl {
public:
  BoolOptionCheckBox(std::string key, std::uint8_t defaultValue, std::uint16_t controlId, std::int32_t row);
  // Sets the box's check mark from the value (nothing without a window or box).
  void refresh() const;
};

class IntOptionEdit : public IntOption, public OptionControl {
public:
  IntOptionEdit(std::string key, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum,
                std::uint16_t controlId, std::int32_t row);
};

class FloatOptionEdit : public FloatOption, public OptionControl {
public:
  FloatOptionEdit(std::string key, float defaultValue, float minimum, float maximum, std::uint16_t controlId,
                  std::int32_t row);
};

class StringOptionEdit : public StringOption, public OptionControl {
public:
  StringOptionEdit(std::string key, const std::string& defaultValue, std::uint16_t controlId, std::int32_t row);
  // Shows the current value in the option's edit box.
  void refresh() const;
};

class OptionButton : public Option, public OptionControl {
public:
  OptionButton(std::string caption, std::uint16_t controlId, std::int32_t row);
};

// The part of the main window that holds the option controls; repainted after a value is shown.
inline constexpr platform::Rect kOptionArea{0, 112, 880, 392};

// "true" or "false".
const char* gf_boolText(bool v);

// "<key>=<value>" log lines; a bool prints as true or false.
void lf_logBoolOption(const BoolOption& option);
void lf_logIntOption(const IntOption& option);
void lf_logStringOption(const StringOption& option);

// Control creators: each makes the option's control in the window and remembers the window.
// Check boxes: 12 x 12 at (x, row + 2), checked from the value, enabled.
void gf_createCheckBox(BoolOptionCheckBox& option, platform::Ui& ui, int x);
// Push buttons: caption = key, width x 20 at (x, row), disabled.
void gf_createButton(OptionButton& option, platform::Ui& ui, int x, int width);
// Edit boxes: width x 16 at (x, row), empty, disabled. Enter in the box reaches the program as
// UiEvents::onEditEnter with the control id.
void gf_createEditBox(OptionControl& control, platform::Ui& ui, int x, int width);

// Write an option's value into its edit box in the current window and repaint the option area.
// Without a window, or when the option has no box there, nothing happens. Int values print as "{}",
// float values with one decimal when they have a fraction, strings as they are.
void gf_showIntOption(const IntOptionEdit& option);
void gf_showFloatOption(const FloatOptionEdit& option);
void gf_showStringOption(const StringOptionEdit& option);

// ---------------------------------------------------------------------------------------------
// Every option of the program.

// Check boxes.
extern BoolOptionCheckBox SCAN_LIVERIES;
extern BoolOptionCheckBox LIG_AUTOMATIC;
extern BoolOptionCheckBox LIG_PRIORITIZE;
extern BoolOptionCheckBox SUPPRESS_STUB;
extern BoolOptionCheckBox LOG;
extern BoolOptionCheckBox ALWAYS_ON_TOP;
extern BoolOptionCheckBox SCAN_AIRPORTS;
extern BoolOptionCheckBox AFG_AUTOMATIC;
extern BoolOptionCheckBox NAV_LIGHTS_WHILE_PARKED;
extern BoolOptionCheckBox LEARN_SOFT;
extern BoolOptionCheckBox LIGHT_AIRCRAFT;
extern BoolOptionCheckBox HELICOPTERS;
extern BoolOptionCheckBox HIGH_PERF_AIRCRAFT;
extern BoolOptionCheckBox AEROWINX;
extern BoolOptionCheckBox GUID_CHANGES;
extern BoolOptionCheckBox AUTO_RANGE;
extern BoolOptionCheckBox COLLISION_USER_GND;
extern BoolOptionCheckBox COLLISION_USER_AIR;
extern BoolOptionCheckBox COLLISION_LIVE_PARKED_GND;
extern BoolOptionCheckBox STRAIGHT_PBS_ONLY;
extern BoolOptionCheckBox PARK_FAKE;
extern BoolOptionCheckBox WEEK;
extern BoolOptionCheckBox PARK_SOFT;
extern BoolOptionCheckBox INITIAL_LOAD_ONLY;

// Plain bool.
extern BoolOption RANDOM;

// Edit boxes for ints and the one float.
extern IntOptionEdit MATCHING_DEPTH;
extern IntOptionEdit LATERAL_RANGE;
extern IntOptionEdit AUTO_RANGE_ABOVE_HEIGHT;
extern IntOptionEdit CUSTOM_MAX_PARK;
extern IntOptionEdit MAX_LIVE;
extern IntOptionEdit AIRPORT_RANGE;
extern IntOptionEdit AIRPORT_HEIGHT;
extern IntOptionEdit MAX_FIT;             // no box of its own: shown and typed as MAX_FIT_FL
extern IntOptionEdit parking_percentage;  // kept in the airport files, not in "parameters.xml"
extern FloatOptionEdit MAX_FIT_FL;        // MAX_FIT in hours: MAX_FIT * 0.5 + 0.5

// Plain ints.
extern IntOption CUSTOM_PARKING_PERCENTAGE;
extern IntOption MAIN_WINDOW_X;
extern IntOption MAIN_WINDOW_Y;
extern IntOption LAST_EPOCH_TIME;
extern IntOption HOLDING_THRESHOLD_METERS;
extern IntOption MAX_HOLDING_MINUTES;
extern IntOption P3D_VERSION;

// Plain strings.
extern StringOption PROGRAM_VERSION;
extern StringOption SIM_INSTALL_PATH;
extern StringOption PORT_NUMBER;
extern StringOption lfolder0, lfolder1, lfolder2, lfolder3, lfolder4, lfolder5, lfolder6, lfolder7, lfolder8,
    lfolder9;
extern StringOption afolder0, afolder1, afolder2, afolder3, afolder4, afolder5, afolder6, afolder7, afolder8,
    afolder9;
extern StringOption PROGRAM_INSTALL_PATH;

// Edit boxes for strings.
extern StringOptionEdit ALL_INSTALL_PATH;
extern StringOptionEdit BLOCK_CALLSIGN;
extern StringOptionEdit DESTINATION;

// Push buttons ("Unblock", "Re-read", "Flush static"); never stored.
extern OptionButton UNBLOCK_BUTTON;
extern OptionButton REREAD_BUTTON;
extern OptionButton FLUSH_STATIC_BUTTON;

// Entries of the meta block of the airport files and the livery scan result; never stored in
// "parameters.xml". gf_checkMeta fills author, date and version from the document it checks.
extern StringOption META_AUTHOR;     // key "author"
extern StringOption META_DATE;       // key "date"
extern StringOption META_VERSION;    // key "version"
extern StringOption META_COPYRIGHT;  // key "copyright", the maker's notice

// ---------------------------------------------------------------------------------------------
// The settings table as data.

// One control of the main window, in the order the window creates them.
using OptionControlRef =
    std::variant<BoolOptionCheckBox*, IntOptionEdit*, FloatOptionEdit*, StringOptionEdit*, OptionButton*>;
struct OptionControlRow {
  OptionControlRef option;
  int x = 0;
  int width = 0;  // 0 for check boxes (always 12 x 12)
};
std::span<const OptionControlRow> gf_optionControls();

// Creates every option control in the table's order, then repaints the option area. Called once by
// the main window's creation handler.
void gf_createOptionControls(platform::Ui& ui);

// The six lists through which the settings load reads and stores the options, in their order. An
// option may stand in two lists (COLLISION_LIVE_PARKED_GND, CUSTOM_MAX_PARK).
struct LoadLists {
  std::vector<BoolOption*> plainBools;
  std::vector<BoolOptionCheckBox*> checkBoxBools;
  std::vector<IntOption*> plainInts;
  std::vector<IntOptionEdit*> editInts;
  std::vector<StringOption*> plainStrings;
  std::vector<StringOptionEdit*> editStrings;
};
LoadLists lf_buildLoadLists();

// Every option object once, in declaration order.
std::vector<Option*> gf_allOptions();

// Puts every option back to its default and forgets the controls' windows.
void gf_resetOptions();

}  // namespace amb

template <typename T>
struct fmt::formatter<amb::OptionValue<T>> : fmt::formatter<T> {
  template <typename Ctx>
  auto format(const amb::OptionValue<T>& v, Ctx& ctx) const {
    return fmt::formatter<T>::format(v.load(), ctx);
  }
};
