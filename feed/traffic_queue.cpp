#include "feed/traffic_queue.hpp"

#include <utility>

namespace amb {

void TrafficQueue::push_back(TrafficRecord&& record) {
  const std::uint32_t hexid = record.hexid;
  const auto chain = m_chains.find(hexid);
  if (chain != m_chains.end() && m_live >= kSupersedeFrom) {
    Chain& c = chain->second;
    // The later records of the aircraft go; the new one takes the place of its oldest.
    for (std::uint64_t n = at(c.first).next; n != kNone;) {
      Slot& slot = at(n);
      n = slot.next;
      vacate(slot);
    }
    Slot& oldest = at(c.first);
    oldest.record = std::move(record);
    oldest.next = kNone;
    m_superseded += c.count;
    m_live -= c.count - 1;
    c.last = c.first;
    c.count = 1;
    trimBack();
    return;
  }
  while (m_slots.size() >= kCap) {
    pop_front();
    ++m_dropped;
    ++m_droppedUnreported;
  }
  const std::uint64_t number = m_frontNumber + m_slots.size();
  Slot& slot = m_slots.emplace_back();
  slot.record = std::move(record);
  ++m_live;
  Chain& c = m_chains[hexid];
  if (c.count == 0) {
    c.first = number;
  } else {
    at(c.last).next = number;
    slot.previous = c.last;
  }
  c.last = number;
  ++c.count;
}

void TrafficQueue::pop_front() {
  unlinkFirst(m_slots.front().record.hexid);
  m_slots.pop_front();
  ++m_frontNumber;
  --m_live;
  trimFront();
}

void TrafficQueue::pop_back() {
  unlinkLast(m_slots.back().record.hexid);
  m_slots.pop_back();
  --m_live;
  trimBack();
}

void TrafficQueue::clear() {
  m_frontNumber += m_slots.size();
  m_slots.clear();
  m_chains.clear();
  m_live = 0;
  m_superseded = 0;
  m_dropped = 0;
  m_droppedUnreported = 0;
  m_lastDropReport.reset();
}

std::optional<std::uint64_t> TrafficQueue::takeDropReport(std::optional<std::chrono::steady_clock::time_point> now) {
  if (m_droppedUnreported == 0) return std::nullopt;
  if (now) {
    if (m_lastDropReport && *now - *m_lastDropReport < kDropLogInterval) return std::nullopt;
    m_lastDropReport = *now;
  }
  return std::exchange(m_droppedUnreported, 0);
}

void TrafficQueue::unlinkFirst(std::uint32_t hexid) {
  const auto chain = m_chains.find(hexid);
  Chain& c = chain->second;
  if (--c.count == 0) {
    m_chains.erase(chain);
    return;
  }
  c.first = at(c.first).next;
  at(c.first).previous = kNone;
}

void TrafficQueue::unlinkLast(std::uint32_t hexid) {
  const auto chain = m_chains.find(hexid);
  Chain& c = chain->second;
  if (--c.count == 0) {
    m_chains.erase(chain);
    return;
  }
  c.last = at(c.last).previous;
  at(c.last).next = kNone;
}

void TrafficQueue::vacate(Slot& slot) {
  // Its strings are freed now, not when the line reaches the place.
  slot.record = TrafficRecord{};
  slot.previous = slot.next = kNone;
  slot.holds = false;
}

void TrafficQueue::trimFront() {
  while (!m_slots.empty() && !m_slots.front().holds) {
    m_slots.pop_front();
    ++m_frontNumber;
  }
}

void TrafficQueue::trimBack() {
  while (!m_slots.empty() && !m_slots.back().holds) m_slots.pop_back();
}

}  // namespace amb
