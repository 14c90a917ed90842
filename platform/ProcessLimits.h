// The process's limits that a server raises or relaxes at start.
#pragma once

#include <cstdint>

namespace platform {

// Raises the soft limit of open descriptors to the hard limit. Gives the limit
// in force afterwards; 0 when it cannot be read; -1 for none.
std::int64_t raiseDescriptorLimit();

// A write past the process's file-size limit fails with an error (EFBIG)
// instead of ending the process.
void ignoreFileSizeSignal();

} // namespace platform
