// SPDX-License-Identifier: GPL-3.0-or-later
// A VFileSystem over a buffered standard-library file stream.
#pragma once

#include "engine/media.h"

#include <cstdio>
#include <memory>

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
    // Runs beside the sync of the next Close (the sync on a thread of its own).
    void SetWhileSyncing(std::function<void()> work) override { m_whileSyncing = std::move(work); }

    // Bytes the stream gathers before it writes: few, large writes.
    static constexpr size_t kWriteBlockBytes = 1 << 20;
    // After this many bytes the disk is asked to start writing them, so that a large file
    // goes out while it is being made rather than all in the sync at the end.
    static constexpr size_t kWritebackBytes = 8 << 20;

private:
    bool Sync();

    FILE* m_fp = nullptr;
    std::unique_ptr<char[]> m_block;  // the stream's buffer while it is open
    size_t m_sinceWriteback = 0;
    std::function<void()> m_whileSyncing;
};
