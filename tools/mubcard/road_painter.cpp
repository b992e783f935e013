// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/mubcard/road_painter.h"
#include "tools/mubcard/luma_noise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <opencv2/imgproc.hpp>

#include "tools/mubcard/card_plan.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
const char* const kChannelNames[3] = {"FRONT", "REAR", "THIRD"};
// Luma of the flash on whole seconds, and of the labels' ink.
constexpr uint8_t kWhite = 235;
constexpr uint8_t kBlack = 16;

// Smooth random relief: uniform noise on a grid of cell-sized squares, scaled up.
void AddRelief(cv::Mat& acc, cv::RNG& rng, int cell, double amplitude)
{
    cv::Mat grid(acc.rows / cell + 2, acc.cols / cell + 2, CV_32F);
    rng.fill(grid, cv::RNG::UNIFORM, -amplitude, amplitude);
    cv::Mat big;
    cv::resize(grid, big, acc.size(), 0, 0, cv::INTER_LINEAR);
    acc += big;
}

cv::Mat ToPlane(const cv::Mat& acc)
{
    cv::Mat out;
    acc.convertTo(out, CV_8U);
    return out;
}

// Lines of text in the top left corner, as on the plain sample pictures.
void DrawLabels(cv::Mat& luma, int channel, const RecordingPlan& plan, int frame, int fps, uint8_t ink)
{
    const int w = luma.cols;
    const double scale = w / 640.0 * 0.8;
    const int thick = std::max(1, w / 320);
    const int ms = static_cast<int>(static_cast<int64_t>(frame) * 1000 / fps);
    char line[96];
    int y = static_cast<int>(40 * scale) + 4;
    const int step = static_cast<int>(36 * scale) + 4;
    cv::putText(luma, kChannelNames[channel], {8, y}, cv::FONT_HERSHEY_SIMPLEX, scale * 1.2, ink, thick + 1);
    y += step;
    cv::putText(luma, plan.name, {8, y}, cv::FONT_HERSHEY_SIMPLEX, scale * 0.8, ink, thick);
    y += step;
    std::snprintf(line, sizeof line, "time %02d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
    cv::putText(luma, line, {8, y}, cv::FONT_HERSHEY_SIMPLEX, scale, ink, thick);
    y += step;
    std::snprintf(line, sizeof line, "frame %d", frame);
    cv::putText(luma, line, {8, y}, cv::FONT_HERSHEY_SIMPLEX, scale, ink, thick);
}

int Wrap(int64_t v, int n)
{
    const int64_t r = v % n;
    return static_cast<int>(r < 0 ? r + n : r);
}

}  // namespace

CRoadPainter::CRoadPainter(int channel, int width, int height, uint64_t seed)
    : m_channel(channel),
      m_w(width),
      m_h(height),
      m_horizon(height * 2 / 5 / 2 * 2),
      m_noise(CRandom(seed).Next() | 1)
{
    cv::RNG rng(CRandom(seed ^ 0x50AD).Next());
    const int unit = std::max(4, width / 64);  // feature size: the same scene at any size

    // Luma: buildings and trees above the horizon, grainy asphalt with lane marks below.
    cv::Mat y(height, width, CV_32F, cv::Scalar(100));
    for (int i = 0; i < 60; ++i) {
        const int bw = rng.uniform(unit, unit * 8);
        const int bh = rng.uniform(unit, std::max(unit + 1, m_horizon));
        const int bx = rng.uniform(0, std::max(1, width - bw));
        const int by = std::max(0, m_horizon - bh);
        cv::rectangle(y, cv::Rect(bx, by, bw, m_horizon - by), cv::Scalar(rng.uniform(50, 140)), cv::FILLED);
    }
    AddRelief(y, rng, unit * 8, 25);
    AddRelief(y, rng, unit * 2, 18);
    AddRelief(y, rng, std::max(2, unit / 4), 12);
    cv::Mat road = y.rowRange(m_horizon, height);
    road.setTo(cv::Scalar(72));
    AddRelief(road, rng, unit * 4, 10);
    cv::Mat grain(road.size(), CV_32F);
    rng.fill(grain, cv::RNG::UNIFORM, -14, 14);
    road += grain;
    const int roadRows = height - m_horizon;
    for (int lane = 1; lane <= 3; ++lane) {
        const int x = width * lane / 4;
        for (int r = 0; r < roadRows; r += unit * 6) {
            cv::rectangle(road, cv::Rect(x - unit / 4, r, std::max(2, unit / 2), unit * 3), cv::Scalar(200),
                          cv::FILLED);
        }
    }
    m_texY = ToPlane(y);

    // Chroma: colourful scenery, nearly grey road.
    const int cw = width / 2;
    const int ch = height / 2;
    for (cv::Mat* plane : {&m_texU, &m_texV}) {
        cv::Mat c(ch, cw, CV_32F, cv::Scalar(128));
        AddRelief(c, rng, unit * 4, 22);
        AddRelief(c, rng, unit, 8);
        cv::Mat ground = c.rowRange(m_horizon / 2, ch);
        ground.setTo(cv::Scalar(128));
        AddRelief(ground, rng, unit * 4, 4);
        *plane = ToPlane(c);
    }
    m_i420.create(height * 3 / 2, width, CV_8UC1);
}

