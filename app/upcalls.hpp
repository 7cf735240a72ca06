#pragma once
// Wiring of the calls that go up the layers (records/upcalls.hpp).

namespace amb {

// Points every up-call at the subsystem's own function or global. The program calls it once before
// anything else runs; test programs call it before their first case (by linking amb_upcalls_setup).
void gf_installUpcalls();

}  // namespace amb
