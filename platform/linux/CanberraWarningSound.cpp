#include "CanberraWarningSound.h"

#include <canberra.h>

namespace platform {

namespace {

// Plays share one id; the program never cancels them.
constexpr std::uint32_t kWarningPlayId = 1;
constexpr const char* kDescription = "Alarm";

} // namespace

void CanberraWarningSound::ContextDestroyer::operator()(ca_context* context) const
{
    ca_context_destroy(context);
}

CanberraWarningSound::CanberraWarningSound(std::function<void()> fallbackBeep)
    : m_fallbackBeep(std::move(fallbackBeep))
{
}

CanberraWarningSound::~CanberraWarningSound() = default;

void CanberraWarningSound::play()
{
    if (!m_context && !m_contextFailed) {
        ca_context* context = nullptr;
        if (ca_context_create(&context) == CA_SUCCESS)
            m_context.reset(context);
        else
            m_contextFailed = true;
    }
    if (!m_context ||
        ca_context_play(m_context.get(), kWarningPlayId, CA_PROP_EVENT_ID, kEventId,
                        CA_PROP_EVENT_DESCRIPTION, kDescription, nullptr) != CA_SUCCESS)
        beep();
}

void CanberraWarningSound::beep()
{
    if (m_fallbackBeep)
        m_fallbackBeep();
}

} // namespace platform
