// The settings file: the load, the savers, the removal of empty folder entries, the meta block and
// the XML helpers underneath.

#include "core/clock.hpp"
#include "core/xml.hpp"
#include "recording_ui.hpp"
#include "settings/parameters.hpp"
#include "settings_fixture.hpp"

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>

namespace amb {
namespace {

using test::readFile;
using test::RecordingUi;
using test::writeFile;
using ParametersTest = test::SettingsTest;

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
  // A second load finds every entry and changes nothing.
  const std::string first = fileText();
  gf_loadOptions();
  EXPECT_EQ(fileText(), first);
}

TEST_F(ParametersTest, StoredTextsAreReadByTheLibraryRulesAndClamped) {
  const std::tuple<IntOption*, const char*, int> ints[] = {
      {&LATERAL_RANGE, "150", 100},        {&MATCHING_DEPTH, "12abc", 4},
      {&AIRPORT_RANGE, "  0x1E", 30},      {&AIRPORT_HEIGHT, "letters", 2000},     {&P3D_VERSION, "+6", 6},
      {&MAIN_WINDOW_X, "99999999999", 30000}, {&LAST_EPOCH_TIME, "99999999999", 2147483647}};
  // Bools are true only when the text begins with 1, t, T, y or Y.
  const std::tuple<BoolOption*, const char*, int> bools[] = {
      {&LOG, "1", 1}, {&PARK_FAKE, "Yes", 1}, {&LIG_AUTOMATIC, "no", 0}, {&AFG_AUTOMATIC, "", 0},
      {&LEARN_SOFT, "2", 0}, {&GUID_CHANGES, " true", 0}};
  std::string entries = "\t<parameter name=\"RANDOM\"/>\n";  // no value attribute
  for (const auto& [option, text, value] : ints) entries += entry(option->key, text);
  for (const auto& [option, text, value] : bools) entries += entry(option->key, text);
  writeParameters(entries);
  load();
  for (const auto& [option, text, value] : ints) EXPECT_EQ(option->value, value) << option->key << " " << text;
  for (const auto& [option, text, value] : bools) EXPECT_EQ(option->value, value) << option->key << " " << text;
  EXPECT_EQ(RANDOM.value, 0);
  // The load leaves the stored text alone until something saves the option.
  EXPECT_NE(fileText().find(entry("LATERAL_RANGE", "150")), std::string::npos);
}

// A damaged file is not thrown away: the user's settings stay readable beside the fresh file.
TEST_F(ParametersTest, MalformedFileIsKeptBesideDefaultsTakenAndAWrongRootKeptAsItIs) {
  const std::string damaged = "<parameters><parameter name=\"LOG\" value=\"false\"/>";
  const auto bad = dir() / "parameters.xml.bad";
  writeFile(file(), damaged);
  load();
  EXPECT_EQ(LOG.value, 1);
  EXPECT_TRUE(logHas(g_parametersPath + " unreadable, default values taken:"));
  EXPECT_FALSE(logHas(g_parametersPath + " not found, default values taken:"));
  const auto lines = log();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
              return l.starts_with(g_parametersPath + " could not be read (") &&
                     l.ends_with("), kept as " + gf_pathText(bad));
            }), 1);
  EXPECT_EQ(readFile(bad), damaged);
  EXPECT_STREQ(parse(fileText()).child("parameters").first_child().attribute("name").value(), "RANDOM");
  // The next load reads the fresh file and leaves the kept one alone; a missing file is still "not
  // found".
  load();
  EXPECT_EQ(readFile(bad), damaged);
  std::filesystem::remove(file());
  load();
  EXPECT_TRUE(logHas(g_parametersPath + " not found, default values taken:"));
  EXPECT_EQ(readFile(bad), damaged);

  const std::string text = "<?xml version=\"1.0\"?>\n<settings>\n" + entry("LOG", "false") + "</settings>\n";
  writeFile(file(), text);
  LOG.value = 0;
  load();
  EXPECT_EQ(LOG.value, 1);
  EXPECT_EQ(fileText(), text);
}

// Whatever else a file holds besides its entries is not written back: deeply nested elements would
// be written one tab deeper per level, so every start would make the file grow.
TEST_F(ParametersTest, TheLoadWritesBackOnlyTheEntries) {
  std::string nest;
  for (int i = 0; i < 2000; ++i) nest += "<n>";
  for (int i = 0; i < 2000; ++i) nest += "</n>";
  writeFile(file(), "<?xml version=\"1.0\"?>\n<!-- hand-edited -->\n<parameters>\n"
                    "\t<parameter name=\"LOG\" value=\"false\" extra=\"x\">" + nest + "</parameter>\n\t" + nest +
                    "\n" + entry("MAX_LIVE", "25") + "</parameters>\n<parameters>" + entry("DESTINATION", "EGLL") +
                    "</parameters>\n");
  const auto before = std::filesystem::file_size(file());
  load();
  EXPECT_TRUE(LOG.value == 0 && MAX_LIVE.value == 25 && DESTINATION.value() == "EGLL");
  const std::string text = fileText();
  EXPECT_LT(text.size(), before);
  // The entries of both `parameters` elements in one, in document order; missing ones were added to
  // the first.
  EXPECT_TRUE(text.starts_with("<?xml version=\"1.0\"?>\n<parameters>\n" + entry("LOG", "false") +
                               entry("MAX_LIVE", "25")))
      << text.substr(0, 400);
  EXPECT_TRUE(text.ends_with(entry("DESTINATION", "EGLL") + "</parameters>\n"));
  // Every top-level node and every entry is plain.
  const auto doc = parse(text);
  EXPECT_EQ(std::distance(doc.children().begin(), doc.children().end()), 1);
  for (pugi::xml_node e : doc.child("parameters").children())
    EXPECT_TRUE(std::string_view(e.name()) == "parameter" && !e.first_child()) << e.name();
  load();
  EXPECT_EQ(fileText(), text);
}

