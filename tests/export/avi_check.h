// Reads back the few things an export test checks in an AVI file: that its sizes add
// up, and the chunk ids of its index in order. Reads only the headers and the index, so
// files of gigabytes (sparse ones in tests) are checked quickly.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

struct AviSummary {
    bool valid = false;  // RIFF/AVI, RIFF size = file size - 8, index where it belongs
    std::vector<std::string> indexIds;
    int Count(const char* id) const
    {
        int n = 0;
        for (const auto& s : indexIds) {
            n += s == id ? 1 : 0;
        }
        return n;
    }
};

inline uint32_t AviLe32(const uint8_t* b)
{
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

inline AviSummary ReadAviSummary(const std::string& path)
{
    AviSummary s;
    std::ifstream in(path, std::ios::binary);
    in.seekg(0, std::ios::end);
    const uint64_t size = static_cast<uint64_t>(in.tellg());
    auto at = [&in, size](uint64_t offset, void* out, size_t len) {
        if (offset > size || len > size - offset) {
            return false;
        }
        in.seekg(static_cast<std::streamoff>(offset));
        return static_cast<bool>(in.read(static_cast<char*>(out), static_cast<std::streamsize>(len)));
    };
    uint8_t b[12];
    if (!at(0, b, 12) || std::memcmp(b, "RIFF", 4) != 0 || std::memcmp(b + 8, "AVI ", 4) != 0 ||
        AviLe32(b + 4) + 8ull != size) {
        return s;
    }
    // hdrl list, then the movi list, then idx1.
    const uint64_t hdrl = 12;
    if (!at(hdrl, b, 8)) {
        return s;
    }
    const uint64_t movi = hdrl + 8 + AviLe32(b + 4);
    if (!at(movi, b, 12) || std::memcmp(b + 8, "movi", 4) != 0) {
        return s;
    }
    const uint64_t idx = movi + 8 + AviLe32(b + 4);
    if (!at(idx, b, 8) || std::memcmp(b, "idx1", 4) != 0) {
        return s;
    }
    const uint32_t idxBytes = AviLe32(b + 4);
    if (idx + 8 + idxBytes != size || idxBytes % 16 != 0) {
        return s;
    }
    std::vector<uint8_t> entries(idxBytes);
    if (!at(idx + 8, entries.data(), entries.size())) {
        return s;
    }
    for (size_t e = 0; e < entries.size(); e += 16) {
        s.indexIds.emplace_back(reinterpret_cast<const char*>(entries.data() + e), 4);
        // Each entry points at a chunk header carrying the same id, whose payload fits
        // before the index.
        const uint64_t chunk = movi + 8 + AviLe32(entries.data() + e + 8);
        if (!at(chunk, b, 8) || std::memcmp(b, entries.data() + e, 4) != 0 ||
            chunk + 8 + AviLe32(b + 4) > idx) {
            return s;
        }
    }
    s.valid = true;
    return s;
}
