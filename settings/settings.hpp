#pragma once
// Loading the settings at the start of every worker thread, and the injection radius derived from
// LATERAL_RANGE.

#include <atomic>
#include <cstdint>

namespace amb {

// The injection radius in nautical miles, and the same whole-number radius in metres (nm x 1852).
// Written by the settings load, the automatic range and the LATERAL_RANGE box; read by the feed, the
// engine and static parking.
extern std::atomic<double> g_radiusNm;
extern std::atomic<std::uint32_t> g_radiusMeters;

// Reads every stored option from "parameters.xml" (through the six load lists, in order), records the
// running program version, derives the radius from LATERAL_RANGE and tells the random choices
// whether RANDOM is on.
void gf_loadOptions();

// Sets the radius to n nm (and n x 1852 m) and LATERAL_RANGE to n clamped to its range. Neither saves
// the option nor shows it.
void gf_setRadiusNm(std::int32_t n);
// Clamps LATERAL_RANGE to its range and sets the radius from it.
void gf_setRadiusNm();

// Back to start values: every option at its default, no controls, the radius of the default range.
void gf_resetSettings();

}  // namespace amb
