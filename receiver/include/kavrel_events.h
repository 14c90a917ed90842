// The events the receiver library reports to its host through the callback
// (kavrel.h): one table of their codes, with each code's name, how the host's
// event queue takes it in, and the camera channel a clip's code names. Every
// part of the system that tells events apart looks them up here.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kavrel {

namespace EventCode {
// Packet commands.
inline constexpr std::int32_t QUVEX_INFO = 0x0000;           // device-information text
inline constexpr std::int32_t CMD_GPRMC_DATA = 0x0002;       // NMEA RMC sentence
inline constexpr std::int32_t CMD_QUVEX_TIME_EVENT = 0x0006; // event-time text
inline constexpr std::int32_t CMD_MPEG4_I_4in1 = 0x00F0;     // clip, four channels in one picture
inline constexpr std::int32_t CMD_MPEG4_I_CH1 = 0x0101;      // clip of camera channel 1
inline constexpr std::int32_t CMD_MPEG4_I_CH2 = 0x0102;
inline constexpr std::int32_t CMD_MPEG4_I_CH3 = 0x0103;
inline constexpr std::int32_t CMD_MPEG4_I_CH4 = 0x0104;
// The library's connection events; their data is the local time text.
inline constexpr std::int32_t CONNECTION_OPENED = 0xF000;
inline constexpr std::int32_t CONNECTION_CLOSED = 0xF001;
inline constexpr std::int32_t CONNECTION_TIMED_OUT = 0xF002;
inline constexpr std::int32_t DATA_RECEIVED = 0xF003;
} // namespace EventCode

// Which events the host's queue takes in, and what happens to each while the
// queue is full.
enum class QueueTreatment
{
    // Not queued: the callback takes and leaves the queue's lock, nothing else.
    NotQueued,
    // A notice that carries nothing to keep: lost while the queue is full.
    DropWhenFull,
    // Data the library acknowledges once the callback returns, or a logout that
    // the device lists must see: the callback waits until there is room.
    WaitForSlot,
};

struct EventKind
{
    std::int32_t code;
    // A short English name, for people reading logs and tools.
    std::string_view name;
    QueueTreatment treatment;
    // "ALL" for the four-in-one picture, "1" to "4" for one channel; empty
    // for an event that is not a clip.
    std::string_view clipChannel;
};

inline constexpr std::array<EventKind, 12> kEventKinds{{
    {EventCode::QUVEX_INFO, "QUVEX_INFO", QueueTreatment::WaitForSlot, {}},
    {EventCode::CMD_GPRMC_DATA, "CMD_GPRMC_DATA", QueueTreatment::WaitForSlot, {}},
    {EventCode::CMD_QUVEX_TIME_EVENT, "CMD_QUVEX_TIME_EVENT", QueueTreatment::WaitForSlot, {}},
    {EventCode::CMD_MPEG4_I_4in1, "CMD_MPEG4_I_4in1", QueueTreatment::WaitForSlot, "ALL"},
    {EventCode::CMD_MPEG4_I_CH1, "CMD_MPEG4_I_CH1", QueueTreatment::WaitForSlot, "1"},
    {EventCode::CMD_MPEG4_I_CH2, "CMD_MPEG4_I_CH2", QueueTreatment::WaitForSlot, "2"},
    {EventCode::CMD_MPEG4_I_CH3, "CMD_MPEG4_I_CH3", QueueTreatment::WaitForSlot, "3"},
    {EventCode::CMD_MPEG4_I_CH4, "CMD_MPEG4_I_CH4", QueueTreatment::WaitForSlot, "4"},
    {EventCode::CONNECTION_OPENED, "CONNECTION_OPENED", QueueTreatment::NotQueued, {}},
    {EventCode::CONNECTION_CLOSED, "CONNECTION_CLOSED", QueueTreatment::WaitForSlot, {}},
    {EventCode::CONNECTION_TIMED_OUT, "CONNECTION_TIMED_OUT", QueueTreatment::DropWhenFull, {}},
    {EventCode::DATA_RECEIVED, "DATA_RECEIVED", QueueTreatment::DropWhenFull, {}},
}};

// The table's row for code; null for a code the table does not hold.
constexpr const EventKind* findEventKind(std::int32_t code)
{
    for (const EventKind& kind : kEventKinds)
        if (kind.code == code)
            return &kind;
    return nullptr;
}

// The event's name; "UNKNOWN" for a code the table does not hold.
constexpr std::string_view eventName(std::int32_t code)
{
    const EventKind* kind = findEventKind(code);
    return kind ? kind->name : std::string_view("UNKNOWN");
}

// NotQueued for a code the table does not hold.
constexpr QueueTreatment queueTreatment(std::int32_t code)
{
    const EventKind* kind = findEventKind(code);
    return kind ? kind->treatment : QueueTreatment::NotQueued;
}

// Empty for any code but a clip's.
constexpr std::string_view clipChannel(std::int32_t code)
{
    const EventKind* kind = findEventKind(code);
    return kind ? kind->clipChannel : std::string_view{};
}

// True for the codes that carry a packet (every code below the connection events).
constexpr bool isPacketEvent(std::int32_t code)
{
    return code >= 0 && code < EventCode::CONNECTION_OPENED;
}

// True for the library's own connection events. A packet whose command is one
// of them is never reported under that code: the host would take it for the
// library's event (a forged "connection closed" would log a recorder out).
constexpr bool isConnectionEvent(std::int32_t code)
{
    return code >= EventCode::CONNECTION_OPENED && code <= EventCode::DATA_RECEIVED;
}

} // namespace kavrel
