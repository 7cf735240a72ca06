// Stands in for the engine's removals until they are built: there are no live aircraft in the
// simulator to remove yet.

#include "traffic/services.hpp"

namespace amb {

void gf_removeAllLiveAc() {}

}  // namespace amb
