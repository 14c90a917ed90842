// Floating-point state through <cfenv>: the default environment masks every
// exception and rounds to nearest.
#include "FloatingPoint.h"

#include <cfenv>

namespace platform {

void resetFloatingPoint()
{
    std::fesetenv(FE_DFL_ENV);
}

} // namespace platform
