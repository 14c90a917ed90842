// The library state that connection workers read: settings, folders, the
// `Stopping` flag, the registered callback and the log.
//
// Ownership: the library object creates one core per start and shares it with
// its listener and every worker thread, so that a worker still ending after the
// library object is gone (one held up inside the host's callback) never reads
// freed state. The settings, folders and limits are written before the listener
// starts and only read afterwards; the packet memory guards itself; `Stopping` and `callback` are
// written on the host's thread and read by the workers, so they are atomics.
#pragma once

#include "DiagnosticLog.h"
#include "LibrarySettings.h"
#include "PacketMemory.h"
#include "kavrel.h"

#include <atomic>
#include <chrono>
#include <string>

namespace kavrel {

// How long a connection may stay silent before it is ended.
inline constexpr std::chrono::milliseconds kSilenceLimit{60000};

// The slowest a large payload (over 64 KiB, held in the packet memory) may
// arrive: on average at least bytesPerSecond over each window, counted from the
// payload's start. Far below any radio link, so a clip on a slow link is never
// cut, while a peer that holds a packet's memory by trickling its bytes is
// ended. Small packets are bound by the silence limit alone.
struct PayloadRateFloor
{
    static constexpr std::chrono::milliseconds kWindow{60000};
    static constexpr std::uint32_t kBytesPerSecond = 100;

    std::chrono::milliseconds window = kWindow;
    std::uint32_t bytesPerSecond = kBytesPerSecond;

    std::uint64_t bytesPerWindow() const
    {
        return std::uint64_t{bytesPerSecond} * static_cast<std::uint64_t>(window.count()) / 1000;
    }
};

struct ReceiverCore
{
    explicit ReceiverCore(DiagnosticLog::Clock localClock = platform::localNow)
        : clock(localClock), log(Stopping, std::move(localClock))
    {
    }

    std::atomic<bool> Stopping{false};
    std::atomic<KavrelHostCallback> callback{nullptr};

    LibrarySettings settings;
    std::string HostFolder; // with trailing separator
    std::string RawFolder;  // HostFolder + "raw"; created when a raw file is first written
    std::chrono::milliseconds silenceLimit = kSilenceLimit;
    PayloadRateFloor payloadRateFloor;
    PacketMemory packetMemory; // its limit is set from the settings before the listener starts
    DiagnosticLog::Clock clock;

    DiagnosticLog log;

    void LogLine(std::string_view text) { log.LogLine(text); }
};

} // namespace kavrel
