// SPDX-License-Identifier: GPL-3.0-or-later
#include "tools/mubcard/recording_maker.h"
#include "tools/mubcard/luma_noise.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <deque>
#include <opencv2/imgproc.hpp>

#include "mublib/mub_card.h"
#include "mublib/mub_container.h"
#include "tools/mubcard/h264_encoder.h"
#include "tools/mubcard/road_painter.h"

namespace {

constexpr double kPi = 3.14159265358979323846;
// Bits per pixel and frame: keeps every recording of 20 s or more over 1 MiB.
constexpr double kBitsPerPixel = 0.17;
constexpr int64_t kMinBitRate = 150000;
const char* const kChannelNames[3] = {"FRONT", "REAR", "THIRD"};

int64_t BitRateFor(int w, int h, int fps)
{
    return std::max<int64_t>(kMinBitRate,
                             static_cast<int64_t>(w * static_cast<double>(h) * fps * kBitsPerPixel));
}

// Draws front/rear/third picture number frame of the recording into i420.
class CPicturePainter {
public:
    CPicturePainter(int channel, int w, int h, uint64_t seed)
        : m_channel(channel), m_w(w), m_h(h), m_noise(CRandom(seed).Next() | 1)
    {
    }

    const cv::Mat& Paint(const RecordingPlan& plan, int frame, int fps)
    {
        const bool flash = frame % fps == 0;
        static const cv::Scalar kBackground[3] = {{90, 40, 20}, {30, 80, 30}, {30, 30, 90}};
        m_bgr.create(m_h, m_w, CV_8UC3);
        m_bgr.setTo(flash ? cv::Scalar(255, 255, 255) : kBackground[m_channel]);
        // A bar that sweeps across once a second shows motion even in a still.
        const int x = static_cast<int>(static_cast<int64_t>(frame % fps) * m_w / fps);
        cv::rectangle(m_bgr, cv::Rect(x, m_h - m_h / 8, std::max(2, m_w / 16), m_h / 8),
                      cv::Scalar(0, 200, 255), cv::FILLED);
        const double scale = m_w / 640.0 * 0.8;
        const int thick = std::max(1, m_w / 320);
        const cv::Scalar ink = flash ? cv::Scalar(0, 0, 0) : cv::Scalar(255, 255, 255);
        const int ms = static_cast<int>(static_cast<int64_t>(frame) * 1000 / fps);
        char line[96];
        int y = static_cast<int>(40 * scale) + 4;
        const int step = static_cast<int>(36 * scale) + 4;
        cv::putText(m_bgr, kChannelNames[m_channel], {8, y}, cv::FONT_HERSHEY_SIMPLEX, scale * 1.2, ink,
                    thick + 1);
        y += step;
        cv::putText(m_bgr, plan.name, {8, y}, cv::FONT_HERSHEY_SIMPLEX, scale * 0.8, ink, thick);
        y += step;
        std::snprintf(line, sizeof line, "time %02d:%02d.%03d", ms / 60000, ms / 1000 % 60, ms % 1000);
        cv::putText(m_bgr, line, {8, y}, cv::FONT_HERSHEY_SIMPLEX, scale, ink, thick);
        y += step;
        std::snprintf(line, sizeof line, "frame %d", frame);
        cv::putText(m_bgr, line, {8, y}, cv::FONT_HERSHEY_SIMPLEX, scale, ink, thick);
        cv::cvtColor(m_bgr, m_i420, cv::COLOR_BGR2YUV_I420);
        // Fresh sensor-like noise on the luma keeps the encoder at its bit rate.
        AddLumaNoise(m_i420.data, static_cast<size_t>(m_w) * m_h, 6, &m_noise);
        return m_i420;
    }

private:
    int m_channel, m_w, m_h;
    uint64_t m_noise;  // xorshift state, never 0
    cv::Mat m_bgr, m_i420;
};

// Stand-in access units for big test cards: right start codes and NAL types, random body.
EncodedUnit FakeUnit(CRandom& rng, int64_t frame, size_t averageBytes)
{
    EncodedUnit u;
    u.frameIndex = frame;
    u.key = frame % mub::kGopFrames == 0;
    const size_t size = u.key ? averageBytes * 4 : averageBytes * 9 / 10;
    u.bytes.resize(std::max<size_t>(size, 16));
    for (size_t i = 0; i < u.bytes.size(); i += 8) {
        uint64_t r = rng.Next();
        for (size_t k = 0; k < 8 && i + k < u.bytes.size(); ++k, r >>= 8) {
            u.bytes[i + k] = static_cast<uint8_t>(r | 1);  // odd bytes: never a start code
        }
    }
    const uint8_t head[5] = {0, 0, 0, 1, static_cast<uint8_t>(u.key ? 0x67 : 0x41)};
    std::copy(head, head + 5, u.bytes.begin());
    return u;
}

}  // namespace

