#pragma once
// The edit boxes of the main window: Enter commits the typed text to the box's option, with range
// checks, a message, saving to "parameters.xml" and a follow-up that depends on the option. Every
// commit leaves the box showing the option's value after it.

#include "settings/options.hpp"

#include <cstdint>
#include <string>
#include <utility>

namespace amb {

// The text of a control of the main window (at most 1023 UTF-16 units); empty when it cannot be read.
std::string lf_getTextFromId(std::uint16_t controlId);
// Writes the empty text into a control.
void lf_clearControlText(std::uint16_t controlId);

// Commit an int box or the MAX_FIT_FL box; true when the value was (re)set.
bool lf_processTbInt(IntOptionEdit& option);
bool lf_processTbFloat(FloatOptionEdit& option);

// Enter in a box: the procedures of the three kinds of box.
void lf_intEditProc(IntOptionEdit& option);
void lf_floatEditProc();
void lf_stringEditProc(StringOptionEdit& option);

void lf_processInstallPath(const std::string& text);
void lf_processBlockCallsign();
void lf_unblockCallsign();
void lf_processDestination();
void lf_setDestination(const std::string& code, std::pair<double, double> position);

// A parking setting changed: static parking plans anew at the next 5-second step.
void lf_parkingOptionChanged();

// Enter in the box with this control id; false when no box has it.
bool lf_editBoxEnter(std::uint16_t controlId);

}  // namespace amb
