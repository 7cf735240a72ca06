// AI flight-plan files: a live aircraft whose feed names its origin and destination gets a small
// flight plan in the simulator's XML form, in the folder "orig_dest" of the program folder, named
// after its object id, and handed to the simulator for its AI object.

#include "traffic/flight_plan.hpp"
#include "traffic/sim_port.hpp"

#include "core/files.hpp"
#include "core/log.hpp"
#include "core/startup.hpp"

#include <fmt/format.h>

#include <fstream>
#include <system_error>

namespace amb {

std::filesystem::path g_flightPlanFolder;

namespace {

// Origin and destination come from the network: every character with a meaning in XML is written
// as its entity, so the file stays well-formed whatever arrives.
std::string lf_xmlEscaped(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

}  // namespace

std::filesystem::path gf_flightPlanPath(std::uint32_t objectId) { return fmt::format("{}.pln", objectId); }

std::string gf_flightPlanText(const AcData& aircraft) {
  const bool ifr = aircraft.category == Buzjets || aircraft.category == Large || aircraft.category == Heavy;
  return fmt::format(
      "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      "<SimBase.Document Type=\"AceXML\" version=\"4,3\">\n"
      "<FlightPlan.FlightPlan>\n"
      "<FPType>{}</FPType>\n"
      "<DepartureID>{}</DepartureID>\n"
      "<DestinationID>{}</DestinationID>\n"
      "</FlightPlan.FlightPlan>\n"
      "</SimBase.Document>",
      ifr ? "IFR" : "VFR", lf_xmlEscaped(aircraft.origin), lf_xmlEscaped(aircraft.destination));
}

bool gf_writeFlightPlan(const std::filesystem::path& file, const AcData& aircraft) {
  std::ofstream out(file);
  if (!out) return false;
  out << gf_flightPlanText(aircraft) << std::endl;
  return static_cast<bool>(out);
}

bool gf_createFlightPlanFolder() {
  g_flightPlanFolder = g_programFolder / "orig_dest";
  if (!std::filesystem::exists(g_programFolder)) std::filesystem::create_directory(g_programFolder);
  if (!std::filesystem::exists(g_flightPlanFolder)) std::filesystem::create_directory(g_flightPlanFolder);
  return std::filesystem::exists(g_flightPlanFolder);
}

bool gf_removeFlightPlanFolder() {
  std::error_code ec;
  if (!g_flightPlanFolder.empty() && std::filesystem::exists(g_flightPlanFolder, ec))
    std::filesystem::remove_all(g_flightPlanFolder, ec);
  if (ec) gf_log(fmt::format("gf_removeFlightPlanFolder: {}", ec.message()));
  return !g_flightPlanFolder.empty() && std::filesystem::exists(g_flightPlanFolder, ec);
}

void lf_createFlightPlan(LiveAc& ac) {
  try {
    if (ac.origin.empty() || ac.destination.empty() || ac.objectId == 0 || g_flightPlanFolder.empty()) return;
    const std::filesystem::path file = g_flightPlanFolder / gf_flightPlanPath(ac.objectId);
    bool accepted = false;
    if (gf_writeFlightPlan(file, ac)) {
      accepted = gf_simPort().setFlightPlan(ac.objectId, gf_pathText(file));
      // A plan the simulator does not have is not kept either.
      if (!accepted) std::filesystem::remove(file);
    }
    ac.hasFlightPlan = accepted ? 1 : 0;
    if (!accepted) gf_logMarked(fmt::format("{} creating a flight plan failed", ac.description()));
  } catch (const std::exception& e) {
    gf_logf("{}: {}", "lf_createFlightPlan", e.what());
  }
}

}  // namespace amb
