#include "SocketHandle.h"

#include <unistd.h>

namespace recorder {

void SocketHandle::reset(int fd)
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = fd;
}

} // namespace recorder
