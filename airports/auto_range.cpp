// The automatic injection range, which follows the user aircraft's height and its distance to the
// park airport; the park airport's learned settings apply it too.

#include "airports/services.hpp"
#include "core/geometry.hpp"
#include "feed/inputs.hpp"
#include "settings/options.hpp"
#include "settings/settings.hpp"
#include "sim/services.hpp"

#include <cmath>

namespace amb {

std::int32_t lf_autoRangeNm(bool onGround, double heightFt, std::int32_t aboveHeightFt, std::int32_t airportHeightFt,
                            double distanceNm) {
  if (onGround) return 10;
  if (heightFt > aboveHeightFt) return 100;
  if (heightFt > airportHeightFt) return 40;
  if (distanceNm <= 7) return 10;
  if (distanceNm < 37) return static_cast<std::int32_t>(std::lround(distanceNm)) + 3;
  return 40;
}

void gf_autoRange() {
  const UserAcBlock user = gf_userAcSnapshot();
  double distance = 10000;
  if (const auto park = gf_firstParkAirportPosition())
    distance = gf_distanceNm({user.latitude, user.longitude}, {park->first, park->second});
  const std::int32_t range = lf_autoRangeNm(g_userOnGround != 0, user.altAboveGround, AUTO_RANGE_ABOVE_HEIGHT.value,
                                            AIRPORT_HEIGHT.value, distance);
  const std::int32_t before = LATERAL_RANGE.value;
  gf_setRadiusNm(range);
  if (LATERAL_RANGE.value != before) gf_showIntOption(LATERAL_RANGE);
  g_autoRangeApplied = AUTO_RANGE.value != 0 && range == 10 ? 1 : 0;
}

}  // namespace amb
