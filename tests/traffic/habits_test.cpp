// The feed's habits laid on a recording (tools/enginesim/habits): positions frozen for 20-60 s with
// fresh stamps, stamps shifted by up to 10 s, on the chosen streams only, the same for a seed; and a
// hostile feed: lines late and out of order, stale copies sent again, a second sender on an address.

#include "enginesim/habits.hpp"

#include <fmt/format.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <map>

namespace amb {
namespace {

using enginesim::RecordedLine;

constexpr double kStart = 1551821332.89;
constexpr double kCadence = 9.8;  // the JFK recording's snapshots

// Streams flying east at 250 kt, reported every 9.8 s for 20 minutes, one snapshot after another.
std::vector<RecordedLine> lf_recording(int streams) {
  std::vector<RecordedLine> out;
  for (int k = 0; k < 123; ++k) {
    const double t = kStart + k * kCadence;
    for (int s = 0; s < streams; ++s) {
      const std::uint32_t hexid = 531900000u + static_cast<std::uint32_t>(s);
      const double lon = -74.0 + 0.0185 * k * kCadence / 10;
      RecordedLine l;
      l.hexid = hexid;
      l.timestamp = std::round(t * 100) / 100;
      l.text = fmt::format("RTTFC,{},{:.4f},{:.4f},{},0,0,90,250,TST{},A320,N1TS,JFK,BOS,{:.2f},X2,,adsb_icao,", hexid,
                           40.5 + 0.01 * s, lon, 5000 + k, s, l.timestamp);
      out.push_back(std::move(l));
    }
  }
  return out;
}

std::string lf_field(const RecordedLine& l, std::size_t i) { return enginesim::lineField(l.text, i); }

std::map<std::uint32_t, std::vector<RecordedLine>> lf_streams(const std::vector<RecordedLine>& lines) {
  std::map<std::uint32_t, std::vector<RecordedLine>> out;
  for (const RecordedLine& l : lines) out[l.hexid].push_back(l);
  return out;
}

// A chosen stream freezes: runs of lines that repeat the line before the run whole but for the stamp,
// each 20-60 s long (and the cadence more, from the held line to the first that moves on), then it
// goes on where the aircraft really is. Its stamps move by up to 10 s, its lines keep their order, and
// the other streams are as they were.
TEST(Habits, FreezesAndShiftedStampsOnTheChosenStreamsOnly) {
  const auto original = lf_recording(4);
  enginesim::HabitOptions o;
  o.seed = 7;
  o.hexids = {531900001};
  enginesim::HabitSummary summary;
  const auto changed = enginesim::applyHabits(original, o, &summary);
  ASSERT_EQ(changed.size(), original.size());
  for (std::size_t i = 1; i < changed.size(); ++i) EXPECT_LE(changed[i - 1].timestamp, changed[i].timestamp);
  EXPECT_EQ(summary.streams, std::set<std::uint32_t>{531900001});

  const auto before = lf_streams(original), after = lf_streams(changed);
  for (std::uint32_t other : {531900000u, 531900002u, 531900003u}) {
    ASSERT_EQ(after.at(other).size(), before.at(other).size());
    for (std::size_t k = 0; k < before.at(other).size(); ++k)
      EXPECT_EQ(after.at(other)[k].text, before.at(other)[k].text);
  }

  const auto& was = before.at(531900001);
  const auto& now = after.at(531900001);
  ASSERT_EQ(now.size(), was.size());
  // Where the line is the aircraft's own position of its time.
  const auto own = [&](std::size_t k) {
    return lf_field(now[k], 2) == lf_field(was[k], 2) && lf_field(now[k], 3) == lf_field(was[k], 3);
  };
  std::size_t freezes = 0, frozen = 0;
  for (std::size_t k = 0; k < now.size(); ++k) {
    // Within 10 s of its own stamp, the stamp written in the line too.
    EXPECT_LE(std::fabs(now[k].timestamp - was[k].timestamp), 10.0 + 1e-9);
    EXPECT_EQ(lf_field(now[k], 14), fmt::format("{:.2f}", now[k].timestamp));
    if (own(k)) {
      EXPECT_EQ(lf_field(now[k], 4), lf_field(was[k], 4));
      continue;
    }
    // A repeat of the last line before its freeze: position, altitude, speed and track.
    std::size_t held = k;
    while (held > 0 && !own(held)) --held;
    ASSERT_LT(held, k);
    for (std::size_t f : {2, 3, 4, 7, 8}) EXPECT_EQ(lf_field(now[k], f), lf_field(was[held], f));
    ++frozen;
    if (k + 1 < now.size() && own(k + 1)) {
      ++freezes;
      // From the first frozen line to the last, at most 60 s of original stamps; at least 20 s held.
      EXPECT_LE(was[k].timestamp - was[held + 1].timestamp, 60.0);
      EXPECT_GE(was[k + 1].timestamp - was[held].timestamp, 20.0);
    }
  }
  EXPECT_GE(freezes, 5u);
  EXPECT_EQ(freezes, summary.freezes);
  EXPECT_EQ(frozen, summary.frozenLines);
  EXPECT_GT(summary.largestShiftSeconds, 5.0);
  EXPECT_LE(summary.longestFreezeSeconds, 60.0 + kCadence + 1e-6);
}

// One seed, one result; another seed, other habits; and a stream's habits do not depend on which
// other streams are chosen. A share picks about that share of the streams.
TEST(Habits, TheSameForASeedWhateverElseIsChosen) {
  const auto original = lf_recording(40);
  enginesim::HabitOptions one;
  one.hexids = {531900003};
  enginesim::HabitOptions two = one;
  two.hexids.insert(531900017);
  const auto a = enginesim::applyHabits(original, one), b = enginesim::applyHabits(original, two);
  const auto again = enginesim::applyHabits(original, one);
  ASSERT_EQ(a.size(), again.size());
  for (std::size_t i = 0; i < a.size(); ++i) EXPECT_EQ(a[i].text, again[i].text);
  const auto sa = lf_streams(a).at(531900003), sb = lf_streams(b).at(531900003);
  for (std::size_t k = 0; k < sa.size(); ++k) EXPECT_EQ(sa[k].text, sb[k].text);
  enginesim::HabitOptions other = one;
  other.seed = 2;
  const auto so = lf_streams(enginesim::applyHabits(original, other)).at(531900003);
  std::size_t differ = 0;
  for (std::size_t k = 0; k < sa.size(); ++k) differ += sa[k].text != so[k].text ? 1 : 0;
  EXPECT_GT(differ, sa.size() / 2);

  enginesim::HabitOptions share;
  share.share = 0.25;
  enginesim::HabitSummary summary;
  enginesim::applyHabits(original, share, &summary);
  EXPECT_GE(summary.streams.size(), 4u);
  EXPECT_LE(summary.streams.size(), 18u);
  // None chosen: the recording as it was.
  const auto none = enginesim::applyHabits(original, enginesim::HabitOptions{});
  for (std::size_t i = 0; i < none.size(); ++i) EXPECT_EQ(none[i].text, original[i].text);
}

double lf_arrival(const RecordedLine& l) { return std::isnan(l.arrival) ? l.timestamp : l.arrival; }

// Streams 1 and 2 of six are made hostile, and stream 5 sends under stream 4's address. The result
// comes in the order it arrives. Each of 1's and 2's own lines arrives 0-4 s after its stamp; the
// copies among them repeat a line of 20 s before (the latest stamped no later than 20 s before they
// are sent, at most one cadence more back), by turns with its old stamp (arriving 20 s or more after
// it) and stamped when sent (arriving 0-4 s after that), one every 10-30 s over the stream's 1195.6
// s. Stream 5's lines come as stream 4's, with its callsign; the others are as they were.
TEST(Hostile, LateLinesStaleCopiesAndASecondSender) {
  const auto original = lf_recording(6);
  enginesim::HostileOptions o;
  o.seed = 5;
  o.hexids = {531900001, 531900002};
  o.address = 531900004;
  o.secondSender = 531900005;
  enginesim::HostileSummary summary;
  const auto changed = enginesim::applyHostile(original, o, &summary);
  for (std::size_t i = 1; i < changed.size(); ++i) EXPECT_LE(lf_arrival(changed[i - 1]), lf_arrival(changed[i]));
  EXPECT_EQ(summary.streams, (std::set<std::uint32_t>{531900001, 531900002}));
  const auto before = lf_streams(original), after = lf_streams(changed);
  EXPECT_EQ(after.count(531900005), 0u);
  for (std::uint32_t hexid : {531900000u, 531900003u})
    for (std::size_t k = 0; k < before.at(hexid).size() && k < after.at(hexid).size(); ++k) {
      EXPECT_EQ(after.at(hexid)[k].text, before.at(hexid)[k].text);
      EXPECT_TRUE(std::isnan(after.at(hexid)[k].arrival));
    }
  // The second sender's lines under the address, interleaved with its own by time.
  const auto& address = after.at(531900004);
  ASSERT_EQ(address.size(), 2 * before.at(531900004).size());
  std::size_t relabelled = 0;
  for (std::size_t k = 0; k < address.size(); ++k) {
    const bool second = lf_field(address[k], 2) == lf_field(before.at(531900005)[k / 2], 2);
    relabelled += second ? 1 : 0;
    EXPECT_EQ(lf_field(address[k], 1), "531900004");
    EXPECT_EQ(lf_field(address[k], 9), "TST4");
    EXPECT_EQ(second, k % 2 == 1) << k;
  }
  EXPECT_EQ(relabelled, summary.relabelled);
  EXPECT_EQ(summary.relabelled, 123u);

  std::size_t copies = 0, restamped = 0;
  for (std::uint32_t hexid : {531900001u, 531900002u}) {
    const auto& own = before.at(hexid);
    std::size_t ownCopies = 0, ownRestamped = 0;
    for (const RecordedLine& l : after.at(hexid)) {
      // The line of the recording at its position.
      const auto from = std::find_if(own.begin(), own.end(), [&](const RecordedLine& x) {
        return lf_field(x, 3) == lf_field(l, 3) && lf_field(x, 4) == lf_field(l, 4);
      });
      ASSERT_NE(from, own.end());
      const double late = l.arrival - l.timestamp;
      if (l.text == from->text && late <= 4) {
        EXPECT_GE(late, 0.0);  // its own line
        continue;
      }
      ++ownCopies;
      if (l.text == from->text) {
        EXPECT_GE(late, 20.0);  // a copy with its old stamp
        EXPECT_LE(late, 20.0 + kCadence + 4);
        continue;
      }
      ++ownRestamped;
      EXPECT_EQ(l.text, enginesim::restamped(*from, l.timestamp).text);
      EXPECT_GE(late, 0.0);
      EXPECT_LE(late, 4.0);
      EXPECT_GE(l.timestamp - from->timestamp, 20.0);
      EXPECT_LE(l.timestamp - from->timestamp, 20.0 + kCadence);
    }
    EXPECT_EQ(after.at(hexid).size(), own.size() + ownCopies);
    EXPECT_GE(ownCopies, 39u);   // 1195.6 s at one copy in 30 s at the most
    EXPECT_LE(ownCopies, 120u);  // and one in 10 s at the least
    EXPECT_EQ(ownRestamped, ownCopies / 2);
    copies += ownCopies;
    restamped += ownRestamped;
  }
  EXPECT_EQ(summary.copies, copies);
  EXPECT_EQ(summary.restampedCopies, restamped);
  EXPECT_LE(summary.latestSeconds, 4.0);
  EXPECT_GT(summary.outOfOrder, 0u);
  EXPECT_GT(summary.outOfOrderInStream, 0u);
}

}  // namespace
}  // namespace amb
