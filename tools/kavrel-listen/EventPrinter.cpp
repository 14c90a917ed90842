#include "EventPrinter.h"

#include "EventLine.h"

namespace listenhost {

std::size_t EventPrinter::slotOf(std::int32_t code)
{
    for (std::size_t i = 0; i < kavrel::kEventKinds.size(); ++i)
        if (kavrel::kEventKinds[i].code == code)
            return i;
    return kOtherSlot;
}

std::int32_t EventPrinter::codeOfSlot(std::size_t slot)
{
    return slot < kavrel::kEventKinds.size() ? kavrel::kEventKinds[slot].code : -1;
}

void EventPrinter::report(const char* text, std::int32_t code, const void* data,
                          std::int32_t length) noexcept
{
    m_counts[slotOf(code)].fetch_add(1, std::memory_order_relaxed);
    if (kavrel::isPacketEvent(code) && length > 0)
        m_packetBytes.fetch_add(static_cast<std::uint64_t>(length - 1), std::memory_order_relaxed);
    if (m_quiet)
        return;
    try {
        std::string line = formatEventLine(text, code, data, length);
        line += '\n';
        std::lock_guard lock(m_outputMutex);
        std::fwrite(line.data(), 1, line.size(), m_out);
    } catch (...) {
        // Out of memory while formatting: the line is lost, the library goes on.
    }
}

std::string EventPrinter::totals() const
{
    std::string out = "events:";
    bool any = false;
    for (std::size_t slot = 0; slot < kSlots; ++slot) {
        const std::uint64_t n = m_counts[slot].load(std::memory_order_relaxed);
        if (n == 0)
            continue;
        out += any ? ", " : " ";
        out += std::to_string(n) + " " +
               (slot == kOtherSlot ? std::string("other")
                                   : std::string(kavrel::eventName(codeOfSlot(slot))));
        any = true;
    }
    if (!any)
        out += " none";
    out +=
        "; packet payload bytes: " + std::to_string(m_packetBytes.load(std::memory_order_relaxed));
    return out;
}

} // namespace listenhost
