// A movie's clock: its current time in the movie's time scale, its rate (0
// stopped, 1 playing) and the callbacks that watch its ends. The movie that
// owns it moves the time; the callbacks hear when it reaches an end.
//
// Reaching the stop end does not change the rate: the clock stands at the end
// until the movie is stopped or moved, and a move back while the rate is still
// 1 plays on from there.
#pragma once

#include <cstdint>
#include <vector>

namespace movieview {

class MovieCallBack;

namespace TimeBaseFlag {
inline constexpr long loopTimeBase = 1; // the clock wraps to the start by itself at the end
} // namespace TimeBaseFlag

class TimeBase
{
public:
    TimeBase() = default;
    ~TimeBase();
    TimeBase(const TimeBase&) = delete;
    TimeBase& operator=(const TimeBase&) = delete;

    void setFlags(long flags);
    long flags() const { return m_flags; }
    std::int64_t time() const { return m_time; }
    int rate() const { return m_rate; }

private:
    friend class Movie;
    friend class MovieCallBack;

    void setTime(std::int64_t time) { m_time = time; }
    void setRate(int rate) { m_rate = rate; }
    // Tells the armed callbacks that the clock reached the stop end.
    void reachedStopEnd();

    void attach(MovieCallBack* callBack);
    void detach(MovieCallBack* callBack);

    long m_flags = 0;
    std::int64_t m_time = 0;
    int m_rate = 0;
    std::vector<MovieCallBack*> m_callBacks; // not owned; each detaches itself when disposed
};

} // namespace movieview
