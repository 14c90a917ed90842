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
    // Counted before the look at the flag, and close() sets the flag before it
    // looks at the count: one of the two sees the other.
    m_gate.m_inside.fetch_add(1);
    m_open = !m_gate.m_closed.load();
    if (!m_open)
        m_gate.leave();
}

HostGate::Pass::~Pass()
{
    if (m_open)
        m_gate.leave();
}

void HostGate::leave()
{
    if (m_inside.fetch_sub(1) == 1 && m_closed.load()) {
        const std::lock_guard lock(m_mutex);
        m_idle.notify_all();
    }
}

void HostGate::close(std::chrono::milliseconds wait)
{
    m_closed.store(true);
    std::unique_lock lock(m_mutex);
    m_idle.wait_for(lock, wait, [this] { return m_inside.load() == 0; });
}

} // namespace kavrel
