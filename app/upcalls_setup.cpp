// Runs before main: every up-call points at the subsystem's own function, as after the program's
// start-up. A test that replaces one puts it back with gf_installUpcalls().

#include "app/upcalls.hpp"

namespace {
const bool g_upcallsWired = (amb::gf_installUpcalls(), true);
}  // namespace
