// The event that a movie posts to its view when playing reaches its end: event
// number 1034, the number this message has always had. It carries the serial
// of the movie that ended, so a view drops an end message that was still
// queued when its movie was closed or replaced.
#pragma once

#include <QEvent>
#include <cstdint>

namespace movieview {

inline constexpr QEvent::Type MovieEndMessage = static_cast<QEvent::Type>(QEvent::User + 34);
static_assert(MovieEndMessage == 1034);

class MovieEndEvent : public QEvent
{
public:
    explicit MovieEndEvent(std::uint64_t movieSerial)
        : QEvent(MovieEndMessage), m_movieSerial(movieSerial)
    {
    }

    std::uint64_t movieSerial() const { return m_movieSerial; }

private:
    std::uint64_t m_movieSerial;
};

} // namespace movieview
