// SPDX-License-Identifier: GPL-3.0-or-later
// Sensor-like noise on a picture's luma: fresh every picture, so the encoder spends its bit
// rate as on real footage.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

// Adds a value in -amplitude..amplitude to each of the n luma bytes, clamped, drawing from
// the xorshift64 state (never 0): plenty for noise, and far cheaper than the seeding
// generator.
inline void AddLumaNoise(uint8_t* luma, size_t n, int amplitude, uint64_t* state)
{
    std::array<int8_t, 256> table{};
    for (int i = 0; i < 256; ++i) {
        table[static_cast<size_t>(i)] = static_cast<int8_t>(i % (2 * amplitude + 1) - amplitude);
    }
    uint64_t s = *state;
    for (size_t i = 0; i < n; i += 8) {
        s ^= s << 13;
        s ^= s >> 7;
        s ^= s << 17;
        uint64_t r = s;
        for (size_t k = 0; k < 8 && i + k < n; ++k, r >>= 8) {
            const int v = luma[i + k] + table[r & 0xFF];
            luma[i + k] = static_cast<uint8_t>(v < 0 ? 0 : v > 255 ? 255 : v);
        }
    }
    *state = s;
}
