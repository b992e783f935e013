// SPDX-License-Identifier: GPL-3.0-or-later
// A stand-in for the card library behind CMUBParser: records which calls were made,
// replies with what a test sets, and serves an endless numbered packet stream.
#pragma once

#include "formats/mubparser.h"

#include <atomic>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

struct FakeLibrary {
    // What Open's calls return.
    uint8_t record[MUB_DESCRIPTION_BYTES] = {};
    uint16_t count0 = 0;
    uint16_t count1 = 0;
    uint16_t sixth = 0;
    std::string summary;
    bool summaryFillsBuffer = false;  // write 256 bytes with no terminating zero
    int handle = 7;
    // Slow calls, to widen the windows in which the reader and the caller could meet.
    int infoDelayMs = 0;
    int readDelayMs = 0;

    // Replaces the numbered stream when set.
    std::function<int(uint8_t* type, uint8_t* status, uint8_t* flag, int* size, void* buffer)> read;

    // The numbered stream: packet i is a key unit when i % kGop == 0, audio when
    // i % kGop == kGop / 2, other video otherwise; its payload is i as 4 bytes.
    static constexpr int kGop = 10;
    int position = 0;    // next packet of the stream
    int keyUnits = 0;    // status 0 packets handed out since select
    int streamEnd = -1;  // packets in the stream; -1: endless

    std::mutex callsLock;
    std::vector<std::string> calls;  // --- protected by callsLock

    // Set when a read and a seek ever run at the same time.
    std::atomic<int> inside{0};
    std::atomic<bool> overlapped{false};

    void Log(std::string s)
    {
        std::lock_guard<std::mutex> lock(callsLock);
        calls.push_back(std::move(s));
    }
    std::vector<std::string> Calls()
    {
        std::lock_guard<std::mutex> lock(callsLock);
        return calls;
    }
    void ClearCalls()
    {
        std::lock_guard<std::mutex> lock(callsLock);
        calls.clear();
    }

    void SetDescription(int fps0, int fps1, int fps2, int w0, int h0, int w1, int h1)
    {
        std::memset(record, 0, sizeof record);
        record[3] = static_cast<uint8_t>(fps0);
        record[4] = static_cast<uint8_t>(fps1);
        record[5] = static_cast<uint8_t>(fps2);
        auto put16 = [this](int offset, int v) {
            record[offset] = static_cast<uint8_t>(v);
            record[offset + 1] = static_cast<uint8_t>(v >> 8);
        };
        put16(0x34, w0);
        put16(0x14, h0);
        put16(0x36, w1);
        put16(0x16, h1);
    }

    static MUBLibCalls Calls(FakeLibrary* lib);
    static FakeLibrary* current;
};

// A context value the fake accepts; the parser only passes it through.
inline MUBContext FakeContext()
{
    return reinterpret_cast<MUBContext>(static_cast<uintptr_t>(0x1000));
}
