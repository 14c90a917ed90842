// The processor's floating-point state at start: every floating-point exception
// masked (a division by zero gives infinity, not a trap) and rounding to nearest.
#pragma once

namespace platform {

void resetFloatingPoint();

} // namespace platform
