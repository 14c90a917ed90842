#include "HostEvents.h"

#include <algorithm>

HostEvents& HostEvents::instance()
{
    static HostEvents events;
    return events;
}

std::int32_t HostEvents::callback(const char* text, std::int32_t code, const void* data,
                                  std::int32_t length)
{
    auto& self = instance();
    std::unique_lock lock(self.m_mutex);
    if (code == self.m_holdCode && !self.m_released) {
        self.m_held = true;
        self.m_changed.notify_all();
        self.m_changed.wait(lock, [&] { return self.m_released; });
    }
    self.m_events.push_back(
        {text != nullptr ? text : "", code,
         std::string(static_cast<const char*>(data), static_cast<std::size_t>(length))});
    self.m_changed.notify_all();
    return 0;
}

void HostEvents::reset()
{
    std::lock_guard lock(m_mutex);
    m_events.clear();
    m_holdCode = -1;
    m_held = false;
    m_released = false;
}

void HostEvents::holdCode(std::int32_t code)
{
    std::lock_guard lock(m_mutex);
    m_holdCode = code;
    m_released = false;
}

void HostEvents::release()
{
    std::lock_guard lock(m_mutex);
    m_released = true;
    m_changed.notify_all();
}

bool HostEvents::waitHeld(std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return m_held; });
}

bool HostEvents::waitFor(const std::function<bool(const std::vector<HostEvent>&)>& pred,
                         std::chrono::milliseconds timeout)
{
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, timeout, [&] { return pred(m_events); });
}

bool HostEvents::waitForCode(std::int32_t code, std::size_t count,
                             std::chrono::milliseconds timeout)
{
    return waitFor(
        [&](const std::vector<HostEvent>& events) {
            return static_cast<std::size_t>(
                       std::count_if(events.begin(), events.end(),
                                     [&](const HostEvent& e) { return e.code == code; })) >= count;
        },
        timeout);
}

std::vector<HostEvent> HostEvents::events()
{
    std::lock_guard lock(m_mutex);
    return m_events;
}

std::vector<HostEvent> HostEvents::eventsWithout(std::int32_t code)
{
    std::lock_guard lock(m_mutex);
    std::vector<HostEvent> out;
    std::copy_if(m_events.begin(), m_events.end(), std::back_inserter(out),
                 [&](const HostEvent& e) { return e.code != code; });
    return out;
}
