// Demuxes and decodes the video of one movie file with FFmpeg. No Qt and no
// clock here: the caller asks for frames one at a time and decides when.
//
// The container is recognised from the bytes, never from the file name, so a
// QuickTime/MP4 file and a raw MPEG-4 elementary stream both open whatever
// they are called. A raw stream carries no duration: its frames are counted
// when it opens and each frame is due at index x frame period.
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
    std::int64_t durationMs() const { return m_durationMs; }
    // Time of one frame at the stream's nominal rate, in microseconds.
    std::int64_t framePeriodUs() const { return m_framePeriodUs; }
    // Frames counted at open; only for streams without a stored duration.
    std::optional<std::int64_t> countedFrames() const { return m_countedFrames; }
    const char* containerName() const;

    // Decodes the next frame into target (its buffer is reused when it fits).
    Outcome decodeNext(MovieFrame& target);

    // Back to the first frame; the next decodeNext() gives it.
    bool rewind();

    MovieErrorCode lastFailure() const { return m_lastFailure; }

private:
    MovieDecoder() = default;

    bool prepare(MovieErrorCode& code);
    void countFrames();
    bool seekToStart();
    Outcome receive(MovieFrame& target);
    void convert(const AVFrame& source, MovieFrame& target);
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
    std::int64_t m_frameIndex = 0; // frames handed out since open or rewind
    bool m_draining = false;       // the demuxer ended; the decoder is being flushed
    MovieErrorCode m_lastFailure = EngineCode::noErr;
};

} // namespace movieview
