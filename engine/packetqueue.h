// First-in-first-out packet queues: payloads back to back in one byte buffer,
// with a length and a tag per entry. Safe for one producer and one consumer.
#pragma once

#include "platform/thread.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

// The storage shared by both queues. Not locked: the owners lock around it.
// Payloads live in a ring of bytes, so each payload is copied once in and once out
// (in up to two pieces where it wraps) and nothing is ever moved to make room; only
// an unbounded queue that outgrows its ring moves into a larger one.
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
class CThreadQueue {
public:
    virtual ~CThreadQueue() = default;

    // Reserves capacity bytes (and room for 100 entries) so storage never moves later.
    bool Init(int capacity);
    void Clear();
    // Refuses (false, nothing changed) when bytes in use + length would reach the capacity,
    // and an empty payload (length <= 0), which Pop could not tell from an empty queue.
    bool Push(const void* data, int length, int tag);
    // Copies the first entry into *buffer; false and a diagnostic line when empty.
    bool Pop(void** buffer, int* length, int* tag);
    int Capacity() const { return m_capacity; }

private:
    int m_capacity = 0;  // set by Init only
    CSync m_lock;
    PacketFifo m_fifo;  // --- protected by m_lock
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
