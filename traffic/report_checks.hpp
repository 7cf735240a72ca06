#pragma once
// The report checks of the user's position.
// Defined in traffic/report_checks.cpp; like the rest of the engine they run on the worker thread under
// gf_engineMutex() (see traffic/engine.hpp).

#include "records/aircraft.hpp"
#include "records/parking.hpp"
#include "traffic/live_ac.hpp"

namespace amb {

// The report checks' memory of the user's position back to its start value.
void lf_resetReportChecks();

}  // namespace amb
