#pragma once
// The one exception type for conditions the user has to see and can act on.

#include <stdexcept>
#include <string>

namespace amb {

class UserErrorException : public std::runtime_error {
public:
  // Code 99 marks a text that is a complete instruction and is shown alone; any other code is
  // shown in front of the text as "{code}: ".
  UserErrorException(int code, const std::string& text);
};

}  // namespace amb
