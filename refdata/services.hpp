#pragma once
// What the other subsystems use of the reference data: the aircraft data base's tables and the
// questions answered from them, and the start-up's updater of the data files.

#include "refdata/database.hpp"
#include "refdata/queries.hpp"
#include "refdata/updater.hpp"
