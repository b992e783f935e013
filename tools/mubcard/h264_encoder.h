// SPDX-License-Identifier: GPL-3.0-or-later
// One H.264 channel encoder over libavcodec's libx264: Annex B access units, a key unit
// (SPS, PPS, IDR) every 30 frames and nothing else that would change the unit layout.
#pragma once

#include <cstdint>
#include <vector>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

struct EncodedUnit {
    int64_t frameIndex = 0;
    bool key = false;
    std::vector<uint8_t> bytes;
};

class CH264Encoder {
public:
    CH264Encoder() = default;
    ~CH264Encoder();
    CH264Encoder(const CH264Encoder&) = delete;
    CH264Encoder& operator=(const CH264Encoder&) = delete;

    // dashcam: the stream of a camera's hardware encoder (CABAC, deblocking, bit rate held
    // to bitRate over each second) instead of the quickest one to make.
    bool Open(int width, int height, int fps, int64_t bitRate, bool dashcam = false);
    void Close();
    // i420: width x height luma followed by the two quarter-size chroma planes.
    // Appends every unit the encoder has finished (it may lag behind the input).
    bool Encode(const uint8_t* i420, int64_t frameIndex, std::vector<EncodedUnit>* out);
    bool Flush(std::vector<EncodedUnit>* out);

private:
    bool Drain(std::vector<EncodedUnit>* out);

    AVCodecContext* m_ctx = nullptr;
    AVFrame* m_frame = nullptr;
    AVPacket* m_packet = nullptr;
    int m_width = 0;
    int m_height = 0;
};
