// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/mubcard/h264_encoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/opt.h>
}

#include <cstdio>
#include <cstring>

CH264Encoder::~CH264Encoder()
{
    Close();
}

void CH264Encoder::Close()
{
    avcodec_free_context(&m_ctx);
    av_frame_free(&m_frame);
    av_packet_free(&m_packet);
}

bool CH264Encoder::Open(int width, int height, int fps, int64_t bitRate, bool dashcam)
{
    Close();
    const AVCodec* codec = avcodec_find_encoder_by_name("libx264");
    if (!codec) {
        std::fprintf(stderr, "mubcard: libavcodec has no libx264 encoder\n");
        return false;
    }
    m_ctx = avcodec_alloc_context3(codec);
    m_frame = av_frame_alloc();
    m_packet = av_packet_alloc();
    if (!m_ctx || !m_frame || !m_packet) {
        return false;
    }
    m_width = width;
    m_height = height;
    m_ctx->width = width;
    m_ctx->height = height;
    m_ctx->pix_fmt = AV_PIX_FMT_YUV420P;
    m_ctx->time_base = AVRational{1, fps};
    m_ctx->framerate = AVRational{fps, 1};
    m_ctx->bit_rate = bitRate;
    // The viewer seeks to the key unit of each GOP and expects P units only in between.
    m_ctx->max_b_frames = 0;
    m_ctx->gop_size = 30;
    m_ctx->keyint_min = 30;
    // One thread keeps the output identical from run to run.
    m_ctx->thread_count = 1;
    if (dashcam) {
        m_ctx->rc_max_rate = bitRate;
        m_ctx->rc_buffer_size = static_cast<int>(bitRate);
        av_opt_set(m_ctx->priv_data, "preset", "superfast", 0);
        av_opt_set(m_ctx->priv_data, "profile", "high", 0);
    } else {
        av_opt_set(m_ctx->priv_data, "preset", "ultrafast", 0);
    }
    av_opt_set(m_ctx->priv_data, "x264-params", "scenecut=0:repeat-headers=1:aud=0", 0);
    if (avcodec_open2(m_ctx, codec, nullptr) < 0) {
        std::fprintf(stderr, "mubcard: cannot open the H.264 encoder for %dx%d\n", width, height);
        return false;
    }
    m_frame->format = AV_PIX_FMT_YUV420P;
    m_frame->width = width;
    m_frame->height = height;
    return av_frame_get_buffer(m_frame, 0) >= 0;
}

bool CH264Encoder::Drain(std::vector<EncodedUnit>* out)
{
    for (;;) {
        int r = avcodec_receive_packet(m_ctx, m_packet);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF) {
            return true;
        }
        if (r < 0) {
            return false;
        }
        EncodedUnit unit;
        unit.frameIndex = m_packet->pts;
        unit.key = (m_packet->flags & AV_PKT_FLAG_KEY) != 0;
        unit.bytes.assign(m_packet->data, m_packet->data + m_packet->size);
        out->push_back(std::move(unit));
        av_packet_unref(m_packet);
    }
}

bool CH264Encoder::Encode(const uint8_t* i420, int64_t frameIndex, std::vector<EncodedUnit>* out)
{
    if (!m_ctx || av_frame_make_writable(m_frame) < 0) {
        return false;
    }
    const uint8_t* src = i420;
    for (int plane = 0; plane < 3; ++plane) {
        const int w = plane == 0 ? m_width : m_width / 2;
        const int h = plane == 0 ? m_height : m_height / 2;
        for (int y = 0; y < h; ++y) {
            std::memcpy(m_frame->data[plane] + static_cast<ptrdiff_t>(y) * m_frame->linesize[plane], src, w);
            src += w;
        }
    }
    m_frame->pts = frameIndex;
    if (avcodec_send_frame(m_ctx, m_frame) < 0) {
        return false;
    }
    return Drain(out);
}

bool CH264Encoder::Flush(std::vector<EncodedUnit>* out)
{
    if (!m_ctx || avcodec_send_frame(m_ctx, nullptr) < 0) {
        return false;
    }
    return Drain(out);
}
