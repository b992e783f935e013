// SPDX-License-Identifier: GPL-3.0-or-later
#include "packetqueue.h"

#include "platform/trace.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

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

namespace {

// How long a side that found the queue empty (or full) keeps looking before it sleeps:
// the other side usually follows within microseconds, and a sleep costs both sides a
// system call and the sleeper a wake-up.
constexpr auto kSpin = std::chrono::microseconds(50);
// Looks with a pause in between before yielding: when both sides share one CPU (a busy
// machine), only a yield lets the other side run instead of the spin.
constexpr int kPauses = 50;
// An answer within this long lets the next wait spin again.
constexpr auto kQuickAnswer = std::chrono::milliseconds(1);

inline void CpuRelax()
{
#if defined(__x86_64__) || defined(__i386__)
    __builtin_ia32_pause();
#else
    std::this_thread::yield();
#endif
}

}  // namespace

bool CThreadQueue::Init(int capacity)
{
    m_capacity = std::max(capacity, 0);
    m_ringBytes = 2 * static_cast<size_t>(m_capacity);
    // Zeroed now, so the first recording does not fault the ring in page by page.
    m_bytes = m_capacity > 0 ? std::make_unique<uint8_t[]>(m_ringBytes) : nullptr;
    m_slots = m_capacity > 0 ? std::make_unique_for_overwrite<Slot[]>(kEntrySlots) : nullptr;
    m_tail = 0;
    m_tailAt = 0;
    m_tailPayload = 0;
    m_reservedLength = 0;
    m_head = 0;
    m_headPayload = 0;
    return true;
}

void CThreadQueue::Clear()
{
    const uint64_t tail = m_tail.load(std::memory_order_acquire);
    if (tail == m_head.load(std::memory_order_relaxed)) {
        return;
    }
    const Slot last = m_slots[(tail - 1) % kEntrySlots];
    m_headPayload.store(last.payloadEnd, std::memory_order_release);
    m_head.store(tail);  // sequentially consistent, as in Take
    Wake(m_producer.sleeps, m_roomCond);
}

// The producer's checks. Only the consumer moves the head, and only forward, so a stale
// value errs on the safe side. The entry count is read first (sequentially consistent, as
// the sleeping flags are): the room it released is then visible too.
bool CThreadQueue::HasPayloadRoom(int length) const
{
    const uint64_t entries = m_tail.load(std::memory_order_relaxed) - m_head.load();
    const uint64_t bytes = m_tailPayload - m_headPayload.load(std::memory_order_acquire);
    return entries < static_cast<uint64_t>(kEntrySlots) &&
           bytes + static_cast<uint64_t>(length) < static_cast<uint64_t>(m_capacity);
}

bool CThreadQueue::HasData() const
{
    return m_tail.load() != m_head.load(std::memory_order_relaxed);
}

// Where an entry of length bytes goes, false while the consumer still holds part of that
// room. In an empty queue, at the front of the ring: the bytes there were used last, so
// a queue the consumer keeps up with stays within a few entries (and the caches).
// Otherwise after the last entry, or at the front when it would not fit before the end;
// the room the oldest entry starts is the limit. With the ring twice the capacity, an
// entry the payload rule lets in always fits.
bool CThreadQueue::PlaceFor(int length, uint64_t* at) const
{
    if (m_ringBytes == 0 || length <= 0 || static_cast<size_t>(length) > m_ringBytes) {
        return false;
    }
    const uint64_t tail = m_tail.load(std::memory_order_relaxed);
    const uint64_t head = m_head.load();  // sequentially consistent, as the sleeping flags
    const uint64_t offset = m_tailAt % m_ringBytes;
    if (head == tail) {
        // The consumer has copied everything out (its head is published after that).
        *at = offset == 0 ? m_tailAt : m_tailAt + (m_ringBytes - offset);
        return true;
    }
    *at =
        offset + static_cast<uint64_t>(length) <= m_ringBytes ? m_tailAt : m_tailAt + (m_ringBytes - offset);
    // The slot is the producer's own writing, and stays until this side reuses it.
    return *at + static_cast<uint64_t>(length) - m_slots[head % kEntrySlots].start <= m_ringBytes;
}

void CThreadQueue::Publish(uint64_t at, int length, int tag)
{
    const uint64_t tail = m_tail.load(std::memory_order_relaxed);
    m_tailAt = at + static_cast<uint64_t>(length);
    m_tailPayload += static_cast<uint64_t>(length);
    m_slots[tail % kEntrySlots] = Slot{at, m_tailPayload, length, tag};
    m_reservedLength = 0;
    // Sequentially consistent, like the consumer's flag: either it sees this entry when it
    // looks once more, or this side sees it sleeping.
    m_tail.store(tail + 1);
    Wake(m_consumer.sleeps, m_dataCond);
}

