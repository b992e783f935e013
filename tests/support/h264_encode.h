// SPDX-License-Identifier: GPL-3.0-or-later
// Real H.264 access units for tests, made with libavcodec's libx264 encoder.
#pragma once

#include <cstdint>
#include <vector>

struct H264EncodeOptions {
    int width = 320;
    int height = 240;
    int frames = 30;
    int fps = 15;
    int gopSize = 30;  // frames from one IDR picture to the next
    int bFrames = 0;   // B pictures between references (the decoder then reorders)
};

// Encodes a moving test picture and returns one Annex B access unit per frame, in
// decoding order (without B frames also presentation order). Every IDR picture carries
// its SPS and PPS. Empty when the encoder is not available.
std::vector<std::vector<uint8_t>> EncodeH264(const H264EncodeOptions& options);
