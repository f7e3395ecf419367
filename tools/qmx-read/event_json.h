#pragma once

// A tank's events as JSON: one object a line in the events file, and the
// same objects in the live page's data.

#include <string>

#include "inventory/tank_events.h"

namespace qmx::tools {

// {"event": "delivery", "tank": 3, "start": {...}, "end": {...},
//  "delivered_l": ..., "delivered15_l": ...}
std::string DeliveryJson(const TDelivery& delivery);
// {"event": "leak_test", "tank": 3, "from": ..., "to": ..., "readings": ...,
//  "loss_l_per_h": ..., "passed": true}
std::string LeakTestJson(const TLeakTest& test);
// Either, and a new line.
std::string EventLine(const TTankEvent& event);

// Seconds since 1970 as the rows write a time: 2026-12-08T09:14:03.120Z.
std::string UtcStamp(double time);

}  // namespace qmx::tools
