// The settings file: the load, the savers, the removal of empty folder entries, the meta block and
// the XML helpers underneath.

#include "core/clock.hpp"
#include "core/xml.hpp"
#include "recording_ui.hpp"
#include "settings/parameters.hpp"
#include "settings_fixture.hpp"

#include <gtest/gtest.h>

#include <future>
#include <thread>

namespace amb {
namespace {

using test::readFile;
using test::RecordingUi;
using test::ScopedCurrentUi;
using test::writeFile;
using ParametersTest = test::SettingsTest;

// 2026-12-05 18:33:18 UTC.
constexpr long long kSat = 1796495598;

void load() {
  const LoadLists l = lf_buildLoadLists();
  lf_readParameters(l.plainBools, l.checkBoxBools, l.plainInts, l.editInts, l.plainStrings, l.editStrings);
}

pugi::xml_document parse(const std::string& text) {
  pugi::xml_document doc;
  EXPECT_TRUE(doc.load_string(text.c_str()));
  return doc;
}

TEST_F(ParametersTest, FirstStartWritesEveryStoredOptionInListOrder) {
  gf_loadOptions();
  EXPECT_EQ(fileText(), readFile(std::filesystem::path(AMB_SOURCE_DIR) / "tests/settings/first_start.xml"));
  EXPECT_TRUE(logHas(g_parametersPath + " not found, default values taken:"));
  EXPECT_TRUE(logHas("\"" + g_parametersPath + "\" saved"));
  EXPECT_TRUE(logHas("**********************************" " parameters " "**********************************"));
  // A second load finds every entry and changes nothing.
  const std::string first = fileText();
  gf_loadOptions();
  EXPECT_EQ(fileText(), first);
  EXPECT_TRUE(logHas("from \"" + g_parametersPath + "\""));
}

TEST_F(ParametersTest, StoredTextsAreReadByTheLibraryRulesAndClamped) {
  const struct {
    IntOption* option;
    const char* text;
    int value;
  } ints[] = {{&LATERAL_RANGE, "150", 100},           {&MATCHING_DEPTH, "12abc", 4},
              {&MAX_LIVE, "-5", -1},                  {&AIRPORT_RANGE, "  0x1E", 30},
              {&AIRPORT_HEIGHT, "letters", 2000},     {&P3D_VERSION, "+6", 6},
              {&MAIN_WINDOW_X, "99999999999", 30000}, {&LAST_EPOCH_TIME, "99999999999", 2147483647},
              {&MAIN_WINDOW_Y, "-99999999999", -30000}};
  // Bools are true only when the text begins with 1, t, T, y or Y.
  const struct {
    BoolOption* option;
    const char* text;
    int value;
  } bools[] = {{&LOG, "1", 1},           {&WEEK, "true", 1},       {&PARK_FAKE, "Yes", 1},
               {&AEROWINX, "T", 1},      {&SCAN_LIVERIES, "0", 0}, {&SCAN_AIRPORTS, "false", 0},
               {&LIG_AUTOMATIC, "no", 0}, {&AFG_AUTOMATIC, "", 0}, {&LEARN_SOFT, "2", 0},
               {&GUID_CHANGES, " true", 0}};
  std::string entries = "\t<parameter name=\"RANDOM\"/>\n";  // no value attribute
  for (const auto& c : ints) entries += entry(c.option->key, c.text);
  for (const auto& c : bools) entries += entry(c.option->key, c.text);
  writeParameters(entries);
  load();
  for (const auto& c : ints) EXPECT_EQ(c.option->value, c.value) << c.option->key << " " << c.text;
  for (const auto& c : bools) EXPECT_EQ(c.option->value, c.value) << c.option->key << " " << c.text;
  EXPECT_EQ(RANDOM.value, 0);
  EXPECT_TRUE(logHas("LATERAL_RANGE=100") && logHas("AFG_AUTOMATIC=false"));
  // The load leaves the stored text alone until something saves the option.
  EXPECT_NE(fileText().find(entry("LATERAL_RANGE", "150")), std::string::npos);
}

TEST_F(ParametersTest, MalformedFileIsReplacedByDefaultsAndAWrongRootKeptAsItIs) {
  writeFile(file(), "<parameters><parameter name=\"LOG\" value=\"false\"/>");
  LOG.value = 0;
  load();
  EXPECT_EQ(LOG.value, 1);
  EXPECT_TRUE(logHas(g_parametersPath + " not found, default values taken:") && logHas("LOG=true"));
  const auto doc = parse(fileText());
  EXPECT_STREQ(doc.child("parameters").first_child().attribute("name").value(), "RANDOM");
  EXPECT_STREQ(doc.child("parameters").last_child().attribute("name").value(), "BLOCK_CALLSIGN");

  const std::string text = "<?xml version=\"1.0\"?>\n<settings>\n" + entry("LOG", "false") + "</settings>\n";
  writeFile(file(), text);
  LOG.value = 0;
  load();
  EXPECT_EQ(LOG.value, 1);
  EXPECT_EQ(fileText(), text);
}

TEST_F(ParametersTest, EmptyFolderEntriesAreRemovedOnce) {
  writeParameters(entry("lfolder3", "") + entry("lfolder4", "D:/AI/liveries") + entry("afolder0", ""));
  load();
  EXPECT_TRUE(logHas("Parameter lfolder3 removed") && logHas("Parameter afolder0 removed"));
  EXPECT_TRUE(logHas("lfolder4=D:/AI/liveries"));
  EXPECT_FALSE(logMentions("lfolder3="));
  EXPECT_EQ(lfolder4.value(), "D:/AI/liveries");
  // Missing folder entries are not added either.
  for (const char* key : {"lfolder3", "afolder0", "lfolder5"}) EXPECT_EQ(fileText().find(key), std::string::npos);
  load();
  int removals = 0;
  for (const auto& line : log()) removals += line.rfind("Parameter ", 0) == 0;
  EXPECT_EQ(removals, 2);

  // The removal on its own.
  writeParameters(entry("lfolder1", "") + entry("LOG", "true"));
  lf_removeParameter(lfolder1);
  EXPECT_EQ(fileText().find("lfolder1"), std::string::npos);
  EXPECT_NE(fileText().find("LOG"), std::string::npos);
}

TEST_F(ParametersTest, SaverWithoutFileWritesOnlyItsEntryAndTheLoadAddsTheRest) {
  MAX_LIVE.value = 25;
  gf_saveIntOption(MAX_LIVE);
  EXPECT_EQ(fileText(), "<?xml version=\"1.0\"?>\n<parameters>\n" + entry("MAX_LIVE", "25") + "</parameters>\n");
  EXPECT_TRUE(logHas("MAX_LIVE=25"));
  MAX_LIVE.value = 0;
  load();
  EXPECT_EQ(MAX_LIVE.value, 25);
  const std::string text = fileText();
  EXPECT_EQ(text.find("\t<parameter "), text.find(entry("MAX_LIVE", "25")));
  EXPECT_NE(text.find(entry("BLOCK_CALLSIGN", "")), std::string::npos);
}

TEST_F(ParametersTest, SaversChangeTheFirstEntryAndLeaveOneWithoutValue) {
  writeParameters("\t<parameter name=\"LOG\" />\n" + entry("DESTINATION", "EDDF") + entry("DESTINATION", "EGLL") +
                  entry("SCAN_AIRPORTS", "true"));
  LOG.value = 0;
  gf_saveBoolOption(LOG);
  gf_setStringOption(DESTINATION, "LOWW");
  SCAN_AIRPORTS.value = 0;
  gf_saveBoolOption(SCAN_AIRPORTS);
  EXPECT_EQ(DESTINATION.value(), "LOWW");
  EXPECT_EQ(fileText(), "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"LOG\" />\n" +
                            entry("DESTINATION", "LOWW") + entry("DESTINATION", "EGLL") +
                            entry("SCAN_AIRPORTS", "false") + "</parameters>\n");
  EXPECT_TRUE(logHas("DESTINATION=LOWW"));
}

TEST_F(ParametersTest, SaverAfterParseErrorKeepsWhatWasReadable) {
  writeFile(file(), "<parameters>\n\t<parameter name=\"MAX_LIVE\" value=\"9\"/>\n<broken");
  PORT_NUMBER.setValue("10800");
  gf_saveStringOption(PORT_NUMBER);
  // The next load reads both the old entry and the saved one.
  MAX_LIVE.value = 0;
  PORT_NUMBER.setValue("");
  load();
  EXPECT_EQ(MAX_LIVE.value, 9);
  EXPECT_EQ(PORT_NUMBER.value(), "10800");
}

TEST_F(ParametersTest, FailedSaveIsOnlyLogged) {
  g_parametersPath = gf_pathText(dir() / "missing" / "parameters.xml");
  MAX_LIVE.value = 3;
  gf_saveIntOption(MAX_LIVE);
  EXPECT_TRUE(logHas("saving xml did not work?"));
  EXPECT_EQ(MAX_LIVE.value, 3);
  load();
  EXPECT_TRUE(logHas("could not save to \"" + g_parametersPath + "\""));
}

TEST_F(ParametersTest, ConcurrentSavesAndLoadsLoseNoEntry) {
  gf_loadOptions();
  constexpr int kThreads = 6, kRounds = 30;
  std::vector<std::unique_ptr<IntOption>> options;
  for (int t = 0; t < kThreads; ++t)
    options.push_back(std::make_unique<IntOption>(fmt::format("TEST_{}", t), 0, 0, 1000));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t) {
    threads.emplace_back([&, t] {
      for (int r = 1; r <= kRounds; ++r) {
        options[t]->value = r;
        gf_saveIntOption(*options[t]);
      }
    });
  }
  threads.emplace_back([] {
    for (int r = 0; r < 5; ++r) gf_loadOptions();
  });
  for (auto& th : threads) th.join();
  const auto doc = parse(fileText());
  for (auto& o : options) {
    EXPECT_EQ(gf_readIntOption(*o, doc, false), true) << o->key;
    EXPECT_EQ(o->value, kRounds) << o->key;
  }
  // Nothing of the regular entries went missing either.
  EXPECT_TRUE(doc.select_node(lf_findParameterNode("BLOCK_CALLSIGN").c_str()));
}

TEST_F(ParametersTest, LoadShowsValuesAfterReleasingTheFile) {
  writeParameters(entry("LOG", "false") + entry("MATCHING_DEPTH", "2") + entry("BLOCK_CALLSIGN", "ABC123"));
  RecordingUi ui;
  ScopedCurrentUi current(ui);
  gf_createOptionControls(ui);
  // A control call that waits for a saver on another thread (as a window thread would) must not find
  // the file locked. The savers live until the load returns, so a fault fails instead of hanging.
  int blocked = 0;
  std::vector<std::future<void>> savers;
  ui.onControlTouched = [&] {
    if (blocked > 0) return;
    savers.push_back(std::async(std::launch::async, [] { gf_saveIntOption(P3D_VERSION); }));
    if (savers.back().wait_for(std::chrono::seconds(5)) != std::future_status::ready) ++blocked;
  };
  load();
  ui.onControlTouched = nullptr;
  savers.clear();
  EXPECT_EQ(blocked, 0);
  EXPECT_FALSE(ui.control(LOG.controlId).checked);
  EXPECT_TRUE(ui.control(SCAN_LIVERIES.controlId).checked);
  EXPECT_EQ(ui.control(MATCHING_DEPTH.controlId).text + ui.control(LATERAL_RANGE.controlId).text, "240");
  EXPECT_EQ(ui.control(BLOCK_CALLSIGN.controlId).text, "ABC123");
  EXPECT_EQ(ui.control(DESTINATION.controlId).text, "");  // a plain-list string is not shown
}

TEST_F(ParametersTest, MetaBlockIsWrittenAndChecked) {
  clock::ManualClock clk(kSat);
  pugi::xml_document doc;
  ASSERT_TRUE(lf_writeMeta(doc));
  EXPECT_TRUE(gf_checkMeta(doc));
  EXPECT_EQ(META_AUTHOR.value() + "|" + META_VERSION.value() + "|" + META_DATE.value(),
            "Ambertrail_P3D|10.10.4|Dec 05, 2026");
  EXPECT_STREQ(doc.child("meta").last_child().attribute("value").value(), "Copyright (c) Ambertrail_P3D developers");

  const std::string author = "<info name='author' value='a'/>", date = "<info name='date' value='d'/>",
                    version = "<info name='version'/>";
  const std::pair<std::string, bool> cases[] = {
      {"<meta>" + author + date + version + "</meta>", true},          // no copyright, values not compared
      {"<r><meta>" + author + date + version + "</meta></r>", false},  // not at the top
      {"<meta>" + author + version + "</meta>", false}};               // no date
  for (const auto& [xml, ok] : cases) EXPECT_EQ(gf_checkMeta(parse(xml)), ok) << xml;
  EXPECT_TRUE(logHas("===> meta data incorrect?"));
  EXPECT_EQ(META_DATE.value(), "");  // the check empties an entry it does not find

  // Writing into a node that takes no element reports false.
  EXPECT_FALSE(lf_writeMeta(pugi::xml_node()));
  EXPECT_FALSE(lf_writeMeta(doc.append_child(pugi::node_pcdata)));
}

TEST_F(ParametersTest, XmlAndAppendHelpers) {
  pugi::xml_document doc;
  EXPECT_TRUE(gf_appendBoolParameter(doc, "A", true));
  pugi::xml_node element = doc.append_child("parameters");
  EXPECT_TRUE(gf_appendIntParameter(element, "B", -42) && gf_appendStringParameter(element, "C", "x<y"));
  EXPECT_TRUE(gf_appendIntAttribute(element, "n", -7));
  EXPECT_FALSE(gf_appendStringParameter(pugi::xml_node(), "D", "x"));
  EXPECT_FALSE(gf_appendIntParameter(doc.append_child(pugi::node_comment), "E", 1));
  EXPECT_FALSE(gf_appendIntAttribute(doc, "n", 1));
  const auto target = dir() / "out.xml";
  EXPECT_TRUE(gf_saveXml(doc, target));
  EXPECT_EQ(readFile(target),
            "<?xml version=\"1.0\"?>\n<parameter name=\"A\" value=\"true\" />\n<parameters n=\"-7\">\n"
            "\t<parameter name=\"B\" value=\"-42\" />\n\t<parameter name=\"C\" value=\"x&lt;y\" />\n"
            "</parameters>\n<!---->\n");
  EXPECT_TRUE(logHas("\"" + gf_pathText(target) + "\" saved"));
  const auto missing = dir() / "no" / "out.xml";
  EXPECT_FALSE(gf_saveXml(doc, missing));
  EXPECT_TRUE(logHas("could not save to \"" + gf_pathText(missing) + "\""));

  EXPECT_EQ(gf_attributeString(element, "n"), "-7");
  EXPECT_EQ(gf_attributeString(element, "missing"), "");
  EXPECT_EQ(gf_attributeString(pugi::xml_node(), "n"), "");

  const char* paths[][2] = {
      {"    <Path>C:\\Add ons\\My AI </Path>", "C:\\Add ons\\My AI "}, {"<Path>a</Path><Path>b</Path>", "a"},
      {"<Path>no end", ""}, {"no start</Path>", ""}, {"</Path>reversed<Path>", ""}};
  for (const auto& c : paths) EXPECT_EQ(gf_extractPath(c[0]), c[1]) << c[0];
}

}  // namespace
}  // namespace amb
