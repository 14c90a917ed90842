// A named lock that one process of a user's session holds at a time: the
// station's guard against running twice. The lock belongs to the process and
// ends with it, however it ends (a crash or a kill leaves no stale lock).
#pragma once

#include <memory>
#include <string>

namespace platform {

class SingleInstanceLock
{
public:
    virtual ~SingleInstanceLock() = default;

    // Takes the lock named name for this process, or returns nothing when
    // another process holds it. A lock that cannot be made at all (no folder
    // to keep it in) is reported as taken by this process, so that the
    // station still starts.
    static std::unique_ptr<SingleInstanceLock> acquire(const std::string& name);

    // The process id of the process that holds the lock named name, as it
    // recorded itself when it took the lock; 0 when unknown.
    static long holder(const std::string& name);
};

} // namespace platform
