#include "core/user_error.hpp"

#include <fmt/format.h>

namespace amb {

namespace {
std::string userErrorMessage(int code, const std::string& text) {
  if (code == 99) return text;
  return fmt::format("{}: ", code) + text;
}
}  // namespace

UserErrorException::UserErrorException(int code, const std::string& text)
    : std::runtime_error(userErrorMessage(code, text)) {}

}  // namespace amb
