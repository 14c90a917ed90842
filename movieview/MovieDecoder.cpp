#include "MovieDecoder.h"

#include "FfmpegErrorMapping.h"

extern "C" {
#include <libavutil/dict.h>
#include <libavutil/imgutils.h>
#include <libavutil/mathematics.h>
}

#include <algorithm>
#include <new>
#include <string>
#include <utility>
#include <vector>

namespace movieview {

namespace {

// Used when a stream states no frame rate at all (raw streams without timing info).
constexpr AVRational kFallbackFrameRate{25, 1};
constexpr std::int64_t kMicrosPerSecond = 1'000'000;
constexpr AVRational kMilliseconds{1, 1000};
// Only the local file protocol: a path must never be taken for a network URL.
constexpr const char* kFileProtocol = "file:";

// Row alignment of converted pictures, as wide as the widest vector registers
// the scaler writes with.
constexpr int kRowAlignment = 64;
constexpr std::int64_t kMaxPicturePixels =
    std::int64_t{MovieDecoder::kMaxPictureSide} * MovieDecoder::kMaxPictureSide;

bool isValidRate(AVRational r)
{
    return r.num > 0 && r.den > 0;
}

bool tooLarge(int width, int height)
{
    return width > MovieDecoder::kMaxPictureSide || height > MovieDecoder::kMaxPictureSide;
}

// Per-stream decoder options for probing, which decodes a frame of each
// stream: the pixel limit keeps a claimed giant picture from being allocated.
class ProbeOptions
{
public:
    explicit ProbeOptions(unsigned streams) : m_options(streams, nullptr)
    {
        const std::string maxPixels = std::to_string(kMaxPicturePixels);
        for (AVDictionary*& d : m_options)
            av_dict_set(&d, "max_pixels", maxPixels.c_str(), 0);
    }
    ~ProbeOptions()
    {
        for (AVDictionary*& d : m_options)
            av_dict_free(&d);
    }
    ProbeOptions(const ProbeOptions&) = delete;
    ProbeOptions& operator=(const ProbeOptions&) = delete;

