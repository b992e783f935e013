// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/decoder.h"

#include "platform/picturesink.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <cstdio>
#include <exception>
#include <string>
#include <thread>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

namespace {

// 16.16 fixed point of the scaler's colour details.
constexpr double kFixedOne = 65536.0;
// The shown contrast never collapses to zero nor exceeds double strength.
constexpr float kMinContrast = 0.01f;
constexpr float kMaxContrast = 2.0f;

// A brightness of +-1 already moves every sample across the whole 0..255 range; the
// scaler's own arithmetic wraps somewhere above +-10, so larger settings are held here.
constexpr double kMaxBrightness = 4.0;

int ToFixed(double value)
{
    return static_cast<int>(value * kFixedOne);
}

bool IsJpegStart(const void* data, int size)
{
    const auto* p = static_cast<const unsigned char*>(data);
    return size >= 3 && p[0] == 0xFF && p[1] == 0xD8 && p[2] == 0xFF;
}

// An image the size of a (possibly absurdly large) sink; false instead of an exception
// on the worker thread when memory runs out.
bool AllocImage(CVipImgBase* image, int width, int height)
{
    try {
        return image->Alloc(width, height);
    } catch (const std::exception&) {
        image->Free();
        return false;
    }
}

// The sink's size; false when it is gone or has no area to paint into.
bool SinkSize(PictureSinkHandle window, int* width, int* height)
{
    SinkRect rect;
    if (!GetWindowRect(window, &rect)) {
        return false;
    }
    *width = rect.right - rect.left;
    *height = rect.bottom - rect.top;
    return *width > 0 && *height > 0;
}

// "<dir>/<stem>.~part<ext>": beside the target and with its extension, so the image
// library picks the same format.
std::string PartPathFor(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    const size_t dot = path.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) {
        return path + ".~part";
    }
    return path.substr(0, dot) + ".~part" + path.substr(dot);
}

}  // namespace

// ---------------------------------------------------------------- CFFMH264_Decoder

CFFMH264_Decoder::CFFMH264_Decoder() = default;

CFFMH264_Decoder::~CFFMH264_Decoder()
{
    Release();
}

bool CFFMH264_Decoder::Init(int threadCount, bool frameThreads)
{
    Release();
    m_packet = av_packet_alloc();
    m_codec = avcodec_find_decoder(AV_CODEC_ID_H264);
    if (m_packet == nullptr || m_codec == nullptr) {
        Release();
        return false;
    }
    m_context = avcodec_alloc_context3(m_codec);
    m_frame = av_frame_alloc();
    m_received = av_frame_alloc();
    if (m_context == nullptr || m_frame == nullptr || m_received == nullptr) {
        Release();
        return false;
    }
    // Slice threads by default: every packet gives its own picture at once. Frame threads
    // are for pictures one core cannot decode in time, at the cost of the delay.
    m_context->thread_count = std::max(1, threadCount);
    m_context->thread_type = frameThreads ? FF_THREAD_FRAME : FF_THREAD_SLICE;
    if (avcodec_open2(m_context, m_codec, nullptr) < 0) {
        Release();
        return false;
    }
    m_delay = frameThreads ? m_context->thread_count - 1 : 0;
    m_draining = false;
    return true;
}

void CFFMH264_Decoder::Release()
{
    if (m_scaler != nullptr) {
        sws_freeContext(m_scaler);
        m_scaler = nullptr;
    }
    m_dstWidth = m_dstHeight = m_srcWidth = m_srcHeight = 0;
    m_srcFormat = -1;
    m_delay = 0;
    m_draining = false;
    avcodec_free_context(&m_context);
    av_frame_free(&m_frame);
    av_frame_free(&m_received);
    av_packet_free(&m_packet);
    m_codec = nullptr;
}

CFFMH264_Decoder::Result CFFMH264_Decoder::Decode(const void* data, int size, int64_t tag)
{
    if (m_context == nullptr || data == nullptr || size <= 0) {
        return Result::Error;
    }
    if (m_draining) {
        Flush();  // data again after the end was sent: the decoder must take it
    }
    if (IsJpegStart(data, size)) {
        return Result::NoPicture;  // a still picture stored in the video stream, not H.264
    }
    // The decoder only reads the packet; it is not reference-counted, so no copy is made
    // beyond what the decoder keeps itself.
    m_packet->data = const_cast<uint8_t*>(static_cast<const uint8_t*>(data));
    m_packet->size = size;
    m_packet->pts = tag;
    int ret = avcodec_send_packet(m_context, m_packet);
    m_packet->data = nullptr;
    m_packet->size = 0;
    if (ret < 0 && ret != AVERROR(EAGAIN)) {
        return Result::Error;
    }
    bool gotPicture = false;
    // Keep the newest picture of this packet; the last one stays until one comes out.
    while ((ret = avcodec_receive_frame(m_context, m_received)) >= 0) {
        av_frame_unref(m_frame);
        av_frame_move_ref(m_frame, m_received);
        gotPicture = true;
    }
    return gotPicture ? Result::Picture : Result::NoPicture;
}

