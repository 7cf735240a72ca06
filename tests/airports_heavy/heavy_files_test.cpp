// Learned and airport files as large as the program must still take, and far larger or more costly
// ones as a damaged disk, another tool or a hostile hand leaves them: each is read and saved in a
// child process whose memory is bounded, and what is left on the disk is checked afterwards.

#include "airports/apf_file.hpp"
#include "airports/park_airport.hpp"
#include "airports/airports_fixture.hpp"
#include "core/message_line.hpp"
#include "core/startup.hpp"
#include "settings/options.hpp"
#include "support/memory_limit.hpp"

#include <pugixml.hpp>

#include <cstdio>

#ifndef _WIN32
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace amb {
namespace {

namespace fs = std::filesystem;
using test::kMetaBlock;

constexpr std::uint64_t kMiB = 1024 * 1024;

class HeavyAirportFiles : public test::AirportsTest {
protected:
  void SetUp() override {
    test::AirportsTest::SetUp();
    gf_resetParkState();
    parking_percentage.value = parking_percentage.defaultValue;
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {"EGLL", "", 51.47, -0.46, 0};
  }
  void TearDown() override {
    gf_resetParkState();
    test::AirportsTest::TearDown();
  }
  // The third-party airport file of EGLL and its learned file (publisher P).
  fs::path airportFile() const { return path("airports/my_thirdparty/EGLL.xml"); }
  fs::path learnedFile() const { return path("airports/learned/thirdparty/P/EGLL.xml"); }
  std::string source() const { return gf_pathText(g_myThirdpartyFolder / "EGLL.xml"); }
  static void write(const fs::path& file, const std::string& parameters, const std::string& parkpos) {
    fs::create_directories(file.parent_path());
    test::writeFile(file, std::string("<?xml version=\"1.0\"?>\n") + kMetaBlock + "<parameters>" + parameters +
                              "</parameters>\n<parkpositions>\n" + parkpos + "</parkpositions>\n");
  }
  static std::string param(const std::string& name, const std::string& value) {
    return "<parameter name=\"" + name + "\" value=\"" + value + "\" />";
  }
  void writeAirport(const std::string& parkpos) const {
    write(airportFile(), param("airport_name", "Heathrow") + param("publisher", "P") + param("altitude", "83"), parkpos);
  }
  // Loads the park airport as the park-airport check does; true when it loaded.
  bool load() const {
    g_stands.clear();
    g_parkApfInfo = {};
    g_parkApfSource = source();
    std::string result = "unset";
    gf_readApf(result, source(), g_parkApfInfo, g_parkQf, g_stands);
    return result.empty();
  }
  // Leaves the park airport after a change, so that its learned file is saved.
  static void leave() {
    g_standUpdates = 1;
    lf_endParkAirport();
    std::lock_guard lock(g_parkAirportMutex);
    g_parkAirport = {"EGLL", "", 51.47, -0.46, 0};
  }
  static std::size_t optionCount() {
    std::size_t n = 0;
    for (const Stand& s : g_stands) n += s.options.size();
    return n;
  }
  // Stands on a grid 100 m apart, as many as asked, with radii of 15 m.
  static std::string gridStands(int count) {
    std::string text;
    for (int k = 0; k < count; ++k)
      text += fmt::format("<parkpos id=\"G{}\" latitude=\"{:.6f}\" longitude=\"{:.6f}\" radius=\"15\" />\n", k,
                          51.47 + (k / 25) * 0.0009, -0.46 + (k % 25) * 0.00145);
    return text;
  }
  // A learned file of 200,000 options as the program writes them after months at a busy airport:
  // 400 options on each of 500 stands, every one a use of its own (no two merge).
  static std::string busyLearnedFile() {
    std::string text;
    text.reserve(44 * kMiB);
    text += std::string("<?xml version=\"1.0\"?>\n") + kMetaBlock + "<parameters>" + param("airport_name", "Heathrow") +
            param("parking_percentage", "40") + "</parameters>\n<parkpositions>\n";
    for (int stand = 0; stand < 500; ++stand) {
      text += fmt::format("\t<parkpos id=\"G{}\">\n", stand);
      for (int k = 0; k < 400; ++k) {
        const int n = stand * 400 + k;
        const int from = n % 4;
        std::string hours;
        for (int h = from; h < from + 43; ++h) hours += (hours.empty() ? "" : ",") + std::to_string(h);
        text += fmt::format(
            "\t\t<opt reg=\"N{:06}\" airl=\"DAL\" type=\"B738\"{} day=\"{}\" hh=\"{}\" cs=\"DAL{:04}:DAL{:04}\" />\n", n,
            n % 3 == 0 ? " soft=\"true\"" : "", 1 + n % 7, hours, n % 10000, (n + 1) % 10000);
      }
      text += "\t</parkpos>\n";
    }
    return text + "</parkpositions>\n";
  }
};

TEST_F(HeavyAirportFiles, TwentyThousandStandsOnOneSpotLoadAndSaveWithinABound) {
  std::string stands;
  std::string learned;
  for (int k = 0; k < 20000; ++k) {
    stands += fmt::format("<parkpos id=\"S{}\" latitude=\"51.470000\" longitude=\"-0.460000\" radius=\"15\" />\n", k);
    learned += fmt::format("<parkpos id=\"S{}\"><opt reg=\"\" airl=\"BAW\" type=\"A320\" day=\"2\" hh=\"20\" cs=\"BAW{}\" /></parkpos>\n",
                           k, k);
  }
  writeAirport(stands);
  write(learnedFile(), param("airport_name", "Heathrow"), learned);
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(
      300 * kMiB,
      [&] {
        if (!load() || g_stands.size() != 20000 || optionCount() != 20000) return false;
        for (const Stand& s : g_stands)
          if (s.overlapIds.size() > 64) return false;
        leave();
        return gf_messageLineSnapshot().message.find("saved with 1 update") != std::string::npos;
      },
      std::chrono::seconds(60)));
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_file(learnedFile().c_str()));
  const auto saved = doc.child("parkpositions").children("parkpos");
  EXPECT_EQ(std::distance(saved.begin(), saved.end()), 20000);
}

