// Scenery files built to cost as much as possible: tables that name the same bytes again and again,
// one airport many times, far more refused spots than any real airport has, and a file far larger
// than what its tables point at. Each is read under a memory limit and reports its figures.

#include "core/files.hpp"
#include "core/startup.hpp"
#include "scan/scan.hpp"
#include "scan_support.hpp"
#include "support/memory_limit.hpp"
#include "support/test_support.hpp"

#include <algorithm>
#include <filesystem>

namespace amb::test {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::string>;

constexpr std::uint64_t kMiB = 1024 * 1024;

// Counts without keeping: a decode that hands on the same airport a million times must not be
// measured by the test's own copies.
struct Count : BglAirportHandler {
  std::size_t found = 0;
  std::size_t decoded = 0;
  std::size_t stands = 0;
  void airportFound(const std::string&) override { ++found; }
  void airportDecoded(BglAirport& airport) override {
    ++decoded;
    stands += airport.stands.size();
  }
};

bglgen::Airport airportWithSpots(const std::string& ident, int spots, float radius) {
  bglgen::Airport a;
  a.ident = ident;
  for (int k = 0; k < spots; ++k)
    a.parkings.push_back(spot(static_cast<std::uint8_t>(12 + k % 26), static_cast<std::uint16_t>(k / 26 + 1), radius,
                              51.4 + (k % 100) * 1e-4, -0.4 + (k / 100) * 1e-4));
  return a;
}

std::size_t countStartingWith(const Lines& lines, const std::string& start) {
  return static_cast<std::size_t>(
      std::count_if(lines.begin(), lines.end(), [&](const std::string& l) { return l.starts_with(start); }));
}

TEST(BglBounds, ThousandsOfSubsectionsNamingOneListOfRefusedSpotsReadItOnce) {
  // 2.4 MB: 4,000 subsection headers, every one naming one airport whose 65,535 spots are all
  // refused for their radius.
  bglgen::File f;
  f.sections[0].airports = {airportWithSpots("EGLL", 65535, 0.0f)};
  f.sections[0].subsectionHeaders = 4000;
  const std::vector<std::uint8_t> bytes = bglgen::build(f);
  AMB_EXPECT_WITHIN_MEMORY(runWithMemoryLimit(256 * kMiB, [&] {
    gf_takeScanLogLines();
    Count c;
    gf_decodeBgl(bytes, "x.bgl", c);
    const Lines lines = gf_takeScanLogLines();
    // One walk: 2,000 of the refused spots' lines, a count of the other 63,535, and one line for
    // the 3,999 repeated subsections.
    return c.found == 1 && c.decoded == 1 && c.stands == 0 && lines.size() == 2002 &&
           countStartingWith(lines, "skipped position with radius 0.0 meters, in x.bgl") == 2000 &&
           countStartingWith(lines, "===> 63535 more lines of x.bgl left out") == 1 &&
           countStartingWith(lines, "===> x.bgl names bytes it holds more than once: 3999 repeated parts and 0 "
                                    "repeated airports skipped") == 1;
  }));
}

TEST(BglBounds, TwentyThousandSubsectionsNamingOneAirportHandItOnOnce) {
  // 392 KB: 20,000 headers naming one airport of 2,000 stands.
  bglgen::File f;
  f.sections[0].airports = {airportWithSpots("EGKK", 2000, 20.0f)};
  f.sections[0].subsectionHeaders = 20000;
  const std::vector<std::uint8_t> bytes = bglgen::build(f);
  AMB_EXPECT_WITHIN_MEMORY(runWithMemoryLimit(
      256 * kMiB,
      [&] {
        Count c;
        gf_decodeBgl(bytes, "x.bgl", c);
        return c.found == 1 && c.decoded == 1 && c.stands == 2000;
      },
      std::chrono::seconds(60)));
}

TEST(BglBounds, AnAirportMetAgainInTheFileIsHandedOnOnce) {
  bglgen::File f;
  f.sections.resize(3);
  f.sections[0].airports = {airportWithSpots("EGLL", 3, 20.0f), airportWithSpots("EGLL", 5, 20.0f)};
  f.sections[1].airports = {airportWithSpots("EGKK", 1, 20.0f)};
  f.sections[2].airports = {airportWithSpots("EGLL", 2, 20.0f)};
  const Collected c = decode(bglgen::build(f));
  EXPECT_TRUE(c.whole);
  EXPECT_EQ(c.found, (Lines{"EGLL", "EGKK"}));
  ASSERT_EQ(c.airports.size(), 2u);
  EXPECT_EQ(c.airports[0].stands.size(), 3u);  // the first one counts
  EXPECT_EQ(gf_scanLogLines(),
            Lines{"===> x.bgl names bytes it holds more than once: 0 repeated parts and 2 repeated airports skipped"});
}

TEST(BglBounds, SectionsAndSubsectionsThatOverlapOnesReadBeforeAreSkipped) {
  bglgen::File f;
  f.sections.resize(3);
  f.sections[0].airports = {airportWithSpots("EGLL", 2, 20.0f)};
  f.sections[1].airports = {airportWithSpots("EGKK", 2, 20.0f)};
  f.sections[2].airports = {airportWithSpots("EDDF", 2, 20.0f)};
  std::vector<std::uint8_t> bytes = bglgen::build(f);
  const auto word = [&](std::size_t at) {
    return static_cast<std::uint32_t>(bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | bytes[at + 3] << 24);
  };
  const auto setWord = [&](std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) bytes[at + static_cast<std::size_t>(k)] = static_cast<std::uint8_t>(v >> (8 * k));
  };
  // The second section's entry names the first one's subsection table; the third section's
  // subsection names the first airport's records from four bytes in, which would read its inside
  // as records.
  setWord(56 + 20 + 12, word(56 + 12));
  const std::size_t thirdHeader = word(56 + 40 + 12);
  setWord(thirdHeader + 8, word(word(56 + 12) + 8) + 4);
  const Collected c = decode(bytes);
  EXPECT_TRUE(c.whole);
  EXPECT_EQ(c.found, Lines{"EGLL"});
  EXPECT_EQ(gf_scanLogLines(),
            Lines{"===> x.bgl names bytes it holds more than once: 2 repeated parts and 0 repeated airports skipped"});
}

