// SPDX-License-Identifier: GPL-3.0-or-later
// H.264 decoding of the three video channels and painting into their picture sinks.
#pragma once

#include "engine/media.h"
#include "platform/thread.h"
#include "platform/vipimg.h"

#include <atomic>
#include <mutex>

struct AVCodec;
struct AVCodecContext;
struct AVFrame;
struct AVPacket;
struct SwsContext;

// One channel's decoder. It keeps the last decoded picture until the next successful
// decode and converts it to packed BGR24 at any size on request.
// Not locked itself: CDecoder serialises the decoding step with its decode lock and
// everything touching the picture or the scaler with the channel's picture lock.
class CFFMH264_Decoder {
public:
    CFFMH264_Decoder();
    virtual ~CFFMH264_Decoder();
    CFFMH264_Decoder(const CFFMH264_Decoder&) = delete;
    CFFMH264_Decoder& operator=(const CFFMH264_Decoder&) = delete;

    // Opens an H.264 decoder; false when there is none (the channel then never decodes).
    // threadCount: decoder threads. Slice threads give each packet's picture at once; frame
    // threads decode several pictures at a time, and hold each back until threadCount - 1
    // more packets went in (Delay).
    bool Init(int threadCount = 1, bool frameThreads = false);
    // Packets a picture comes out after its own (0 without frame threads).
    int Delay() const { return m_delay; }
    // Frees the decoder, the picture and the scaler (with its cached geometry).
    void Release();
    bool IsOpen() const { return m_context != nullptr; }

    enum class Result { Picture, NoPicture, Error };
    // Decodes one access unit. A picture that comes out replaces the last one; otherwise
    // the last picture stays. NoPicture: the data was taken but the decoder holds its
    // pictures back (reordering) or the unit is not H.264 (a still stored in the stream).
    // tag goes with the packet and comes out with its picture (PictureTag).
    Result Decode(const void* data, int size, int64_t tag = 0);
    // At the end of the data: one picture the decoder still holds, as Decode gives it;
    // NoPicture once none is left (the decoder then takes packets again).
    Result Drain();
    // Drops the decoder's reference pictures (the last picture stays for redraw).
    void Flush();
    // The tag of the packet the last picture came from; -1 when it is unknown.
    int64_t PictureTag() const;

    bool HasPicture() const;
    // Size of the last picture; false when there is none.
    bool PictureSize(int* width, int* height) const;
    // Scales the last picture into width x height BGR24 pixels with the given line stride.
    // False when there is no picture or no scaler could be made.
    bool Convert(int width, int height, int stride, unsigned char* pixels);

    // Any thread: the values take effect with the next conversion.
    void SetBrightness(float brightness) { m_brightness = brightness; }
    void SetContrast(float contrast) { m_contrast = contrast; }
    float Brightness() const { return m_brightness.load(); }
    float Contrast() const { return m_contrast.load(); }

    // Scaler contexts built since construction (one per change of geometry).
    int ScalerBuilds() const { return m_scalerBuilds; }

private:
    void ApplyColour();

    AVPacket* m_packet = nullptr;
    const AVCodec* m_codec = nullptr;
    AVCodecContext* m_context = nullptr;
    AVFrame* m_frame = nullptr;     // the last picture
    AVFrame* m_received = nullptr;  // receives pictures before they replace m_frame
    SwsContext* m_scaler = nullptr;
    std::atomic<float> m_brightness{0.0f};
    std::atomic<float> m_contrast{1.0f};
    // What the scaler was last given, so a change is applied once.
    float m_appliedBrightness = 0.0f;
    float m_appliedContrast = 1.0f;
    // Geometry of the current scaler.
    int m_dstWidth = 0;
    int m_dstHeight = 0;
    int m_srcWidth = 0;
    int m_srcHeight = 0;
    int m_srcFormat = -1;
    int m_scalerBuilds = 0;
    int m_delay = 0;
    bool m_draining = false;  // the end of the data was sent
};

