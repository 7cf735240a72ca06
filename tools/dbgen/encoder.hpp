#pragma once
// The enciphering counterpart of refdata/cipher.hpp, for the data-base generator and the tests.

#include <cstdint>
#include <random>
#include <string>

namespace amb::dbgen {

// Filler characters for the positions that carry no code, from a seeded engine so that a generated
// data base is the same on every run.
class Fillers {
public:
  explicit Fillers(std::uint32_t seed = 20190305) : m_engine(seed) {}
  char next();

private:
  std::mt19937 m_engine;
};

// The inverse of lf_unshiftChar for a character inside the range.
char shiftChar(char c, int shift);

// Throw std::invalid_argument for a text they cannot encipher so that it deciphers back: model and
// airline codes need characters of the range '-' to '~'; an airline code has three characters;
// registrations need '+' or '-' to 'Z' and at most 24 characters other than '+' at the end.
std::string encryptCode(const std::string& plain, Fillers& fillers);
std::string encryptAirl(const std::string& plain, Fillers& fillers);
std::string encryptKeyed(const std::string& plain);

bool isKeyedPlain(const std::string& plain);  // encryptKeyed accepts it

}  // namespace amb::dbgen
