#include "MovieFile.h"

#include "Movie.h"
#include "MovieDecoder.h"
#include "MovieEngineSession.h"

namespace movieview {

MovieErrorCode OpenMovieFile(const std::string& path, MovieFileRef& ref)
{
    MovieErrorCode code = EngineCode::noErr;
    ref.file = MovieDecoder::openFile(path, code);
    noteEngineResult(code);
    return code;
}

MovieErrorCode NewMovieFromFile(std::unique_ptr<Movie>& movie, MovieFileRef& ref, MoviePort* port,
                                long)
{
    movie.reset();
    MovieErrorCode code = EngineCode::noErr;
    std::optional<MovieDecoder> decoder = MovieDecoder::open(std::move(ref.file), code);
    if (decoder) {
        auto made = std::make_unique<Movie>(std::move(*decoder), port);
        if (made->ready())
            movie = std::move(made);
        else
            code = EngineCode::badMovie; // not one frame decodes
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
