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

TEST_F(ParametersTest, IntTextsAreReadByTheLibraryRuleAndClamped) {
  const struct {
    IntOption* option;
    const char* text;
    int value;
  } cases[] = {
      {&LATERAL_RANGE, "150", 100},        {&MATCHING_DEPTH, "12abc", 4},      {&MAX_LIVE, "-5", -1},
      {&AIRPORT_RANGE, "  0x1E", 30},      {&AIRPORT_HEIGHT, "letters", 2000}, {&P3D_VERSION, "+6", 6},
      {&MAIN_WINDOW_X, "99999999999", 30000}, {&LAST_EPOCH_TIME, "99999999999", 2147483647},
      {&MAIN_WINDOW_Y, "-99999999999", -30000}, {&CUSTOM_MAX_PARK, "0", 0},
  };
  std::string entries;
  for (const auto& c : cases) entries += entry(c.option->key, c.text);
  writeParameters(entries);
  load();
  for (const auto& c : cases) EXPECT_EQ(c.option->value, c.value) << c.option->key << " " << c.text;
  EXPECT_TRUE(logHas("LATERAL_RANGE=100"));
  // The load leaves the stored text alone until something saves the option.
  EXPECT_NE(fileText().find(entry("LATERAL_RANGE", "150")), std::string::npos);
}

TEST_F(ParametersTest, BoolTextsAreTrueOnlyForTheirFirstCharacter) {
  const struct {
    BoolOption* option;
    const char* entryText;
    int value;
  } cases[] = {
      {&LOG, "<parameter name=\"LOG\" value=\"1\"/>", 1},
      {&WEEK, "<parameter name=\"WEEK\" value=\"true\"/>", 1},
      {&PARK_FAKE, "<parameter name=\"PARK_FAKE\" value=\"Yes\"/>", 1},
      {&AEROWINX, "<parameter name=\"AEROWINX\" value=\"T\"/>", 1},
      {&LIG_PRIORITIZE, "<parameter name=\"LIG_PRIORITIZE\" value=\"y\"/>", 1},
      {&SCAN_LIVERIES, "<parameter name=\"SCAN_LIVERIES\" value=\"0\"/>", 0},
      {&SCAN_AIRPORTS, "<parameter name=\"SCAN_AIRPORTS\" value=\"false\"/>", 0},
      {&LIG_AUTOMATIC, "<parameter name=\"LIG_AUTOMATIC\" value=\"no\"/>", 0},
      {&AFG_AUTOMATIC, "<parameter name=\"AFG_AUTOMATIC\" value=\"\"/>", 0},
      {&LEARN_SOFT, "<parameter name=\"LEARN_SOFT\" value=\"2\"/>", 0},
      {&GUID_CHANGES, "<parameter name=\"GUID_CHANGES\" value=\" true\"/>", 0},
      {&RANDOM, "<parameter name=\"RANDOM\"/>", 0},  // no value attribute
  };
  std::string entries;
  for (const auto& c : cases) entries += std::string("\t") + c.entryText + "\n";
  writeParameters(entries);
  load();
  for (const auto& c : cases) EXPECT_EQ(c.option->value, c.value) << c.entryText;
  EXPECT_TRUE(logHas("AFG_AUTOMATIC=false"));
}

TEST_F(ParametersTest, LoadAddsMissingEntriesAtTheEndAndKeepsUnknownOnes) {
  writeParameters(entry("FOREIGN", "x") + entry("MAX_LIVE", "7") + entry("BLOCK_CALLSIGN", "KLM12"));
  load();
  EXPECT_EQ(MAX_LIVE.value, 7);
  EXPECT_EQ(BLOCK_CALLSIGN.value(), "KLM12");
  const std::string text = fileText();
  // Existing entries stay first, the added ones follow in list order.
  EXPECT_EQ(text.find(entry("FOREIGN", "x")), text.find("<parameters>\n") + 13);
  EXPECT_LT(text.find(entry("BLOCK_CALLSIGN", "KLM12")), text.find(entry("RANDOM", "true")));
  EXPECT_LT(text.find(entry("RANDOM", "true")), text.find(entry("AEROWINX", "false")));
  EXPECT_EQ(text.find("MAX_LIVE"), text.rfind("MAX_LIVE"));
}

