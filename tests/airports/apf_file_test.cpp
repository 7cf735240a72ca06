// Airport files: what the writer writes in full and in updates mode, and what the reader makes of it.

#include "airports/stand.hpp"
#include "airports_fixture.hpp"
#include "settings/options.hpp"
#include "settings/parameters.hpp"

#include <pugixml.hpp>

namespace amb {
namespace {

using test::makeOption;
using test::makeStand;

class ApfFile : public test::AirportsTest {
protected:
  void TearDown() override {
    MAX_LIVE.value = MAX_LIVE.defaultValue;
    test::AirportsTest::TearDown();
  }
  // The file's `parkpos` elements as "name=value ..." texts, attributes in their written order.
  static std::vector<std::string> parkposTexts(const pugi::xml_document& doc) {
    std::vector<std::string> out;
    for (pugi::xml_node p : doc.child("parkpositions").children()) {
      std::string t;
      for (pugi::xml_attribute a : p.attributes()) t += std::string(t.empty() ? "" : " ") + a.name() + "=" + a.value();
      for (pugi::xml_node o : p.children()) {
        t += " |";
        for (pugi::xml_attribute a : o.attributes()) t += std::string(" ") + a.name() + "=" + a.value();
      }
      out.push_back(t);
    }
    return out;
  }
  static std::vector<std::string> parameterNames(const pugi::xml_document& doc) {
    std::vector<std::string> out;
    for (pugi::xml_node p : doc.child("parameters").children("parameter")) out.emplace_back(p.attribute("name").value());
    return out;
  }
  pugi::xml_document load(const std::string& file) {
    pugi::xml_document doc;
    EXPECT_TRUE(doc.load_file(path(file).c_str()));
    return doc;
  }
  static ApfRecord airport() {
    ApfRecord a;
    a.airportName = "Testfield";
    a.publisher = "Pub";
    a.altitude = 83;
    a.stands.push_back(makeStand("A3", 51.47, -0.454, 0.5, 20.0));
    a.stands.push_back(makeStand("helipad1", 51.471, -0.455, 0.0, 10.0, false, false, true));
    a.stands.push_back(makeStand("C7", -33.9, 151.17, 3.0, 35.5, true, true));
    return a;
  }
};

TEST_F(ApfFile, AFullFileHoldsEveryStandsPositionAndReadsBackTheSameStands) {
  ApfRecord a = airport();
  a.stands[0].options.push_back(makeOption("DAL", "B738", "", 1, 3, 1));  // never in a full file
  ASSERT_TRUE(gf_saveApf(a, path("EGLL.xml"), 1));
  const auto doc = load("EGLL.xml");
  EXPECT_TRUE(gf_checkMeta(doc));
  EXPECT_EQ(parameterNames(doc), (std::vector<std::string>{"airport_name", "publisher", "altitude", "num_parkpos"}));
  EXPECT_EQ(gf_getIntParameter(doc, "num_parkpos"), 3);
  EXPECT_EQ(parkposTexts(doc),
            (std::vector<std::string>{
                "id=A3 latitude=51.470000 longitude=-0.454000 heading=28.6 radius=20.0 cargo=false ramp=false",
                "id=helipad1 latitude=51.471000 longitude=-0.455000 heading=0.0 radius=10.0 heli=true ramp=false",
                "id=C7 latitude=-33.900000 longitude=151.170000 heading=171.9 radius=35.5 cargo=true ramp=true"}));

  std::vector<Stand> back;
  for (pugi::xml_node p : doc.child("parkpositions").children("parkpos"))
    lf_readParkPos(p, p.attribute("id").value(), 1, back);
  ASSERT_EQ(back.size(), 3u);
  for (std::size_t i = 0; i < back.size(); ++i) {
    SCOPED_TRACE(back[i].name);
    EXPECT_EQ(back[i].name, a.stands[i].name);
    EXPECT_NEAR(back[i].lat, a.stands[i].lat, 5e-7);
    EXPECT_NEAR(back[i].lon, a.stands[i].lon, 5e-7);
    EXPECT_NEAR(back[i].heading, a.stands[i].heading, 0.05 * 0.017453292519943295 + 1e-12);
    EXPECT_NEAR(back[i].radiusNm * 1852, a.stands[i].radiusNm * 1852, 0.05 + 1e-9);
    EXPECT_EQ(back[i].cargo, a.stands[i].cargo);
    EXPECT_EQ(back[i].ramp, a.stands[i].ramp);
    EXPECT_EQ(back[i].heli, a.stands[i].heli);
    EXPECT_TRUE(back[i].options.empty());
  }
}

TEST_F(ApfFile, FullFileParametersByPublisherAndAnEmptyAirport) {
  ApfRecord a;
  a.publisher = "unknown";
  a.bglPath = "D:\\Scenery\\AP.bgl";
  ASSERT_TRUE(gf_saveApf(a, path("X.xml"), 1));
  const auto doc = load("X.xml");
  EXPECT_EQ(gf_getStringParameter(doc, "BGLpath"), "D:\\Scenery\\AP.bgl");
  EXPECT_EQ(gf_getIntParameter(doc, "num_parkpos"), 0);
  EXPECT_TRUE(doc.child("parkpositions"));
  EXPECT_FALSE(doc.child("parkpositions").first_child());
}

TEST_F(ApfFile, UpdatesModeWritesOnlyWhatChangedWithTheSettings) {
  g_regcodeInfos["N123FE"] = {"FDX", "MD11", "", true};
  ApfRecord a = airport();
  a.stands[0].radiusChanged = 1;
  a.stands[0].cargoChanged = 1;
  a.stands[0].options = {makeOption("FDX", "MD11", "N123FE", 2, 0b111, 1, 1, "ABC1", "XYZ9"),
                         makeOption("DAL", "B738", "", 3, std::uint64_t{1} << 47, 2, 0, "ABC1"),
                         makeOption("DAL", "B738", "N9", 3, 1, 0)};  // id 0: never written
  a.stands[1].manual = 1;
  a.stands[1].radiusChanged = 1;
  MAX_LIVE.value = -1;
  ASSERT_TRUE(gf_saveApf(a, path("L.xml"), 0));
  auto doc = load("L.xml");
  EXPECT_EQ(parameterNames(doc),
            (std::vector<std::string>{"airport_name", "publisher", "num_parkpos", "LATERAL_RANGE", "AUTO_RANGE", "WEEK",
                                      "PARK_FAKE", "PARK_SOFT", "parking_percentage", "INITIAL_LOAD_ONLY", "MAX_FIT",
                                      "LEARN_SOFT"}));
  EXPECT_EQ(parkposTexts(doc),
            (std::vector<std::string>{
                "id=A3 radius_change=true radius=20.0 cargo_change=true cargo=false"
                " | reg=N123FE day=2 hh=0,1,2 cs=ABC1:XYZ9 | reg= airl=DAL type=B738 soft=true day=3 hh=47 cs=ABC1",
                "id=helipad1 latitude=51.471000 longitude=-0.455000 heading=0.0 radius=10.0 heli=true ramp=false "
                "manual=true",
                "id=C7"}));
  MAX_LIVE.value = 12;
  ASSERT_TRUE(gf_saveApf(a, path("L.xml"), 0));
  doc = load("L.xml");
  EXPECT_EQ(gf_getIntParameter(doc, "MAX_LIVE"), 12);
  EXPECT_EQ(parameterNames(doc).size(), 13u);
}

TEST_F(ApfFile, AHandmadeAirportKeepsEveryStandAcrossSaveAndLoad) {
  ApfRecord a = airport();
  a.handmade = true;
  a.qfReal = 63;
  a.qfSoft = 5;
  a.stands[2].radiusChanged = 1;  // a changed stand still carries its position
  a.stands[2].cargoChanged = 1;
  a.stands[2].options = {makeOption("DAL", "B738", "N1", 4, 6, 1, 1, "DAL1")};
  ASSERT_TRUE(gf_saveApf(a, path("H.xml"), 0));
  const auto doc = load("H.xml");
  EXPECT_EQ(gf_getBoolParameter(doc, "handmade"), true);
  EXPECT_EQ(gf_getIntParameter(doc, "altitude"), 83);
  EXPECT_EQ(gf_getIntParameter(doc, "Qf_real"), 63);
  EXPECT_EQ(gf_getIntParameter(doc, "Qf_soft"), 5);
  std::vector<Stand> back;
  for (pugi::xml_node p : doc.child("parkpositions").children("parkpos"))
    lf_readParkPos(p, p.attribute("id").value(), 1, back);
  ASSERT_EQ(back.size(), 3u);
  EXPECT_NEAR(back[2].lat, -33.9, 1e-6);
  EXPECT_EQ(back[2].cargo, 1);
  ASSERT_EQ(back[2].options.size(), 1u);
  EXPECT_EQ(back[2].options[0].halfHours, 6u);
  EXPECT_EQ(back[2].options[0].cs1, "DAL1");
}

TEST_F(ApfFile, AFailedWriteLeavesTheEarlierFile) {
  ApfRecord a = airport();
  ASSERT_TRUE(gf_saveApf(a, path("E.xml"), 1));
  const std::string before = test::readFile(path("E.xml"));
  EXPECT_FALSE(gf_saveApf(a, path("missing/E.xml"), 1));
  std::filesystem::create_directory(path("E.xml.dir"));
  a.stands.clear();
  // A folder where the file should be cannot be replaced.
  EXPECT_FALSE(gf_saveApf(a, path("E.xml.dir"), 1));
  EXPECT_EQ(test::readFile(path("E.xml")), before);
}

TEST_F(ApfFile, ReaderDefaultsAndSkips) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string(
      "<parkpositions>"
      "<parkpos id='zero' latitude='0' longitude='0' radius='30'><opt day='1' hh='1'/></parkpos>"
      "<parkpos id='bare' latitude='1.5' longitude='0'/>"
      "<parkpos id='full' latitude='1' longitude='2' heading='90' radius='25' cargo='yes' ramp='T' heli='0'>"
      "<opt reg='' airl='DAL' type='B738' soft='false' day='2' hh='1,2' cs='ABC1:XYZ9'/>"
      "<opt airl='DAL' type='B738' soft='yes' cs='ABC1:'/>"
      "<opt reg='N123FE' airl='XXX' type='YYY' cs='A:B:C' day='0x3' hh='bad'/>"
      "</parkpos></parkpositions>"));
  g_regcodeInfos["N123FE"] = {"FDX", "MD11", "FXX", true};
  std::vector<Stand> s;
  for (pugi::xml_node p : doc.child("parkpositions").children("parkpos")) lf_readParkPos(p, p.attribute("id").value(), 1, s);
  ASSERT_EQ(s.size(), 2u);
  EXPECT_EQ(s[0].name, "bare");
  EXPECT_EQ(s[0].radiusNm, 0.0);
  EXPECT_EQ(s[0].heading, 0.0);
  EXPECT_EQ(s[0].cargo + s[0].ramp + s[0].heli, 0);
  EXPECT_TRUE(s[0].options.empty());
  const Stand& f = s[1];
  EXPECT_DOUBLE_EQ(f.heading, 1.5707963267948966);
  EXPECT_EQ(f.cargo, 1);
  EXPECT_EQ(f.ramp, 1);
  EXPECT_EQ(f.heli, 0);
  ASSERT_EQ(f.options.size(), 3u);
  EXPECT_EQ(f.options[0].cs1 + "|" + f.options[0].cs2, "ABC1|XYZ9");
  EXPECT_EQ(f.options[1].cs1 + "|" + f.options[1].cs2, "ABC1|");
  EXPECT_EQ(f.options[2].cs1 + "|" + f.options[2].cs2, "A|");
  EXPECT_EQ(f.options[0].kind, 1u);
  EXPECT_EQ(f.options[1].kind, 0u);
  EXPECT_EQ(f.options[1].day, 0u);  // kept, like its empty half-hour set
  EXPECT_EQ(f.options[2].airl + f.options[2].type, "FXXMD11");
  EXPECT_EQ(f.options[2].id, 3u);
  EXPECT_EQ(f.options[2].readMark, 1u);
}

