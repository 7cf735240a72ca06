#include "app/upcalls.hpp"

#include "airports/services.hpp"
#include "liveries/services.hpp"
#include "records/upcalls.hpp"
#include "refdata/services.hpp"
#include "traffic/services.hpp"

namespace amb {

void gf_installUpcalls() {
  up::refdata::gf_aircraftCategory = &gf_aircraftCategory;
  up::refdata::gf_halfWingspan = &gf_halfWingspan;

  up::engine::gf_removeAllLiveAc = &gf_removeAllLiveAc;

  up::liveries::gf_modelsWithLivery = &gf_modelsWithLivery;
  up::liveries::gf_hasModelLivery = &gf_hasModelLivery;
  up::liveries::gf_hasAirlineModelLivery = &gf_hasAirlineModelLivery;
  up::liveries::gf_liveryAirlineCodes = &gf_liveryAirlineCodes;
  up::liveries::lf_matchLivery = &lf_matchLivery;
  up::liveries::g_excludedTitles = &g_excludedTitles;
  up::liveries::gf_liveryCouldNotBeCreated = &gf_liveryCouldNotBeCreated;
  up::liveries::g_noMatchSet = &g_noMatchSet;

  up::airports::gf_parkAirportSnapshot = &gf_parkAirportSnapshot;
  up::airports::gf_airportNear = &gf_airportNear;
  up::airports::gf_airportCalled = &gf_airportCalled;
  up::airports::g_parkAirportLoaded = &g_parkAirportLoaded;
  up::airports::gf_standNameAt = &gf_standNameAt;
  up::airports::gf_reservedStandName = &gf_reservedStandName;
  up::airports::g_stands = &g_stands;
  up::airports::g_maxParkCount = &g_maxParkCount;
  up::airports::gf_findStandByName = &gf_findStandByName;
  up::airports::gf_findStandForAct = &gf_findStandForAct;
  up::airports::lf_addRealParkPosOption = &lf_addRealParkPosOption;
  up::airports::lf_learnSoftParkPos = &lf_learnSoftParkPos;
  up::airports::gf_addParkedHalfHours = &gf_addParkedHalfHours;
  up::airports::lf_parkStatic = &lf_parkStatic;
  up::airports::gf_staticPlanEmpty = &gf_staticPlanEmpty;
  up::airports::gf_removeLiveAcMaxPark = &gf_removeLiveAcMaxPark;
  up::airports::lf_searchForCoupledCsAroundThisTime = &lf_searchForCoupledCsAroundThisTime;
  up::airports::gf_removeStaticForCollision = &gf_removeStaticForCollision;
}

}  // namespace amb
