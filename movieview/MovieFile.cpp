#include "MovieFile.h"

#include "Movie.h"
#include "MovieDecoder.h"
#include "MovieEngineSession.h"

#include <new>

namespace movieview {

MovieErrorCode OpenMovieFile(const std::string& path, MovieFileRef& ref)
{
    MovieErrorCode code = EngineCode::noErr;
    ref.file = MovieDecoder::openFile(path, code);
    noteEngineResult(code);
    return code;
}

MovieErrorCode NewMovieFromFile(std::unique_ptr<Movie>& movie, MovieFileRef& ref, QWidget* view,
                                long)
{
    movie.reset();
    MovieErrorCode code = EngineCode::noErr;
    try {
        std::optional<MovieDecoder> decoder = MovieDecoder::open(std::move(ref.file), code);
        if (decoder) {
            auto made = std::make_unique<Movie>(std::move(*decoder), view);
            if (made->ready())
                movie = std::move(made);
            else
                code = EngineCode::badMovie; // not one frame decodes
        }
    } catch (const std::bad_alloc&) {
        code = EngineCode::internalError; // a failure like any other, never an exception
    }
    noteEngineResult(code);
    return code;
}

void CloseMovieFile(MovieFileRef& ref)
{
    ref.file.reset();
    noteEngineResult(EngineCode::noErr);
}

} // namespace movieview
