// amb_learnedgen: the learned airport file of an airport as a user's file holds it after weeks there,
// made by the program's own stand learning in virtual time. The program starts in a scratch folder
// with the user aircraft standing at the airport, loads the airport's file, is taught a week of
// aircraft turning round at every stand (learnedgen.hpp: made-up flights of the recording's airlines
// and types, none of which flies in the recording), and writes its learned file when the user flies
// away; that file is copied to the output path.
//
//   amb_learnedgen --recording REC.rttfc.gz --faa FAA.csv.gz --airports airports_p3d.xml
//                  --groundnet GROUNDNET.xml --server SERVER_FOLDER --work SCRATCH_FOLDER
//                  --out LEARNED.xml [--code KJFK] [--user LAT,LON] [--utc-offset -5] [--seed N]

#include "learnedgen/learnedgen.hpp"

#include "airports/services.hpp"
#include "core/log.hpp"
#include "enginesim/parking_days.hpp"
#include "refdata/download.hpp"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>

namespace fs = std::filesystem;
using namespace amb;

namespace {

void setEnv(const char* name, const std::string& value) {
#ifdef _WIN32
  _putenv_s(name, value.c_str());
#else
  setenv(name, value.c_str(), 1);
#endif
}

int usage() {
  std::fprintf(stderr,
               "usage: amb_learnedgen --recording FILE --faa FILE --airports FILE --groundnet FILE --server FOLDER "
               "--work FOLDER --out FILE [--code ICAO] [--user LAT,LON] [--utc-offset HOURS] [--seed N]\n");
  return 2;
}

// Monday 4 March 2019, 00:00 UTC: the week of the recording.
constexpr long long kWeekStart = 1551657600;

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i + 1 < argc; i += 2) args[argv[i]] = argv[i + 1];
  for (const char* key : {"--recording", "--faa", "--airports", "--groundnet", "--server", "--work", "--out"})
    if (args[key].empty()) return usage();
  const std::string code = args.count("--code") != 0 ? args["--code"] : "KJFK";
  LatLon user{40.6413, -73.7781};
  if (args.count("--user") != 0 && std::sscanf(args["--user"].c_str(), "%lf,%lf", &user.lat, &user.lon) != 2)
    return usage();
  int utcOffset = -5;
  if (args.count("--utc-offset") != 0 && std::sscanf(args["--utc-offset"].c_str(), "%d", &utcOffset) != 1)
    return usage();
  unsigned seed = 20190305;
  if (args.count("--seed") != 0 && std::sscanf(args["--seed"].c_str(), "%u", &seed) != 1) return usage();
  const fs::path work = fs::absolute(args["--work"]);
  try {
    const fs::path recording = fs::absolute(args["--recording"]);
    const fs::path faa = fs::absolute(args["--faa"]);
    const fs::path groundnet = fs::absolute(args["--groundnet"]);
    const fs::path out = fs::absolute(args["--out"]);
    setEnv("AMBT_SERVER_URL", gf_fileUrl(fs::absolute(args["--server"]), true));
    fs::remove_all(work);
    fs::create_directories(work / "input");
    fs::copy_file(args["--airports"], work / "input" / "airports_p3d.xml");
    fs::current_path(work);
    gf_startLog();
    enginesim::loadDataBase(faa, recording);
    const std::vector<enginesim::RecordedLine> lines = enginesim::readRecording(recording);
    if (lines.empty()) throw std::runtime_error(recording.string() + " holds no traffic");

    const clock::SystemTime start{std::chrono::seconds(kWeekStart)};
    enginesim::ParkingDays days(start);
    const std::vector<learnedgen::Turn> week =
        learnedgen::learnWeek(days, start, user, code, groundnet, lines,
                              ailibgen::fromRecording(recording, ailibgen::kCargoAirlines), seed, utcOffset);
    gf_closeLog("end");

    const fs::path learned = fs::path("airports") / "learned" / "stock" / (code + ".xml");
    if (!fs::exists(learned)) throw std::runtime_error("no learned file was written");
    fs::create_directories(out.parent_path());
    fs::copy_file(learned, out, fs::copy_options::overwrite_existing);
    std::printf("%s: a week of %zu aircraft turning round at the stands\n", out.string().c_str(), week.size());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "amb_learnedgen: %s (the program's log: %s)\n", e.what(), (work / "Log.txt").string().c_str());
    return 1;
  }
}
