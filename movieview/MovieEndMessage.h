// The event that the end trigger posts to its movie view: event number 1034,
// the number this message has always had. It carries the serial of the
// trigger that fired, so a view drops an end message that was still queued
// when its movie was closed or replaced.
#pragma once

#include <QEvent>
#include <cstdint>

namespace movieview {

inline constexpr QEvent::Type MovieEndMessage = static_cast<QEvent::Type>(QEvent::User + 34);
static_assert(MovieEndMessage == 1034);

class MovieEndEvent : public QEvent
{
public:
    explicit MovieEndEvent(std::uint64_t triggerSerial)
        : QEvent(MovieEndMessage), m_triggerSerial(triggerSerial)
    {
    }

    std::uint64_t triggerSerial() const { return m_triggerSerial; }
    // The message's two parameters, always 0.
    static constexpr std::intptr_t wParam = 0;
    static constexpr std::intptr_t lParam = 0;

private:
    std::uint64_t m_triggerSerial;
};

} // namespace movieview
