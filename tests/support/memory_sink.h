// A VFileSystem that keeps the file in memory, with a switch to make writes fail.
#pragma once

#include "engine/media.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

class CMemorySink : public VFileSystem {
public:
    bool Open(const char* path, const char* /*mode*/) override
    {
        if (m_open || m_refuseOpen) {
            return false;
        }
        m_open = true;
        m_path = path;
        m_bytes.clear();
        m_pos = 0;
        ++m_opens;
        return true;
    }
    int Write(const void* data, int length) override
    {
        if (!m_open || length <= 0) {
            return 0;
        }
        int n = length;
        if (m_writeBudget >= 0) {
            n = static_cast<int>(std::min<long long>(n, m_writeBudget));
            m_writeBudget -= n;
        }
        if (m_pos + static_cast<size_t>(n) > m_bytes.size()) {
            m_bytes.resize(m_pos + static_cast<size_t>(n));
        }
        if (n > 0) {
            std::memcpy(m_bytes.data() + m_pos, data, static_cast<size_t>(n));
        }
        m_pos += static_cast<size_t>(n);
        return n;
    }
    bool Close() override
    {
        m_open = false;
        return !m_failClose;
    }
    int Seek(long offset, int origin) override
    {
        if (!m_open || m_refuseSeek) {
            return -1;
        }
        const long base = origin == 0   ? 0
                          : origin == 1 ? static_cast<long>(m_pos)
                                        : static_cast<long>(m_bytes.size());
        if (origin < 0 || origin > 2 || base + offset < 0) {
            return -1;
        }
        m_pos = static_cast<size_t>(base + offset);
        return 0;
    }
    bool IsOpen() override { return m_open; }

    // Bytes every later write may still store in all; -1: no limit.
    void SetWriteBudget(long long bytes) { m_writeBudget = bytes; }
    void SetRefuseOpen(bool refuse) { m_refuseOpen = refuse; }
    void SetRefuseSeek(bool refuse) { m_refuseSeek = refuse; }
    // Close reports a failure, as when buffered bytes could not be written.
    void SetFailClose(bool fail) { m_failClose = fail; }
    const std::vector<uint8_t>& Bytes() const { return m_bytes; }
    const std::string& Path() const { return m_path; }
    int Opens() const { return m_opens; }

private:
    std::vector<uint8_t> m_bytes;
    size_t m_pos = 0;
    bool m_open = false;
    bool m_refuseOpen = false;
    bool m_refuseSeek = false;
    bool m_failClose = false;
    long long m_writeBudget = -1;
    std::string m_path;
    int m_opens = 0;
};
