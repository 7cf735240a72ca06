// What files built to cost as much as possible take of the readers: each case runs in a child
// process of its own (so its peak memory is its own) under a memory limit and a time limit, and the
// program prints the peak growth of resident memory and the time, or why the case did not finish.
//
//   build/bench/files/hostile_files_bench [case ...]     every case, or the named ones
//   AMB_BENCH_LIMIT_MIB=3072 build/bench/files/...       one memory limit for every case
//
// Targets: every case within 64 MiB of memory and 5 s, except the parallel text readers (320 MiB)
// and the learned file of 200,000 options (256 MiB): real files cost far less, and no file however
// built may take the machine.

#include "airports/park_airport.hpp"
#include "airports/services.hpp"
#include "bglgen/bglgen.hpp"
#include "core/airport_data.hpp"
#include "core/files.hpp"
#include "core/geometry.hpp"
#include "core/startup.hpp"
#include "scan/bgl.hpp"
#include "scan/scan.hpp"
#include "state/scan_log.hpp"
#include "support/memory_limit.hpp"

#include <fmt/format.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using namespace amb;
namespace fs = std::filesystem;

constexpr std::uint64_t kMiB = 1024 * 1024;

struct Count : BglAirportHandler {
  std::size_t decoded = 0;
  void airportFound(const std::string&) override {}
  void airportDecoded(BglAirport&) override { ++decoded; }
};

bglgen::Airport airportWithSpots(const std::string& ident, int spots, float radius) {
  bglgen::Airport a;
  a.ident = ident;
  for (int k = 0; k < spots; ++k)
    a.parkings.push_back({static_cast<std::uint8_t>(12 + k % 26), static_cast<std::uint16_t>(k / 26 + 1), 8, radius, 0,
                          51.4 + (k % 100) * 1e-4, -0.4 + (k / 100) * 1e-4, {}});
  return a;
}

void writeRepeated(const fs::path& path, const std::string& text, std::uint64_t bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  std::string block;
  while (block.size() < kMiB) block += text;
  for (std::uint64_t written = 0; written < bytes; written += block.size())
    out.write(block.data(), static_cast<std::streamsize>(std::min<std::uint64_t>(block.size(), bytes - written)));
}

std::string apf(const std::string& parameters, const std::string& parkpos) {
  return "<?xml version=\"1.0\"?>\n<meta><info name=\"author\" value=\"a\" /><info name=\"version\" value=\"1\" />"
         "<info name=\"date\" value=\"d\" /></meta>\n<parameters>" +
         parameters + "</parameters>\n<parkpositions>" + parkpos + "</parkpositions>\n";
}

std::string param(const std::string& name, const std::string& value) {
  return "<parameter name=\"" + name + "\" value=\"" + value + "\" />";
}

void parallelFiles(const fs::path& dir, std::uint64_t bytes) {
  for (int k = 0; k < 8; ++k) writeRepeated(dir / fmt::format("aircraft{}.cfg", k), "\n", bytes);
}

bool readParallel(const fs::path& dir) {
  std::vector<std::thread> readers;
  for (int k = 0; k < 8; ++k)
    readers.emplace_back([&dir, k] {
      std::vector<std::string> lines;
      gf_readTextFileLines(dir / fmt::format("aircraft{}.cfg", k), lines);
    });
  for (std::thread& t : readers) t.join();
  return true;
}

// The load's result text: empty when stands were loaded.
std::string loadPark(const std::string& source) {
  {
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {"EGLL", "", 51.47, -0.46, 83};
  }
  g_stands.clear();
  std::string result = "unset";
  ParkApfInfo info;
  QualityFactor qf;
  gf_readApf(result, source, info, qf, g_stands);
  return result;
}

struct Case {
  const char* name;
  const char* what;
  std::uint64_t limit;
  std::function<void(const fs::path&)> prepare;  // writes its files into the folder
  std::function<bool(const fs::path&)> run;
};

