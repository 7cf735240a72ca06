#include "low/base.hpp"
#include "mid/services.hpp"
#include "mid/inner.hpp"
