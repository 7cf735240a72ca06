#pragma once
// One copy of the program per user session. Windows: a named mutex in the session's namespace.
// Linux: an exclusive lock on a file in $AMBT_RUNTIME_DIR (default $XDG_RUNTIME_DIR, else the temp
// folder) whose name is made from the given name. Either way the claim lasts until the process
// ends; the lock is never released by hand.

#include <filesystem>
#include <string_view>

namespace amb::platform {

// False when another process holds the name. True when this process now holds it, and also when
// the claim cannot be made at all (reported on standard error): as with the named mutex, only a
// copy that is known to run stops a start.
bool acquireSingleInstance(std::string_view name);

// The lock file used for a name (Linux); a name that is not a safe file name is turned into one.
std::filesystem::path singleInstanceLockPath(std::string_view name);

}  // namespace amb::platform
