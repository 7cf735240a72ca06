#include "refdata/cipher.hpp"

#include "dbgen/encoder.hpp"
#include "refdata_fixture.hpp"

#include <gtest/gtest.h>

#include <stdexcept>

namespace amb {
namespace {

using namespace cipher;

// Every character of the range at every position of codes of every arrangement comes back.
TEST(Cipher, CodesAndAirlinesRoundTripForEveryCharacter) {
  std::string all;
  for (char c = kRangeFirst; c <= kRangeLast; ++c) all += c;
  dbgen::Fillers fillers(1);
  for (std::size_t length = 1; length <= 7; ++length)
    for (std::size_t start = 0; start < all.size(); ++start) {
      std::string plain;
      for (std::size_t k = 0; k < length; ++k) plain += all[(start + k * 13) % all.size()];
      const std::string enciphered = dbgen::encryptCode(plain, fillers);
      ASSERT_EQ(enciphered.find_first_of(", \t\r\n\"&"), std::string::npos) << enciphered;
      ASSERT_EQ(gf_decryptCode(enciphered), plain) << "length " << length;
      if (length == 3) {
        ASSERT_EQ(gf_decryptAirl(dbgen::encryptAirl(plain, fillers)), plain);
      }
    }
  // One or two characters cannot carry a code with its fillers.
  EXPECT_EQ(gf_decryptCode("AB") + gf_decryptCode("") + gf_decryptAirl(""), "");
}

TEST(Cipher, RegistrationsRoundTripForEveryCharacterAtEveryKeyPosition) {
  for (char c = kKeyedPlainFirst; c <= kKeyedPlainLast; ++c)
    for (std::size_t pos = 0; pos < kKey.size(); ++pos) {
      std::string plain(kKey.size(), 'A');
      plain[pos] = c;
      plain[(pos + 5) % kKey.size()] = '+';
      ASSERT_EQ(gf_decryptKeyed(dbgen::encryptKeyed(plain)), plain);
    }
  // '+' needs no key, so it may follow the last keyed position.
  const std::string longest(kKey.size(), 'Z');
  EXPECT_EQ(gf_decryptKeyed(dbgen::encryptKeyed(longest) + "++"), longest + "++");
}

TEST(Cipher, MalformedInputIsAClearError) {
  for (const std::string bad : {"A", "ABCD", "ABCDEFG"})
    EXPECT_EQ(test::thrownText<std::runtime_error>([&] { gf_decryptAirl(bad); }), "decrypt airl \"" + bad + "\" error");
  // A registration longer than the key.
  EXPECT_EQ(test::thrownText<std::out_of_range>([] { gf_decryptKeyed(std::string(kKey.size() + 1, 'Z')); }),
            "invalid array<T, N> subscript");
  // The encoder refuses what could not come back.
  dbgen::Fillers fillers;
  EXPECT_THROW(dbgen::encryptCode("A B", fillers), std::invalid_argument);
  EXPECT_THROW(dbgen::encryptKeyed("d-abcd"), std::invalid_argument);
}

class CipherLog : public test::RefdataTest {};

TEST_F(CipherLog, AirlineOfThreeCharactersIsTakenAsPlainAndLogged) {
  EXPECT_EQ(gf_decryptAirl("DAL"), "DAL");
  EXPECT_TRUE(logHas("===> Unencrypted airline DAL in decrypt airl?"));
}

}  // namespace
}  // namespace amb