// The engine's VMediaDecoder: channel 0 front, 1 rear, 2 third camera.
class CDecoder final : public VMediaDecoder {
public:
    static constexpr int kChannels = 3;

    CDecoder() = default;
    ~CDecoder() { Release(); }
    CDecoder(const CDecoder&) = delete;
    CDecoder& operator=(const CDecoder&) = delete;

    // Decoder threads per channel for the next Init (default 1).
    void SetThreadCount(int count) { m_threadCount = count; }
    // Pictures of at least this many pixels are decoded with frame threads, one per core
    // (at most kMaxFrameThreads), where the machine has more than one.
    void SetFrameThreadPixels(long long pixels) { m_frameThreadPixels = pixels; }
    static constexpr long long kDefaultFrameThreadPixels = 2560LL * 1440;
    static constexpr int kMaxFrameThreads = 4;

    bool Init() override;
    void Release() override;
    // Worker thread. False for a bad channel, a null or zero-size sink, a JPEG-marked or
    // undecodable packet. With show set and a visible sink the picture is scaled to the
    // sink's size, flipped and presented.
    bool DecodeAndShow(int channel, PictureSinkHandle window, const void* data, int size, bool show) override;
    // Paints the last picture of channel 0 or 1 again at the sink's current size.
    bool Redraw(int channel, PictureSinkHandle window) override;
    bool DecodeFailed(int channel) override;
    void Flush(int channel) override;
    // Any thread; values are tenths: contrast value / 10 + 1 (0.01..2), brightness value / 10.
    void SetContrast(int channel, int value) override;
    void SetBrightness(int channel, int value) override;
    // 0 none, 1 upside down, 2 half turn, 3 mirrored; others show unflipped.
    void SetFlipMode(int channel, int mode) override;
    // Saves the last picture at its decoded size; the format follows the name (".jpg").
    bool SaveSnapshot(int channel, const char* path) override;
    // Player lock held, no decoding under way: a channel whose pictures are large gets
    // frame threads (its decoder is opened again when that changes).
    void SetPictureSize(int channel, int width, int height) override;
    int Delay(int channel) override;
    bool Decode(int channel, const void* data, int size, int tag, int* pictureTag) override;
    bool Show(int channel, PictureSinkHandle window) override;

    float Contrast(int channel) const;
    float Brightness(int channel) const;
    int FlipMode(int channel) const;
    int ScalerBuilds(int channel);

private:
    struct Channel {
        std::mutex picture;               // guards decoder's picture/scaler and the images
        CFFMH264_Decoder decoder;         // decode step also under m_decodeLock
        std::atomic<int> flipMode{0};     // written by the UI thread, read when painting
        std::atomic<bool> failed{false};  // the last DecodeAndShow met bad data
        int frameThreads = 0;             // the next Init's frame threads (0: slice threads)
        CVipImgRGB display;               // --- protected by picture
        CVipImgRGB spare;                 // --- protected by picture (the previous display image)
    };

    static int Clamp(int channel);
    // Opens the channel's decoder with its threads; its picture and the decode lock held.
    void OpenLocked(Channel& ch);
    // Decodes (or drains one held picture) and notes bad data; true when a picture came
    // out. The channel's picture lock held.
    bool DecodeLocked(Channel& ch, const void* data, int size, int tag, bool drain);
    // Paints the last picture at the sink's size, then hands it to the sink.
    bool Paint(Channel& ch, PictureSinkHandle window);
    // Scales, flips and presents the last picture; channel's picture lock held.
    bool PaintLocked(Channel& ch, int width, int height, CVipImgBase* painted);

    Channel m_channels[kChannels];
    std::atomic<int> m_threadCount{1};
    std::atomic<long long> m_frameThreadPixels{kDefaultFrameThreadPixels};
    CSync m_decodeLock;  // held only around the decoding step
};
