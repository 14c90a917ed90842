// An open movie: its decoder, the frame shown now and the one decoded ahead,
// the box it is shown in and the view that shows it. Playback is paced by a
// timer on the user-interface thread.
//
// Why decode on the user-interface thread, one frame per timer tick: a
// recorder clip is MPEG-4 part 2 at CIF size or smaller, and one of its frames
// decodes in well under a millisecond (the movie benchmark measures it), far
// inside a frame period of 40 to 100 ms. One decode per tick therefore never
// holds the thread for longer than one frame, and playing needs no worker
// thread, no frame queue between threads and no lock. The movie keeps one
// frame ready ahead: each tick shows it and decodes the following one, and the
// timer is set for the moment that frame is due on the playing clock.
//
// When playing reaches the end the movie stops there and posts a
// MovieEndEvent to its view.
#pragma once

#include "FfmpegHandles.h"
#include "MovieBox.h"
#include "MovieDecoder.h"
#include "MovieErrorCode.h"
#include "MovieFrame.h"

#include <QTimer>
#include <chrono>
#include <cstdint>
#include <memory>

class QWidget;

namespace movieview {

class Movie
{
public:
    // Movie times and durations are in milliseconds.
    static constexpr std::int32_t kTimeScale = 1000;

    // Makes the first movie of an opened file, shown in view (none: shown
    // nowhere). None when the file holds no movie or its first frame does not
    // decode. The file's contents decide the format, never its name.
    static std::unique_ptr<Movie> open(AvIoPtr file, QWidget* view);

    Movie(MovieDecoder decoder, QWidget* view);
    Movie(const Movie&) = delete;
    Movie& operator=(const Movie&) = delete;
    ~Movie();

    // The movie's own box: top 0, left 0, its picture's height and width.
    MovieBox box() const;
    // pictureTooLarge for a picture larger than the engine shows, else 0.
    MovieErrorCode boxError() const;
    void setBox(const MovieBox& box);
    MovieBox displayBox() const { return m_displayBox; }

    double preferredRate() const { return 1.0; }
    double preferredVolume() const { return 0.0; } // the engine plays pictures only
    std::int64_t duration() const { return m_decoder.durationMs(); }
    std::int32_t timeScale() const { return kTimeScale; }
    std::int64_t time() const { return m_time; }

    void start();
    void stop();
    bool playing() const { return m_playing; }
    bool atEnd() const { return m_atEnd; }
    // Pauses a playing movie; plays a stopped one, from the beginning when it
    // stands at its end.
    void togglePlaying();
    // The failure that ended playback before the movie's end (a read error,
    // a damaged or oversized picture, memory), or 0. Cleared by a reposition.
    MovieErrorCode readFailure() const { return m_readFailure; }
    // 0, or why the movie cannot go back to its first frame.
    MovieErrorCode goToBeginning();

    const MovieFrame& currentFrame() const { return m_current; }
    // Frames shown since the movie was made, for observers of playback.
    std::uint64_t framesShown() const { return m_framesShown; }
    // Tells this movie apart from every other made in this program run.
    std::uint64_t serial() const { return m_serial; }

private:
    using Clock = std::chrono::steady_clock;

    void decodeAhead();
    void schedule();
    void tick();
    void reachEnd();
    void repaint(const MovieBox& box);
    std::int64_t clockTime() const;

    MovieDecoder m_decoder;
    QWidget* m_view; // the view that made the movie; outlives it
    std::uint64_t m_serial;
    MovieBox m_displayBox;
    MovieFrame m_current; // shown now
    MovieFrame m_next;    // decoded ahead, due at m_next.timeMs
    bool m_nextValid = false;
    bool m_playing = false;
    bool m_atEnd = false;
    std::int64_t m_time = 0;
    MovieErrorCode m_readFailure = EngineCode::noErr;
    std::uint64_t m_framesShown = 0;
    // The playing clock: movie time m_anchorTime at wall time m_anchorWall.
    Clock::time_point m_anchorWall;
    std::int64_t m_anchorTime = 0;
    QTimer m_timer;
};

} // namespace movieview
