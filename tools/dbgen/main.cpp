// dbgen: writes an aircraft data base with our cipher.
//
//   dbgen --faa FAA.csv[.gz] --traffic TRAFFIC.rttfc[.gz] --out FOLDER [--xml] [--regcodes]
//   dbgen --synthetic [--types N] [--registrations N] [--publishers N] --out FOLDER [--xml]
//
// Writes FOLDER/dbase.zip holding "temp2.xml"; with --xml also FOLDER/temp2.xml. With --regcodes
// also FOLDER/AIG-regcodes.zip: the registration-code list of the AI package that ailibgen makes
// from the same recording.

#include "ailibgen/ailibgen.hpp"
#include "dbgen/dbgen.hpp"

#include <fmt/format.h>

#include <cstdlib>
#include <fstream>
#include <iostream>
#include <string>

namespace fs = std::filesystem;
using namespace amb::dbgen;

namespace {
int usage() {
  std::cerr << "usage: dbgen --faa CSV --traffic RTTFC --out FOLDER [--xml] [--regcodes]\n"
               "       dbgen --synthetic [--types N] [--registrations N] [--publishers N] --out FOLDER [--xml]\n";
  return 2;
}
}  // namespace

int main(int argc, char** argv) {
  fs::path faa, traffic, out;
  bool synthetic = false, xml = false, regcodes = false;
  std::size_t types = 2000, registrations = 100000, publishers = 500;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&]() -> std::string {
      if (i + 1 >= argc) throw std::invalid_argument("missing value after " + arg);
      return argv[++i];
    };
    try {
      if (arg == "--faa") faa = value();
      else if (arg == "--traffic") traffic = value();
      else if (arg == "--out") out = value();
      else if (arg == "--synthetic") synthetic = true;
      else if (arg == "--xml") xml = true;
      else if (arg == "--regcodes") regcodes = true;
      else if (arg == "--types") types = std::stoul(value());
      else if (arg == "--registrations") registrations = std::stoul(value());
      else if (arg == "--publishers") publishers = std::stoul(value());
      else return usage();
    } catch (const std::exception& e) {
      std::cerr << "dbgen: " << e.what() << "\n";
      return usage();
    }
  }
  if (out.empty() || (!synthetic && (faa.empty() || traffic.empty())) || (regcodes && traffic.empty())) return usage();
  try {
    const PlainDataBase db = synthetic ? buildSynthetic(types, registrations, publishers) : buildFromSources(faa, traffic);
    const std::string text = writeXml(db);
    fs::create_directories(out);
    writeZip(out / "dbase.zip", {{"temp2.xml", text}});
    if (xml) std::ofstream(out / "temp2.xml", std::ios::binary) << text;
    if (regcodes) {
      const auto files = amb::ailibgen::regcodeFiles(amb::ailibgen::fromRecording(traffic, amb::ailibgen::kCargoAirlines));
      writeZip(out / "AIG-regcodes.zip", {{"AIG-regcodes.xml", writeAigRegcodes(files.download)}});
      std::cout << fmt::format("dbgen: {} liveries in {}\n", files.download.size(), (out / "AIG-regcodes.zip").string());
    }
    std::cout << fmt::format("dbgen: {} types, {} airlines, {} registrations, {} similar groups -> {}\n",
                             db.models.size(), db.airlines.size(), db.registrations.size(), db.similarGroups.size(),
                             (out / "dbase.zip").string());
    return 0;
  } catch (const std::exception& e) {
    std::cerr << "dbgen: " << e.what() << "\n";
    return 1;
  }
}
