// Which of the receiver library's events the program queues, and what happens
// to each while the event ring is full.
#pragma once

#include "LinkProtocol.h"

#include <cstdint>

namespace monitor {

enum class QueueTreatment
{
    // Not queued: the callback takes and leaves the queue's lock, nothing else.
    NotQueued,
    // A notice that carries nothing to keep: lost while the ring is full.
    DropWhenFull,
    // Data the library acknowledges once the callback returns, or a logout that
    // the device lists must see: the callback waits until a slot is free.
    WaitForSlot,
};

constexpr QueueTreatment queueTreatment(std::int32_t code)
{
    using namespace kavrel::EventCode;
    switch (code) {
    case QUVEX_INFO:
    case CMD_GPRMC_DATA:
    case CMD_QUVEX_TIME_EVENT:
    case CMD_MPEG4_I_4in1:
    case CMD_MPEG4_I_CH1:
    case CMD_MPEG4_I_CH2:
    case CMD_MPEG4_I_CH3:
    case CMD_MPEG4_I_CH4:
    case CONNECTION_CLOSED:
        return QueueTreatment::WaitForSlot;
    case CONNECTION_TIMED_OUT:
    case DATA_RECEIVED:
        return QueueTreatment::DropWhenFull;
    default:
        return QueueTreatment::NotQueued;
    }
}

} // namespace monitor
