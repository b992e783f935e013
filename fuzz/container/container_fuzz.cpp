// Feeds arbitrary bytes to the recording reader as if they were a recording on the card:
// open, read every packet, seek to a few key units. Any out-of-bounds access, overflow
// or hang is a finding.
//
// Each input runs twice: as it is, and with its header and index checksums made to hold,
// so that mutations of the counts and offsets reach the trusted-index path instead of
// stopping at a checksum mismatch.
#include "mublib/mub_container.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

void Put32(uint8_t* p, uint32_t v)
{
    for (int i = 0; i < 4; ++i) {
        p[i] = static_cast<uint8_t>(v >> (8 * i));
    }
}

// Magic, version and header size as the reader wants them; the index where the header
// says, with its magic, the header's count and a matching checksum when it fits; then
// the header checksum.
void RepairChecksums(std::vector<uint8_t>& b)
{
    if (b.size() < mub::kHeaderBytes) {
        return;
    }
    std::memcpy(b.data(), mub::kFileMagic, sizeof mub::kFileMagic);
    b[8] = 1;
    b[9] = 0;
    b[10] = mub::kHeaderBytes & 0xFF;
    b[11] = mub::kHeaderBytes >> 8;
    mub::RecordingHeader h;
    bool checksumOk = false;
    mub::ParseHeader(b.data(), b.size(), &h, &checksumOk);
    if (h.indexOffset <= b.size() && b.size() - h.indexOffset >= 12 &&
        h.indexCount <= (b.size() - h.indexOffset - 12) / 8) {
        uint8_t* index = b.data() + h.indexOffset;
        std::memcpy(index, "MIDX", 4);
        Put32(index + 4, h.indexCount);
        Put32(index + 8 + 8 * static_cast<size_t>(h.indexCount),
              mub::Crc32(index + 8, 8 * static_cast<size_t>(h.indexCount)));
    }
    Put32(b.data() + 0x50, 0);
    Put32(b.data() + 0x50, mub::Crc32(b.data(), mub::kHeaderBytes));
}

void Check(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

void Read(const uint8_t* data, size_t size)
{
    // Read buffers of different sizes, so that "too big for the buffer" is reached too.
    static constexpr uint32_t kCapacities[3] = {64, 4096, 0x200000};
    const mub::ReadAllStats s = mub::ReadAllPackets(data, size, kCapacities[size % 3]);
    // Nothing comes out that is not in the bytes.
    Check(s.payloadBytes + 16ull * (s.packets + s.tooBig) <= size);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Read(data, size);
    std::vector<uint8_t> repaired(data, data + size);
    RepairChecksums(repaired);
    Read(repaired.data(), repaired.size());

    mub::RecordingHeader header;
    bool checksumOk = false;
    mub::ParseHeader(data, size, &header, &checksumOk);
    if (size >= mub::kDescriptionBytes) {
        mub::DecodeDescription(data);
    }
    return 0;
}
