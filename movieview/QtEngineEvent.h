// Turns a Qt event that reached the movie view into an engine event.
#pragma once

#include "EngineEvent.h"

class QEvent;

namespace movieview {

EngineEvent toEngineEvent(const QEvent& event);

} // namespace movieview