CFFMH264_Decoder::Result CFFMH264_Decoder::Drain()
{
    if (m_context == nullptr) {
        return Result::NoPicture;
    }
    if (!m_draining) {
        m_draining = true;
        if (avcodec_send_packet(m_context, nullptr) < 0) {
            Flush();
            return Result::NoPicture;
        }
    }
    if (avcodec_receive_frame(m_context, m_received) >= 0) {
        av_frame_unref(m_frame);
        av_frame_move_ref(m_frame, m_received);
        return Result::Picture;
    }
    Flush();  // all out: ready for packets again
    return Result::NoPicture;
}

void CFFMH264_Decoder::Flush()
{
    if (m_context != nullptr) {
        avcodec_flush_buffers(m_context);
    }
    m_draining = false;
}

int64_t CFFMH264_Decoder::PictureTag() const
{
    if (!HasPicture()) {
        return -1;
    }
    return m_frame->pts != AV_NOPTS_VALUE ? m_frame->pts : -1;
}

bool CFFMH264_Decoder::HasPicture() const
{
    return m_frame != nullptr && m_frame->data[0] != nullptr && m_frame->width > 0 && m_frame->height > 0;
}

bool CFFMH264_Decoder::PictureSize(int* width, int* height) const
{
    if (!HasPicture()) {
        return false;
    }
    *width = m_frame->width;
    *height = m_frame->height;
    return true;
}

bool CFFMH264_Decoder::Convert(int width, int height, int stride, unsigned char* pixels)
{
    if (!HasPicture() || width <= 0 || height <= 0 || pixels == nullptr || stride < width * 3) {
        return false;
    }
    // The picture's own geometry, not the context's: the context may already describe a
    // stream that has not produced a picture yet.
    const int srcWidth = m_frame->width;
    const int srcHeight = m_frame->height;
    const int srcFormat = m_frame->format;
    if (m_scaler == nullptr || width != m_dstWidth || height != m_dstHeight || srcWidth != m_srcWidth ||
        srcHeight != m_srcHeight || srcFormat != m_srcFormat) {
        if (m_scaler != nullptr) {
            sws_freeContext(m_scaler);
        }
        m_dstWidth = width;
        m_dstHeight = height;
        m_srcWidth = srcWidth;
        m_srcHeight = srcHeight;
        m_srcFormat = srcFormat;
        m_scaler = sws_getContext(srcWidth, srcHeight, static_cast<AVPixelFormat>(srcFormat), width, height,
                                  AV_PIX_FMT_BGR24, SWS_FAST_BILINEAR, nullptr, nullptr, nullptr);
        if (m_scaler == nullptr) {
            m_srcFormat = -1;
            return false;
        }
        ++m_scalerBuilds;
        ApplyColour();
    } else if (m_appliedBrightness != m_brightness.load() || m_appliedContrast != m_contrast.load()) {
        ApplyColour();
    }
    uint8_t* dst[4] = {pixels, nullptr, nullptr, nullptr};
    int dstStride[4] = {stride, 0, 0, 0};
    return sws_scale(m_scaler, m_frame->data, m_frame->linesize, 0, srcHeight, dst, dstStride) > 0;
}

void CFFMH264_Decoder::ApplyColour()
{
    m_appliedBrightness = m_brightness.load();
    m_appliedContrast = m_contrast.load();
    if (m_scaler == nullptr) {
        return;
    }
    const int* table = sws_getCoefficients(SWS_CS_DEFAULT);
    const double brightness =
        std::clamp(static_cast<double>(m_appliedBrightness), -kMaxBrightness, kMaxBrightness);
    sws_setColorspaceDetails(m_scaler, table, 0, table, 0, ToFixed(brightness), ToFixed(m_appliedContrast),
                             static_cast<int>(kFixedOne));
}

