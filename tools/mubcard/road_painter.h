// SPDX-License-Identifier: GPL-3.0-or-later
// Pictures with the detail and motion of road footage, for realistic decoding loads:
// a textured scene whose far part pans slowly and whose road rushes towards the camera
// faster the nearer it is, with sensor noise, lane marks and the labels of the sample
// pictures. The front channel looks ahead, the others behind or aside (other textures,
// other speeds). Every whole second stays a white flash for the sync meter.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include <opencv2/core.hpp>

struct RecordingPlan;

class CRoadPainter {
public:
    CRoadPainter(int channel, int width, int height, uint64_t seed);
    // Picture number frame as i420 (width x height luma, then the two quarter planes).
    const cv::Mat& Paint(const RecordingPlan& plan, int frame, int fps);

private:
    // One plane of the scene for frame into out (rows of width w, stride w).
    void ComposePlane(const cv::Mat& texture, int frame, int fps, int scale, uint8_t* out) const;

    int m_channel, m_w, m_h;
    int m_horizon;                   // first row of the road, in luma rows
    cv::Mat m_texY, m_texU, m_texV;  // the scene, as large as the picture; wraps around
    cv::Mat m_i420;
    uint64_t m_noise;  // xorshift state, never 0
};

// Bit rate of a dashcam channel of this size: about 5 Mbit/s at 720p30, 10 at 1080p30 and
// 25 at 2160p30, in proportion to the frame rate.
int64_t RoadBitRate(int width, int height, int fps);
