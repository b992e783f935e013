// SPDX-License-Identifier: GPL-3.0-or-later
// Writes one sample recording: pictures and sound that mark every whole second, and the
// telemetry records, interleaved in recording order.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/mubcard/card_plan.h"
#include "tools/mubcard/telemetry_gen.h"

// Audio format of every recording: 8000 Hz signed 16-bit mono, 2000 samples a packet.
constexpr int kAudioRate = 8000;
constexpr int kAudioPacketSamples = 2000;
// The beep at each whole second: 1 kHz for 100 ms.
constexpr int kBeepHz = 1000;
constexpr int kBeepSamples = 800;

// Samples of audio packet k (little-endian 16-bit), shared with the tests' expectations.
std::vector<uint8_t> MakeAudioPacket(int k);

bool MakeRecording(const CardOptions& options, const RecordingPlan& plan, const std::vector<TextRecord>& text,
                   const std::string& path);