TEST_F(ParametersTest, MalformedFileIsReplacedByDefaults) {
  writeFile(file(), "<parameters><parameter name=\"LOG\" value=\"false\"/>");
  LOG.value = 0;
  load();
  EXPECT_EQ(LOG.value, 1);
  EXPECT_TRUE(logHas(g_parametersPath + " not found, default values taken:"));
  EXPECT_TRUE(logHas("LOG=true"));
  const auto doc = parse(fileText());
  EXPECT_STREQ(doc.child("parameters").first_child().attribute("name").value(), "RANDOM");
  EXPECT_STREQ(doc.child("parameters").last_child().attribute("name").value(), "BLOCK_CALLSIGN");
}

TEST_F(ParametersTest, WrongRootIsReadAsDefaultsAndSavedBackUnchanged) {
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
  EXPECT_TRUE(logHas("Parameter lfolder3 removed"));
  EXPECT_TRUE(logHas("Parameter afolder0 removed"));
  EXPECT_TRUE(logHas("lfolder4=D:/AI/liveries"));
  EXPECT_FALSE(logMentions("lfolder3="));
  EXPECT_EQ(lfolder4.value(), "D:/AI/liveries");
  EXPECT_EQ(fileText().find("lfolder3"), std::string::npos);
  EXPECT_EQ(fileText().find("afolder0"), std::string::npos);
  EXPECT_EQ(fileText().find("lfolder5"), std::string::npos);  // missing folder entries are not added
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
  // the file locked.
  // The savers are kept until the load has returned, so that a fault shows as a failure, not a hang.
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
  EXPECT_EQ(ui.control(MATCHING_DEPTH.controlId).text, "2");
  EXPECT_EQ(ui.control(LATERAL_RANGE.controlId).text, "40");
  EXPECT_EQ(ui.control(BLOCK_CALLSIGN.controlId).text, "ABC123");
  EXPECT_EQ(ui.control(DESTINATION.controlId).text, "");  // a plain-list string is not shown
}

TEST_F(ParametersTest, MetaBlockIsWrittenAndChecked) {
  clock::ManualClock clk(kSat);
  pugi::xml_document doc;
  ASSERT_TRUE(lf_writeMeta(doc));
  EXPECT_TRUE(gf_checkMeta(doc));
  EXPECT_EQ(META_AUTHOR.value(), "Ambertrail_P3D");
  EXPECT_EQ(META_VERSION.value(), "10.10.4");
  EXPECT_EQ(META_DATE.value(), "Dec 05, 2026");
  EXPECT_STREQ(doc.child("meta").last_child().attribute("value").value(), "Copyright (c) Ambertrail_P3D developers");
  EXPECT_STREQ(doc.child("meta").first_child().first_attribute().name(), "name");

  const struct {
    const char* xml;
    bool ok;
  } cases[] = {
      {"<meta><info name='author' value='a'/><info name='version' value='1'/></meta>", false},  // no date
      {"<meta><info name='author' value='a'/><info name='date' value='d'/><info name='version' value='v'/></meta>",
       true},  // no copyright
      {"<root><meta><info name='author' value='a'/><info name='date' value='d'/><info name='version' value='v'/>"
       "</meta></root>",
       false},  // not at the top
      {"<meta><info name='author'/><info name='date'/><info name='version'/></meta>", true},  // values not compared
  };
  for (const auto& c : cases) EXPECT_EQ(gf_checkMeta(parse(c.xml)), c.ok) << c.xml;
  EXPECT_TRUE(logHas("===> meta data incorrect?"));

  META_DATE.setValue("old");
  EXPECT_FALSE(lf_readMetaEntry(parse("<meta/>"), META_DATE));
  EXPECT_EQ(META_DATE.value(), "");

  // Nothing written reports false.
  EXPECT_FALSE(lf_writeMeta(pugi::xml_node()));
  pugi::xml_document text;
  EXPECT_FALSE(lf_writeMeta(text.append_child(pugi::node_pcdata)));
}