    AVDictionary** get() { return m_options.empty() ? nullptr : m_options.data(); }

private:
    std::vector<AVDictionary*> m_options;
};

} // namespace

AvIoPtr MovieDecoder::openFile(const std::string& path, MovieErrorCode& code)
{
    AVIOContext* io = nullptr;
    const std::string url = kFileProtocol + path;
    const int ret = avio_open2(&io, url.c_str(), AVIO_FLAG_READ, nullptr, nullptr);
    code = engineCodeFor(ret, FfmpegStep::OpenFile);
    if (ret < 0)
        return nullptr;
    return AvIoPtr(io);
}

std::optional<MovieDecoder> MovieDecoder::open(AvIoPtr file, MovieErrorCode& code)
{
    MovieDecoder decoder;
    decoder.m_file = std::move(file);
    if (!decoder.m_file) {
        code = EngineCode::fileNotFound;
        return std::nullopt;
    }
    if (!decoder.prepare(code))
        return std::nullopt;
    return std::optional<MovieDecoder>(std::move(decoder));
}

bool MovieDecoder::prepare(MovieErrorCode& code)
{
    AVFormatContext* format = avformat_alloc_context();
    if (!format) {
        code = EngineCode::internalError;
        return false;
    }
    // The demuxer reads through our file; it must not close it. The empty URL
    // keeps the file name out of probing, so only the content decides.
    format->pb = m_file.get();
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    int ret = avformat_open_input(&format, "", nullptr, nullptr);
    if (ret < 0) { // avformat_open_input has freed the context
        code = engineCodeFor(ret, FfmpegStep::Probe);
        return false;
    }
    m_format.reset(format);

    {
        ProbeOptions options(m_format->nb_streams);
        ret = avformat_find_stream_info(m_format.get(), options.get());
    }
    if (ret < 0) {
        code = engineCodeFor(ret, FfmpegStep::Probe);
        return false;
    }
    const AVCodec* codec = nullptr;
    ret = av_find_best_stream(m_format.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
    if (ret < 0) {
        code = engineCodeFor(ret, FfmpegStep::Probe);
        return false;
    }
    m_stream = ret;
    AVStream* stream = m_format->streams[m_stream];

    m_width = stream->codecpar->width;
    m_height = stream->codecpar->height;
    m_pictureTooLarge = tooLarge(m_width, m_height);
    AVRational rate = stream->avg_frame_rate;
    if (!isValidRate(rate))
        rate = stream->r_frame_rate;
    if (!isValidRate(rate))
        rate = kFallbackFrameRate;
    m_framePeriodUs = av_rescale(kMicrosPerSecond, rate.den, rate.num);
    m_startPts = stream->start_time != AV_NOPTS_VALUE ? stream->start_time : 0;

    m_packet.reset(av_packet_alloc());
    if (!m_packet) {
        code = EngineCode::internalError;
        return false;
    }
    // A picture too large to show needs no decoder: the movie reports its
    // size and refuses its frames.
    if (!m_pictureTooLarge && !openDecoder(*codec, *stream->codecpar, code))
        return false;

    const bool storedDuration = stream->duration != AV_NOPTS_VALUE && stream->duration > 0 &&
                                m_format->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
    if (storedDuration) {
        m_durationMs = av_rescale_q(stream->duration, stream->time_base, kMilliseconds);
    } else {
        countFrames();
        if (!seekToStart()) {
            code = m_lastFailure;
            return false;
        }
        m_durationMs = *m_countedFrames * m_framePeriodUs / 1000;
    }
    code = EngineCode::noErr;
    return true;
}

bool MovieDecoder::openDecoder(const AVCodec& codec, const AVCodecParameters& parameters,
                               MovieErrorCode& code)
{
    m_codec.reset(avcodec_alloc_context3(&codec));
    m_frame.reset(av_frame_alloc());
    if (!m_codec || !m_frame) {
        code = EngineCode::internalError;
        return false;
    }
    int ret = avcodec_parameters_to_context(m_codec.get(), &parameters);
    if (ret >= 0) {
        // Frame threads would hold frames back; one thread decodes a clip's
        // small pictures well within a frame period.
        m_codec->thread_count = 1;
        // A stream may change its picture size midway; the decoder refuses
        // to allocate one beyond the limit.
        m_codec->max_pixels = kMaxPicturePixels;
        ret = avcodec_open2(m_codec.get(), &codec, nullptr);
    }
    if (ret < 0) {
        code = engineCodeFor(ret, FfmpegStep::OpenDecoder);
        return false;
    }
    return true;
}

void MovieDecoder::countFrames()
{
    AVIOContext* io = m_format->pb;
    std::int64_t count = 0;
    bool whole = true;
    while (av_read_frame(m_format.get(), m_packet.get()) >= 0) {
        if (m_packet->stream_index == m_stream)
            ++count;
        av_packet_unref(m_packet.get());
        if (avio_tell(io) > kCountScanBytes) {
            whole = false;
            break;
        }
    }
    const std::int64_t scanned = avio_tell(io);
    const std::int64_t size = avio_size(io);
    if (whole || scanned <= 0 || size <= scanned) {
        m_countedFrames = count;
        return;
    }
    // The frames of the scanned part, spread over the whole file.
    m_countedFrames = av_rescale(count, size, scanned);
    m_durationExact = false;
}

bool MovieDecoder::seekToStart()
{
    // A raw stream goes back by bytes: its times are made up while reading
    // and start over where another stream was appended to it.
    int ret = m_countedFrames
                  ? -1
                  : av_seek_frame(m_format.get(), m_stream, m_startPts, AVSEEK_FLAG_BACKWARD);
    if (ret < 0)
        ret = av_seek_frame(m_format.get(), -1, 0, AVSEEK_FLAG_BYTE);
    if (ret < 0) {
        m_lastFailure = engineCodeFor(ret, FfmpegStep::Seek);
        return false;
    }
    return true;
}

bool MovieDecoder::rewind()
{
    if (!seekToStart())
        return false;
    if (m_codec)
        avcodec_flush_buffers(m_codec.get());
    m_draining = false;
    m_frameIndex = 0;
    return true;
}

const char* MovieDecoder::containerName() const
{
    return m_format && m_format->iformat ? m_format->iformat->name : "";
}

std::int64_t MovieDecoder::durationMs() const
{
    if (m_durationExact)
        return m_durationMs;
    return std::max(m_durationMs, m_frameIndex * m_framePeriodUs / 1000);
}

MovieDecoder::Outcome MovieDecoder::decodeNext(MovieFrame& target)
{
    m_lastFailure = EngineCode::noErr;
    if (m_pictureTooLarge) {
        m_lastFailure = EngineCode::pictureTooLarge;
        return Outcome::Failed;
    }
    try {
        const Outcome outcome = decodeNextFrame(target);
        if (outcome == Outcome::EndOfStream)
            reachedEnd();
        return outcome;
    } catch (const std::bad_alloc&) {
        // A picture's pixels could not be allocated: the movie cannot go on,
        // but the program can.
        m_lastFailure = EngineCode::internalError;
        return Outcome::Failed;
    }
}

void MovieDecoder::reachedEnd()
{
    // Every frame has been handed out since the start: the count is exact now.
    if (m_durationExact)
        return;
    m_countedFrames = m_frameIndex;
    m_durationMs = m_frameIndex * m_framePeriodUs / 1000;
    m_durationExact = true;
}

MovieDecoder::Outcome MovieDecoder::decodeNextFrame(MovieFrame& target)
{
    // The standard demux and decode loop: "try again" asks for the next packet,
    // end of file flushes the decoder, and the decoder's end ends the stream.
    for (;;) {
        int ret = avcodec_receive_frame(m_codec.get(), m_frame.get());
        if (ret == 0)
            return receive(target);
        if (ret == AVERROR_EOF)
            return Outcome::EndOfStream;
        if (ret != AVERROR(EAGAIN)) {
            m_lastFailure = engineCodeFor(ret, FfmpegStep::Decode);
            return Outcome::Failed;
        }
        if (m_draining)
            return Outcome::EndOfStream;

        ret = av_read_frame(m_format.get(), m_packet.get());
        if (ret == AVERROR_EOF) {
            m_draining = true;
            avcodec_send_packet(m_codec.get(), nullptr);
            continue;
        }
        if (ret < 0) {
            m_lastFailure = engineCodeFor(ret, FfmpegStep::Decode);
            return Outcome::Failed;
        }
        if (m_packet->stream_index == m_stream) {
            // A damaged packet costs its own picture only; the stream goes on.
            avcodec_send_packet(m_codec.get(), m_packet.get());
        }
        av_packet_unref(m_packet.get());
    }
}

MovieDecoder::Outcome MovieDecoder::receive(MovieFrame& target)
{
    const std::int64_t timeMs = frameTimeMs(*m_frame);
    const MovieErrorCode converted = convert(*m_frame, target);
    av_frame_unref(m_frame.get());
    ++m_frameIndex;
    if (converted != EngineCode::noErr) {
        m_lastFailure = converted;
        return Outcome::Failed;
    }
    target.timeMs = timeMs;
    return Outcome::Frame;
}

std::int64_t MovieDecoder::frameTimeMs(const AVFrame& frame) const
{
    const std::int64_t byIndex = m_frameIndex * m_framePeriodUs / 1000;
    if (m_countedFrames || frame.best_effort_timestamp == AV_NOPTS_VALUE)
        return byIndex;
    const AVStream* stream = m_format->streams[m_stream];
    return av_rescale_q(frame.best_effort_timestamp - m_startPts, stream->time_base, kMilliseconds);
}

MovieErrorCode MovieDecoder::convert(const AVFrame& source, MovieFrame& target)
{
    if (tooLarge(source.width, source.height))
        return EngineCode::pictureTooLarge;
    const auto format = static_cast<AVPixelFormat>(source.format);
    m_scaler.reset(sws_getCachedContext(m_scaler.release(), source.width, source.height, format,
                                        source.width, source.height, AV_PIX_FMT_RGB32, SWS_POINT,
                                        nullptr, nullptr, nullptr));
    if (!m_scaler)
        return EngineCode::internalError;
    // The scaler writes whole vector registers: a row it fills may run past
    // the picture's width, and the last row past the picture's end. Rows are
    // padded to kRowAlignment and the area ends with kRowAlignment spare bytes.
    const int stride = FFALIGN(source.width * 4, kRowAlignment);
    target.pixels.resize(
        static_cast<std::size_t>(stride) * static_cast<std::size_t>(source.height) + kRowAlignment);
    target.width = source.width;
    target.height = source.height;
    target.stride = stride;
    std::uint8_t* planes[4] = {target.pixels.data(), nullptr, nullptr, nullptr};
    const int strides[4] = {target.stride, 0, 0, 0};
    sws_scale(m_scaler.get(), source.data, source.linesize, 0, source.height, planes, strides);
    return target.valid() ? EngineCode::noErr : EngineCode::internalError;
}

} // namespace movieview
