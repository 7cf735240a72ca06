#pragma once
// The queue of pending traffic records between the traffic reader, which appends one record per
// datagram, and the engine, which takes at most two per cycle (200 a second). A feed that sends more
// than that would otherwise fill it without end, and the records would wait longer and longer.
//
// So the queue is bounded:
// - up to kSupersedeFrom records (three seconds of the engine's work) it keeps every record in
//   arrival order;
// - beyond that, a record of an aircraft that has records queued takes the place of the oldest of
//   them, and the others go: under overload an aircraft's latest position matters most, and it keeps
//   its place in the line, so that every aircraft is still taken in turn;
// - a new aircraft is appended; beyond kCap records the oldest go, counted for the log.
// Per aircraft (hexid) the order of its records never changes.
//
// Not synchronised: the callers hold g_trafficQueueMutex. Pushing costs a hash look-up and a deque
// append (a supersede also walks the records it replaces), whatever the queue's length.

#include "records/aircraft.hpp"
#include "records/situation.hpp"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>
#include <unordered_map>

namespace amb {

struct TrafficRecord {
  AcIdentity identity;  // airline empty; model, origin, destination, callsign, registration
  Situation situation;
  double timestamp = 0;  // seconds since 1970 as sent, plus the feed clock's steps back
  std::uint32_t hexid = 0;
};

class TrafficQueue {
public:
  // Three seconds of the engine's work at two records per 10 ms cycle.
  static constexpr std::size_t kSupersedeFrom = 2 * 100 * 3;
  // Far above the aircraft any feed reports at once: reached only when more aircraft than this wait.
  static constexpr std::size_t kCap = 20'000;
  // The least time between two log lines of dropped records.
  static constexpr std::chrono::seconds kDropLogInterval{60};

  // Queues the record as the rules above say.
  void push_back(TrafficRecord&& record);

  bool empty() const { return m_live == 0; }
  // The records queued.
  std::size_t size() const { return m_live; }
  // The oldest and the newest record; the queue must not be empty.
  TrafficRecord& front() { return m_slots.front().record; }
  TrafficRecord& back() { return m_slots.back().record; }
  void pop_front();
  void pop_back();
  void clear();

  // Records replaced by a newer one of their aircraft, and records dropped at the cap, since the
  // start (or the last clear).
  std::uint64_t superseded() const { return m_superseded; }
  std::uint64_t dropped() const { return m_dropped; }
  // The records dropped since the last report, when there are some and the last report was at
  // least kDropLogInterval before `now` (or there was none): then they count as reported. Without
  // `now`, whenever the last report was.
  std::optional<std::uint64_t> takeDropReport(std::optional<std::chrono::steady_clock::time_point> now);
  // Storage in use, records that went included (for the benchmark and tests).
  std::size_t slots() const { return m_slots.size(); }
  // The records of one aircraft queued.
  std::size_t countOf(std::uint32_t hexid) const {
    const auto chain = m_chains.find(hexid);
    return chain == m_chains.end() ? 0 : chain->second.count;
  }

private:
  static constexpr std::uint64_t kNone = ~std::uint64_t{0};

  // One place in the line. A superseded record leaves its place empty until the line reaches it;
  // the first and the last place always hold a record.
  struct Slot {
    TrafficRecord record;
    std::uint64_t previous = kNone;  // the aircraft's record queued before this one, by number
    std::uint64_t next = kNone;      // and after it
    bool holds = true;
  };
  // The records of one aircraft, by number (a place's number is its position plus the number of
  // places that left the front).
  struct Chain {
    std::uint64_t first = kNone;
    std::uint64_t last = kNone;
    std::uint32_t count = 0;
  };

  Slot& at(std::uint64_t number) { return m_slots[static_cast<std::size_t>(number - m_frontNumber)]; }
  // Takes the record at the front or back out of its aircraft's chain.
  void unlinkFirst(std::uint32_t hexid);
  void unlinkLast(std::uint32_t hexid);
  void vacate(Slot& slot);
  void trimFront();
  void trimBack();

  std::deque<Slot> m_slots;
  std::unordered_map<std::uint32_t, Chain> m_chains;
  std::uint64_t m_frontNumber = 0;
  std::size_t m_live = 0;
  std::uint64_t m_superseded = 0;
  std::uint64_t m_dropped = 0;
  std::uint64_t m_droppedUnreported = 0;
  std::optional<std::chrono::steady_clock::time_point> m_lastDropReport;
};

}  // namespace amb
