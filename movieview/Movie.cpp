#include "Movie.h"

#include "MovieEndMessage.h"

#include <QCoreApplication>
#include <QWidget>
#include <algorithm>
#include <limits>
#include <new>

namespace movieview {

namespace {

std::uint64_t g_nextSerial = 1; // user-interface thread only

std::int16_t clampToBox(int value)
{
    return static_cast<std::int16_t>(
        std::clamp(value, 0, static_cast<int>(std::numeric_limits<std::int16_t>::max())));
}

} // namespace

std::unique_ptr<Movie> Movie::open(AvIoPtr file, QWidget* view)
{
    try {
        MovieErrorCode code = EngineCode::noErr;
        std::optional<MovieDecoder> decoder = MovieDecoder::open(std::move(file), code);
        if (!decoder)
            return nullptr;
        auto movie = std::make_unique<Movie>(std::move(*decoder), view);
        // A picture too large to show makes a movie without a frame; its
        // boxError() tells why.
        if (!movie->m_current.valid() && !movie->m_decoder.pictureTooLarge())
            return nullptr; // not one frame decodes
        return movie;
    } catch (const std::bad_alloc&) {
        return nullptr; // a failure like any other, never an exception
    }
}

Movie::Movie(MovieDecoder decoder, QWidget* view)
    : m_decoder(std::move(decoder)), m_view(view), m_serial(g_nextSerial++), m_displayBox(box())
{
    m_timer.setSingleShot(true);
    m_timer.setTimerType(Qt::PreciseTimer);
    QObject::connect(&m_timer, &QTimer::timeout, [this] { tick(); });
    if (m_decoder.pictureTooLarge())
        return;
    if (m_decoder.decodeNext(m_current) != MovieDecoder::Outcome::Frame) {
        m_current = MovieFrame{};
        return;
    }
    ++m_framesShown;
    decodeAhead();
}

Movie::~Movie() = default;

MovieBox Movie::box() const
{
    return MovieBox{0, 0, clampToBox(m_decoder.height()), clampToBox(m_decoder.width())};
}

MovieErrorCode Movie::boxError() const
{
    return m_decoder.pictureTooLarge() ? EngineCode::pictureTooLarge : EngineCode::noErr;
}

void Movie::setBox(const MovieBox& box)
{
    if (!(box == m_displayBox))
        repaint(m_displayBox);
    m_displayBox = box;
    repaint(m_displayBox);
}

void Movie::repaint(const MovieBox& box)
{
    if (m_view)
        m_view->update(QRect(box.left, box.top, box.width(), box.height()));
}

void Movie::start()
{
    if (m_playing)
        return;
    m_playing = true;
    m_anchorWall = Clock::now();
    m_anchorTime = m_time;
    schedule();
}

void Movie::stop()
{
    m_playing = false;
    m_timer.stop();
}

void Movie::togglePlaying()
{
    // At its end a movie still counts as playing until it is stopped.
    if (m_playing && !m_atEnd) {
        stop();
        return;
    }
    stop();
    if (m_atEnd || m_time >= duration())
        goToBeginning();
    start();
}

MovieErrorCode Movie::goToBeginning()
{
    m_timer.stop();
    m_atEnd = false;
    m_nextValid = false;
    m_readFailure = EngineCode::noErr;
    if (!m_decoder.rewind() || m_decoder.decodeNext(m_current) != MovieDecoder::Outcome::Frame)
        return m_decoder.lastFailure() != EngineCode::noErr ? m_decoder.lastFailure()
                                                            : EngineCode::invalidTime;
    ++m_framesShown;
    m_time = 0;
    decodeAhead();
    repaint(m_displayBox);
    if (m_playing) {
        m_anchorWall = Clock::now();
        m_anchorTime = 0;
        schedule();
    }
    return EngineCode::noErr;
}

void Movie::decodeAhead()
{
    const MovieDecoder::Outcome outcome = m_decoder.decodeNext(m_next);
    m_nextValid = outcome == MovieDecoder::Outcome::Frame;
    // A read failure ends the movie early; the movie keeps it for the end handling.
    if (outcome == MovieDecoder::Outcome::Failed)
        m_readFailure = m_decoder.lastFailure();
}

std::int64_t Movie::clockTime() const
{
    const auto elapsed =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - m_anchorWall);
    return m_anchorTime + elapsed.count();
}

void Movie::schedule()
{
    if (!m_playing || m_atEnd)
        return;
    const std::int64_t due = m_nextValid ? m_next.timeMs : m_decoder.durationMs();
    const std::int64_t wait = std::max<std::int64_t>(0, due - clockTime());
    m_timer.start(static_cast<int>(std::min<std::int64_t>(wait, std::numeric_limits<int>::max())));
}

void Movie::tick()
{
    if (!m_playing || m_atEnd)
        return;
    if (!m_nextValid) {
        reachEnd();
        return;
    }
    std::swap(m_current, m_next);
    ++m_framesShown;
    m_time = m_current.timeMs;
    repaint(m_displayBox);
    decodeAhead(); // the one decode of this tick
    schedule();
}

void Movie::reachEnd()
{
    m_time = m_decoder.durationMs();
    m_atEnd = true;
    // Handled later, in event order, on this thread.
    if (m_view)
        QCoreApplication::postEvent(m_view, new MovieEndEvent(m_serial));
}

} // namespace movieview
