// SPDX-License-Identifier: GPL-3.0-or-later
// A parser that hands out a scripted list of packets: the export's tests (and the
// viewer's export worker tests) run against it without a card.
#pragma once

#include "engine/media.h"

#include <cstring>
#include <functional>
#include <string>
#include <vector>

class ScriptedParser : public VMediaParser {
public:
    struct Packet {
        std::string id;  // "" for "no packet this time"
        int length;
        std::string bytes = {};  // the payload; empty: length bytes of the packet's number
    };
    std::vector<Packet> packets;
    MediaInfo info;
    int openResult = 1;
    size_t next = 0;
    int closes = 0;
    // Called before each packet is handed out, with its index: a test can hold the reader
    // there, or act while it waits.
    std::function<void(size_t)> beforePacket;

    bool Start() override { return true; }
    void Stop() override {}
    int Open(char*, MediaInfo* out) override
    {
        next = 0;
        *out = info;
        return openResult;
    }
    void Close() override { ++closes; }
    int ReadPacket(void*, int*) override { return kPacketEnd; }
    int ParseMedia(char* id, void* buffer, int* size) override
    {
        if (next >= packets.size()) {
            return -1;
        }
        if (beforePacket) {
            beforePacket(next);
        }
        const Packet& p = packets[next++];
        std::memcpy(id, p.id.c_str(), p.id.size());
        if (p.bytes.empty()) {
            std::memset(buffer, static_cast<int>(next), static_cast<size_t>(p.length));
            *size = p.length;
        } else {
            std::memcpy(buffer, p.bytes.data(), p.bytes.size());
            *size = static_cast<int>(p.bytes.size());
        }
        return 5;
    }
    VideoSize GetVideoSize(int channel) override { return channel < 2 ? VideoSize{320, 240} : VideoSize{}; }
    int GetFrameRate(int) override { return 0; }
    void GetAudioFormat(int* bits, int* rate) override
    {
        *bits = 16;
        *rate = 8000;
    }
    int SeekTime(float) override { return 0; }
    bool IsSeekSnapped() override { return true; }
};