TEST(BglBounds, ASparseFileIsReadOnlyWhereItsTablesPoint) {
  AMB_SKIP_ON_WINDOWS("a sparse file of 3 GB needs a file system that keeps holes");
  TempDir dir("bglbounds");
  const fs::path sparse = dir / "sparse.bgl";
  bglgen::write(sparse, bglgen::build(airportWithSpots("LFPG", 10, 20.0f)));
  fs::resize_file(sparse, 3ull * 1024 * kMiB);
  // The same with its subsection stating the whole file as records: the walk meets the zeros
  // after the airport and ends there.
  bglgen::File f;
  f.sections[0].airports = {airportWithSpots("LFPO", 10, 20.0f)};
  f.sections[0].statedRecordsSize = 3u * 1024 * 1024 * 1024 - 200;
  const fs::path stated = dir / "stated.bgl";
  bglgen::write(stated, bglgen::build(f));
  fs::resize_file(stated, 3ull * 1024 * kMiB);

  // Each file as a scan job reads it: its airports become generated airport files.
  const fs::path work = dir / "work";
  fs::create_directories(work / g_myThirdpartyFolder);
  const ScopedCwd cwd(work);
  AMB_EXPECT_WITHIN_MEMORY(runWithMemoryLimit(64 * kMiB, [&] {
    gf_takeScanLogLines();
    lf_toParkingPositions(sparse);
    lf_toParkingPositions(stated);
    const Lines lines = gf_takeScanLogLines();
    return fs::exists(g_myThirdpartyFolder / "LFPG.xml") && fs::exists(g_myThirdpartyFolder / "LFPO.xml") &&
           countStartingWith(lines, "===> " + gf_pathText(stated) + " is damaged, read no further: record at byte ") == 1;
  }));
}

}  // namespace
}  // namespace amb::test