void CRoadPainter::ComposePlane(const cv::Mat& texture, int frame, int fps, int scale, uint8_t* out) const
{
    const int pw = texture.cols;
    const int ph = texture.rows;
    const int horizon = m_horizon / scale;
    // Pixels a frame at the plane's size: the same motion at any picture size and rate.
    const double base = static_cast<double>(pw) / 480.0 * 30.0 / fps;
    // Behind the car the world moves the other way, and the third camera looks aside.
    const double direction = m_channel == 0 ? 1.0 : -1.0;
    const double pan = base * (m_channel == 2 ? 1.5 : 0.5);
    const double sway = std::sin(2 * kPi * frame / (fps * 6.0)) * pw / 40.0;
    for (int row = 0; row < ph; ++row) {
        int srcRow = row;
        double dx = direction * pan * frame;
        if (row >= horizon) {
            // Nearer rows of the road move faster: a perspective made of row speeds.
            const double near = static_cast<double>(row - horizon + 1) / (ph - horizon);
            srcRow = horizon + Wrap(static_cast<int64_t>(row - horizon - direction * base * 4 * near * frame),
                                    ph - horizon);
            dx = sway * near;
        }
        const int x0 = Wrap(static_cast<int64_t>(dx), pw);
        const uint8_t* src = texture.ptr<uint8_t>(srcRow);
        uint8_t* dst = out + static_cast<size_t>(row) * pw;
        std::memcpy(dst, src + x0, static_cast<size_t>(pw - x0));
        std::memcpy(dst + (pw - x0), src, static_cast<size_t>(x0));
    }
}

const cv::Mat& CRoadPainter::Paint(const RecordingPlan& plan, int frame, int fps)
{
    uint8_t* luma = m_i420.data;
    const size_t lumaBytes = static_cast<size_t>(m_w) * m_h;
    const size_t chromaBytes = lumaBytes / 4;
    cv::Mat y(m_h, m_w, CV_8UC1, luma);
    const bool flash = frame % fps == 0;
    if (flash) {
        std::memset(luma, kWhite, lumaBytes);
        std::memset(luma + lumaBytes, 128, 2 * chromaBytes);
    } else {
        ComposePlane(m_texY, frame, fps, 1, luma);
        ComposePlane(m_texU, frame, fps, 2, luma + lumaBytes);
        ComposePlane(m_texV, frame, fps, 2, luma + lumaBytes + chromaBytes);
    }
    // A bar that sweeps across once a second shows motion even in a still.
    const int x = static_cast<int>(static_cast<int64_t>(frame % fps) * m_w / fps);
    cv::rectangle(y, cv::Rect(x, m_h - m_h / 16, std::max(2, m_w / 32), m_h / 16), cv::Scalar(190),
                  cv::FILLED);
    DrawLabels(y, m_channel, plan, frame, fps, flash ? kBlack : kWhite);

    // Fresh sensor noise on the luma, as a camera's small sensor gives at dusk.
    AddLumaNoise(luma, lumaBytes, 3, &m_noise);
    return m_i420;
}

int64_t RoadBitRate(int width, int height, int fps)
{
    // Log-linear between the dashcam figures, per 30 frames a second.
    static constexpr double kPixels[3] = {1280.0 * 720, 1920.0 * 1080, 3840.0 * 2160};
    static constexpr double kRates[3] = {5e6, 10e6, 25e6};
    const double px = static_cast<double>(width) * height;
    const int i = px <= kPixels[1] ? 0 : 1;
    const double t = std::log(px / kPixels[i]) / std::log(kPixels[i + 1] / kPixels[i]);
    const double rate = std::exp(std::log(kRates[i]) + t * (std::log(kRates[i + 1]) - std::log(kRates[i])));
    return std::max<int64_t>(150000, static_cast<int64_t>(rate * fps / 30.0));
}
