#include "fsnormal.h"

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

void CFSNormal::Close()
{
    if (m_fp != nullptr) {
        std::fclose(m_fp);
        m_fp = nullptr;
    }
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
