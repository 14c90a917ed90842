// A callback on a movie's time base. Once armed with callMeWhen() for the stop
// end, it calls its procedure one time when playback reaches the end; it must
// be armed again for the next time.
#pragma once

#include "MovieErrorCode.h"

#include <cstdint>
#include <memory>

namespace movieview {

class TimeBase;
class MovieCallBack;

// Called on the user-interface thread, from the playback tick.
using MovieCallBackProc = void (*)(MovieCallBack& callBack, void* refCon);

namespace CallBackType {
inline constexpr int callBackAtExtremes = 4; // fires at the start or stop end of the time base
} // namespace CallBackType
namespace TriggerFlag {
inline constexpr long triggerAtStart = 1;
inline constexpr long triggerAtStop = 2;
} // namespace TriggerFlag

class MovieCallBack
{
public:
    MovieCallBack(TimeBase& timeBase, int type);
    ~MovieCallBack();
    MovieCallBack(const MovieCallBack&) = delete;
    MovieCallBack& operator=(const MovieCallBack&) = delete;

    // Arms the callback. For callBackAtExtremes, flags choose the end(s);
    // param2 and param3 are unused by that type.
    MovieErrorCode callMeWhen(MovieCallBackProc proc, void* refCon, long flags, long param2,
                              long param3);
    void cancel();

    bool armed() const { return m_proc != nullptr; }
    int type() const { return m_type; }
    // Tells this callback apart from every other made in this program run.
    std::uint64_t serial() const { return m_serial; }

private:
    friend class TimeBase;
    // Fires when armed for this end, and disarms itself first.
    void reachedEnd(long endFlag);
    void timeBaseGone() { m_timeBase = nullptr; }

    TimeBase* m_timeBase;
    int m_type;
    std::uint64_t m_serial;
    MovieCallBackProc m_proc = nullptr;
    void* m_refCon = nullptr;
    long m_flags = 0;
};

// Makes a callback on the time base; none for a type the engine does not offer.
std::unique_ptr<MovieCallBack> NewCallBack(TimeBase& timeBase, int type);

} // namespace movieview