bool CThreadQueue::Push(const void* data, int length, int tag)
{
    // Pop goes by bytes in use, so an empty entry would come out or vanish depending on
    // what else is queued: it is refused.
    m_reservedLength = 0;
    if (length <= 0 || data == nullptr || !HasPayloadRoom(length)) {
        return false;
    }
    uint64_t at = 0;
    if (!PlaceFor(length, &at)) {
        return false;  // not reached while the ring is twice the capacity
    }
    std::memcpy(m_bytes.get() + at % m_ringBytes, data, static_cast<size_t>(length));
    Publish(at, length, tag);
    return true;
}

uint8_t* CThreadQueue::Reserve(int length)
{
    m_reservedLength = 0;
    if (length <= 0 || length > m_capacity) {
        return nullptr;
    }
    uint64_t at = 0;
    if (!PlaceFor(length, &at)) {
        return nullptr;
    }
    m_reservedAt = at;
    m_reservedLength = length;
    return m_bytes.get() + at % m_ringBytes;
}

bool CThreadQueue::Commit(int length, int tag)
{
    if (length <= 0 || length > m_reservedLength || !HasPayloadRoom(length)) {
        return false;
    }
    Publish(m_reservedAt, length, tag);
    return true;
}

bool CThreadQueue::Pop(void** buffer, int* length, int* tag)
{
    if (buffer == nullptr || *buffer == nullptr || length == nullptr || tag == nullptr) {
        return false;
    }
    return Take(*buffer, INT_MAX, length, tag) == TakeResult::kTaken;
}

CThreadQueue::TakeResult CThreadQueue::Take(void* buffer, int capacity, int* length, int* tag)
{
    if (length == nullptr || tag == nullptr) {
        return TakeResult::kEmpty;
    }
    const uint64_t head = m_head.load(std::memory_order_relaxed);
    if (m_tail.load(std::memory_order_acquire) == head) {
        Trace("[CThreadQueue] Pop Empty\n");
        return TakeResult::kEmpty;
    }
    const Slot slot = m_slots[head % kEntrySlots];
    const bool fits = slot.length <= capacity && buffer != nullptr;
    if (fits) {
        std::memcpy(buffer, m_bytes.get() + slot.start % m_ringBytes, static_cast<size_t>(slot.length));
    }
    *length = slot.length;
    *tag = slot.tag;
    m_headPayload.store(slot.payloadEnd, std::memory_order_release);
    m_head.store(head + 1);  // sequentially consistent, as in Publish
    Wake(m_producer.sleeps, m_roomCond);
    return fits ? TakeResult::kTaken : TakeResult::kTooLarge;
}

bool CThreadQueue::WaitForData(int timeoutMs)
{
    return WaitUntil(m_consumer, m_dataCond, timeoutMs, [this] { return HasData(); });
}

bool CThreadQueue::WaitForRoom(int length, int timeoutMs)
{
    if (m_reservedLength > 0) {
        return WaitUntil(m_producer, m_roomCond, timeoutMs,
                         [this, length] { return HasPayloadRoom(length); });
    }
    return WaitUntil(m_producer, m_roomCond, timeoutMs, [this, length] {
        uint64_t at = 0;
        return PlaceFor(length, &at);
    });
}

template <typename Ready>
bool CThreadQueue::WaitUntil(Side& side, std::condition_variable& cond, int timeoutMs, Ready ready)
{
    const auto start = std::chrono::steady_clock::now();
    // Spin only while the other side has been answering quickly: a reader that waits for
    // a player taking a packet every few milliseconds would spin for nothing each time.
    if (side.spin) {
        for (int i = 0; i < kPauses; ++i) {
            if (ready()) {
                return true;
            }
            CpuRelax();
        }
        const auto spinEnd = start + kSpin;
        do {
            if (ready()) {
                return true;
            }
            std::this_thread::yield();
        } while (std::chrono::steady_clock::now() < spinEnd);
    }
    bool ok = false;
    {
        std::unique_lock<std::mutex> lock(m_sleepLock);
        side.sleeps.store(true);
        ok = cond.wait_for(lock, std::chrono::milliseconds(std::max(timeoutMs, 0)), ready);
        side.sleeps.store(false);
    }
    side.spin = ok && std::chrono::steady_clock::now() - start < kQuickAnswer;
    return ok;
}

void CThreadQueue::Wake(std::atomic<bool>& sleeping, std::condition_variable& cond)
{
    if (sleeping.load()) {
        // Taking the lock once makes sure the sleeper is inside its wait, not between its
        // last look and the wait.
        {
            std::lock_guard<std::mutex> lock(m_sleepLock);
        }
        cond.notify_one();
    }
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
