#pragma once
// What the other subsystems use of the RealTraffic feed: the reader threads and their inputs, the
// queue of traffic records the engine takes from, the TCP link, the QNH and the feed's part of the
// status display.

#include "feed/inputs.hpp"
#include "feed/link.hpp"
#include "feed/qnh.hpp"
#include "feed/readers.hpp"
#include "feed/status.hpp"
#include "feed/traffic_line.hpp"
