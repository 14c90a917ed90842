// Builds an event-time record (command 6): "yyyy/mm/dd hh:mm:ss,<event number>".
// The receiver's host takes the text before the first ',' as the event time.
#pragma once

#include <chrono>
#include <string>

namespace recorder {

void appendEventTimeText(std::string& out, std::chrono::sys_time<std::chrono::milliseconds> time,
                         unsigned eventNumber);

} // namespace recorder