TEST_F(ParametersTest, AppendHelpersRefuseNodesThatTakeNoChildren) {
  pugi::xml_document doc;
  EXPECT_TRUE(gf_appendBoolParameter(doc, "A", true));
  pugi::xml_node element = doc.append_child("parameters");
  EXPECT_TRUE(gf_appendIntParameter(element, "B", -42));
  EXPECT_TRUE(gf_appendStringParameter(element, "C", "x<y"));
  EXPECT_FALSE(gf_appendStringParameter(pugi::xml_node(), "D", "x"));
  EXPECT_FALSE(gf_appendIntParameter(doc.append_child(pugi::node_comment), "E", 1));
  EXPECT_TRUE(gf_appendIntAttribute(element, "n", -7));
  EXPECT_FALSE(gf_appendIntAttribute(pugi::xml_node(), "n", 1));
  EXPECT_FALSE(gf_appendIntAttribute(doc, "n", 1));
  std::ostringstream out;
  doc.save(out, "", pugi::format_raw | pugi::format_no_declaration);
  EXPECT_EQ(out.str(),
            "<parameter name=\"A\" value=\"true\"/><parameters n=\"-7\"><parameter name=\"B\" value=\"-42\"/>"
            "<parameter name=\"C\" value=\"x&lt;y\"/></parameters><!---->");
}

TEST_F(ParametersTest, EntryLookupMatchesTheXPathQuery) {
  // Two top-level `parameters` elements and a repeated key: the first match in document order counts.
  const auto doc = parse(
      "<parameters><parameter name='A' value='1'/><x><parameter name='B' value='nested'/></x></parameters>"
      "<parameters><parameter name='B' value='2'/><parameter name='A' value='3'/></parameters>");
  for (const char* key : {"A", "B", "C"}) {
    StringOption o(key, "none");
    const bool found = lf_readStringOption(o, doc);
    const auto node = doc.select_node(lf_findParameterNode(key).c_str()).node();
    EXPECT_EQ(found, static_cast<bool>(node)) << key;
    EXPECT_EQ(o.value(), node ? node.attribute("value").value() : "none") << key;
  }
}

TEST_F(ParametersTest, XmlHelpers) {
  pugi::xml_document doc;
  doc.append_child("a").append_attribute("empty");
  const auto target = dir() / "out.xml";
  EXPECT_TRUE(gf_saveXml(doc, target));
  EXPECT_EQ(readFile(target), "<?xml version=\"1.0\"?>\n<a empty=\"\" />\n");
  EXPECT_TRUE(logHas("\"" + gf_pathText(target) + "\" saved"));
  const auto missing = dir() / "no" / "out.xml";
  EXPECT_FALSE(gf_saveXml(doc, missing));
  EXPECT_TRUE(logHas("could not save to \"" + gf_pathText(missing) + "\""));

  EXPECT_EQ(gf_attributeString(doc.child("a"), "empty"), "");
  EXPECT_EQ(gf_attributeString(doc.child("a"), "missing"), "");
  EXPECT_EQ(gf_attributeString(pugi::xml_node(), "empty"), "");

  const struct {
    const char* line;
    const char* path;
  } cases[] = {
      {"    <Path>C:\\Add ons\\My AI </Path>", "C:\\Add ons\\My AI "},
      {"<Path>SimObjects</Path><Path>x</Path>", "SimObjects"},
      {"<Path></Path>", ""},
      {"<Path>no end", ""},
      {"no start</Path>", ""},
      {"</Path>reversed<Path>", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(gf_extractPath(c.line), c.path) << c.line;
}

}  // namespace
}  // namespace amb
