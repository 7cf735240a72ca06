#include "feed/qnh.hpp"

#include "core/log.hpp"
#include "feed/readers.hpp"
#include "feed/status.hpp"

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include <cmath>
#include <limits>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

namespace amb {

std::atomic<std::int32_t> g_engineQnh{1013};

namespace {

using nlohmann::json;

// Above this a value is inches of mercury times 100.
constexpr std::int64_t kMaxHectopascals = 1080;
constexpr std::int64_t kMinHectopascals = 930;

// The value of "QNH" as a whole number; none when the member is missing or of no usable kind. A
// number too large for an int comes back as the int64 limit, which the range check rejects.
std::optional<std::int64_t> qnhValue(const json& v) {
  constexpr auto kLimit = std::numeric_limits<std::int64_t>::max();
  switch (v.type()) {
    case json::value_t::number_integer:
      return v.get<std::int64_t>();
    case json::value_t::number_unsigned: {
      const auto u = v.get<std::uint64_t>();
      return u > static_cast<std::uint64_t>(kLimit) ? kLimit : static_cast<std::int64_t>(u);
    }
    case json::value_t::number_float: {
      // Halves away from zero.
      const double d = std::round(v.get<double>());
      return std::fabs(d) < 9.0e18 ? static_cast<std::int64_t>(d) : kLimit;
    }
    case json::value_t::string:
      // Like the standard string-to-int conversion: blanks skipped, trailing text ignored; throws
      // std::invalid_argument or std::out_of_range.
      return std::stoi(v.get_ref<const std::string&>());
    default:
      return std::nullopt;
  }
}

}  // namespace

void lf_handleQnhMessage(WeatherReader& reader) {
  const std::string_view text(reader.message ? reader.message : "", static_cast<std::size_t>(reader.messageLength));
  try {
    const json message = json::parse(text);
    if (!message.is_object()) throw std::runtime_error(fmt::format("the message is a JSON {}, not an object", message.type_name()));
    const auto member = message.find("QNH");
    std::optional<std::int64_t> value;
    if (member != message.end()) {
      try {
        value = qnhValue(*member);
      } catch (const std::invalid_argument& e) {
        gf_logPeerf(LogStyle::Marked, "QNH string invalid arg: {}", e.what());
        return;
      } catch (const std::out_of_range& e) {
        gf_logPeerf(LogStyle::Marked, "QNH string out of range: {}", e.what());
        return;
      }
    }
    if (!value) {
      gf_logPeerf("no QNH {}", text);
      return;
    }
    std::int64_t qnh = *value;
    if (qnh > kMaxHectopascals) qnh = std::llround(static_cast<double>(qnh) * 0.33865307);
    if (qnh < kMinHectopascals || qnh > kMaxHectopascals) {
      gf_logPeerf("? Strange QNH {} found in {}", qnh, text);
      return;
    }
    const auto hpa = static_cast<std::int32_t>(qnh);
    // 1013 is stored every time: it is also the value of "nothing known yet".
    if (hpa == reader.lastQnh.load() && hpa != 1013) return;
    reader.lastQnh = hpa;
    g_engineQnh.exchange(hpa);
    g_shownQnh = hpa;
    ReaderStatus noData = ReaderStatus::NoData;
    g_qnhReaderStatus.compare_exchange_strong(noData, ReaderStatus::Receiving);
    gf_repaintWindow();
  } catch (const std::exception& e) {
    gf_logPeerf("Exception {}, in {}", e.what(), text);
  }
}

void gf_resetQnh() { g_engineQnh = 1013; }

}  // namespace amb
