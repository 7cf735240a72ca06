#pragma once
// Deciphering of the enciphered fields of the aircraft data base (model codes, airline codes and
// registrations). The data-base generator (tools/dbgen) enciphers with exactly these values; a
// data base written with other values reads as nonsense, not as an error.
//
// The values, all ours:
//
// Character range of the model-code and airline-code routines: '-' (0x2D) to '~' (0x7E), 82
// characters. It holds no blank, no comma, no '"' and no '&', so an enciphered code survives the
// comma lists (split at ',' and trimmed of blanks) and needs no escaping beyond '<'.
//   lf_unshiftChar(c, s) = '-' + ((c - '-' - s) mod 82), the result always inside the range.
//
// Model codes (gf_decryptCode), by the length L of the enciphered text:
//   L = 3: plain[k] = unshift(in[{2,0,1}[k]], {17,41,5}[k]), three characters.
//   L = 4: plain[k] = unshift(in[{3,1,0,2}[k]], {29,8,63,14}[k]), four characters.
//   other: L - 4 characters; plain[k] = unshift(in[2 + k], {11,37,23,59,3}[k mod 5] + k). The
//          positions 0, 1, L-2 and L-1 hold filler characters. L = 1 or 2 cannot hold a code and
//          gives the empty text.
// Airline codes (gf_decryptAirl): six characters give three,
//   plain[k] = unshift(in[{4,1,3}[k]], {23,7,52}[k]); positions 0, 2 and 5 are fillers.
// Registrations (gf_decryptKeyed): plain[i] = in[i] - key[i] for the 24 keys below; '+' passes
//   unchanged. Plain registrations use '-' to 'Z' (0x2D-0x5A: '-', digits, capitals and a few
//   signs); every key is at most 36, so an enciphered character stays within 0x2E-0x7E and is never
//   '+', which is what makes '+' unambiguous.

#include <array>
#include <cstddef>
#include <string>

namespace amb {

namespace cipher {
inline constexpr char kRangeFirst = '-';
inline constexpr char kRangeLast = '~';
inline constexpr int kRangeSize = kRangeLast - kRangeFirst + 1;  // 82

inline constexpr std::array<std::size_t, 3> kCode3Positions{2, 0, 1};
inline constexpr std::array<int, 3> kCode3Shifts{17, 41, 5};
inline constexpr std::array<std::size_t, 4> kCode4Positions{3, 1, 0, 2};
inline constexpr std::array<int, 4> kCode4Shifts{29, 8, 63, 14};
inline constexpr std::size_t kCodeOtherLead = 2;   // filler characters in front
inline constexpr std::size_t kCodeOtherExtra = 4;  // filler characters in all
inline constexpr std::array<int, 5> kCodeOtherShifts{11, 37, 23, 59, 3};

inline constexpr std::size_t kAirlLength = 6;
inline constexpr std::array<std::size_t, 3> kAirlPositions{4, 1, 3};
inline constexpr std::array<int, 3> kAirlShifts{23, 7, 52};

inline constexpr char kKeyedPass = '+';
inline constexpr char kKeyedPlainFirst = '-';
inline constexpr char kKeyedPlainLast = 'Z';
inline constexpr std::array<int, 24> kKey{7,  19, 3,  28, 11, 34, 2, 23, 15, 31, 9,  26,
                                          5,  17, 36, 12, 29, 4,  21, 14, 33, 8, 25, 1};
}  // namespace cipher

// One step of the model-code and airline-code routines: c moved back by the shift, wrapped into
// the range.
char lf_unshiftChar(char c, int shift);

// Model codes; never fails.
std::string gf_decryptCode(const std::string& text);
// Airline and operator codes: 6 characters give 3; 3 are taken as plain (with a marked log line);
// any other non-empty length throws std::runtime_error "decrypt airl \"{}\" error".
std::string gf_decryptAirl(const std::string& text);
// Registrations: same length out; a character other than '+' beyond the 24 keys throws
// std::out_of_range "invalid array<T, N> subscript".
std::string gf_decryptKeyed(const std::string& text);

}  // namespace amb
