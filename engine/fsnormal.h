// A VFileSystem over a buffered standard-library file stream.
#pragma once

#include "engine/media.h"

#include <cstdio>

class CFSNormal : public VFileSystem {
public:
    CFSNormal() = default;
    ~CFSNormal() override { Close(); }
    CFSNormal(const CFSNormal&) = delete;
    CFSNormal& operator=(const CFSNormal&) = delete;

    // Refuses, with a diagnostic line, while a stream is open; the open stream stays usable.
    bool Open(const char* path, const char* mode) override;
    int Write(const void* data, int length) override;
    // Flushes the stream and syncs the file before closing: an export must not report a
    // file whose last bytes never reached the disk. False (errno says why) when any step
    // failed; closed either way.
    bool Close() override;
    int Seek(long offset, int origin) override;
    bool IsOpen() override { return m_fp != nullptr; }

private:
    FILE* m_fp = nullptr;
};
