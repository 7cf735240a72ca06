#include "settings/settings.hpp"

#include "core/strings.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"
#include "settings/version_update.hpp"

namespace amb {

namespace {
constexpr std::int32_t kDefaultRangeNm = 40;  // LATERAL_RANGE's default
constexpr std::int64_t kMetresPerNm = 1852;

void setRadius(std::int32_t nm) {
  g_radiusNm = static_cast<double>(nm);
  g_radiusMeters = static_cast<std::uint32_t>(static_cast<std::int64_t>(nm) * kMetresPerNm);
}
}  // namespace

std::atomic<double> g_radiusNm{static_cast<double>(kDefaultRangeNm)};
std::atomic<std::uint32_t> g_radiusMeters{static_cast<std::uint32_t>(kDefaultRangeNm * kMetresPerNm)};

void gf_loadOptions() {
  const LoadLists lists = lf_buildLoadLists();
  lf_readParameters(lists.plainBools, lists.checkBoxBools, lists.plainInts, lists.editInts, lists.plainStrings,
                    lists.editStrings);
  gf_handleVersionUpdate();
  gf_setRadiusNm();
  gf_setRandomOn(RANDOM.value != 0);
}

void gf_setRadiusNm(std::int32_t n) {
  setRadius(n);
  LATERAL_RANGE.value = LATERAL_RANGE.clamped(n);
}

void gf_setRadiusNm() {
  const std::int32_t nm = LATERAL_RANGE.clamped(LATERAL_RANGE.value);
  LATERAL_RANGE.value = nm;
  setRadius(nm);
}

void gf_resetSettings() {
  gf_resetOptions();
  setRadius(kDefaultRangeNm);
  gf_setRandomOn(RANDOM.value != 0);
}

}  // namespace amb
