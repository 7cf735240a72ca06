#pragma once
// Every airport the scenery reader finds ends here: linked to the maker's archived airport file by
// a one-line link file, or written as a generated airport file from the scenery's stands, or both
// when the scenery has more stands than the archived file. Files of the publisher "simaddon" go to
// the folder "my_ORBX", all others to "my_thirdparty".

#include "scan/bgl.hpp"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>

namespace amb {

// Set once an airport got a link file or a generated file in this process.
extern std::atomic<bool> g_airportsScanSuccessful;

// The archive path of an airport: "archive/simaddon/EGLL.xml" when the ident is archived for
// simaddon scenery (else a scan-log line and none); "archive/thirdparty/North%20Sky/EDDF.xml" when
// the publisher's archive list has the ident, with its park-position count into count (else a
// scan-log line and none).
std::optional<std::string> lf_simaddonArchivePath(const std::string& ident);
std::optional<std::string> lf_thirdpartyArchivePath(const std::string& publisher, const std::string& ident,
                                                    std::int32_t& count);

// The link and generate steps of the airports of one scenery file (one reader job).
class AirportFileMaker : public BglAirportHandler {
public:
  explicit AirportFileMaker(std::string bglPathText);
  // The link step, before the airport is decoded: publisher from the file name, link file when the
  // maker archives the airport.
  void airportFound(const std::string& ident) override;
  // The generate step: a generated file when not linked, or when the scenery has more stands than
  // the archived file of a publisher other than simaddon.
  void airportDecoded(BglAirport& airport) override;

private:
  std::string m_bglPath;
  std::string m_publisher;
  bool m_linked = false;
  std::int32_t m_archived = 0;
};

// Time spent holding the link step's lock since the last reset (for the scan's benchmarks).
std::chrono::nanoseconds gf_linkLockTime();

// Start values: no airport linked or generated, no lock time.
void gf_resetAirportFiles();

}  // namespace amb