// Other threads read the file without the settings lock (the main window's position at its
// creation): a save must never show them a half-written file.
TEST_F(ParametersTest, ReadersNeverSeeAHalfWrittenFile) {
  gf_loadOptions();
  std::atomic<bool> done{false};
  std::thread saver([&] {
    for (int i = 0; i < 30; ++i) {
      gf_setStringOption(BLOCK_CALLSIGN, std::string(150000 + i, static_cast<char>('A' + i % 26)));
    }
    done = true;
  });
  int reads = 0, failed = 0;
  while (!done || reads == 0) {
    pugi::xml_document doc;
    // Windows refuses to open a file in the moment it is being replaced; what opens must be whole.
    const pugi::xml_parse_result read = doc.load_file(file().c_str());
    if (read.status == pugi::status_file_not_found) continue;
    if (!read || !doc.child("parameters")) ++failed;
    ++reads;
  }
  saver.join();
  EXPECT_EQ(failed, 0) << "of " << reads << " reads";
  EXPECT_FALSE(std::filesystem::exists(gf_atomicTempPath(file())));
}

TEST_F(ParametersTest, EmptyFolderEntriesAreRemoved) {
  writeParameters(entry("lfolder3", "") + entry("lfolder4", "D:/AI/liveries") + entry("afolder0", ""));
  load();
  EXPECT_TRUE(logHas("Parameter lfolder3 removed") && logHas("Parameter afolder0 removed"));
  EXPECT_EQ(lfolder4.value(), "D:/AI/liveries");
  // Missing folder entries are not added either.
  for (const char* key : {"lfolder3", "afolder0", "lfolder5"}) EXPECT_EQ(fileText().find(key), std::string::npos);
}

TEST_F(ParametersTest, SaversWriteOnlyTheirEntryOrChangeTheFirstAndKeepWhatWasReadable) {
  MAX_LIVE.value = 25;
  gf_saveIntOption(MAX_LIVE);  // no file yet
  EXPECT_EQ(fileText(), "<?xml version=\"1.0\"?>\n<parameters>\n" + entry("MAX_LIVE", "25") + "</parameters>\n");
  MAX_LIVE.value = 0;
  load();  // adds the rest after it
  EXPECT_EQ(MAX_LIVE.value, 25);
  EXPECT_EQ(fileText().find("\t<parameter "), fileText().find(entry("MAX_LIVE", "25")));

  writeParameters("\t<parameter name=\"LOG\" />\n" + entry("DESTINATION", "EDDF") + entry("DESTINATION", "EGLL"));
  LOG.value = 0;
  gf_saveBoolOption(LOG);
  gf_setStringOption(DESTINATION, "LOWW");
  EXPECT_EQ(fileText(), "<?xml version=\"1.0\"?>\n<parameters>\n\t<parameter name=\"LOG\" />\n" +
                            entry("DESTINATION", "LOWW") + entry("DESTINATION", "EGLL") + "</parameters>\n");

  // After a parse error the saver keeps the entries read before it.
  writeFile(file(), "<parameters>\n\t<parameter name=\"MAX_LIVE\" value=\"9\"/>\n<broken");
  PORT_NUMBER.setValue("10800");
  gf_saveStringOption(PORT_NUMBER);
  PORT_NUMBER.setValue("");
  load();
  EXPECT_EQ(MAX_LIVE.value, 9);
  EXPECT_EQ(PORT_NUMBER.value(), "10800");

  g_parametersPath = gf_pathText(dir() / "missing" / "parameters.xml");
  gf_saveIntOption(MAX_LIVE);  // a failed save is only logged
  EXPECT_TRUE(logHas("saving xml did not work?"));
}

