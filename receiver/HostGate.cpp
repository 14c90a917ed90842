#include "HostGate.h"

#include <cstdlib>

namespace kavrel {

HostGate& HostGate::process()
{
    // Deliberately leaked: an exit-time destructor would race the workers.
    static auto* const gate = new HostGate;
    return *gate;
}

void HostGate::closeAtProcessExit()
{
    static std::once_flag registered;
    std::call_once(registered, [] { std::atexit([] { process().close(kExitWait); }); });
}

HostGate::Pass::Pass(HostGate& gate) : m_gate(gate)
{
    std::lock_guard lock(m_gate.m_mutex);
    m_open = !m_gate.m_closed;
    if (m_open)
        ++m_gate.m_inside;
}

HostGate::Pass::~Pass()
{
    if (!m_open)
        return;
    std::lock_guard lock(m_gate.m_mutex);
    if (--m_gate.m_inside == 0)
        m_gate.m_idle.notify_all();
}

void HostGate::close(std::chrono::milliseconds wait)
{
    std::unique_lock lock(m_mutex);
    m_closed = true;
    m_idle.wait_for(lock, wait, [this] { return m_inside == 0; });
}

} // namespace kavrel
