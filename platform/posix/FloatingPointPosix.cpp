// Floating-point state through <cfenv>: the default environment masks every
// exception and rounds to nearest.
#include "FloatingPoint.h"

#include <cfenv>

#if defined(__GLIBC__)
#include <fenv.h>
#endif

namespace platform {

void resetFloatingPoint()
{
    std::fesetenv(FE_DFL_ENV);
}

bool floatingPointIsDefault()
{
#if defined(__GLIBC__)
    if (fegetexcept() != 0)
        return false;
#endif
    return std::fegetround() == FE_TONEAREST;
}

} // namespace platform