// The window's two coordinates go in one write: an entry changed in place, a missing one appended,
// each logged; without a file the file holds both.
TEST_F(ParametersTest, SeveralIntegersAreSavedInOneWrite) {
  MAIN_WINDOW_X.value = 150;
  MAIN_WINDOW_Y.value = 70;
  gf_saveIntOptions({&MAIN_WINDOW_X, &MAIN_WINDOW_Y});
  EXPECT_EQ(fileText(), "<?xml version=\"1.0\"?>\n<parameters>\n" + entry("MAIN_WINDOW_X", "150") +
                            entry("MAIN_WINDOW_Y", "70") + "</parameters>\n");
  writeParameters(entry("LOG", "false") + entry("MAIN_WINDOW_Y", "20"));
  MAIN_WINDOW_X.value = -30000;
  MAIN_WINDOW_Y.value = 30000;
  gf_saveIntOptions({&MAIN_WINDOW_X, &MAIN_WINDOW_Y});
  EXPECT_EQ(fileText(), "<?xml version=\"1.0\"?>\n<parameters>\n" + entry("LOG", "false") +
                            entry("MAIN_WINDOW_Y", "30000") + entry("MAIN_WINDOW_X", "-30000") + "</parameters>\n");
  EXPECT_TRUE(logHas("MAIN_WINDOW_X=-30000"));
  EXPECT_TRUE(logHas("MAIN_WINDOW_Y=30000"));
}

TEST_F(ParametersTest, ConcurrentSavesAndLoadsLoseNoEntry) {
  gf_loadOptions();
  constexpr int kThreads = 6, kRounds = 30;
  std::vector<std::unique_ptr<IntOption>> options;
  for (int t = 0; t < kThreads; ++t) options.push_back(std::make_unique<IntOption>(fmt::format("TEST_{}", t), 0, 0, 1000));
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      for (int r = 1; r <= kRounds; ++r) {
        options[t]->value = r;
        gf_saveIntOption(*options[t]);
      }
    });
  threads.emplace_back([] {
    for (int r = 0; r < 5; ++r) gf_loadOptions();
  });
  for (auto& th : threads) th.join();
  const auto doc = parse(fileText());
  for (auto& o : options) {
    EXPECT_TRUE(gf_readIntOption(*o, doc, false)) << o->key;
    EXPECT_EQ(o->value, kRounds) << o->key;
  }
  EXPECT_TRUE(doc.select_node(lf_findParameterNode("BLOCK_CALLSIGN").c_str()));
}

TEST_F(ParametersTest, LoadShowsValuesAfterReleasingTheFile) {
  writeParameters(entry("LOG", "false") + entry("MATCHING_DEPTH", "2") + entry("BLOCK_CALLSIGN", "ABC123"));
  RecordingUi ui;
  test::ScopedCurrentUi current(ui);
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
  EXPECT_EQ(ui.control(MATCHING_DEPTH.controlId).text + ui.control(BLOCK_CALLSIGN.controlId).text, "2ABC123");
  EXPECT_EQ(ui.control(DESTINATION.controlId).text, "");  // a plain-list string is not shown
}

TEST_F(ParametersTest, MetaBlockIsWrittenAndChecked) {
  clock::ManualClock clk(1796495598);  // 2026-12-05 18:33:18 UTC
  pugi::xml_document doc;
  ASSERT_TRUE(lf_writeMeta(doc));
  EXPECT_TRUE(gf_checkMeta(doc));
  EXPECT_EQ(META_AUTHOR.value() + "|" + META_VERSION.value() + "|" + META_DATE.value(),
            "Ambertrail_P3D|10.10.4|Dec 05, 2026");
  // No copyright and values not compared, but every other entry at the top.
  EXPECT_TRUE(gf_checkMeta(parse("<meta><info name='author' value='a'/><info name='date'/><info name='version'/></meta>")));
  EXPECT_FALSE(gf_checkMeta(parse("<meta><info name='author' value='a'/><info name='version'/></meta>")));
  EXPECT_FALSE(lf_writeMeta(doc.append_child(pugi::node_pcdata)));  // a node that takes no element
}

TEST_F(ParametersTest, XmlHelpers) {
  pugi::xml_document doc;
  pugi::xml_node element = doc.append_child("parameters");
  EXPECT_TRUE(gf_appendIntParameter(element, "B", -42) && gf_appendStringParameter(element, "C", "x<y"));
  EXPECT_TRUE(gf_appendIntAttribute(element, "n", -7));
  EXPECT_FALSE(gf_appendStringParameter(pugi::xml_node(), "D", "x"));
  EXPECT_TRUE(gf_saveXml(doc, dir() / "out.xml"));
  EXPECT_EQ(readFile(dir() / "out.xml"), "<?xml version=\"1.0\"?>\n<parameters n=\"-7\">\n"
                                         "\t<parameter name=\"B\" value=\"-42\" />\n"
                                         "\t<parameter name=\"C\" value=\"x&lt;y\" />\n</parameters>\n");
  const auto missing = dir() / "no" / "out.xml";
  EXPECT_FALSE(gf_saveXml(doc, missing));
  EXPECT_TRUE(logHas("could not save to \"" + gf_pathText(missing) + "\""));
  const char* paths[][2] = {{"    <Path>C:\\Add ons\\My AI </Path>", "C:\\Add ons\\My AI "},
                            {"<Path>a</Path><Path>b</Path>", "a"}, {"</Path>reversed<Path>", ""}};
  for (const auto& c : paths) EXPECT_EQ(gf_extractPath(c[0]), c[1]) << c[0];
}

}  // namespace
}  // namespace amb
