// The double's commands. A new scenario is a new entry in kCommands: a name, its arguments, one line
// of help and the function that changes the world or talks to the clients.

#include "tools/simdouble/core.hpp"

#include <fmt/format.h>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <ctime>
#include <iostream>

namespace amb::simdouble {

namespace {

using Core = SimDouble::Core;

struct Args {
  std::vector<std::string> words;  // words[0] is the command
  std::string line;
  std::vector<std::size_t> starts;  // where each word starts in line

  std::size_t size() const { return words.size() - 1; }
  const std::string& operator[](std::size_t i) const { return words[i + 1]; }
  // The text from argument i to the end of the line.
  std::string rest(std::size_t i) const { return i + 1 < starts.size() ? line.substr(starts[i + 1]) : std::string(); }
};

Args split(const std::string& line) {
  Args a;
  a.line = line;
  std::size_t i = 0;
  while (i < line.size()) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    if (i >= line.size()) break;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    a.words.push_back(line.substr(start, i - start));
    a.starts.push_back(start);
  }
  return a;
}

bool number(const std::string& s, double& out) {
  const char* b = s.c_str();
  char* e = nullptr;
  out = std::strtod(b, &e);
  return e != b && *e == '\0';
}

bool integer(const std::string& s, std::uint64_t& out) {
  int base = 10;
  std::size_t from = 0;
  if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
    base = 16;
    from = 2;
  }
  auto r = std::from_chars(s.data() + from, s.data() + s.size(), out, base);
  return r.ec == std::errc() && r.ptr == s.data() + s.size();
}

bool onOff(const std::string& s, bool& out) {
  if (s == "on" || s == "1" || s == "true") return out = true, true;
  if (s == "off" || s == "0" || s == "false") return out = false, true;
  return false;
}

using Fn = bool (*)(Core&, const Args&, std::string&);

struct Command {
  const char* name;
  std::size_t minArgs;
  const char* usage;
  const char* help;
  Fn fn;
};

bool needNumbers(const Args& a, std::size_t from, std::size_t count, double* out, std::string& err) {
  for (std::size_t i = 0; i < count; ++i) {
    if (from + i >= a.size()) return true;
    if (!number(a[from + i], out[i])) {
      err = fmt::format("not a number: {}", a[from + i]);
      return false;
    }
  }
  return true;
}

bool needInteger(const Args& a, std::size_t i, std::uint64_t& out, std::string& err) {
  if (!integer(a[i], out)) {
    err = fmt::format("not a whole number: {}", a[i]);
    return false;
  }
  return true;
}

void flushAndClose(Core& c) {
  for (auto& s : c.sessions) s->closeWhenWritten = true;
}

