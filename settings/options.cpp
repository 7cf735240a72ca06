#include "settings/options.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/strings.hpp"

#include <exception>

namespace amb {

BoolOption::BoolOption(std::string key, std::uint8_t defaultValue)
    : Option(std::move(key)),
      defaultValue(defaultValue),
      minimum(defaultValue),
      maximum(defaultValue),
      value(defaultValue) {}

IntOption::IntOption(std::string key, std::int32_t defaultValue, std::int32_t minimum, std::int32_t maximum)
    : Option(std::move(key)), defaultValue(defaultValue), minimum(minimum), maximum(maximum), value(defaultValue) {}

std::int32_t IntOption::clamped(std::int32_t v) const {
  if (v < minimum) return minimum;
  if (v > maximum) return maximum;
  return v;
}

FloatOption::FloatOption(std::string key, float defaultValue, float minimum, float maximum)
    : Option(std::move(key)), defaultValue(defaultValue), minimum(minimum), maximum(maximum), value(defaultValue) {}

float FloatOption::clamped(float v) const {
  if (v < minimum) return minimum;
  if (v > maximum) return maximum;
  return v;
}

StringOption::StringOption(std::string key, const std::string& defaultValue)
    : Option(std::move(key)),
      defaultValue(defaultValue),
      minimum(defaultValue),
      maximum(defaultValue),
      m_value(defaultValue) {}

std::string StringOption::value() const {
  std::lock_guard lock(m_mutex);
  return m_value;
}

void StringOption::setValue(std::string v) {
  std::lock_guard lock(m_mutex);
  m_value = std::move(v);
}

BoolOptionCheckBox::BoolOptionCheckBox(std::string key, std::uint8_t defaultValue, std::uint16_t controlId,
                                       std::int32_t row)
    : BoolOption(std::move(key), defaultValue), OptionControl(controlId, row) {}

IntOptionEdit::IntOptionEdit(std::string key, std::int32_t defaultValue, std::int32_t minimum,
                             std::int32_t maximum, std::uint16_t controlId, std::int32_t row)
    : IntOption(std::move(key), defaultValue, minimum, maximum), OptionControl(controlId, row) {}

FloatOptionEdit::FloatOptionEdit(std::string key, float defaultValue, float minimum, float maximum,
                                 std::uint16_t controlId, std::int32_t row)
    : FloatOption(std::move(key), defaultValue, minimum, maximum), OptionControl(controlId, row) {}

StringOptionEdit::StringOptionEdit(std::string key, const std::string& defaultValue, std::uint16_t controlId,
                                   std::int32_t row)
    : StringOption(std::move(key), defaultValue), OptionControl(controlId, row) {}

OptionButton::OptionButton(std::string caption, std::uint16_t controlId, std::int32_t row)
    : Option(std::move(caption)), OptionControl(controlId, row) {}

const char* gf_boolText(bool v) { return v ? "true" : "false"; }

void lf_logBoolOption(const BoolOption& option) { gf_logf("{}={}", option.key, gf_boolText(option.value != 0)); }
void lf_logIntOption(const IntOption& option) { gf_logf("{}={}", option.key, option.value.load()); }
void lf_logStringOption(const StringOption& option) { gf_logf("{}={}", option.key, option.value()); }

void gf_createCheckBox(BoolOptionCheckBox& option, platform::Ui& ui, int x) {
  ui.createCheckBox(option.controlId, x, option.row + 2, 12, 12, option.value != 0);
  option.window = &ui;
  ui.enable(option.controlId, true);
}

void gf_createButton(OptionButton& option, platform::Ui& ui, int x, int width) {
  ui.createButton(option.controlId, option.key, x, option.row, width, 20);
  option.window = &ui;
  ui.enable(option.controlId, false);
}

void gf_createEditBox(OptionControl& control, platform::Ui& ui, int x, int width) {
  ui.createEdit(control.controlId, x, control.row, width, 16);
  control.window = &ui;
  ui.enable(control.controlId, false);
}

namespace {

// The window that holds the control, or null when there is none.
platform::Ui* windowWithControl(const OptionControl& control) {
  platform::Ui* ui = platform::currentUi();
  if (ui == nullptr || !ui->hasControl(control.controlId)) return nullptr;
  return ui;
}

void showText(const OptionControl& control, const std::string& text) {
  platform::Ui* ui = windowWithControl(control);
  if (ui == nullptr) return;
  try {
    // The window takes UTF-16; text that cannot become UTF-16 leaves the box as it was.
    (void)gf_utf8ToUtf16(text);
  } catch (const std::exception& e) {
    gf_log(e.what());
    return;
  }
  ui->setText(control.controlId, text);
  ui->invalidate(kOptionArea);
}

}  // namespace

void BoolOptionCheckBox::refresh() const {
  if (platform::Ui* ui = windowWithControl(*this)) ui->setChecked(controlId, value != 0);
}

void StringOptionEdit::refresh() const { gf_showStringOption(*this); }

void gf_showIntOption(const IntOptionEdit& option) { showText(option, fmt::format("{}", option.value.load())); }

void gf_showFloatOption(const FloatOptionEdit& option) { showText(option, gf_float2string(option.value)); }

void gf_showStringOption(const StringOptionEdit& option) { showText(option, option.value()); }

}  // namespace amb
