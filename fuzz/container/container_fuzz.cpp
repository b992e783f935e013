// Feeds arbitrary bytes to the recording reader as if they were a recording on the card:
// open, read every packet, seek to a few key units. Any out-of-bounds access, overflow
// or hang is a finding.
#include "mublib/mub_container.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    // Read buffers of different sizes, so that "too big for the buffer" is reached too.
    static constexpr uint32_t kCapacities[3] = {64, 4096, 0x200000};
    mub::ReadAllPackets(data, size, kCapacities[size % 3]);

    mub::RecordingHeader header;
    bool checksumOk = false;
    mub::ParseHeader(data, size, &header, &checksumOk);
    if (size >= mub::kDescriptionBytes) {
        mub::DecodeDescription(data);
    }
    return 0;
}