std::vector<Case> cases() {
  return {
      {"bgl-refused-spots", "2.4 MB: 4,000 subsections naming one list of 65,535 refused spots", 64 * kMiB,
       [](const fs::path& dir) {
         bglgen::File f;
         f.sections[0].airports = {airportWithSpots("EGLL", 65535, 0.0f)};
         f.sections[0].subsectionHeaders = 4000;
         bglgen::write(dir / "refused.bgl", bglgen::build(f));
       },
       [](const fs::path& dir) {
         lf_toParkingPositions(dir / "refused.bgl");
         return !gf_takeScanLogLines().empty();
       }},
      {"bgl-one-airport", "392 KB: 20,000 subsections naming one airport of 2,000 stands", 64 * kMiB,
       [](const fs::path& dir) {
         bglgen::File f;
         f.sections[0].airports = {airportWithSpots("EGKK", 2000, 20.0f)};
         f.sections[0].subsectionHeaders = 20000;
         bglgen::write(dir / "one.bgl", bglgen::build(f));
       },
       [](const fs::path& dir) {
         lf_toParkingPositions(dir / "one.bgl");
         return fs::exists(g_myThirdpartyFolder / "EGKK.xml");
       }},
      {"bgl-sparse", "3 GB sparse file with a valid header and one airport", 64 * kMiB,
       [](const fs::path& dir) {
         bglgen::write(dir / "sparse.bgl", bglgen::build(airportWithSpots("LFPG", 10, 20.0f)));
         fs::resize_file(dir / "sparse.bgl", 3ull * 1024 * kMiB);
       },
       [](const fs::path& dir) {
         lf_toParkingPositions(dir / "sparse.bgl");
         return fs::exists(g_myThirdpartyFolder / "LFPG.xml");
       }},
      {"bgl-name-groups", "2.4 MB: one airport of 9,362 names each given to seven spots", 64 * kMiB,
       [](const fs::path& dir) {
         bglgen::Airport a;
         a.ident = "EDDF";
         for (int k = 0; k < 65534; ++k)
           a.parkings.push_back({10, static_cast<std::uint16_t>(k / 7 % 4096), 8, 10.0f + k % 7, 0,
                                 50.0 + (k / 7) * 1e-5, 8.5 + (k % 7) * 1e-5, {}});
         bglgen::write(dir / "names.bgl", bglgen::build(a));
       },
       [](const fs::path& dir) {
         std::ifstream in(dir / "names.bgl", std::ios::binary);
         const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
         Count c;
         gf_decodeBgl(bytes, "names.bgl", c);
         gf_takeScanLogLines();
         return c.decoded == 1;
       }},
      {"bgl-helipads", "2.2 MB: one airport of 60,000 helipads", 64 * kMiB,
       [](const fs::path& dir) {
         bglgen::Airport a;
         a.ident = "EHAM";
         for (int k = 0; k < 60000; ++k) a.helipads.push_back({52.0 + (k / 300) * 1e-4, 4.7 + (k % 300) * 1e-4, 20, 0});
         bglgen::write(dir / "helipads.bgl", bglgen::build(a));
       },
       [](const fs::path& dir) {
         std::ifstream in(dir / "helipads.bgl", std::ios::binary);
         const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
         Count c;
         gf_decodeBgl(bytes, "helipads.bgl", c);
         return c.decoded == 1;
       }},
      {"text-empty-lines", "96 MB aircraft.cfg of empty lines", 64 * kMiB,
       [](const fs::path& dir) { writeRepeated(dir / "aircraft.cfg", "\r\n", 96 * kMiB); },
       [](const fs::path& dir) {
         std::vector<std::string> lines;
         gf_readTextFileLines(dir / "aircraft.cfg", lines);
         return true;
       }},
      // Eight threads reserve address space for their stacks and allocation arenas (about 72 MiB
      // each) before they read anything: the limit is of address space, the figure of memory used.
      {"text-parallel", "eight 24 MB files of empty lines read at once", 1024 * kMiB,
       [](const fs::path& dir) { parallelFiles(dir, 24'000'000); },
       [](const fs::path& dir) { return readParallel(dir); }},
      {"text-parallel-16", "eight 16,000,000-byte files of empty lines (just within) at once", 1024 * kMiB,
       [](const fs::path& dir) { parallelFiles(dir, 16'000'000); },
       [](const fs::path& dir) { return readParallel(dir); }},
      {"apf-infinite-radius", "airport file of 20,000 stands of radius inf at one point", 64 * kMiB,
       [](const fs::path& dir) {
         std::string stands;
         for (int k = 0; k < 20000; ++k)
           stands += fmt::format("<parkpos id=\"S{}\" latitude=\"51.47\" longitude=\"-0.46\" radius=\"inf\" />", k);
         fs::create_directories(dir / g_myThirdpartyFolder);
         gf_writeFileAtomic(dir / g_myThirdpartyFolder / "EGLL.xml",
                            apf(param("publisher", "P") + param("altitude", "83"), stands));
       },
       [](const fs::path&) {
         const std::string result = loadPark(gf_pathText(g_myThirdpartyFolder / "EGLL.xml"));
         return result.empty() || result == "no stands found";
       }},
      {"apf-one-line", "airport file of 30,000 stands 25 m apart on one parallel", 64 * kMiB,
       [](const fs::path& dir) {
         std::string stands;
         LatLon at{51.47, -0.7};
         for (int k = 0; k < 30000; ++k) {
           stands += fmt::format("<parkpos id=\"S{}\" latitude=\"{:.8f}\" longitude=\"{:.8f}\" radius=\"15\" />", k,
                                 at.lat, at.lon);
           at = gf_destinationPoint(at, kPi / 2, 25.0 / 1852.0 * kFeetPerNm);
         }
         fs::create_directories(dir / g_myThirdpartyFolder);
         gf_writeFileAtomic(dir / g_myThirdpartyFolder / "EGLL.xml",
                            apf(param("publisher", "P") + param("altitude", "83"), stands));
       },
       [](const fs::path&) { return loadPark(gf_pathText(g_myThirdpartyFolder / "EGLL.xml")).empty(); }},
      {"apf-learned-options", "learned file of 200,000 options on one stand", 256 * kMiB,
       [](const fs::path& dir) {
         fs::create_directories(dir / g_myThirdpartyFolder);
         gf_writeFileAtomic(dir / g_myThirdpartyFolder / "EGLL.xml",
                            apf(param("publisher", "P") + param("altitude", "83"),
                                "<parkpos id=\"A1\" latitude=\"51.47\" longitude=\"-0.46\" radius=\"20\" />"));
         std::string opts = "<parkpos id=\"A1\">";
         for (int k = 0; k < 200000; ++k)
           opts += fmt::format("<opt reg=\"N{}\" airl=\"DAL\" type=\"B738\" day=\"3\" hh=\"5\" />", k);
         const fs::path learned = dir / g_learnedFolder / "thirdparty" / "P" / "EGLL.xml";
         fs::create_directories(learned.parent_path());
         gf_writeFileAtomic(learned, apf(param("airport_name", ""), opts + "</parkpos>"));
       },
       [](const fs::path&) {
         return loadPark(gf_pathText(g_myThirdpartyFolder / "EGLL.xml")).empty() &&
                g_stands[0].options.size() == 200000;
       }},
  };
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path dir = fs::temp_directory_path() / ("amb-hostile-bench-" + std::to_string(::getpid()));
  fs::create_directories(dir / g_myThirdpartyFolder);
  fs::current_path(dir);
  std::printf("%-20s %-72s %s\n", "case", "file", "peak memory growth and time");
  for (const Case& c : cases()) {
    bool wanted = argc < 2;
    for (int a = 1; a < argc; ++a) wanted = wanted || c.name == std::string(argv[a]);
    if (!wanted) continue;
    const fs::path work = dir / c.name;
    fs::create_directories(work / g_myThirdpartyFolder);
    fs::current_path(work);
    c.prepare(work);
    const char* given = std::getenv("AMB_BENCH_LIMIT_MIB");
    const std::uint64_t limit = given != nullptr ? std::stoull(given) * kMiB : c.limit;
    const test::LimitedRun run =
        test::runWithMemoryLimit(limit, [&] { return c.run(work); }, std::chrono::seconds(120));
    std::printf("%-20s %-72s %s (limit %llu MiB)\n", c.name, c.what,
                run.available ? run.summary().c_str() : "not measured here",
                static_cast<unsigned long long>(limit / kMiB));
    std::fflush(stdout);
    fs::current_path(dir);
    fs::remove_all(work);
  }
  fs::current_path(fs::temp_directory_path());
  fs::remove_all(dir);
  return 0;
}
