#include "airports/stand.hpp"

#include "core/log.hpp"
#include "refdata/services.hpp"

#include <algorithm>
#include <charconv>
#include <stdexcept>

namespace amb {

namespace {

std::string lf_withoutTrailingUnderscore(const std::string& callsign) {
  std::string cs = callsign;
  if (!cs.empty() && cs.back() == '_') cs.pop_back();
  return cs;
}

ParkPosOption* lf_optionById(std::vector<ParkPosOption>& options, std::uint32_t id) {
  if (id == 0) return nullptr;
  for (ParkPosOption& o : options)
    if (o.id == id) return &o;
  return nullptr;
}

}  // namespace

bool gf_airlineModelOfRegistration(const std::string& registration, std::string& airline, std::string& model) {
  if (registration.empty()) return false;
  for (const std::string& form : gf_registrationVariants(registration)) {
    std::optional<RegcodeInfo> info;
    if (!gf_lookupRegcode(info, form)) continue;
    airline = info->operatorCode.empty() ? info->airline : info->operatorCode;
    model = info->type;
    return true;
  }
  return false;
}

std::uint32_t gf_addParkPosOption(std::vector<ParkPosOption>& options, const AirlineModel& aircraft,
                                  std::uint32_t kind, WeekSlot slot, const std::string& callsign,
                                  const std::string& registration) {
  const std::string cs = lf_withoutTrailingUnderscore(callsign);
  if (slot.halfHour >= 48) throw std::out_of_range(kInvalidBitsetPosition);
  const std::uint64_t bit = std::uint64_t{1} << slot.halfHour;
  const std::uint32_t id = options.empty() ? 1 : options.back().id + 1;
  std::string airline = aircraft.airline;
  std::string model = aircraft.model;
  gf_airlineModelOfRegistration(registration, airline, model);
  for (const ParkPosOption& o : options)
    if (o.reg == registration && o.day == slot.weekday && o.halfHours == bit && o.cs1 == cs) return 0;
  options.push_back({std::move(airline), std::move(model), registration, cs, {}, bit, id, slot.weekday, 0, kind});
  return id;
}

void gf_addOptionCallsign(std::vector<ParkPosOption>& options, std::uint32_t optionId, const std::string& callsign) {
  const std::string cs = lf_withoutTrailingUnderscore(callsign);
  if (cs.empty()) return;
  ParkPosOption* o = lf_optionById(options, optionId);
  if (o == nullptr) return;
  if (o->cs1.empty())
    o->cs1 = cs;
  else if (cs != o->cs1 && cs != o->cs2)
    o->cs2 = cs;
}

void updateOption(ParkPosOption& option, int bit) {
  if (bit < 0 || bit > 47) {
    gf_logMarked(fmt::format("{} \"{}\" \"{}\" bit:{} exception:{}", "updateOption", option.cs1, option.cs2, bit,
                             kInvalidBitsetPosition));
    return;
  }
  option.halfHours |= std::uint64_t{1} << bit;
}

std::back_insert_iterator<std::vector<WeekSlot>> lf_lastHalfHours(std::vector<WeekSlot>& out, int n, WeekSlot start) {
  auto inserter = std::back_inserter(out);
  WeekSlot s = start;
  for (int i = 0; i < n; ++i) {
    *inserter++ = s;
    if (s.halfHour > 0) {
      --s.halfHour;
    } else {
      s.halfHour = 47;
      s.weekday = s.weekday <= 1 ? 7 : s.weekday - 1;
    }
  }
  return inserter;
}

void gf_extendOption(std::vector<ParkPosOption>& options, WeekSlot now, const std::string& callsign, int n,
                     std::uint32_t optionId) {
  std::vector<WeekSlot> slots;
  slots.reserve(48);
  lf_lastHalfHours(slots, n, now);
  for (auto it = slots.rbegin(); it != slots.rend(); ++it) {
    ParkPosOption* o = lf_optionById(options, optionId);
    if (o == nullptr) break;
    updateOption(*o, static_cast<int>(it->halfHour));
  }
  gf_addOptionCallsign(options, optionId, callsign);
}

void gf_extendOptionOverMidnight(std::vector<ParkPosOption>& options, WeekSlot now, const std::string& callsign,
                                 int n, std::uint32_t oldId, std::uint32_t newId) {
  std::vector<WeekSlot> slots;
  slots.reserve(48);
  lf_lastHalfHours(slots, n, now);
  bool pastMidnight = false;
  // The newest slot (now) already has its bit in the new option.
  for (std::size_t i = slots.size(); i-- > 1;) {
    ParkPosOption* o = lf_optionById(options, pastMidnight ? newId : oldId);
    if (o == nullptr) break;
    updateOption(*o, static_cast<int>(slots[i].halfHour));
    if (slots[i].halfHour == 47) pastMidnight = true;
  }
  gf_addOptionCallsign(options, oldId, callsign);
  gf_addOptionCallsign(options, newId, callsign);
}

bool testRange(const ParkPosOption& option, int start, int offset, std::uint32_t& out) {
  out = 0xFFFFFFFFu;
  if (start > 47) {
    gf_logf("{}exception {} in testRange, start: {}, offset: {}", "===> ", kInvalidBitsetPosition, start, offset);
    return false;
  }
  const int low = std::max(start - offset, 0);
  for (int b = start; b >= low; --b)
    if (b >= 0 && ((option.halfHours >> b) & 1u) != 0) return true;
  if (start - offset < 0) out = static_cast<std::uint32_t>(std::min(offset - start, 46));
  return false;
}

bool gf_isRealOptionOf(const std::string& callsign, const AirlineModel& aircraft, const ParkPosOption& option) {
  if (option.id == 0 || option.kind != 1) return false;
  if (callsign == option.cs1 || callsign == option.cs2) return true;
  return option.airl == aircraft.airline && option.type == aircraft.model;
}

std::uint32_t gf_weekHalfHourDiff(WeekSlot a, WeekSlot b) {
  const bool firstLater = (a.weekday == 1 && b.weekday == 7) ||
                          (!(a.weekday == 7 && b.weekday == 1) &&
                           (a.weekday > b.weekday || (a.weekday == b.weekday && a.halfHour >= b.halfHour)));
  const WeekSlot& later = firstLater ? a : b;
  const WeekSlot& earlier = firstLater ? b : a;
  std::int64_t d = (static_cast<std::int64_t>(later.weekday) - earlier.weekday) * 48 +
                   static_cast<std::int64_t>(later.halfHour) - earlier.halfHour;
  if (later.weekday == 1 && earlier.weekday == 7) d += 336;
  return static_cast<std::uint32_t>(d);
}

HourFaults::~HourFaults() {
  if (m_count <= kLoggedHourFaults) return;
  try {
    const auto left = static_cast<std::int64_t>(m_count - kLoggedHourFaults);
    if (m_file.empty())
      gf_logf("{} {} more invalid hour{} not logged", "gf_hours2bitset", left, gf_pluralS(left));
    else
      gf_logf("{} {} more invalid hour{} in {} not logged", "gf_hours2bitset", left, gf_pluralS(left), m_file);
  } catch (...) {
  }
}

void HourFaults::add(std::string_view piece, std::string_view text) {
  if (++m_count > kLoggedHourFaults) return;
  gf_logf("{} invalid hour \"{}\" in {}", "gf_hours2bitset", gf_peerText(piece), gf_peerText(text));
}

std::uint64_t gf_hours2bitset(const std::string& text, HourFaults& faults) {
  std::uint64_t bits = 0;
  if (text.empty()) return bits;
  const std::string_view all(text);
  std::size_t from = 0;
  while (true) {
    const std::size_t comma = all.find(',', from);
    const std::string_view piece = all.substr(from, comma == std::string_view::npos ? std::string_view::npos : comma - from);
    int value = -1;
    const auto [end, ec] = std::from_chars(piece.data(), piece.data() + piece.size(), value);
    (void)end;
    if (ec == std::errc() && value >= 0 && value <= 47)
      bits |= std::uint64_t{1} << value;
    else
      faults.add(piece, all);
    if (comma == std::string_view::npos) break;
    from = comma + 1;
  }
  return bits;
}

std::uint64_t gf_hours2bitset(const std::string& text) {
  HourFaults faults;
  return gf_hours2bitset(text, faults);
}

std::string gf_bitset2hours(std::uint64_t bits) {
  std::string out;
  for (int i = 0; i < 48; ++i) {
    if (((bits >> i) & 1u) == 0) continue;
    if (!out.empty()) out += ',';
    out += std::to_string(i);
  }
  return out;
}

}  // namespace amb
