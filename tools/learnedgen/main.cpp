// amb_learnedgen: a learned airport file made by the program's own stand learning from recorded
// traffic, in virtual time. The recording replays once for every weekday, at its own time of day:
// on each day the user aircraft stands at the airport while the traffic flies, then flies away, and
// the program writes what it learned into its learned file, which the next day reads again. The
// last file is copied to the output path.
//
//   amb_learnedgen --recording REC.rttfc.gz --faa FAA.csv.gz --airports airports_p3d.xml
//                  --server SERVER_FOLDER --work SCRATCH_FOLDER --out LEARNED.xml [--code KJFK]
//                  [--user LAT,LON]

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
               "usage: amb_learnedgen --recording FILE --faa FILE --airports FILE --server FOLDER --work FOLDER "
               "--out FILE [--code ICAO] [--user LAT,LON]\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  std::map<std::string, std::string> args;
  for (int i = 1; i + 1 < argc; i += 2) args[argv[i]] = argv[i + 1];
  for (const char* key : {"--recording", "--faa", "--airports", "--server", "--work", "--out"})
    if (args[key].empty()) return usage();
  const std::string code = args.count("--code") != 0 ? args["--code"] : "KJFK";
  LatLon user{40.6413, -73.7781};
  if (args.count("--user") != 0 && std::sscanf(args["--user"].c_str(), "%lf,%lf", &user.lat, &user.lon) != 2)
    return usage();
  try {
    const fs::path recording = fs::absolute(args["--recording"]);
    const fs::path faa = fs::absolute(args["--faa"]);
    const fs::path out = fs::absolute(args["--out"]);
    const fs::path work = fs::absolute(args["--work"]);
    setEnv("AMBT_SERVER_URL", gf_fileUrl(fs::absolute(args["--server"]), true));
    fs::remove_all(work);
    fs::create_directories(work / "input");
    fs::copy_file(args["--airports"], work / "input" / "airports_p3d.xml");
    fs::current_path(work);
    gf_startLog();
    enginesim::loadDataBase(faa, recording);
    const std::vector<enginesim::RecordedLine> lines = enginesim::readRecording(recording);
    if (lines.empty()) throw std::runtime_error(recording.string() + " holds no traffic");
    // Each day begins a little before the recording's first line.
    const long long first = static_cast<long long>(lines.front().timestamp) - 20;
    const auto at = [](long long s) { return clock::SystemTime(std::chrono::seconds(s)); };
    enginesim::ParkingDays days(at(first));
    const fs::path learned = fs::path("airports") / "learned" / "stock" / (code + ".xml");
    for (int day = 0; day < 7; ++day) {
      days.arrive(at(first + day * 86400LL), user);
      days.replay(lines);
      days.run(std::chrono::milliseconds((days.engine().lastLineCycle() - days.engine().cycle()) * 10 + 60000));
      if (!days.leave()) throw std::runtime_error("the program did not leave " + code);
    }
    gf_closeLog("end");
    if (!fs::exists(learned)) throw std::runtime_error("no learned file was written (see " + (work / "Log.txt").string() + ")");
    fs::create_directories(out.parent_path());
    fs::copy_file(learned, out, fs::copy_options::overwrite_existing);
    std::printf("%s: learned from %zu traffic lines on seven weekdays\n", out.string().c_str(), lines.size());
    return 0;
  } catch (const std::exception& e) {
    std::fprintf(stderr, "amb_learnedgen: %s\n", e.what());
    return 1;
  }
}
