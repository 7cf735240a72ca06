// QNH messages in all the forms RealTraffic sends them, and what a bad one leaves behind.

#include "feed_fixture.hpp"
#include "trafficdouble/traffic_double.hpp"

namespace amb {
namespace {

class Qnh : public test::FeedTest {
protected:
  // Hands one datagram to the weather reader's handler; returns the log lines it wrote.
  std::vector<std::string> receive(const std::string& datagram) {
    std::copy(datagram.begin(), datagram.end(), g_weatherReader.buffer.begin());
    g_weatherReader.buffer[datagram.size()] = 0;
    g_weatherReader.message = g_weatherReader.buffer.data();
    g_weatherReader.messageLength = datagram.size();
    const std::size_t before = logLines().size();
    g_weatherReader.handleMessage();
    auto lines = logLines();
    return {lines.begin() + static_cast<std::ptrdiff_t>(before), lines.end()};
  }

  static void resetQnh() {
    g_weatherReader.lastQnh = 1013;
    g_engineQnh = 1013;
    g_shownQnh = 0;
  }
};

TEST_F(Qnh, AcceptedFormsAndTheirHectopascals) {
  struct Case { std::string message; int hpa; };
  const std::vector<Case> cases{
      {R"({"QNH": 2996})", 1015},  // hundredths of inches of mercury
      {tools::TrafficDouble::readWeatherMessages(test::testData("traffic/KJFK_20190305_2028Z_weather.json")).at(0), 1015},
      {R"({"ICAO": "KTOA","QNH": "1006"})", 1006},  // a string in hectopascals
      {R"({"QNH": " 1012 hPa"})", 1012},             // blanks skipped, trailing text ignored
      {R"({"QNH": 1019.7})", 1020},
      {R"({"QNH": 1013.5})", 1014},  // halves away from zero
      {R"({"QNH": 1080})", 1080},
      {R"({"QNH": 930})", 930},
      {R"({"QNH": 3189})", 1080},  // the top of the range in inches
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    resetQnh();
    EXPECT_TRUE(receive(c.message).empty());
    EXPECT_TRUE(g_shownQnh.load() == c.hpa && g_engineQnh.load() == c.hpa && g_weatherReader.lastQnh.load() == c.hpa)
        << g_shownQnh.load();
  }
}

TEST_F(Qnh, RejectedMessagesAreLoggedAndChangeNothing) {
  struct Case {
    std::string message;
    std::string logLine;  // exact, or the start when it ends with "*"
  };
  const std::vector<Case> cases{
      {R"({"QNH": 929})", R"(? Strange QNH 929 found in {"QNH": 929})"},
      {R"({"QNH": 1081})", R"(? Strange QNH 366 found in {"QNH": 1081})"},
      // Beyond 32 bits: not wrapped into a plausible value.
      {R"({"QNH": 4294968309})", "? Strange QNH 1454504203 found in *"},
      {R"({"QNH": 1e300})", "? Strange QNH *"},
      {R"({"ICAO": "KJFK"})", R"(no QNH {"ICAO": "KJFK"})"},
      {R"({"QNH": null})", R"(no QNH {"QNH": null})"},
      {R"({"QNH": {"hpa": 1013}})", R"(no QNH {"QNH": {"hpa": 1013}})"},
      {R"({"QNH": "abc"})", "===> QNH string invalid arg: stoi"},
      {R"({"QNH": "99999999999"})", "===> QNH string out of range: stoi"},
      {R"({"QNH": 1013)", "Exception [json.exception.parse_error.101] *"},
      {"\x01\xff\xfe garbage", "Exception *"},
      {R"([1013])", "Exception *, in [1013]"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.message);
    resetQnh();
    g_weatherReader.lastQnh = 1007;
    g_engineQnh = 1007;
    g_shownQnh = 1007;
    const auto lines = receive(c.message);
    ASSERT_EQ(lines.size(), 1u);
    const std::string& want = c.logLine;
    const std::size_t star = want.find('*');
    if (star == std::string::npos) {
      EXPECT_EQ(lines[0], want);
    } else {
      EXPECT_EQ(lines[0].substr(0, star), want.substr(0, star));
      const std::string tail = want.substr(star + 1);
      EXPECT_EQ(lines[0].substr(lines[0].size() - std::min(tail.size(), lines[0].size())), tail);
    }
    EXPECT_TRUE(g_shownQnh.load() == 1007 && g_engineQnh.load() == 1007 && g_weatherReader.lastQnh.load() == 1007);
  }
}

TEST_F(Qnh, UnchangedValueIsSkippedExcept1013AndStatusComesBack) {
  g_qnhReaderStatus = ReaderStatus::NoData;
  receive(R"({"QNH": 1015})");
  EXPECT_EQ(g_qnhReaderStatus.load(), ReaderStatus::Receiving);

  // The same value again is ignored: the status set by the watchdog stays.
  g_qnhReaderStatus = ReaderStatus::NoData;
  receive(R"({"QNH": "1015"})");
  EXPECT_EQ(g_qnhReaderStatus.load(), ReaderStatus::NoData);

  // 1013 is stored every time.
  receive(R"({"QNH": 1013})");
  g_qnhReaderStatus = ReaderStatus::NoData;
  g_shownQnh = 0;
  receive(R"({"QNH": 1013})");
  EXPECT_EQ(g_qnhReaderStatus.load(), ReaderStatus::Receiving);
  EXPECT_EQ(g_shownQnh.load(), 1013);

  // A stopped reader stays stopped.
  g_qnhReaderStatus = ReaderStatus::Stopped;
  receive(R"({"QNH": 1020})");
  EXPECT_EQ(g_qnhReaderStatus.load(), ReaderStatus::Stopped);
  EXPECT_EQ(g_shownQnh.load(), 1020);
}

}  // namespace
}  // namespace amb
