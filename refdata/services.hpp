#pragma once
// What the other subsystems use of the reference data: the aircraft data base's tables and the
// questions answered from them, the start-up's updater of the data files, the download server and
// the registrations' cipher.

#include "refdata/cipher.hpp"
#include "refdata/database.hpp"
#include "refdata/download.hpp"
#include "refdata/queries.hpp"
#include "refdata/updater.hpp"
