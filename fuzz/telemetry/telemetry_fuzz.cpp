// SPDX-License-Identifier: GPL-3.0-or-later
// Feeds arbitrary text packets to the telemetry store. The packet is copied into a buffer
// of exactly its length, without a terminating zero, so any read past it is caught.
#include "formats/telemetry.h"

#include <cstdint>
#include <cstring>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) {
        return 0;
    }
    // The first two bytes choose the playback time, so the G-sensor rule is reached too.
    const int timeMs = (data[0] | (data[1] << 8)) * 100;
    data += 2;
    size -= 2;

    static CTelemetryStore store;
    auto packet = std::make_unique<char[]>(size == 0 ? 1 : size);
    if (size > 0) {
        std::memcpy(packet.get(), data, size);
    }
    store.OnTextPacket(packet.get(), static_cast<int>(size), timeMs);
    if (store.Samples().GSensorCount() > 100000) {
        store.Samples().Clear();
    }
    return 0;
}
