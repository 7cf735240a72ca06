#pragma once
// The aircraft data-base generator: a data base in plain text, written as "temp2.xml" with our
// cipher and zipped as "dbase.zip". Used by the dbgen program, the tests and the benchmarks.

#include "dbgen/encoder.hpp"

#include <cstdint>
#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace amb::dbgen {

enum class Category { Light, Buzjets, Large, Heavy, HighPerf, Rotorcraft };

struct Registration {
  std::string reg;
  std::string airline;   // "" when unknown, "PVT" for private aircraft
  std::string type;
  std::string operatorCode;
  bool cargo = false;
};

struct ThirdParty {
  std::string publisher;
  std::vector<std::string> airports;  // code followed by the park-position count
};

// Everything in plain text; the writer enciphers.
struct PlainDataBase {
  std::map<std::string, Category> models;          // every valid model with its category
  std::vector<std::vector<std::string>> similarGroups;
  std::set<std::string> cargoTypes;
  std::set<std::string> airlines;
  std::set<std::string> cargoOperators;
  std::vector<std::vector<std::string>> publishers;  // first name: the publisher
  std::map<std::string, double> wingspanMetres;
  std::vector<std::pair<std::string, std::string>> fixes;  // wrong, correct
  std::vector<std::string> simaddonAirports;
  std::vector<ThirdParty> thirdParties;
  std::vector<Registration> registrations;
};

struct WriteOptions {
  std::uint32_t fillerSeed = 20190305;
  std::size_t codesPerItem = 40;        // codes per item of the model and airline lists
  std::set<std::string> omitSections;  // sections left out (tests of missing sections)
};

// The "temp2.xml" text: one top-level element per section, no enclosing root.
std::string writeXml(const PlainDataBase& db, const WriteOptions& options = {});

// A zip archive from (name, content) entries in this order; a name ending with '/' is a folder.
struct ZipInput {
  std::string name;
  std::string content;
};
void writeZip(const std::filesystem::path& path, const std::vector<ZipInput>& entries);

// The data base of the real sources: the aircraft types, categories and wing spans of the FAA
// aircraft characteristics table, the airlines, registrations and types of the recorded traffic.
// Either file may be gzip-compressed.
PlainDataBase buildFromSources(const std::filesystem::path& faaCsv, const std::filesystem::path& traffic);

// A large invented data base for benchmarks.
PlainDataBase buildSynthetic(std::size_t types, std::size_t registrations, std::size_t publishers,
                             std::uint32_t seed = 7);

// One livery of the downloaded registration-code list "AIG-regcodes.xml".
struct AigLivery {
  std::string title;
  std::vector<std::string> regcodes;  // empty: a title not to use
  bool special = false;
};
// The list's text, every code enciphered as the server stores it (std::invalid_argument for a code
// that cannot be).
std::string writeAigRegcodes(const std::vector<AigLivery>& liveries);

// Reads a text file, gzip-compressed or not, as lines.
std::vector<std::string> readTextLines(const std::filesystem::path& path);

}  // namespace amb::dbgen