const Command kCommands[] = {
    {"help", 0, "", "lists the commands", [](Core&, const Args&, std::string&) {
       std::cout << commandHelp();
       return true;
     }},
    {"user", 2, "LAT LON [ALT_FT [HEADING_DEG]]", "puts the user aircraft there", [](Core& c, const Args& a, std::string& e) {
       double v[4] = {c.world.user.latitude, c.world.user.longitude, c.world.user.altitude, c.world.user.heading};
       if (!needNumbers(a, 0, 4, v, e)) return false;
       c.world.user.latitude = v[0];
       c.world.user.longitude = v[1];
       c.world.user.altitude = v[2];
       c.world.user.heading = v[3];
       return true;
     }},
    {"ground-alt", 1, "FT", "ground altitude under the user aircraft", [](Core& c, const Args& a, std::string& e) {
       return needNumbers(a, 0, 1, &c.world.user.groundAltitude, e);
     }},
    {"field", 3, "LAT LON ELEV_FT [RADIUS_NM]",
     "an airport's field: AI objects within RADIUS_NM (default 3) stand on its elevation, on the nearest one's "
     "where fields meet; elsewhere on the user's ground altitude",
     [](Core& c, const Args& a, std::string& e) {
       double v[4] = {0, 0, 0, 3};
       if (!needNumbers(a, 0, 4, v, e)) return false;
       if (!(std::fabs(v[0]) <= 90) || !(std::fabs(v[1]) <= 180) || !std::isfinite(v[2]) || !(v[3] > 0)) {
         e = "field takes a latitude, a longitude, an elevation and a radius above 0";
         return false;
       }
       // Objects stand on it from their creation or their next move there.
       c.world.fields.push_back({v[0], v[1], v[2], v[3]});
       return true;
     }},
    {"onground", 1, "0|1", "whether the user aircraft is on the ground", [](Core& c, const Args& a, std::string& e) {
       if (onOff(a[0], c.world.user.onGround)) return true;
       e = "onground takes 0 or 1";
       return false;
     }},
    {"speed", 1, "KT", "ground speed of the user aircraft", [](Core& c, const Args& a, std::string& e) {
       return needNumbers(a, 0, 1, &c.world.user.groundSpeed, e);
     }},
    {"attitude", 2, "PITCH_DEG BANK_DEG", "pitch and bank of the user aircraft", [](Core& c, const Args& a, std::string& e) {
       double v[2] = {c.world.user.pitch, c.world.user.bank};
       if (!needNumbers(a, 0, 2, v, e)) return false;
       c.world.user.pitch = v[0];
       c.world.user.bank = v[1];
       return true;
     }},
    {"title", 0, "TEXT", "title of the user aircraft (may be empty)", [](Core& c, const Args& a, std::string&) {
       c.world.user.title = a.rest(0);
       return true;
     }},
    {"model", 0, "TEXT", "ATC model of the user aircraft (may be empty)", [](Core& c, const Args& a, std::string&) {
       c.world.user.model = a.rest(0);
       return true;
     }},
    {"user-id", 1, "N", "object id of the user aircraft", [](Core& c, const Args& a, std::string& e) {
       std::uint64_t v;
       if (!needInteger(a, 0, v, e)) return false;
       c.world.user.id = static_cast<std::uint32_t>(v);
       return true;
     }},
    {"lights", 1, "MASK", "light states of the user aircraft", [](Core& c, const Args& a, std::string& e) {
       std::uint64_t v;
       if (!needInteger(a, 0, v, e)) return false;
       c.world.user.lightStates = static_cast<std::int64_t>(v);
       return true;
     }},
    {"zulu", 1, "UNIX_SECONDS|now", "the simulator's date and time", [](Core& c, const Args& a, std::string& e) {
       if (a[0] == "now") {
         c.world.zuluUnixSeconds.reset();
         return true;
       }
       std::uint64_t v;
       if (!needInteger(a, 0, v, e)) return false;
       c.world.zuluUnixSeconds = static_cast<long long>(v);
       return true;
     }},
    {"framerate", 1, "HZ", "frame events per second (0: none)", [](Core& c, const Args& a, std::string& e) {
       double v;
       if (!needNumbers(a, 0, 1, &v, e)) return false;
       if (v < 0 || v > 1000) {
         e = "framerate must lie in 0..1000";
         return false;
       }
       c.scenario.frameRate = v;
       c.nextFrame = Clock::now();
       return true;
     }},
    {"frame", 0, "[N]", "sends N frame events now (default 1)", [](Core& c, const Args& a, std::string& e) {
       std::uint64_t n = 1;
       if (a.size() > 0 && !needInteger(a, 0, n, e)) return false;
       for (std::uint64_t i = 0; i < n; ++i) {
         c.sendFrames(1);
         c.sendPeriodic(Clock::now(), true);
       }
       return true;
     }},
    {"sim-name", 0, "TEXT", "the simulator's name in the open reply", [](Core& c, const Args& a, std::string&) {
       c.scenario.simName = a.rest(0);
       return true;
     }},
    {"sim-version", 4, "MAJOR MINOR BUILD_MAJOR BUILD_MINOR", "the simulator's version in the open reply",
     [](Core& c, const Args& a, std::string& e) {
       for (std::size_t i = 0; i < 4; ++i) {
         std::uint64_t v;
         if (!needInteger(a, i, v, e)) return false;
         c.scenario.appVersion[i] = static_cast<std::uint32_t>(v);
       }
       return true;
     }},
    {"pause", 0, "", "\"Sim\" 0; no frames and no periodic data", [](Core& c, const Args&, std::string&) {
       if (c.scenario.running) {
         c.scenario.running = false;
         c.sendSystemEvent("Sim", 0);
       }
       return true;
     }},
    {"resume", 0, "", "\"Sim\" 1; frames and periodic data again", [](Core& c, const Args&, std::string&) {
       if (!c.scenario.running) {
         c.scenario.running = true;
         c.nextFrame = Clock::now();
         c.sendSystemEvent("Sim", 1);
       }
       return true;
     }},
    {"quit", 0, "", "the simulator closes: quit message, connections closed, the double ends",
     [](Core& c, const Args&, std::string&) {
       for (auto& s : c.sessions)
         if (!s->dead) s->send(msgQuit(s->version));
       flushAndClose(c);
       c.stopLoop = true;
       return true;
     }},
    {"drop", 0, "", "closes every connection without a quit message; goes on listening",
     [](Core& c, const Args&, std::string&) {
       for (auto& s : c.sessions) c.closeSession(*s);
       return true;
     }},
    {"exit", 0, "", "ends the double without telling the clients", [](Core& c, const Args&, std::string&) {
       c.stopLoop = true;
       return true;
     }},
    {"refuse-create", 1, "on|off|next N", "creations fail with exception 22", [](Core& c, const Args& a, std::string& e) {
       if (a[0] == "next") {
         std::uint64_t n = 1;
         if (a.size() > 1 && !needInteger(a, 1, n, e)) return false;
         c.scenario.refuseNextCreates = static_cast<unsigned>(n);
         return true;
       }
       if (onOff(a[0], c.scenario.refuseCreate)) return true;
       e = "refuse-create takes on, off or next N";
       return false;
     }},
    {"refuse-flightplan", 1, "on|off", "flight plans fail with exception 23", [](Core& c, const Args& a, std::string& e) {
       if (onOff(a[0], c.scenario.refuseFlightPlan)) return true;
       e = "refuse-flightplan takes on or off";
       return false;
     }},
    {"open-exception", 1, "N [INDEX]|off", "answers the open with exception N (5: version mismatch)",
     [](Core& c, const Args& a, std::string& e) {
       if (a[0] == "off") {
         c.scenario.openException = false;
         return true;
       }
       std::uint64_t n, index = 0;
       if (!needInteger(a, 0, n, e)) return false;
       if (a.size() > 1 && !needInteger(a, 1, index, e)) return false;
       c.scenario.openException = true;
       c.scenario.openExceptionNumber = static_cast<std::uint32_t>(n);
       c.scenario.openExceptionIndex = static_cast<std::uint32_t>(index);
       return true;
     }},
    {"exception", 1, "N [SENDID [INDEX]]", "sends exception N (default: the last send id received)",
     [](Core& c, const Args& a, std::string& e) {
       std::uint64_t n, sendId = 0, index = 0;
       if (!needInteger(a, 0, n, e)) return false;
       const bool haveSendId = a.size() > 1;
       if (haveSendId && !needInteger(a, 1, sendId, e)) return false;
       if (a.size() > 2 && !needInteger(a, 2, index, e)) return false;
       for (auto& s : c.sessions)
         if (!s->dead)
           s->send(msgException(s->version, static_cast<std::uint32_t>(n),
                                haveSendId ? static_cast<std::uint32_t>(sendId) : s->lastSendId,
                                static_cast<std::uint32_t>(index)));
       return true;
     }},
    {"event", 1, "NAME [DATA]", "sends the system event NAME to its subscribers", [](Core& c, const Args& a, std::string& e) {
       std::uint64_t data = 0;
       if (a.size() > 1 && !needInteger(a, 1, data, e)) return false;
       c.sendSystemEvent(a[0], static_cast<std::uint32_t>(data));
       return true;
     }},
    {"filename-event", 2, "NAME FILE", "sends an event with a file name to the subscribers of NAME",
     [](Core& c, const Args& a, std::string&) {
       for (auto& s : c.sessions) {
         std::uint32_t id;
         if (!s->dead && s->subscribed(a[0], id)) s->send(msgFilename(s->version, id, a.rest(1), 0));
       }
       return true;
     }},
    {"add-aircraft", 4, "ATCID LAT LON ALT_FT [ONGROUND [TITLE]]", "an aircraft the client did not create",
     [](Core& c, const Args& a, std::string& e) {
       double v[3];
       if (!needNumbers(a, 1, 3, v, e)) return false;
       Aircraft ac;
       ac.atcId = a[0];
       ac.latitude = v[0];
       ac.longitude = v[1];
       ac.altitude = v[2];
       ac.groundAltitude = c.world.groundAt(ac.latitude, ac.longitude);
       if (a.size() > 4 && !onOff(a[4], ac.onGround)) {
         e = "ONGROUND takes 0 or 1";
         return false;
       }
       if (ac.onGround) ac.groundAltitude = ac.altitude;
       ac.title = a.size() > 5 ? a.rest(5) : std::string("Other Aircraft");
       ac.id = c.world.allocateId();
       c.world.objects[ac.id] = ac;
       c.trace.write(ac, "added", ac.title + "|" + ac.atcId);
       c.sendObjectAddRemove("ObjectAdded", ac.id);
       return true;
     }},
    {"remove", 1, "ID", "the simulator removes an object", [](Core& c, const Args& a, std::string& e) {
       std::uint64_t id;
       if (!needInteger(a, 0, id, e)) return false;
       if (c.world.objects.count(static_cast<std::uint32_t>(id)) == 0) {
         e = fmt::format("no object {}", id);
         return false;
       }
       c.removeObject(static_cast<std::uint32_t>(id), "removed-by-sim");
       return true;
     }},
    {"max-objects", 1, "N", "creations beyond N fail with exception 11", [](Core& c, const Args& a, std::string& e) {
       std::uint64_t n;
       if (!needInteger(a, 0, n, e)) return false;
       c.scenario.maxObjects = static_cast<std::size_t>(n);
       return true;
     }},
    {"assigned-id", 1, "on|off", "whether a creation is answered with message 12", [](Core& c, const Args& a, std::string& e) {
       if (onOff(a[0], c.scenario.assignedIdMessage)) return true;
       e = "assigned-id takes on or off";
       return false;
     }},
    {"raw", 1, "HEX", "sends these bytes as they are to every client", [](Core& c, const Args& a, std::string& e) {
       Bytes b;
       if (!fromHex(a.rest(0), b)) {
         e = "raw takes hex digits";
         return false;
       }
       for (auto& s : c.sessions)
         if (!s->dead) s->send(b);
       return true;
     }},
    {"map", 1, "FILE [REPORTED_CSV]", "writes an SVG map of the trace so far", [](Core& c, const Args& a, std::string& e) {
       return c.writeMap(a[0], a.size() > 1 ? std::filesystem::path(a[1]) : std::filesystem::path(), e);
     }},
    {"at", 2, "MS COMMAND...", "runs the command MS milliseconds from now", [](Core& c, const Args& a, std::string& e) {
       std::uint64_t ms;
       if (!needInteger(a, 0, ms, e)) return false;
       c.scheduled.emplace_back(Clock::now() + std::chrono::milliseconds(ms), a.rest(1));
       return true;
     }},
};

}  // namespace

std::string commandHelp() {
  std::string out;
  for (const auto& c : kCommands) out += fmt::format("  {} {}\n      {}\n", c.name, c.usage, c.help);
  return out;
}

bool SimDouble::Core::runCommand(const std::string& line, std::string& error) {
  const Args a = split(line);
  if (a.words.empty() || a.words[0][0] == '#') return true;
  for (const auto& c : kCommands) {
    if (a.words[0] != c.name) continue;
    if (a.size() < c.minArgs) {
      error = fmt::format("usage: {} {}", c.name, c.usage);
      return false;
    }
    return c.fn(*this, a, error);
  }
  error = fmt::format("unknown command \"{}\" (try help)", a.words[0]);
  return false;
}

void SimDouble::Core::runAndReport(const std::string& line) {
  std::string error;
  if (!runCommand(line, error)) std::cerr << "amb_simdouble: " << line << ": " << error << std::endl;
  ++commandsDone;
}

}  // namespace amb::simdouble