TEST_F(ApfFile, ParametersAreFoundByNameWithOrWithoutAValue) {
  pugi::xml_document doc;
  ASSERT_TRUE(doc.load_string("<parameters><parameter name='a' value='x7'/><parameter name='b'/>"
                              "<parameter name='c' value='-12'/><parameter name='d' value='Yes'/></parameters>"));
  EXPECT_EQ(gf_getIntParameter(doc, "a"), 0);
  EXPECT_EQ(gf_getIntParameter(doc, "b"), 0);
  EXPECT_EQ(gf_getBoolParameter(doc, "b"), false);
  EXPECT_EQ(gf_getStringParameter(doc, "b"), "");
  EXPECT_EQ(gf_getIntParameter(doc, "c"), -12);
  EXPECT_EQ(gf_getBoolParameter(doc, "d"), true);
  EXPECT_EQ(gf_getIntParameter(doc, "missing"), std::nullopt);
  EXPECT_EQ(gf_getStringParameter(doc, "missing"), std::nullopt);
}

TEST_F(ApfFile, OverlapOfOptionsNeedsTheSameUseAndACommonHalfHour) {
  const ParkPosOption a = makeOption("DAL", "B738", "N1", 2, 0b0110, 1, 1, "X");
  EXPECT_TRUE(lf_sameOptionOverlap(a, makeOption("DAL", "B738", "N1", 2, 0b1100, 9, 1, "Y")));
  EXPECT_FALSE(lf_sameOptionOverlap(a, makeOption("DAL", "B738", "N1", 2, 0b1001, 1, 1)));
  EXPECT_FALSE(lf_sameOptionOverlap(a, makeOption("DAL", "B738", "N1", 2, 0b0110, 1, 0)));
  EXPECT_FALSE(lf_sameOptionOverlap(a, makeOption("DAL", "B738", "N1", 3, 0b0110, 1, 1)));
  EXPECT_FALSE(lf_sameOptionOverlap(a, makeOption("DAL", "B739", "N1", 2, 0b0110, 1, 1)));
}

TEST_F(ApfFile, NamesAndTexts) {
  EXPECT_EQ(gf_xmlFileName("EGLL"), "EGLL.xml");
  EXPECT_EQ(gf_xmlFilePath("../x/EG:LL"), std::filesystem::path("xEGLL.xml"));
  EXPECT_EQ(gf_txtFilePath("EGLL"), std::filesystem::path("EGLL.txt"));
  EXPECT_EQ(gf_pathComponent("Some Pub/..\\x"), "Some Pubx");
  EXPECT_EQ(gf_qualityFactorText({-1, -1}), "  ");
  EXPECT_EQ(gf_qualityFactorText({7, 12}), " 7/12");
  EXPECT_EQ(gf_qualityFactorText({-1, 3}), "-1/ 3");
  EXPECT_EQ(gf_qualityFactorText({50, 3}), "50");
}

}  // namespace
}  // namespace amb
