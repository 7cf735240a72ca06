// trafficdouble: stands in for RealTraffic in tests and the demonstration run.
//
//   trafficdouble [--port N] [--host A] [--professional] [--version TEXT] [--record FILE]
//                 [--stop-reading SECONDS] [--receive-buffer BYTES]
//                 [--no-link] [--traffic FILE] [--traffic-port N] [--speed X] [--loop]
//                 [--generate AIRCRAFT] [--centre LAT,LON]
//                 [--weather FILE] [--weather-port N] [--weather-interval SECONDS] [--no-weather]
//                 [--duration SECONDS]
//
// Runs until SIGINT or SIGTERM (or the duration), then prints what it did.

#include "trafficdouble/traffic_double.hpp"

#include <fmt/format.h>

#include <csignal>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <string>
#include <string_view>

namespace {

void usage() {
  fmt::print(stderr,
             "usage: trafficdouble [--port N] [--host A] [--professional] [--version TEXT] [--record FILE]\n"
             "                     [--stop-reading SECONDS] [--receive-buffer BYTES]\n"
             "                     [--no-link] [--traffic FILE] [--traffic-port N] [--speed X] [--loop]\n"
             "                     [--generate AIRCRAFT] [--centre LAT,LON]\n"
             "                     [--weather FILE] [--weather-port N] [--weather-interval SECONDS]\n"
             "                     [--no-weather] [--duration SECONDS]\n");
}

std::uint16_t portValue(const std::string& text) {
  const long v = std::stol(text);
  if (v < 0 || v > 65535) throw std::out_of_range("port");
  return static_cast<std::uint16_t>(v);
}

}  // namespace

int main(int argc, char** argv) {
  amb::tools::TrafficDoubleOptions options;
  double duration = 0;
  try {
    for (int i = 1; i < argc; ++i) {
      const std::string_view arg = argv[i];
      const auto value = [&]() -> std::string {
        if (i + 1 >= argc) throw std::invalid_argument(std::string(arg) + " needs a value");
        return argv[++i];
      };
      if (arg == "--port") options.linkPort = portValue(value());
      else if (arg == "--host") options.host = value();
      else if (arg == "--professional") options.professional = true;
      else if (arg == "--version") options.version = value();
      else if (arg == "--record") options.recordFile = value();
      else if (arg == "--stop-reading") {
        // After its version reply the link reads nothing for the time (0: until the double ends).
        options.stopReading = true;
        options.readAgainAfter = std::chrono::milliseconds(static_cast<long long>(std::stod(value()) * 1000));
      }
      else if (arg == "--receive-buffer") options.receiveBuffer = std::stoi(value());
      else if (arg == "--no-link") options.link = false;
      else if (arg == "--traffic") options.trafficFile = value();
      else if (arg == "--traffic-port") options.trafficPort = portValue(value());
      else if (arg == "--speed") options.speed = std::stod(value());
      else if (arg == "--loop") options.loop = true;
      else if (arg == "--generate") options.generatedAircraft = static_cast<std::uint32_t>(std::stoul(value()));
      else if (arg == "--centre") {
        const std::string v = value();
        const auto comma = v.find(',');
        if (comma == std::string::npos) throw std::invalid_argument("--centre needs LAT,LON");
        options.centreLatitude = std::stod(v.substr(0, comma));
        options.centreLongitude = std::stod(v.substr(comma + 1));
      }
      else if (arg == "--weather") options.weatherMessages = amb::tools::TrafficDouble::readWeatherMessages(value());
      else if (arg == "--weather-port") options.weatherPort = portValue(value());
      else if (arg == "--weather-interval")
        options.weatherInterval = std::chrono::milliseconds(static_cast<long long>(std::stod(value()) * 1000));
      else if (arg == "--no-weather") options.weather = false;
      else if (arg == "--duration") duration = std::stod(value());
      else if (arg == "--help" || arg == "-h") {
        usage();
        return 0;
      } else {
        throw std::invalid_argument(fmt::format("unknown argument {}", arg));
      }
    }
  } catch (const std::exception& e) {
    fmt::print(stderr, "trafficdouble: {}\n", e.what());
    usage();
    return 2;
  }

  // The signals are taken by sigwait below, not by a handler in whichever thread they hit.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  amb::tools::TrafficDouble traffic(options);
  try {
    traffic.start();
  } catch (const std::exception& e) {
    fmt::print(stderr, "trafficdouble: {}\n", e.what());
    return 1;
  }
  fmt::print("trafficdouble: running (link port {}, traffic port {}, weather port {})\n", options.linkPort,
             options.trafficPort, options.weatherPort);
  std::fflush(stdout);

  if (duration > 0) {
    timespec limit{};
    limit.tv_sec = static_cast<time_t>(duration);
    limit.tv_nsec = static_cast<long>((duration - static_cast<double>(limit.tv_sec)) * 1e9);
    sigtimedwait(&signals, nullptr, &limit);
  } else {
    int sig = 0;
    sigwait(&signals, &sig);
  }
  traffic.stop();
  fmt::print("trafficdouble: {} connection(s), {} command(s), {} traffic line(s), {} weather message(s)\n",
             traffic.connections(), traffic.commands().size(), traffic.linesSent(), traffic.weatherSent());
  return 0;
}
