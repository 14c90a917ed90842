// A tone through ALSA, played on a thread of its own.
//
// Threads. The owner's thread (the user-interface thread) calls start() and
// stop(); they only queue a request and return. The player's one thread takes
// the requests in order, opens the PCM device, writes the samples in short
// chunks, checking between chunks whether the tone was stopped, drains and
// closes the device, waits until the tone's length has passed if the device
// was quicker (or missing), and then calls the end handler. m_mutex guards
// the request queue and the two counters; nothing else is shared. The PCM
// handle lives on the player's thread only.
//
// Stop. The destructor stops the thread through its stop token, which ends a
// tone being played or waited out, and joins it; requests still queued are
// dropped without an end call.
#pragma once

#include "AlarmSound.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>

namespace platform {

class AlsaTonePlayer
{
public:
    static constexpr int kSampleRate = 48000;
    // How much sound the device buffers; a stop takes effect within about this long.
    static constexpr unsigned kLatencyMicroseconds = 100000;
    // Samples written at a time: 20 ms.
    static constexpr std::size_t kChunkSamples = kSampleRate / 50;

    // toneEnded runs on the player's thread after each tone; it must not block.
    AlsaTonePlayer(std::string pcmName, std::function<void()> toneEnded);
    ~AlsaTonePlayer();
    AlsaTonePlayer(const AlsaTonePlayer&) = delete;
    AlsaTonePlayer& operator=(const AlsaTonePlayer&) = delete;

    // Queues a tone; any earlier one ends first.
    void start(const Tone& tone);
    // Ends the tone that sounds or waits, at once.
    void stop();

private:
    struct Request
    {
        Tone tone;
        std::uint64_t id;
    };

    void run(std::stop_token stop);
    void playOnDevice(const Request& request, const std::stop_token& stop);
    // Whether the request was stopped or superseded; under m_mutex.
    bool endedLocked(std::uint64_t id) const { return m_stoppedUpTo >= id || m_lastStart > id; }
    bool ended(std::uint64_t id, const std::stop_token& stop);

    const std::string m_pcmName;
    const std::function<void()> m_toneEnded;

    std::mutex m_mutex; // guards the three members below
    std::deque<Request> m_requests;
    std::uint64_t m_lastStart = 0;   // id of the latest start
    std::uint64_t m_stoppedUpTo = 0; // every tone up to this id is stopped
    std::condition_variable_any m_wake;

    std::jthread m_thread; // started by the constructor once everything above exists
};

} // namespace platform