TEST_F(HeavyAirportFiles, ATwoGigabyteLearnedFileOfNulBytesIsRefusedAndKeptWithoutACopy) {
  writeAirport(gridStands(20));
  fs::create_directories(learnedFile().parent_path());
  test::writeFile(learnedFile(), "");
  // Sparse: the file system holds no blocks of it, so it costs no disk.
  constexpr std::uintmax_t kSize = 2048 * kMiB;
  fs::resize_file(learnedFile(), kSize);
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(
      100 * kMiB,
      [&] {
        // Whatever goes wrong must not fill the disk either.
        test::limitFileSize(200 * kMiB);
        if (!load() || g_stands.size() != 20) return false;
        leave();
        return true;
      },
      std::chrono::seconds(60)));
  EXPECT_EQ(fs::file_size(learnedFile()), kSize);
  EXPECT_FALSE(fs::exists(path("airports/learned/thirdparty/P/EGLL0.xml")));
  const std::string file = gf_pathText(g_learnedThirdpartyFolder / "P" / "EGLL.xml");
  EXPECT_TRUE(logHas("Learned airport file \"" + file +
                     "\" not read whole (larger than 67108864 bytes): it is kept as it is, and what is learned at this "
                     "visit is not saved"));
  EXPECT_TRUE(logHas(" \"" + file + "\" not saved: it was not read whole (larger than 67108864 bytes), it is kept as it is"));
  // The same for a damaged airport file: refused unread, with the load's failure text.
  fs::resize_file(airportFile(), kSize);
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(
      100 * kMiB,
      [&] {
        g_stands.clear();
        g_parkApfInfo = {};
        std::string result;
        gf_readApf(result, source(), g_parkApfInfo, g_parkQf, g_stands);
        return result == source() + " could not be loaded: larger than 67108864 bytes" && g_stands.empty();
      },
      std::chrono::seconds(60)));
}

TEST_F(HeavyAirportFiles, TwoHundredThousandLearnedOptionsLoadAndSaveWhole) {
  writeAirport(gridStands(500));
  const std::string busy = busyLearnedFile();
  test::writeFile(learnedFile(), busy);
  std::printf("    learned file: %.1f MB\n", static_cast<double>(busy.size()) / 1e6);
  EXPECT_GT(busy.size(), 41'000'000u);
  AMB_EXPECT_WITHIN_MEMORY(test::runWithMemoryLimit(
      768 * kMiB,
      [&] {
        if (!load() || optionCount() != 200000) return false;
        leave();
        if (gf_messageLineSnapshot().message.find("saved with 1 update") == std::string::npos) return false;
        // What was saved comes back whole.
        if (!load() || optionCount() != 200000 || !g_keptLearnedFile.reason.empty()) return false;
        const Stand& last = g_stands.back();
        const ParkPosOption& o = last.options.back();
        return last.name == "G499" && o.reg == "N199999" && o.cs1 == "DAL9999" && o.cs2 == "DAL0000" && o.kind == 1 &&
               o.day == 1 + 199999 % 7 && o.halfHours == (((std::uint64_t{1} << 43) - 1) << (199999 % 4)) &&
               parking_percentage.value == 40;
      },
      std::chrono::seconds(120)));
}

#ifndef _WIN32
TEST_F(HeavyAirportFiles, AKillDuringASaveLeavesTheOldFileWhole) {
  writeAirport(gridStands(500));
  const std::string busy = busyLearnedFile();
  test::writeFile(learnedFile(), busy);
  const fs::path temp = gf_atomicTempPath(learnedFile());
  std::fflush(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    // The child loads and saves; it never returns into the test.
    const bool saved = load();
    if (saved) leave();
    ::_exit(saved ? 0 : 1);
  }
  ASSERT_GT(pid, 0);
  // Killed as soon as the new file has begun to be written beside the old one.
  bool writing = false;
  int status = 0;
  bool ended = false;
  const bool seen = test::waitFor(
      [&] {
        std::error_code ec;
        writing = fs::file_size(temp, ec) > 0 && !ec;
        ended = ::waitpid(pid, &status, WNOHANG) == pid;
        return writing || ended;
      },
      std::chrono::seconds(120));
  if (!ended) {
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
  }
  ASSERT_TRUE(seen) << "the save did not begin within the bound";
  ASSERT_TRUE(writing) << "the child ended before its save was seen, status " << status;
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(test::readFile(learnedFile()) == busy) << "the old file is not whole";
  // The next save is not hindered by what the killed one left.
  ASSERT_TRUE(load());
  EXPECT_EQ(optionCount(), 200000u);
  leave();
  EXPECT_FALSE(fs::exists(temp));
  EXPECT_NE(gf_messageLineSnapshot().message.find("saved with 1 update"), std::string::npos);
}
#endif

}  // namespace
}  // namespace amb