// ---------------------------------------------------------------- CDecoder

int CDecoder::Clamp(int channel)
{
    return std::clamp(channel, 0, kChannels - 1);
}

bool CDecoder::Init()
{
    for (Channel& ch : m_channels) {
        std::lock_guard<std::mutex> picture(ch.picture);
        std::lock_guard<CSync> decode(m_decodeLock);
        OpenLocked(ch);
    }
    return true;
}

void CDecoder::SetPictureSize(int channel, int width, int height)
{
    if (channel < 0 || channel >= kChannels) {
        return;
    }
    const long long pixels = static_cast<long long>(std::max(width, 0)) * std::max(height, 0);
    const int cores = static_cast<int>(std::thread::hardware_concurrency());
    const int frameThreads = pixels > 0 && pixels >= m_frameThreadPixels.load() && cores > 1
                                 ? std::min(cores, kMaxFrameThreads)
                                 : 0;
    Channel& ch = m_channels[channel];
    std::lock_guard<std::mutex> picture(ch.picture);
    std::lock_guard<CSync> decode(m_decodeLock);
    if (frameThreads == ch.frameThreads) {
        return;
    }
    ch.frameThreads = frameThreads;
    // Opened again only when it was open: Init opens every channel the same way.
    if (ch.decoder.IsOpen()) {
        OpenLocked(ch);
    }
}

void CDecoder::OpenLocked(Channel& ch)
{
    const bool frameThreads = ch.frameThreads > 1;
    if (!ch.decoder.Init(frameThreads ? ch.frameThreads : m_threadCount.load(), frameThreads)) {
        std::fprintf(stderr, "[CDecoder] no H.264 decoder\n");
    }
}

int CDecoder::Delay(int channel)
{
    if (channel < 0 || channel >= kChannels) {
        return 0;
    }
    Channel& ch = m_channels[channel];
    std::lock_guard<std::mutex> picture(ch.picture);
    return ch.decoder.Delay();
}

bool CDecoder::Decode(int channel, const void* data, int size, int tag, int* pictureTag)
{
    if (channel < 0 || channel >= kChannels) {
        return false;
    }
    Channel& ch = m_channels[channel];
    std::lock_guard<std::mutex> picture(ch.picture);
    if (!DecodeLocked(ch, data, size, tag, data == nullptr)) {
        return false;
    }
    if (pictureTag != nullptr) {
        const int64_t out = ch.decoder.PictureTag();
        *pictureTag = out >= 0 && out <= INT32_MAX ? static_cast<int>(out) : -1;
    }
    return true;
}

bool CDecoder::DecodeLocked(Channel& ch, const void* data, int size, int tag, bool drain)
{
    CFFMH264_Decoder::Result result;
    {
        std::lock_guard<CSync> decode(m_decodeLock);
        result = drain ? ch.decoder.Drain() : ch.decoder.Decode(data, size, tag);
    }
    ch.failed = result == CFFMH264_Decoder::Result::Error;
    return result == CFFMH264_Decoder::Result::Picture;
}

bool CDecoder::Show(int channel, PictureSinkHandle window)
{
    if (channel < 0 || channel >= kChannels) {
        return false;
    }
    // A hidden view would not keep what is painted into it; it is redrawn when shown.
    return window != nullptr && IsWindowVisible(window) && Paint(m_channels[channel], window);
}

bool CDecoder::Paint(Channel& ch, PictureSinkHandle window)
{
    int width = 0;
    int height = 0;
    if (!SinkSize(window, &width, &height)) {
        return false;
    }
    CVipImgRGB painted;
    {
        std::lock_guard<std::mutex> picture(ch.picture);
        // Nothing decoded yet: paint nothing rather than an uninitialised image.
        if (!ch.decoder.HasPicture() || !PaintLocked(ch, width, height, &painted)) {
            return false;
        }
    }
    // Outside the picture lock: the sink's listener runs on this thread.
    DrawIplImage(window, painted);
    return true;
}

void CDecoder::Release()
{
    for (Channel& ch : m_channels) {
        std::lock_guard<std::mutex> picture(ch.picture);
        std::lock_guard<CSync> decode(m_decodeLock);
        ch.decoder.Release();
    }
}

