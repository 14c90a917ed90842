// Demuxes and decodes the video of one movie file with FFmpeg. No Qt and no
// clock here: the caller asks for frames one at a time and decides when.
//
// The container is recognised from the bytes, never from the file name, so a
// QuickTime/MP4 file and a raw MPEG-4 elementary stream both open whatever
// they are called. A raw stream carries no duration and each of its frames is
// due at index x frame period. Its frames are counted when it opens, as far as
// kCountScanBytes: a longer stream gets a duration estimated from its size,
// made exact once decoding reaches its end, so that opening a long clip costs
// what opening a short one does.
//
// A picture larger than kMaxPictureSide on either side is refused: the movie
// opens, with the size it claims, but decodes no frame, so a clip cannot make
// the engine allocate whatever it announces.
#pragma once

#include "FfmpegHandles.h"
#include "MovieErrorCode.h"
#include "MovieFrame.h"

#include <cstdint>
#include <optional>
#include <string>

namespace movieview {

class MovieDecoder
{
public:
    // Far above the recorders' pictures (CIF, or four of them in one).
    static constexpr int kMaxPictureSide = 4096;
    // A raw stream's frames are counted at open through at most this many bytes.
    static constexpr std::int64_t kCountScanBytes = std::int64_t{1} << 20;

    enum class Outcome
    {
        Frame,       // a frame was decoded into the target
        EndOfStream, // no more frames; a normal outcome
        Failed,      // reading failed; lastFailure() says how
    };

    // Opens the file for reading only. Fails with the engine code of what went
    // wrong (a missing file gives fileNotFound).
    static AvIoPtr openFile(const std::string& path, MovieErrorCode& code);

    // Takes the opened file and recognises a movie with a video stream in it.
    // On failure returns nothing and sets code; the file is released either way.
    static std::optional<MovieDecoder> open(AvIoPtr file, MovieErrorCode& code);

    MovieDecoder(MovieDecoder&&) noexcept = default;
    MovieDecoder& operator=(MovieDecoder&&) noexcept = default;
    ~MovieDecoder() = default;

    int width() const { return m_width; }
    int height() const { return m_height; }
    // True when the picture is larger than the engine shows; no frame decodes.
    bool pictureTooLarge() const { return m_pictureTooLarge; }
    // The stored duration, or a raw stream's counted or estimated one. An
    // estimate never falls short of the frames handed out so far.
    std::int64_t durationMs() const;
    // Time of one frame at the stream's nominal rate, in microseconds.
    std::int64_t framePeriodUs() const { return m_framePeriodUs; }
    // Frames counted at open, or estimated from the stream's size; only for
    // streams without a stored duration.
    std::optional<std::int64_t> countedFrames() const { return m_countedFrames; }
    // False while a long raw stream's duration is an estimate.
    bool durationExact() const { return m_durationExact; }
    const char* containerName() const;

    // Decodes the next frame into target (its buffer is reused when it fits).
    // Running out of memory is a failure (internalError), never an exception.
    Outcome decodeNext(MovieFrame& target);

    // Back to the first frame; the next decodeNext() gives it.
    bool rewind();

    // Why the last decodeNext() failed, or the last rewind() when no decoding
    // came after it; noErr after a frame or the end.
    MovieErrorCode lastFailure() const { return m_lastFailure; }

private:
    MovieDecoder() = default;

    bool prepare(MovieErrorCode& code);
    void countFrames();
    bool seekToStart();
    bool openDecoder(const AVCodec& codec, const AVCodecParameters& parameters,
                     MovieErrorCode& code);
    Outcome decodeNextFrame(MovieFrame& target);
    Outcome receive(MovieFrame& target);
    MovieErrorCode convert(const AVFrame& source, MovieFrame& target);
    void reachedEnd();
    std::int64_t frameTimeMs(const AVFrame& frame) const;

    // Declared before the demuxer, so that the demuxer that reads through it
    // is closed first.
    AvIoPtr m_file;
    AvFormatPtr m_format;
    AvCodecContextPtr m_codec;
    AvFramePtr m_frame;
    AvPacketPtr m_packet;
    SwsContextPtr m_scaler;

    int m_stream = -1;
    int m_width = 0;
    int m_height = 0;
    std::int64_t m_durationMs = 0;
    std::int64_t m_framePeriodUs = 0;
    std::int64_t m_startPts = 0;
    std::optional<std::int64_t> m_countedFrames;
    bool m_durationExact = true;
    bool m_pictureTooLarge = false;
    std::int64_t m_frameIndex = 0; // frames handed out since open or rewind
    bool m_draining = false;       // the demuxer ended; the decoder is being flushed
    MovieErrorCode m_lastFailure = EngineCode::noErr;
};

} // namespace movieview
