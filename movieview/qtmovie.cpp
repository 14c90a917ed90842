#include "qtmovie.h"

#include "Movie.h"
#include "MovieDecoder.h"
#include "MovieEndMessage.h"
#include "MovieEngineSession.h"
#include "MovieError.h"
#include "MovieErrors.h"
#include "MoviePlacement.h"

#include <QFile>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace movieview {

TQTMovie::TQTMovie(QWidget* owner) : QWidget(owner)
{
    // Opaque: the control covers its whole area and erasing draws nothing, so
    // nothing is drawn under the movie picture before the engine draws it.
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
    // Space reaches the movie only with the keyboard focus.
    setFocusPolicy(Qt::StrongFocus);
    resize(kInitialWidth, kInitialHeight);
}

TQTMovie::~TQTMovie()
{
    CloseMovie();
}

bool TQTMovie::EnsureQuickTime()
{
    const bool available = QuickTimeAvailable();
    if (!available)
        emit OnQuickTimeNotAvailable(this);
    return available;
}

void TQTMovie::createNativeWindow()
{
    if (m_nativeWindowCreated)
        return;
    m_nativeWindowCreated = true;
    m_portAssociation = EnsureQuickTime();
}

void TQTMovie::setFileName(const QString& path)
{
    if (!EnsureQuickTime())
        return;
    CloseMovie();
    update();
    if (path.isEmpty())
        return;
    OpenMovie(path);
    m_fileName = path;
}

void TQTMovie::OpenMovie(const QString& path)
{
    if (!EnsureQuickTime())
        return;
    // The whole path reaches the engine, in the file system's encoding.
    const std::string localPath = QFile::encodeName(path).toStdString();
    createNativeWindow();

    MovieErrorCode opened = EngineCode::noErr;
    AvIoPtr file = MovieDecoder::openFile(localPath, opened);
    if (!file)
        throw MovieError(QStringLiteral("Error opening movie file"));
    // The movie takes the file; nothing of it stays open beside the movie.
    std::unique_ptr<Movie> movie = Movie::open(std::move(file), this);
    if (!movie)
        throw MovieError(QStringLiteral("Error reading movie from file"));
    InstallMovie(std::move(movie));
}

void TQTMovie::InstallMovie(std::unique_ptr<Movie> movie)
{
    if (!EnsureQuickTime())
        return;
    CloseMovie();
    if (!movie)
        return;

    // A failure before the movie is attached releases it with this function.
    const MovieBox natural = movie->box();
    CheckMovieResult(movie->boxError());
    m_naturalWidth = static_cast<std::int16_t>(natural.right - natural.left);
    m_naturalHeight = static_cast<std::int16_t>(natural.bottom - natural.top);
    m_hasPicture = m_naturalWidth != 0;
    if (!m_hasPicture)
        m_naturalHeight = 0;

    // Every movie reports its end, so that the end stops, rewinds or loops it.
    m_movie = std::move(movie);
    applyAutoSize();
    PlaceMovie();
}

void TQTMovie::CloseMovie()
{
    m_fileName.clear();
    m_hasPicture = false;
    m_movie.reset();
}

void TQTMovie::PlaceMovie()
{
    if (!m_movie)
        return;
    const MoviePlacement placement = placeMovie(ClientRect{0, 0, width(), height()}, m_naturalWidth,
                                                m_naturalHeight, m_keepScale, m_hasPicture);
    if (placement.barOffset)
        m_barOffset = *placement.barOffset;
    m_movie->setBox(placement.box);
}

void TQTMovie::setKeepScale(bool keepScale)
{
    if (!EnsureQuickTime())
        return;
    m_keepScale = keepScale;
    PlaceMovie();
    update();
}

void TQTMovie::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void TQTMovie::setAutoSize(bool autoSize)
{
    m_autoSize = autoSize;
    applyAutoSize();
}

void TQTMovie::applyAutoSize()
{
    updateGeometry();
    if (!m_autoSize)
        return;
    int w = width();
    int h = height();
    if (CanAutoSize(w, h))
        resize(w, h);
}

bool TQTMovie::CanAutoSize(int& newWidth, int& newHeight) const
{
    if (m_movie && (newWidth != m_naturalWidth || newHeight != m_naturalHeight)) {
        newWidth = m_naturalWidth;
        newHeight = m_naturalHeight;
        return true;
    }
    return false;
}

QSize TQTMovie::sizeHint() const
{
    if (m_movie)
        return QSize(m_naturalWidth, m_naturalHeight);
    return QWidget::sizeHint();
}

void TQTMovie::handleMovieEnd(const MovieEndEvent& event)
{
    // An end message of a movie that is gone (closed or replaced after it
    // was posted) concerns no movie shown now.
    if (!m_movie || m_movie->serial() != event.movieSerial())
        return;
    // Taken first: repositioning clears it.
    const MovieErrorCode endedEarlyBy = m_movie->readFailure();
    if (m_looping) {
        CheckMovieResult(m_movie->goToBeginning());
        CheckMovieResult(endedEarlyBy);
        return;
    }
    m_movie->stop();
    if (m_autoRewind)
        CheckMovieResult(m_movie->goToBeginning());
    CheckMovieResult(endedEarlyBy);
    emit OnStop(this);
}

void TQTMovie::handlePlayerEvent(const QEvent& event)
{
    if (!m_portAssociation || !m_movie || window()->isMinimized())
        return;
    // A double click or the Space key plays and pauses. A single press of the
    // left button does nothing; the second press of a double click does.
    bool toggle = false;
    if (event.type() == QEvent::MouseButtonDblClick)
        toggle = static_cast<const QMouseEvent&>(event).button() == Qt::LeftButton;
    else if (event.type() == QEvent::KeyPress) {
        const auto& key = static_cast<const QKeyEvent&>(event);
        toggle = key.key() == Qt::Key_Space && !key.isAutoRepeat();
    }
    if (toggle)
        m_movie->togglePlaying();
}

bool TQTMovie::event(QEvent* event)
{
    handlePlayerEvent(*event);
    if (event->type() == MovieEndMessage) {
        try {
            handleMovieEnd(static_cast<const MovieEndEvent&>(*event));
        } catch (const MovieError& error) {
            // No caller to throw to from an event handler.
            emit OnMovieError(this, error.text());
        }
        return true;
    }
    return QWidget::event(event);
}

void TQTMovie::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    const int w = width();
    const int h = height();
    if (!m_movie || !m_hasPicture) {
        painter.fillRect(QRect(0, 0, w, h), m_color);
        return;
    }
    const MovieFrame& frame = m_movie->currentFrame();
    if (frame.valid()) {
        // Wrapped, not copied, and stretched over the movie's box.
        const QImage image(frame.pixels.data(), frame.width, frame.height, frame.stride,
                           QImage::Format_RGB32);
        const MovieBox box = m_movie->displayBox();
        painter.drawImage(QRect(box.left, box.top, box.width(), box.height()), image);
    }
    if (!m_keepScale)
        return; // the movie covers the client area
    if (m_barOffset > 0) {
        painter.fillRect(QRect(0, 0, m_barOffset, h), m_color);
        painter.fillRect(QRect(w - m_barOffset, 0, m_barOffset, h), m_color);
    } else {
        painter.fillRect(QRect(0, 0, w, -m_barOffset), m_color);
        painter.fillRect(QRect(0, h + m_barOffset, w, -m_barOffset), m_color);
    }
}

void TQTMovie::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (m_movie)
        PlaceMovie();
}

void TQTMovie::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    createNativeWindow();
}

} // namespace movieview
