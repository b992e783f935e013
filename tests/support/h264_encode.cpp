// SPDX-License-Identifier: GPL-3.0-or-later
#include "h264_encode.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
}

#include <memory>

namespace {

struct CodecContextFree {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameFree {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketFree {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};

void Drain(AVCodecContext* ctx, AVPacket* pkt, std::vector<std::vector<uint8_t>>* out)
{
    while (avcodec_receive_packet(ctx, pkt) == 0) {
        out->emplace_back(pkt->data, pkt->data + pkt->size);
        av_packet_unref(pkt);
    }
}

// A diagonal gradient that moves a little every frame, with a bright square.
void Paint(AVFrame* frame, int index)
{
    for (int y = 0; y < frame->height; ++y) {
        uint8_t* row = frame->data[0] + y * frame->linesize[0];
        for (int x = 0; x < frame->width; ++x) {
            const bool square = x / 16 == index % (frame->width / 16) && y / 16 == 2;
            row[x] = square ? 235 : static_cast<uint8_t>(x + y + index * 3);
        }
    }
    for (int plane = 1; plane < 3; ++plane) {
        for (int y = 0; y < frame->height / 2; ++y) {
            uint8_t* row = frame->data[plane] + y * frame->linesize[plane];
            for (int x = 0; x < frame->width / 2; ++x) {
                row[x] = static_cast<uint8_t>(128 + (plane == 1 ? x : y) / 4 + index);
            }
        }
    }
}

}  // namespace

std::vector<std::vector<uint8_t>> EncodeH264(const H264EncodeOptions& options)
{
    std::vector<std::vector<uint8_t>> units;
    av_log_set_level(AV_LOG_ERROR);  // the encoder's statistics would drown the test output
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (codec == nullptr) {
        return units;
    }
    std::unique_ptr<AVCodecContext, CodecContextFree> ctx(avcodec_alloc_context3(codec));
    ctx->width = options.width;
    ctx->height = options.height;
    ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    ctx->time_base = AVRational{1, options.fps};
    ctx->framerate = AVRational{options.fps, 1};
    ctx->max_b_frames = options.bFrames;
    ctx->gop_size = options.gopSize;
    ctx->thread_count = 1;
    // Headers with every IDR picture and no access unit delimiters, as the camera writes.
    av_opt_set(ctx->priv_data, "x264-params", "repeat-headers=1:aud=0:scenecut=0", 0);
    if (avcodec_open2(ctx.get(), codec, nullptr) < 0) {
        return units;
    }
    std::unique_ptr<AVFrame, FrameFree> frame(av_frame_alloc());
    frame->format = AV_PIX_FMT_YUV420P;
    frame->width = options.width;
    frame->height = options.height;
    if (av_frame_get_buffer(frame.get(), 0) < 0) {
        return units;
    }
    std::unique_ptr<AVPacket, PacketFree> pkt(av_packet_alloc());
    for (int i = 0; i < options.frames; ++i) {
        if (av_frame_make_writable(frame.get()) < 0) {
            return {};
        }
        Paint(frame.get(), i);
        frame->pts = i;
        if (avcodec_send_frame(ctx.get(), frame.get()) < 0) {
            return {};
        }
        Drain(ctx.get(), pkt.get(), &units);
    }
    avcodec_send_frame(ctx.get(), nullptr);
    Drain(ctx.get(), pkt.get(), &units);
    return units;
}
