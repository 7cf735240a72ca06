#include "low/a.hpp"
#include "high/services.hpp"
