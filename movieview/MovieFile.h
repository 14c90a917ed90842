// Opening a movie file and making a movie from it: the file is opened for
// reading first (a missing or unreadable file fails there), then the movie is
// made from it. The movie keeps what it needs of the file, so the file
// reference can be closed as soon as the movie exists.
#pragma once

#include "FfmpegHandles.h"
#include "MovieErrorCode.h"

#include <memory>
#include <string>

class QWidget;

namespace movieview {

class Movie;

struct MovieFileRef
{
    AvIoPtr file;
};

namespace NewMovieFlag {
inline constexpr long newMovieActive = 1;
} // namespace NewMovieFlag

// Opens the file at path (a local path in the file system's encoding) for reading.
MovieErrorCode OpenMovieFile(const std::string& path, MovieFileRef& ref);

// Makes the first movie of the opened file, shown in view (none: shown
// nowhere). The file's contents decide the format, never its name.
MovieErrorCode NewMovieFromFile(std::unique_ptr<Movie>& movie, MovieFileRef& ref, QWidget* view,
                                long flags);

void CloseMovieFile(MovieFileRef& ref);

} // namespace movieview
