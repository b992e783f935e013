// SPDX-License-Identifier: GPL-3.0-or-later
#include "fsnormal.h"

#include "platform/trace.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

bool CFSNormal::Open(const char* path, const char* mode)
{
    if (m_fp != nullptr) {
        Trace("[CFSNormal] FP is Already Opened\n");
        return false;
    }
    if (path == nullptr || mode == nullptr) {
        return false;
    }
    m_fp = std::fopen(path, mode);
    m_sinceWriteback = 0;
    if (m_fp != nullptr) {
        if (!m_block) {
            m_block = std::make_unique_for_overwrite<char[]>(kWriteBlockBytes);
        }
        std::setvbuf(m_fp, m_block.get(), _IOFBF, kWriteBlockBytes);
    }
    return m_fp != nullptr;
}

int CFSNormal::Write(const void* data, int length)
{
    if (m_fp == nullptr || data == nullptr || length <= 0) {
        return 0;
    }
    const size_t written = std::fwrite(data, 1, static_cast<size_t>(length), m_fp);
    m_sinceWriteback += written;
    if (m_sinceWriteback >= kWritebackBytes) {
        m_sinceWriteback = 0;
        // Only starts the writing of what the system holds; a failure shows in the sync.
        ::sync_file_range(fileno(m_fp), 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    return static_cast<int>(written);
}

bool CFSNormal::Sync()
{
    // Devices and pipes cannot be synced: no loss of data.
    return ::fsync(fileno(m_fp)) == 0 || errno == EINVAL || errno == EROFS;
}

bool CFSNormal::Close()
{
    if (m_fp == nullptr) {
        return true;
    }
    int error = 0;
    std::function<void()> work = std::move(m_whileSyncing);
    m_whileSyncing = nullptr;
    if (std::fflush(m_fp) != 0) {
        error = errno;
    } else if (work) {
        int syncError = 0;
        std::thread syncer([this, &syncError] { syncError = Sync() ? 0 : errno; });
        work();
        syncer.join();
        error = syncError;
    } else if (!Sync()) {
        error = errno;
    }
    if (std::fclose(m_fp) != 0 && error == 0) {
        error = errno;
    }
    m_fp = nullptr;
    if (error != 0) {
        errno = error;  // the first failure says why
        return false;
    }
    return true;
}

int CFSNormal::Seek(long offset, int origin)
{
    if (m_fp == nullptr) {
        return -1;
    }
    static constexpr int kWhence[] = {SEEK_SET, SEEK_CUR, SEEK_END};
    if (origin < 0 || origin > 2) {
        return -1;
    }
    return std::fseek(m_fp, offset, kWhence[origin]);
}
