// TQTMovie: the window control that shows a movie file. Setting FileName opens
// the file with the movie engine and installs the movie; setting it empty
// closes the movie. The control paints the movie's current frame, stretched
// over the control or keeping its aspect ratio with bars of the control's
// colour beside it. A double click or the Space key plays and pauses; at the
// end the movie stops (and rewinds) or loops.
//
// The movie engine must have been started (a MovieEngineSession alive). While
// it is unavailable the guarded operations only raise OnQuickTimeNotAvailable.
// Failures are thrown as MovieError carrying the message text.
//
// Threading: user-interface thread only.
#pragma once

#include "MovieBox.h"

#include <QColor>
#include <QString>
#include <QWidget>
#include <cstdint>
#include <memory>

namespace movieview {

class Movie;
class MovieEndEvent;

class TQTMovie : public QWidget
{
    Q_OBJECT
    Q_PROPERTY(QString FileName READ FileName WRITE setFileName)
    Q_PROPERTY(bool KeepScale READ KeepScale WRITE setKeepScale)
    Q_PROPERTY(bool AutoRewind READ AutoRewind WRITE setAutoRewind)
    Q_PROPERTY(bool Looping READ Looping WRITE setLooping)
    Q_PROPERTY(QColor Color READ Color WRITE setColor)
    Q_PROPERTY(bool AutoSize READ AutoSize WRITE setAutoSize)

public:
    static constexpr int kInitialWidth = 50;
    static constexpr int kInitialHeight = 50;

    explicit TQTMovie(QWidget* owner = nullptr);
    ~TQTMovie() override;

    QString FileName() const { return m_fileName; }
    // Closes the current movie, repaints, and opens path unless it is empty.
    // Throws MovieError; FileName is then empty.
    void setFileName(const QString& path);
    bool KeepScale() const { return m_keepScale; }
    void setKeepScale(bool keepScale);
    bool AutoRewind() const { return m_autoRewind; }
    void setAutoRewind(bool autoRewind) { m_autoRewind = autoRewind; }
    bool Looping() const { return m_looping; }
    void setLooping(bool looping) { m_looping = looping; }
    QColor Color() const { return m_color; }
    void setColor(const QColor& color);
    bool AutoSize() const { return m_autoSize; }
    void setAutoSize(bool autoSize);

    void OpenMovie(const QString& path);
    void InstallMovie(std::unique_ptr<Movie> movie);
    void CloseMovie();
    void PlaceMovie();

    // The auto-size query: may replace the proposed size; true when it did.
    bool CanAutoSize(int& newWidth, int& newHeight) const;
    QSize sizeHint() const override;

    bool HasPicture() const { return m_hasPicture; }
    std::int16_t NaturalWidth() const { return m_naturalWidth; }
    std::int16_t NaturalHeight() const { return m_naturalHeight; }
    std::int32_t BarOffset() const { return m_barOffset; }
    // The movie, for observers; none while no movie is loaded.
    Movie* movie() const { return m_movie.get(); }
    // The engine's side of the native window: made when the window is,
    // while the engine is available.
    bool hasPortAssociation() const { return m_portAssociation; }

signals:
    void OnStop(movieview::TQTMovie* sender);
    void OnQuickTimeNotAvailable(movieview::TQTMovie* sender);
    // A failure while handling the end of the movie, which has no caller to
    // throw to.
    void OnMovieError(movieview::TQTMovie* sender, const QString& text);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    bool EnsureQuickTime();
    void createNativeWindow();
    void handlePlayerEvent(const QEvent& event);
    void handleMovieEnd(const MovieEndEvent& event);
    void applyAutoSize();

    QString m_fileName;
    bool m_keepScale = false;
    bool m_autoRewind = true;
    bool m_looping = false;
    bool m_autoSize = false;
    QColor m_color = Qt::black;

    bool m_nativeWindowCreated = false;
    bool m_portAssociation = false;
    std::unique_ptr<Movie> m_movie; // plays itself; the control handles its events
    bool m_hasPicture = false;
    std::int16_t m_naturalWidth = 0;
    std::int16_t m_naturalHeight = 0;
    std::int32_t m_barOffset = 0;
};

} // namespace movieview
