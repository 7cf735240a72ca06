// The file around the airports: header, section table and subsections, broken and lying files,
// and the cheap file tests the scan uses to pick its files.

#include "scan_support.hpp"
#include "support/test_support.hpp"

#include <thread>

namespace amb::test {
namespace {

using bglgen::Airport;
using Idents = std::vector<std::string>;

Airport airport(const std::string& ident, int spots = 1) {
  Airport a;
  a.ident = ident;
  for (int k = 1; k <= spots; ++k) a.parkings.push_back(spot(10, static_cast<std::uint16_t>(k), 20));
  return a;
}

Idents decodedIdents(const std::vector<std::uint8_t>& bytes) {
  Idents out;
  for (const BglAirport& a : decode(bytes).airports) out.push_back(a.ident);
  return out;
}

TEST(BglFile, EveryAirportOfEveryAirportSectionOnceAndNothingElse) {
  bglgen::File f;
  f.sections.resize(4);
  f.sections[0].airports = {airport("EGLL"), airport("EGKK")};
  f.sections[0].fillerRecord = true;
  f.sections[1].type = 0x27;  // not an airport section: its records are not read
  f.sections[1].airports = {airport("LFPG")};
  f.sections[2].twentyByteSubsections = true;  // a subsection layout the reader leaves alone
  f.sections[2].airports = {airport("EDDM")};
  f.sections[3].airports = {airport("EDDF")};  // follows the first section's records
  EXPECT_EQ(decodedIdents(bglgen::build(f)), (Idents{"EGLL", "EGKK", "EDDF"}));
}

TEST(BglFile, HeadersThatAreNotScenery) {
  bglgen::File wrongHeader;
  wrongHeader.headerSize = 60;
  wrongHeader.sections[0].airports = {airport("EGLL")};
  EXPECT_TRUE(decodedIdents(bglgen::build(wrongHeader)).empty());

  std::vector<std::uint8_t> shortFile = bglgen::build(airport("EGLL"));
  shortFile.resize(59);
  EXPECT_TRUE(decodedIdents(shortFile).empty());
  shortFile.resize(7);
  EXPECT_FALSE(decode(shortFile).whole);
}

TEST(BglFile, TruncatedAndLyingFilesEndTheirWalkWithOneLine) {
  const auto endsDamaged = [](const std::vector<std::uint8_t>& bytes) {
    const Collected c = decode(bytes, "x.bgl");
    EXPECT_FALSE(c.whole);
    EXPECT_TRUE(c.airports.empty());
    const std::vector<std::string> lines = gf_scanLogLines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(lines[0].starts_with("===> x.bgl is damaged, read no further: ")) << lines[0];
  };
  {
    SCOPED_TRACE("truncated inside the records");
    std::vector<std::uint8_t> bytes = bglgen::build(airport("EGLL", 3));
    bytes.resize(bytes.size() - 20);
    endsDamaged(bytes);
  }
  {
    SCOPED_TRACE("a parking count above the spots written");
    Airport a = airport("EGLL", 3);
    a.statedParkingCount = 4;
    endsDamaged(bglgen::build(a));
  }
  {
    SCOPED_TRACE("a record size past its subsection");
    Airport a = airport("EGLL", 3);
    a.extraStatedSize = 8;
    endsDamaged(bglgen::build(a));
  }
  {
    SCOPED_TRACE("more sections than the table holds");
    bglgen::File f;
    f.sections[0].airports = {airport("EGLL")};
    f.statedSectionCount = 100000;
    endsDamaged(bglgen::build(f));
  }
  {
    SCOPED_TRACE("airline codes past the parking list");
    Airport a = airport("EGLL", 1);
    a.parkings[0].airlines = {"BAW"};
    std::vector<std::uint8_t> bytes = bglgen::build(a);
    bytes[bytes.size() - 40 + 3] = 9;  // the spot's flags word now claims nine airline codes
    endsDamaged(bytes);
  }
}

TEST(BglFile, EveryPrefixOfASyntheticFileHandsOnNothing) {
  Airport a = airport("EGLL", 4);
  a.names = {"Heathrow"};
  a.helipads = {bglgen::Helipad{51.47, -0.45, 20, 10}};
  a.layoutB = true;
  const std::vector<std::uint8_t> whole = bglgen::build(a);
  EXPECT_EQ(decodedIdents(whole), Idents{"EGLL"});
  for (std::size_t n = 0; n < whole.size(); ++n) {
    const Collected c = decode({whole.begin(), whole.begin() + static_cast<std::ptrdiff_t>(n)});
    EXPECT_TRUE(c.airports.empty()) << n;
  }
}

TEST(BglFile, SectionTableTestReadsOnlyTheHeaderAndTable) {
  TempDir dir("bglfile");
  bglgen::File none;
  none.sections[0].type = 0x2B;
  bglgen::write(dir / "none.bgl", bglgen::build(none));
  bglgen::write(dir / "apt.bgl", bglgen::build(airport("EGLL")));
  bglgen::File lying;
  lying.sections[0].airports = {airport("EGLL")};
  lying.statedSectionCount = 1000;
  bglgen::write(dir / "lying.bgl", bglgen::build(lying));
  bglgen::File empty;
  empty.sections.clear();
  bglgen::write(dir / "empty.bgl", bglgen::build(empty));
  std::vector<std::uint8_t> shortFile = bglgen::build(airport("EGLL"));
  shortFile.resize(40);
  bglgen::write(dir / "short.bgl", shortFile);

  EXPECT_TRUE(lf_bglHasAirports(dir / "apt.bgl"));
  EXPECT_FALSE(lf_bglHasAirports(dir / "none.bgl"));
  EXPECT_FALSE(lf_bglHasAirports(dir / "lying.bgl"));
  EXPECT_FALSE(lf_bglHasAirports(dir / "empty.bgl"));
  EXPECT_FALSE(lf_bglHasAirports(dir / "short.bgl"));
  EXPECT_FALSE(lf_bglHasAirports(dir / "missing.bgl"));
  EXPECT_FALSE(lf_bglHasAirports(dir.path()));
}

TEST(BglFile, AFileThatCannotBeOpenedDecodesNothing) {
  TempDir dir("bglfile");
  Collected c;
  gf_takeScanLogLines();
  EXPECT_TRUE(gf_decodeBglFile(dir / "missing.bgl", "missing.bgl", c));
  EXPECT_TRUE(gf_decodeBglFile(dir.path(), "folder", c));
  EXPECT_TRUE(c.found.empty());
  EXPECT_TRUE(gf_scanLogLines().empty());
  // A file that is there decodes as the same bytes in memory do, and says whether it was whole.
  std::vector<std::uint8_t> bytes = bglgen::build(airport("EGLL", 2));
  bglgen::write(dir / "egll.bgl", bytes);
  EXPECT_TRUE(gf_decodeBglFile(dir / "egll.bgl", "egll.bgl", c));
  EXPECT_EQ(c.found, Idents{"EGLL"});
  bytes.resize(bytes.size() - 10);
  bglgen::write(dir / "cut.bgl", bytes);
  EXPECT_FALSE(gf_decodeBglFile(dir / "cut.bgl", "cut.bgl", c));
  EXPECT_FALSE(gf_decodeBgl(bytes, "cut.bgl", c));
}

TEST(ScanPaths, ExtensionsStockFoldersAndStockTokens) {
  EXPECT_TRUE(lf_isBglExtension(".BGL"));
  EXPECT_TRUE(lf_isBglExtension(".bgl"));
  EXPECT_FALSE(lf_isBglExtension(".Bgl"));
  EXPECT_FALSE(lf_isBglExtension("bgl"));

  const std::filesystem::path stock = std::filesystem::path("/sim") / "Scenery";
  EXPECT_TRUE(lf_isInSimSceneryFolder(stock, stock));
  EXPECT_TRUE(lf_isInSimSceneryFolder(stock / "World" / "scenery" / "a.bgl", stock));
  EXPECT_TRUE(lf_isInSimSceneryFolder(std::filesystem::path("/sim/./Scenery/x.bgl"), stock));
  // A folder whose name only begins like the stock folder is not inside it.
  EXPECT_FALSE(lf_isInSimSceneryFolder(std::filesystem::path("/sim/SceneryAddons/a.bgl"), stock));
  EXPECT_FALSE(lf_isInSimSceneryFolder(std::filesystem::path("/addons/sim/Scenery/a.bgl"), stock));
  EXPECT_FALSE(lf_isInSimSceneryFolder(std::filesystem::path("/sim"), stock));
  EXPECT_FALSE(lf_isInSimSceneryFolder(stock, {}));

  EXPECT_TRUE(lf_isStockScenery("Local=Scenery\\World"));
  EXPECT_TRUE(lf_isStockScenery("Local=scenery/0307"));
  EXPECT_TRUE(lf_isStockScenery("Local=D:\\Addons\\Worldwide Airports\\x"));  // any folder beginning so
  EXPECT_FALSE(lf_isStockScenery("Local=D:\\Addons\\MyWorld\\EGLL"));
  EXPECT_FALSE(lf_isStockScenery("Local=D:\\Addons\\Basel"));
  EXPECT_FALSE(lf_isStockScenery("World"));
}

TEST(ScanLog, LinesFromManyThreadsAllArriveWholeAndInEachThreadsOrder) {
  gf_takeScanLogLines();
  std::vector<std::thread> threads;
  for (int t = 0; t < 8; ++t)
    threads.emplace_back([t] {
      for (int k = 0; k < 500; ++k) gf_addScanLogLine(std::to_string(t) + ":" + std::to_string(k) + std::string(40, 'x'));
    });
  for (std::thread& th : threads) th.join();
  const std::vector<std::string> lines = gf_takeScanLogLines();
  ASSERT_EQ(lines.size(), 8u * 500u);
  std::vector<int> next(8, 0);
  for (const std::string& line : lines) {
    const int t = std::stoi(line);
    EXPECT_EQ(line, std::to_string(t) + ":" + std::to_string(next[t]++) + std::string(40, 'x'));
  }
  EXPECT_TRUE(gf_scanLogLines().empty());
}

}  // namespace
}  // namespace amb::test
