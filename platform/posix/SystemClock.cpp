// The system's clocks as a Clock.
#include "Clock.h"

namespace platform {
namespace {

class SystemClock final : public Clock
{
public:
    LocalTime now() const override { return localNow(); }
    std::uint32_t tickCount() const override { return platform::tickCount(); }
};

} // namespace

Clock& systemClock()
{
    static SystemClock clock;
    return clock;
}

} // namespace platform
