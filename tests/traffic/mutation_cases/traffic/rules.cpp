// A small source for the check of the mutation list: 42 in a comment is no number to move.
#include <cstdint>
#include <string>

/* Nor is 43 in a block comment. */
constexpr std::int32_t kLimit = 250;
constexpr double kTable[3] = {0.5, 2.5, 1.0};

std::string name() { return "taxi 7 at 30 kt"; }

bool slow(double speed, std::int64_t ticks) {
  const char c = '9';
  if (speed <= 1e-6) return c == '9';
  return speed < 0.0 || ticks > 10'000 || speed * 2 < kLimit;
}