bool CDecoder::PaintLocked(Channel& ch, int width, int height, CVipImgBase* painted)
{
    // The sink (or a view reading it) may still hold the image painted last time: paint
    // into the other one, which Alloc replaces with fresh storage if it is shared too.
    std::swap(ch.display, ch.spare);
    if (!AllocImage(&ch.display, width, height)) {
        return false;
    }
    if (!ch.decoder.Convert(width, height, ch.display.Stride(), ch.display.Pixels())) {
        return false;
    }
    switch (ch.flipMode.load()) {
        case 1:
            cv::flip(ch.display.Mat(), ch.display.Mat(), 0);
            break;
        case 2:
            cv::flip(ch.display.Mat(), ch.display.Mat(), -1);
            break;
        case 3:
            cv::flip(ch.display.Mat(), ch.display.Mat(), 1);
            break;
        default:
            break;
    }
    *painted = ch.display;
    return true;
}

bool CDecoder::DecodeAndShow(int channel, PictureSinkHandle window, const void* data, int size, bool show)
{
    if (channel < 0 || channel >= kChannels) {
        return false;
    }
    Channel& ch = m_channels[channel];
    ch.failed = false;
    int width = 0;
    int height = 0;
    if (!SinkSize(window, &width, &height)) {
        return false;
    }
    CVipImgRGB painted;
    {
        std::lock_guard<std::mutex> picture(ch.picture);
        if (!DecodeLocked(ch, data, size, 0, false)) {
            return false;
        }
        // A hidden view would not keep what is painted into it; it is redrawn when shown.
        if (!show || !IsWindowVisible(window)) {
            return true;
        }
        if (!PaintLocked(ch, width, height, &painted)) {
            return true;  // decoded; the picture could not be converted
        }
    }
    // Outside the picture lock: the sink's listener runs on this thread.
    DrawIplImage(window, painted);
    return true;
}

bool CDecoder::Redraw(int channel, PictureSinkHandle window)
{
    if (channel < 0 || channel > 1) {
        return false;  // the third channel is never redrawn
    }
    return Paint(m_channels[channel], window);
}

bool CDecoder::DecodeFailed(int channel)
{
    return channel >= 0 && channel < kChannels && m_channels[channel].failed.load();
}

void CDecoder::Flush(int channel)
{
    if (channel < 0 || channel >= kChannels) {
        return;
    }
    Channel& ch = m_channels[channel];
    std::lock_guard<std::mutex> picture(ch.picture);
    std::lock_guard<CSync> decode(m_decodeLock);
    ch.decoder.Flush();
}

void CDecoder::SetContrast(int channel, int value)
{
    const float contrast = std::clamp(static_cast<float>(value) / 10.0f + 1.0f, kMinContrast, kMaxContrast);
    m_channels[Clamp(channel)].decoder.SetContrast(contrast);
}

void CDecoder::SetBrightness(int channel, int value)
{
    m_channels[Clamp(channel)].decoder.SetBrightness(static_cast<float>(value) / 10.0f);
}

void CDecoder::SetFlipMode(int channel, int mode)
{
    m_channels[Clamp(channel)].flipMode = mode;
}

float CDecoder::Contrast(int channel) const
{
    return m_channels[Clamp(channel)].decoder.Contrast();
}

float CDecoder::Brightness(int channel) const
{
    return m_channels[Clamp(channel)].decoder.Brightness();
}

int CDecoder::FlipMode(int channel) const
{
    return m_channels[Clamp(channel)].flipMode.load();
}

int CDecoder::ScalerBuilds(int channel)
{
    Channel& ch = m_channels[Clamp(channel)];
    std::lock_guard<std::mutex> picture(ch.picture);
    return ch.decoder.ScalerBuilds();
}

bool CDecoder::SaveSnapshot(int channel, const char* path)
{
    if (path == nullptr || *path == '\0') {
        return false;
    }
    Channel& ch = m_channels[Clamp(channel)];
    CVipImgRGB image;
    {
        std::lock_guard<std::mutex> picture(ch.picture);
        int width = 0;
        int height = 0;
        if (!ch.decoder.PictureSize(&width, &height) || !AllocImage(&image, width, height) ||
            !ch.decoder.Convert(width, height, image.Stride(), image.Pixels())) {
            return false;
        }
    }
    // Written beside the target and renamed over it, so a failed save leaves an older
    // file of that name as it was.
    const std::string target(path);
    const std::string part = PartPathFor(target);
    if (!image.SaveImage(part.c_str())) {
        std::remove(part.c_str());
        return false;
    }
    if (std::rename(part.c_str(), target.c_str()) != 0) {
        std::remove(part.c_str());
        return false;
    }
    return true;
}
