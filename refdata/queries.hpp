#pragma once
// Questions answered from the aircraft data base's tables. None throws for a missing key. The
// tables and the similar-model maps are only read once built, so the queries take no lock; the two
// similar-model queries hand out lists that they shuffle, so they are called from one thread at a
// time (the worker thread that matches liveries).

#include "core/startup.hpp"
#include "refdata/database.hpp"

#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace amb {

// Model -> the other members of its similar group that have a livery.
extern std::unordered_map<std::string, std::vector<std::string>> g_similarModelsWithLivery;
// Airline -> model without a livery of that airline -> similar models the airline has a livery for.
extern std::unordered_map<std::string, std::unordered_map<std::string, std::vector<std::string>>>
    g_airlineSimilarModels;

AircraftCategory gf_aircraftCategory(const std::string& model);
bool gf_isValidModel(const std::string& model);
bool gf_isIcaoAirline(const std::string& airline);
double gf_halfWingspan(const std::string& model);
bool gf_containsChar(const std::string& text, char c);

// Builds the two similar-model maps; called once by the livery subsystem after its tables exist.
void gf_buildSimilarModelMaps();
// The similar models of the model that have a livery (shuffled when RANDOM is on); else, for Light,
// Buzjets and Rotorcraft, one model of that category with a livery; else the empty list. The
// reference stays valid until the next call.
const std::vector<std::string>& gf_similarModel(const std::string& model);
const std::vector<std::string>& gf_similarModelsOfAirline(const std::pair<std::string, std::string>& airlineModel);

// The forms under which a registration is looked up, in order.
std::vector<std::string> gf_registrationVariants(const std::string& registration);
bool gf_lookupRegcode(std::optional<RegcodeInfo>& info, const std::string& key);
std::optional<RegcodeInfo> gf_findRegcodeInfo(const std::string& registration);
std::string gf_airlineOfRegistration(const std::string& registration);
std::string gf_typeOfRegistration(const std::string& registration);
std::string gf_operatorOfRegistration(const std::string& registration);
// The first key in key order whose airline is "PVT", of at most four characters, found in the text.
std::string gf_privateRegcodeInText(const std::string& text);

// Whether the text holds a match of the pattern (a regular expression), ignoring case; false for an
// invalid pattern. Never throws.
bool gf_wildcardMatch(const std::string& text, const std::string& pattern);
// The publisher of a scenery file from its name: "simaddon", a publisher group's first name, or
// "unknown". Safe from several threads at once.
std::string gf_publisherFromFilename(const std::string& fileName);

// Built by the data-base reader: the compiled patterns of the publisher names and the sorted list of
// short private keys. Tests that fill the tables by hand call them too.
void gf_compilePublisherPatterns();
void gf_indexPrivateRegcodes();

// Empties the similar-model maps, the result lists and the indexes.
void gf_resetQueries();

}  // namespace amb
