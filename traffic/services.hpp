#pragma once
// What other subsystems call of the live traffic engine.

namespace amb {

// Removes every live aircraft from the simulator (the exit sequence, and when RealTraffic is gone).
void gf_removeAllLiveAc();

}  // namespace amb
