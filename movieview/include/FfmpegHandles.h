// Owning handles for every FFmpeg object the movie engine holds. Each handle is
// a unique_ptr with the deleter that FFmpeg documents for that object, so that
// no path frees one by hand or forgets it.
#pragma once

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavformat/avio.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <memory>

namespace movieview {

struct AvFormatCloser
{
    void operator()(AVFormatContext* p) const { avformat_close_input(&p); }
};
struct AvCodecContextFreer
{
    void operator()(AVCodecContext* p) const { avcodec_free_context(&p); }
};
struct AvFrameFreer
{
    void operator()(AVFrame* p) const { av_frame_free(&p); }
};
struct AvPacketFreer
{
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
struct SwsContextFreer
{
    void operator()(SwsContext* p) const { sws_freeContext(p); }
};
// For an AVIOContext made by avio_open2 (not by avio_alloc_context).
struct AvIoCloser
{
    void operator()(AVIOContext* p) const { avio_closep(&p); }
};

using AvFormatPtr = std::unique_ptr<AVFormatContext, AvFormatCloser>;
using AvCodecContextPtr = std::unique_ptr<AVCodecContext, AvCodecContextFreer>;
using AvFramePtr = std::unique_ptr<AVFrame, AvFrameFreer>;
using AvPacketPtr = std::unique_ptr<AVPacket, AvPacketFreer>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextFreer>;
using AvIoPtr = std::unique_ptr<AVIOContext, AvIoCloser>;

} // namespace movieview
