// The desktop's warning sound: the sound theme's "dialog-warning" event
// through libcanberra, or the fallback beep when that cannot be played (no
// theme, no sound server, no device).
//
// Threading: the owner's thread only. The one context is made on the first
// play and kept; plays need no callback, so canberra's threads never call back.
#pragma once

#include <functional>
#include <memory>

struct ca_context;

namespace platform {

class CanberraWarningSound
{
public:
    static constexpr const char* kEventId = "dialog-warning";

    explicit CanberraWarningSound(std::function<void()> fallbackBeep);
    ~CanberraWarningSound();
    CanberraWarningSound(const CanberraWarningSound&) = delete;
    CanberraWarningSound& operator=(const CanberraWarningSound&) = delete;

    void play();

private:
    struct ContextDestroyer
    {
        void operator()(ca_context* context) const;
    };

    void beep();

    std::function<void()> m_fallbackBeep;
    std::unique_ptr<ca_context, ContextDestroyer> m_context;
    bool m_contextFailed = false;
};

} // namespace platform