std::vector<uint8_t> MakeAudioPacket(int k)
{
    std::vector<uint8_t> out(kAudioPacketSamples * 2);
    for (int i = 0; i < kAudioPacketSamples; ++i) {
        const int64_t n = static_cast<int64_t>(k) * kAudioPacketSamples + i;
        const int inSecond = static_cast<int>(n % kAudioRate);
        int16_t v = 0;
        if (inSecond < kBeepSamples) {
            v = static_cast<int16_t>(
                std::lround(12000 * std::sin(2 * kPi * kBeepHz * inSecond / kAudioRate)));
        }
        out[2 * i] = static_cast<uint8_t>(v & 0xFF);
        out[2 * i + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    }
    return out;
}

bool MakeRecording(const CardOptions& options, const RecordingPlan& plan, const std::vector<TextRecord>& text,
                   const std::string& path)
{
    const int fps = options.fps;
    bool active[3];
    mub::RecordingDescription desc;
    desc.letter = plan.letter;
    desc.category = static_cast<uint8_t>(plan.category);
    desc.startTime = static_cast<uint32_t>(plan.start);
    desc.durationMs = static_cast<uint32_t>(plan.seconds) * 1000;
    for (int c = 0; c < 3; ++c) {
        active[c] = mub::LetterHasChannel(plan.letter, c);
        desc.fps[c] = active[c] ? static_cast<uint8_t>(fps) : 0;
        desc.width[c] = active[c] ? static_cast<uint16_t>(options.width[c]) : 0;
        desc.height[c] = active[c] ? static_cast<uint16_t>(options.height[c]) : 0;
    }

    mub::CMubWriter writer;
    if (!writer.Create(path, desc)) {
        std::fprintf(stderr, "mubcard: cannot create %s\n", path.c_str());
        return false;
    }
    CH264Encoder encoders[3];
    std::vector<CPicturePainter> painters;
    std::vector<CRoadPainter> roadPainters;
    CRandom fakeRng(plan.seed ^ 0xFA4Eull);
    size_t fakeBytes[3] = {0, 0, 0};
    for (int c = 0; c < 3; ++c) {
        const uint64_t seed = plan.seed + static_cast<uint64_t>(c);
        painters.emplace_back(c, options.width[c], options.height[c], seed);
        const bool paintsRoad = options.road && active[c] && !options.synthetic;
        // The scene is as large as the picture: only channels that are drawn get one.
        roadPainters.emplace_back(c, paintsRoad ? options.width[c] : 16, paintsRoad ? options.height[c] : 16,
                                  seed);
        const int64_t rate = options.road ? RoadBitRate(options.width[c], options.height[c], fps)
                                          : BitRateFor(options.width[c], options.height[c], fps);
        fakeBytes[c] = static_cast<size_t>(rate / 8 / fps);
        if (active[c] && !options.synthetic &&
            !encoders[c].Open(options.width[c], options.height[c], fps, rate, options.road)) {
            return false;
        }
    }

    std::deque<EncodedUnit> pending[3];
    size_t nextText = 0;
    int nextAudio = 0;
    const int audioPackets = plan.seconds * kAudioRate / kAudioPacketSamples;
    int64_t nextGroup = 0;
    bool ok = true;

    // Everything that is not video and starts before limitMs, in time order.
    auto emitOthers = [&](int64_t limitMs) {
        for (;;) {
            const int64_t audioMs = nextAudio < audioPackets ? static_cast<int64_t>(nextAudio) *
                                                                   kAudioPacketSamples * 1000 / kAudioRate
                                                             : INT64_MAX;
            const int64_t textMs = nextText < text.size() ? text[nextText].timeMs : INT64_MAX;
            if (std::min(audioMs, textMs) >= limitMs) {
                return;
            }
            if (audioMs <= textMs) {
                const auto pcm = MakeAudioPacket(nextAudio++);
                ok = writer.WritePacket(0, mub::kStatusAudio, 0, static_cast<uint32_t>(audioMs), pcm.data(),
                                        static_cast<uint32_t>(pcm.size())) &&
                     ok;
            } else {
                const auto& t = text[nextText++];
                ok = writer.WritePacket(0, mub::kStatusText, 0, t.timeMs, t.bytes.data(),
                                        static_cast<uint32_t>(t.bytes.size())) &&
                     ok;
            }
        }
    };
    // Writes the frame groups whose units every channel has finished.
    auto emitGroups = [&]() {
        for (;;) {
            for (int c = 0; c < 3; ++c) {
                if (active[c] && pending[c].empty()) {
                    return;
                }
            }
            const uint32_t ms = static_cast<uint32_t>(nextGroup * 1000 / fps);
            for (int c = 0; c < 3; ++c) {
                if (!active[c]) {
                    continue;
                }
                const EncodedUnit& u = pending[c].front();
                ok = writer.WritePacket(static_cast<uint8_t>(c), u.key ? mub::kStatusKey : mub::kStatusVideo,
                                        u.key ? mub::kPacketFlagKey : 0, ms, u.bytes.data(),
                                        static_cast<uint32_t>(u.bytes.size())) &&
                     ok;
                pending[c].pop_front();
            }
            ++nextGroup;
            emitOthers(nextGroup * 1000 / fps);
        }
    };

    const int frames = plan.seconds * fps;
    std::vector<EncodedUnit> units;
    for (int f = 0; f < frames && ok; ++f) {
        for (int c = 0; c < 3; ++c) {
            if (!active[c]) {
                continue;
            }
            units.clear();
            if (options.synthetic) {
                units.push_back(FakeUnit(fakeRng, f, fakeBytes[c]));
            } else {
                const auto i = static_cast<size_t>(c);
                const cv::Mat& pic =
                    options.road ? roadPainters[i].Paint(plan, f, fps) : painters[i].Paint(plan, f, fps);
                ok = encoders[c].Encode(pic.data, f, &units) && ok;
            }
            for (auto& u : units) {
                pending[c].push_back(std::move(u));
            }
        }
        emitGroups();
    }
    for (int c = 0; c < 3 && !options.synthetic; ++c) {
        if (active[c]) {
            units.clear();
            ok = encoders[c].Flush(&units) && ok;
            for (auto& u : units) {
                pending[c].push_back(std::move(u));
            }
        }
    }
    emitGroups();
    emitOthers(INT64_MAX);
    ok = writer.Finish() && ok;
    if (!ok) {
        std::fprintf(stderr, "mubcard: writing %s failed\n", path.c_str());
    }
    return ok;
}
