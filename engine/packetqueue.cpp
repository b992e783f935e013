#include "packetqueue.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <mutex>

void PacketFifo::Reserve(size_t bytes, size_t entries)
{
    if (bytes > m_capacity) {
        Grow(bytes);
    }
    m_lengths.reserve(entries);
    m_tags.reserve(entries);
}

void PacketFifo::Clear()
{
    m_head = 0;
    m_used = 0;
    m_lengths.clear();
    m_tags.clear();
    m_entryHead = 0;
}

void PacketFifo::Grow(size_t needed)
{
    auto bigger = std::make_unique_for_overwrite<uint8_t[]>(needed);
    if (m_used > 0) {
        const size_t first = std::min(m_used, m_capacity - m_head);
        std::memcpy(bigger.get(), m_bytes.get() + m_head, first);
        std::memcpy(bigger.get() + first, m_bytes.get(), m_used - first);
    }
    m_bytes = std::move(bigger);
    m_capacity = needed;
    m_head = 0;
}

void PacketFifo::Append(const void* data, int length, int tag)
{
    const auto len = static_cast<size_t>(length);
    if (m_used + len > m_capacity) {
        // Doubling keeps an unbounded queue from reallocating on every push.
        Grow(std::max(m_used + len, 2 * m_capacity));
    }
    if (len > 0) {
        const size_t tail = (m_head + m_used) % m_capacity;
        const size_t first = std::min(len, m_capacity - tail);
        const auto* src = static_cast<const uint8_t*>(data);
        std::memcpy(m_bytes.get() + tail, src, first);
        std::memcpy(m_bytes.get(), src + first, len - first);
    }
    m_used += len;
    // Drop the popped front of the entry lists only when that frees at least half of
    // them; otherwise let them grow, so the cost per entry stays constant.
    if (m_entryHead > 0 && m_lengths.size() == m_lengths.capacity() && 2 * m_entryHead >= m_lengths.size()) {
        const auto n = static_cast<std::ptrdiff_t>(m_entryHead);
        m_lengths.erase(m_lengths.begin(), m_lengths.begin() + n);
        m_tags.erase(m_tags.begin(), m_tags.begin() + n);
        m_entryHead = 0;
    }
    m_lengths.push_back(length);
    m_tags.push_back(tag);
}

bool PacketFifo::PopFront(void* buffer, int* length, int* tag)
{
    if (Entries() == 0) {
        return false;
    }
    const int len = m_lengths[m_entryHead];
    const auto n = static_cast<size_t>(len);
    if (n > 0) {
        const size_t first = std::min(n, m_capacity - m_head);
        auto* dst = static_cast<uint8_t*>(buffer);
        std::memcpy(dst, m_bytes.get() + m_head, first);
        std::memcpy(dst + first, m_bytes.get(), n - first);
        m_head = (m_head + n) % m_capacity;
    }
    m_used -= n;
    *length = len;
    *tag = m_tags[m_entryHead];
    ++m_entryHead;
    if (Entries() == 0) {
        Clear();  // empty again: start at the front, so small queues rarely wrap
    }
    return true;
}

bool CThreadQueue::Init(int capacity)
{
    std::lock_guard<CSync> lock(m_lock);
    m_fifo.Clear();
    m_fifo.Reserve(capacity > 0 ? static_cast<size_t>(capacity) : 0, 100);
    m_capacity = capacity;
    return true;
}

void CThreadQueue::Clear()
{
    std::lock_guard<CSync> lock(m_lock);
    m_fifo.Clear();
}

bool CThreadQueue::Push(const void* data, int length, int tag)
{
    // Pop goes by bytes in use, so an empty entry would come out or vanish depending on
    // what else is queued: it is refused.
    if (length <= 0 || data == nullptr) {
        return false;
    }
    std::lock_guard<CSync> lock(m_lock);
    if (static_cast<long long>(m_fifo.BytesInUse()) + length >= m_capacity) {
        return false;
    }
    m_fifo.Append(data, length, tag);
    return true;
}

bool CThreadQueue::Pop(void** buffer, int* length, int* tag)
{
    if (buffer == nullptr || *buffer == nullptr || length == nullptr || tag == nullptr) {
        return false;
    }
    std::lock_guard<CSync> lock(m_lock);
    if (m_fifo.BytesInUse() == 0) {
        std::printf("[CThreadQueue] Pop Empty\n");
        return false;
    }
    return m_fifo.PopFront(*buffer, length, tag);
}

void DecodeQueue::Clear()
{
    std::lock_guard<CSync> lock(m_lock);
    m_fifo.Clear();
}

void DecodeQueue::Push(int tag, const void* data, int length)
{
    if (length <= 0 || data == nullptr) {
        return;
    }
    std::lock_guard<CSync> lock(m_lock);
    m_fifo.Append(data, length, tag);
}

bool DecodeQueue::Pop(void* buffer, int* length, int* tag)
{
    if (buffer == nullptr || length == nullptr || tag == nullptr) {
        return false;
    }
    std::lock_guard<CSync> lock(m_lock);
    return m_fifo.PopFront(buffer, length, tag);
}

int DecodeQueue::Count()
{
    std::lock_guard<CSync> lock(m_lock);
    return static_cast<int>(m_fifo.Entries());
}
