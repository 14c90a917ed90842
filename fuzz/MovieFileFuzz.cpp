// A movie file of any bytes, opened by the movie engine as the movie view
// opens a received clip, then decoded, rewound and decoded again. Whatever the
// bytes, the engine answers with a result code: no crash, no picture beyond
// the size limit, every frame's pixels as large as its size says.
#include "FuzzCheck.h"
#include "Movie.h"
#include "MovieDecoder.h"
#include "MovieEngineSession.h"
#include "ScratchFile.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

using namespace movieview;

namespace {

// Enough frames to pass a stream's first pictures and a size change or two.
constexpr int kFramesPerInput = 8;

MovieEngineSession* g_session = nullptr;

void checkFrame(const MovieFrame& frame)
{
    FUZZ_CHECK(frame.valid());
    FUZZ_CHECK(frame.width <= MovieDecoder::kMaxPictureSide);
    FUZZ_CHECK(frame.height <= MovieDecoder::kMaxPictureSide);
    FUZZ_CHECK(frame.stride >= frame.width * 4);
    FUZZ_CHECK(frame.pixels.size() >=
               static_cast<std::size_t>(frame.stride) * static_cast<std::size_t>(frame.height));
}

void decodeSome(MovieDecoder& decoder)
{
    MovieFrame frame;
    for (int i = 0; i < kFramesPerInput; ++i) {
        const MovieDecoder::Outcome outcome = decoder.decodeNext(frame);
        if (outcome != MovieDecoder::Outcome::Frame) {
            // A failure says what failed, and an end tells no failure.
            FUZZ_CHECK((outcome == MovieDecoder::Outcome::Failed) ==
                       (decoder.lastFailure() != EngineCode::noErr));
            return;
        }
        checkFrame(frame);
        FUZZ_CHECK(decoder.durationMs() >= 0);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    ScratchFile::create("fuzz-movie");
    g_session = new MovieEngineSession; // the program's one engine start, kept to the end
    FUZZ_CHECK(QuickTimeAvailable());
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    ScratchFile::write(data, size);
    const std::string& path = ScratchFile::path();

    // The movie view's way: a movie with its first frame, its box and a rewind.
    MovieErrorCode opened = EngineCode::noErr;
    AvIoPtr file = MovieDecoder::openFile(path, opened);
    FUZZ_CHECK(file && opened == EngineCode::noErr);
    std::unique_ptr<Movie> movie = Movie::open(std::move(file), nullptr);
    if (!movie)
        return 0;
    const MovieBox box = movie->box();
    FUZZ_CHECK(box.top == 0 && box.left == 0 && box.bottom >= 0 && box.right >= 0);
    if (movie->boxError() == EngineCode::noErr) {
        checkFrame(movie->currentFrame());
        movie->goToBeginning();
    }
    FUZZ_CHECK(movie->duration() >= 0);
    movie.reset();

    // The decoder's way: frames one after another, then again from the start.
    MovieErrorCode code = EngineCode::noErr;
    std::optional<MovieDecoder> decoder =
        MovieDecoder::open(MovieDecoder::openFile(path, code), code);
    FUZZ_CHECK(decoder.has_value());
    decodeSome(*decoder);
    if (decoder->rewind())
        decodeSome(*decoder);
    return 0;
}
