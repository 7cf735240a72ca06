#pragma once
// The two resets of the program's state. A restart of the service run calls lf_resetRunState
// (app/final_exit.hpp): the state of a run goes, what outlives a restart stays (the settings, the
// livery tables, the scan's results, the exit state of the sequence under way). Tests call
// gf_resetForTests between cases: that and everything else back to its start values.

namespace amb {

void gf_resetForTests();

}  // namespace amb
