#include "refdata/cipher.hpp"

#include "dbgen/encoder.hpp"
#include "refdata_fixture.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace amb {
namespace {

using namespace cipher;

std::string rangeAlphabet() {
  std::string all;
  for (char c = kRangeFirst; c <= kRangeLast; ++c) all += c;
  return all;
}

TEST(Cipher, UnshiftWrapsEveryInputIntoTheRange) {
  for (int c = 0; c < 256; ++c)
    for (int shift = -200; shift <= 200; shift += 7) {
      const char out = lf_unshiftChar(static_cast<char>(c), shift);
      ASSERT_GE(out, kRangeFirst);
      ASSERT_LE(out, kRangeLast);
    }
  // The shift wraps at the range's size.
  EXPECT_EQ(lf_unshiftChar('A', 5), lf_unshiftChar('A', 5 + kRangeSize));
  EXPECT_EQ(lf_unshiftChar(kRangeFirst, 1), kRangeLast);
}

// Every character of the range at every position of codes of every arrangement (1 to 7
// characters) comes back unchanged.
TEST(Cipher, ModelCodesRoundTripForEveryCharacterAndLength) {
  const std::string all = rangeAlphabet();
  dbgen::Fillers fillers(1);
  for (std::size_t length = 1; length <= 7; ++length)
    for (std::size_t start = 0; start < all.size(); ++start) {
      std::string plain;
      for (std::size_t k = 0; k < length; ++k) plain += all[(start + k * 13) % all.size()];
      const std::string enciphered = dbgen::encryptCode(plain, fillers);
      ASSERT_EQ(enciphered.find_first_of(", \t\r\n\"&"), std::string::npos) << enciphered;
      ASSERT_EQ(gf_decryptCode(enciphered), plain) << "length " << length;
    }
  EXPECT_EQ(gf_decryptCode(""), "");
}

TEST(Cipher, AirlineCodesRoundTripForEveryCharacter) {
  const std::string all = rangeAlphabet();
  dbgen::Fillers fillers(2);
  for (std::size_t start = 0; start < all.size(); ++start) {
    const std::string plain{all[start], all[(start + 29) % all.size()], all[(start + 57) % all.size()]};
    const std::string enciphered = dbgen::encryptAirl(plain, fillers);
    ASSERT_EQ(enciphered.size(), 6u);
    ASSERT_EQ(gf_decryptAirl(enciphered), plain);
  }
}

TEST(Cipher, RegistrationsRoundTripForEveryCharacterAtEveryKeyPosition) {
  for (char c = kKeyedPlainFirst; c <= kKeyedPlainLast; ++c)
    for (std::size_t pos = 0; pos < kKey.size(); ++pos) {
      std::string plain(kKey.size(), 'A');
      plain[pos] = c;
      plain[(pos + 5) % kKey.size()] = '+';
      const std::string enciphered = dbgen::encryptKeyed(plain);
      for (std::size_t i = 0; i < enciphered.size(); ++i) {
        if (plain[i] != '+') {
          ASSERT_NE(enciphered[i], '+');
        }
      }
      ASSERT_EQ(gf_decryptKeyed(enciphered), plain);
    }
  EXPECT_EQ(gf_decryptKeyed(""), "");
}

TEST(Cipher, ShortModelCodeInputsGiveNothing) {
  // One or two characters cannot carry a code with its fillers.
  EXPECT_EQ(gf_decryptCode("A"), "");
  EXPECT_EQ(gf_decryptCode("AB"), "");
  // Two-letter type designators do exist and travel in the longer arrangement.
  dbgen::Fillers fillers;
  EXPECT_EQ(dbgen::encryptCode("J3", fillers).size(), 6u);
}

class CipherLog : public test::RefdataTest {};

TEST_F(CipherLog, AirlineOfThreeCharactersIsTakenAsPlainAndLogged) {
  EXPECT_EQ(gf_decryptAirl("DAL"), "DAL");
  EXPECT_TRUE(logHas("===> Unencrypted airline DAL in decrypt airl?"));
}

TEST(Cipher, AirlineOfAnotherLengthFails) {
  for (const std::string bad : {"A", "AB", "ABCD", "ABCDE", "ABCDEFG"}) {
    try {
      gf_decryptAirl(bad);
      FAIL() << bad;
    } catch (const std::runtime_error& e) {
      EXPECT_EQ(std::string(e.what()), "decrypt airl \"" + bad + "\" error");
    }
  }
  EXPECT_EQ(gf_decryptAirl(""), "");
}

TEST(Cipher, RegistrationLongerThanTheKeyIsAClearError) {
  const std::string longest(kKey.size(), 'Z');
  EXPECT_NO_THROW(gf_decryptKeyed(longest));
  try {
    gf_decryptKeyed(longest + "Z");
    FAIL();
  } catch (const std::out_of_range& e) {
    EXPECT_STREQ(e.what(), "invalid array<T, N> subscript");
  }
  // '+' needs no key, so it may follow the last keyed position.
  EXPECT_EQ(gf_decryptKeyed(dbgen::encryptKeyed(longest) + "++"), longest + "++");
}

TEST(Cipher, EncoderRefusesWhatCouldNotComeBack) {
  dbgen::Fillers fillers;
  EXPECT_THROW(dbgen::encryptCode("A B", fillers), std::invalid_argument);
  EXPECT_THROW(dbgen::encryptAirl("DA", fillers), std::invalid_argument);
  EXPECT_THROW(dbgen::encryptKeyed("d-abcd"), std::invalid_argument);
  EXPECT_THROW(dbgen::encryptKeyed(std::string(25, 'A')), std::invalid_argument);
}

}  // namespace
}  // namespace amb
