// SPDX-License-Identifier: GPL-3.0-or-later
// First-in-first-out packet queues: payloads back to back in one byte buffer,
// with a length and a tag per entry. Safe for one producer and one consumer.
#pragma once

#include "platform/thread.h"

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// The unbounded queue's storage. Not locked: the owner locks around it.
// Payloads live in a ring of bytes, so each payload is copied once in and once out
// (in up to two pieces where it wraps) and nothing is ever moved to make room; only
// a queue that outgrows its ring moves into a larger one.
class PacketFifo {
public:
    void Reserve(size_t bytes, size_t entries);
    void Clear();
    // Appends without any capacity check; storage grows when needed.
    void Append(const void* data, int length, int tag);
    // Copies the first entry out and removes it; false when empty.
    bool PopFront(void* buffer, int* length, int* tag);
    size_t BytesInUse() const { return m_used; }
    size_t Entries() const { return m_lengths.size() - m_entryHead; }
    size_t ByteCapacity() const { return m_capacity; }

private:
    void Grow(size_t needed);

    // Raw storage, not std::vector: resizing a vector would zero every byte first.
    std::unique_ptr<uint8_t[]> m_bytes;  // ring; m_used bytes from m_head, wrapping
    size_t m_capacity = 0;
    size_t m_head = 0;
    size_t m_used = 0;
    std::vector<int> m_lengths;  // per entry; [m_entryHead, size) in use
    std::vector<int> m_tags;
    size_t m_entryHead = 0;
};

// Bounded by a byte capacity; used between the parser's read-ahead and the player.
// One producer thread (Reserve, Commit, Push, WaitForRoom) and one consumer thread (Pop,
// Take, WaitForData, Clear); Init only while neither runs. No lock is held while bytes
// are copied: each side works in room the other side does not touch and then publishes
// its position, so the two never wait on each other per packet. A side that finds the
// queue empty (or full) looks again for a few tens of microseconds, then sleeps until the
// other side wakes it; the other side wakes it only when it sleeps.
// Each payload lies in one piece, so a producer can have an entry written straight into
// the queue (Reserve, then Commit); for that the ring holds twice the capacity.
class CThreadQueue {
public:
    enum class TakeResult { kEmpty, kTaken, kTooLarge };
    // Entries queued at once; a push beyond them is refused like one beyond the bytes.
    static constexpr int kEntrySlots = 4096;

    CThreadQueue() = default;
    virtual ~CThreadQueue() = default;
    CThreadQueue(const CThreadQueue&) = delete;
    CThreadQueue& operator=(const CThreadQueue&) = delete;

    // Allocates the ring and the entry slots, so storage never moves later.
    bool Init(int capacity);
    // Consumer's side: drops every entry published so far (a running producer goes on).
    void Clear();
    // Refuses (false, nothing changed) when bytes in use + length would reach the capacity,
    // when every entry slot is taken, and an empty payload (length <= 0), which Pop could
    // not tell from an empty queue. Drops an uncommitted reservation.
    bool Push(const void* data, int length, int tag);
    // Producer: room in one piece for an entry of up to length bytes (at most the
    // capacity), or nullptr while the consumer still holds part of it. Nothing is queued
    // until Commit; another Reserve or a Push drops the reservation.
    uint8_t* Reserve(int length);
    // Queues the first length bytes of the reservation. False, keeping the reservation,
    // when Push would refuse that length; false when nothing is reserved or length exceeds it.
    bool Commit(int length, int tag);
    // Copies the first entry into *buffer; false and a diagnostic line when empty.
    bool Pop(void** buffer, int* length, int* tag);
    // Copies the first entry into buffer when it holds at most capacity bytes; a longer
    // one is removed unread (kTooLarge, with its length and tag). A diagnostic line when
    // empty, as Pop.
    TakeResult Take(void* buffer, int capacity, int* length, int* tag);
    // Consumer: true as soon as an entry is queued, false after timeoutMs without one.
    bool WaitForData(int timeoutMs);
    // Producer: true as soon as Commit(length) would be accepted while a reservation is
    // held, and Reserve(length) would succeed otherwise; false after timeoutMs.
    bool WaitForRoom(int length, int timeoutMs);
    int Capacity() const { return m_capacity; }

private:
    struct Slot {
        uint64_t start;       // ring position of the payload
        uint64_t payloadEnd;  // payload bytes pushed up to and including this entry
        int length;
        int tag;
    };
    struct Side {
        std::atomic<bool> sleeps{false};
        bool spin = true;  // the side's own: whether its next wait spins first
    };
    bool HasData() const;
    bool HasPayloadRoom(int length) const;
    bool PlaceFor(int length, uint64_t* at) const;
    void Publish(uint64_t at, int length, int tag);
    template <typename Ready>
    bool WaitUntil(Side& side, std::condition_variable& cond, int timeoutMs, Ready ready);
    void Wake(std::atomic<bool>& sleeping, std::condition_variable& cond);

    // Set by Init only.
    int m_capacity = 0;
    size_t m_ringBytes = 0;              // twice the capacity
    std::unique_ptr<uint8_t[]> m_bytes;  // the ring; positions count up, taken modulo its size
    std::unique_ptr<Slot[]> m_slots;     // ring of kEntrySlots

    // Producer's: entries published (a slot and its bytes are written before); the rest
    // is the producer's own.
    alignas(64) std::atomic<uint64_t> m_tail{0};
    uint64_t m_tailAt = 0;       // ring position after the last entry
    uint64_t m_tailPayload = 0;  // payload bytes published
    uint64_t m_reservedAt = 0;
    int m_reservedLength = 0;  // 0: nothing reserved
    // Consumer's: entries and payload released (copied out before).
    alignas(64) std::atomic<uint64_t> m_head{0};
    std::atomic<uint64_t> m_headPayload{0};

    // Sleeping: a side sets its flag under m_sleepLock before it checks once more and
    // sleeps; the other side looks at the flag after publishing and only then locks.
    alignas(64) Side m_consumer;
    alignas(64) Side m_producer;
    std::mutex m_sleepLock;
    std::condition_variable m_dataCond;
    std::condition_variable m_roomCond;
};

// Unbounded; the player's queue between reading and presentation.
class DecodeQueue {
public:
    void Clear();
    // Stores nothing when length <= 0; never refuses otherwise.
    void Push(int tag, const void* data, int length);
    // False (silently) when empty.
    bool Pop(void* buffer, int* length, int* tag);
    int Count();

private:
    PacketFifo m_fifo;  // --- protected by m_lock
    CSync m_lock;
};
