#include "fsnormal.h"

#include <unistd.h>

#include <cerrno>

bool CFSNormal::Open(const char* path, const char* mode)
{
    if (m_fp != nullptr) {
        std::printf("[CFSNormal] FP is Already Opened\n");
        return false;
    }
    if (path == nullptr || mode == nullptr) {
        return false;
    }
    m_fp = std::fopen(path, mode);
    return m_fp != nullptr;
}

int CFSNormal::Write(const void* data, int length)
{
    if (m_fp == nullptr || data == nullptr || length <= 0) {
        return 0;
    }
    return static_cast<int>(std::fwrite(data, 1, static_cast<size_t>(length), m_fp));
}

bool CFSNormal::Close()
{
    if (m_fp == nullptr) {
        return true;
    }
    int error = 0;
    if (std::fflush(m_fp) != 0) {
        error = errno;
    } else if (::fsync(fileno(m_fp)) != 0 && errno != EINVAL && errno != EROFS) {
        error = errno;  // devices and pipes cannot be synced: no loss of data
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
