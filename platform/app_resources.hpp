#pragma once
// Texts the Windows build keeps as resources of the executable.

#include <optional>
#include <string>

namespace amb::platform {

// The window title: string resource 101 on Windows (empty when it cannot be loaded), a constant on
// Linux.
std::optional<std::string> appTitle();

}  // namespace amb::platform
