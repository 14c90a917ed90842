#include "AlsaTonePlayer.h"

#include "ToneSamples.h"

#include <alsa/asoundlib.h>
#include <array>
#include <chrono>
#include <memory>
#include <mutex>

namespace platform {

namespace {

struct PcmCloser
{
    void operator()(snd_pcm_t* pcm) const { snd_pcm_close(pcm); }
};
using Pcm = std::unique_ptr<snd_pcm_t, PcmCloser>;

// alsa-lib prints its errors to stderr; a missing device is no news here.
void silentAlsaErrors(const char*, int, const char*, int, const char*, ...) {}

} // namespace

AlsaTonePlayer::AlsaTonePlayer(std::string pcmName, std::function<void()> toneEnded)
    : m_pcmName(std::move(pcmName)), m_toneEnded(std::move(toneEnded))
{
    static std::once_flag quiet;
    std::call_once(quiet, [] { snd_lib_error_set_handler(silentAlsaErrors); });
    m_thread = std::jthread([this](std::stop_token stop) { run(stop); });
}

AlsaTonePlayer::~AlsaTonePlayer()
{
    m_thread.request_stop();
    m_thread.join();
}

void AlsaTonePlayer::start(const Tone& tone)
{
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back({tone, ++m_lastStart});
    }
    m_wake.notify_all();
}

void AlsaTonePlayer::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stoppedUpTo = m_lastStart;
    }
    m_wake.notify_all();
}

bool AlsaTonePlayer::ended(std::uint64_t id, const std::stop_token& stop)
{
    const std::lock_guard lock(m_mutex);
    return stop.stop_requested() || endedLocked(id);
}

void AlsaTonePlayer::run(std::stop_token stop)
{
    try {
        while (!stop.stop_requested()) {
            Request request{};
            {
                std::unique_lock lock(m_mutex);
                if (!m_wake.wait(lock, stop, [this] { return !m_requests.empty(); }))
                    return;
                request = m_requests.front();
                m_requests.pop_front();
            }
            const auto deadline = std::chrono::steady_clock::now() + request.tone.duration;
            // A tone that fails on its way to the device is silence of the
            // same length: its end is still told, or the alarm would wait for
            // it for ever.
            try {
                if (!ended(request.id, stop))
                    playOnDevice(request, stop);
            } catch (...) {
            }
            {
                // A device that took the samples faster than it plays them, or
                // none at all: the tone still lasts its length.
                std::unique_lock lock(m_mutex);
                m_wake.wait_until(lock, stop, deadline,
                                  [this, &request] { return endedLocked(request.id); });
            }
            if (stop.stop_requested())
                return;
            if (m_toneEnded)
                m_toneEnded();
        }
    } catch (...) {
        // Nothing may leave the thread.
    }
}

void AlsaTonePlayer::playOnDevice(const Request& request, const std::stop_token& stop)
{
    snd_pcm_t* raw = nullptr;
    if (snd_pcm_open(&raw, m_pcmName.c_str(), SND_PCM_STREAM_PLAYBACK, 0) < 0)
        return;
    const Pcm pcm(raw);
    constexpr unsigned kChannels = 1;
    constexpr int kAllowResampling = 1;
    if (snd_pcm_set_params(pcm.get(), SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED,
                           kChannels, kSampleRate, kAllowResampling, kLatencyMicroseconds) < 0)
        return;
    const ToneShape shape{request.tone.frequencyHz, kSampleRate,
                          static_cast<std::size_t>(kSampleRate) *
                              static_cast<std::size_t>(request.tone.duration.count()) / 1000};
    std::array<std::int16_t, kChunkSamples> chunk{};
    for (std::size_t written = 0; written < shape.totalSamples;) {
        if (ended(request.id, stop)) {
            snd_pcm_drop(pcm.get());
            return;
        }
        const std::size_t n = std::min(chunk.size(), shape.totalSamples - written);
        toneSamples(shape, written, std::span(chunk).first(n));
        snd_pcm_sframes_t frames = snd_pcm_writei(pcm.get(), chunk.data(), n);
        if (frames < 0) {
            constexpr int kSilentRecovery = 1;
            frames = snd_pcm_recover(pcm.get(), static_cast<int>(frames), kSilentRecovery);
            if (frames < 0)
                return;
            continue; // the chunk is written again
        }
        written += static_cast<std::size_t>(frames);
    }
    snd_pcm_drain(pcm.get());
}

} // namespace platform
