// Reads back the few things an export test checks in an AVI file: that its sizes add
// up, and the chunk ids of its index in order.
#pragma once

#include <cstdint>
#include <cstring>
#include <fstream>
#include <iterator>
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

inline uint32_t AviLe32(const std::vector<uint8_t>& b, size_t at)
{
    return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}

inline AviSummary ReadAviSummary(const std::string& path)
{
    AviSummary s;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> b((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (b.size() < 12 || std::memcmp(b.data(), "RIFF", 4) != 0 || std::memcmp(b.data() + 8, "AVI ", 4) != 0 ||
        AviLe32(b, 4) + 8 != b.size()) {
        return s;
    }
    // hdrl list, then the movi list, then idx1.
    const size_t hdrl = 12;
    const size_t movi = hdrl + 8 + AviLe32(b, hdrl + 4);
    if (movi + 12 > b.size() || std::memcmp(b.data() + movi + 8, "movi", 4) != 0) {
        return s;
    }
    const size_t idx = movi + 8 + AviLe32(b, movi + 4);
    if (idx + 8 > b.size() || std::memcmp(b.data() + idx, "idx1", 4) != 0) {
        return s;
    }
    const uint32_t idxBytes = AviLe32(b, idx + 4);
    if (idx + 8 + idxBytes != b.size() || idxBytes % 16 != 0) {
        return s;
    }
    for (size_t e = idx + 8; e < b.size(); e += 16) {
        s.indexIds.emplace_back(reinterpret_cast<const char*>(b.data() + e), 4);
        // Each entry points at a chunk header carrying the same id.
        const size_t chunk = movi + 8 + AviLe32(b, e + 8);
        if (chunk + 8 > b.size() || std::memcmp(b.data() + chunk, b.data() + e, 4) != 0) {
            return s;
        }
    }
    s.valid = true;
    return s;
}
