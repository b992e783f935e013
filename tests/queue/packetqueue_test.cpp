// SPDX-License-Identifier: GPL-3.0-or-later
#include "engine/packetqueue.h"
#include "tests/support/trace_capture.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <deque>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

struct Entry {
    std::vector<uint8_t> bytes;
    int tag;
};

// Payload bytes that depend on the entry's sequence number and position.
uint8_t ByteOf(uint32_t seq, size_t i)
{
    return static_cast<uint8_t>((seq * 2654435761u + i * 40503u) >> 13);
}

std::vector<uint8_t> PayloadOf(uint32_t seq, size_t length)
{
    std::vector<uint8_t> p(length);
    for (size_t i = 0; i < length; ++i) {
        p[i] = ByteOf(seq, i);
    }
    return p;
}

// Keeps stdout quiet while the bounded queue reports many empty pops.
class SilenceStdout {
public:
    SilenceStdout()
    {
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    ~SilenceStdout()
    {
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
    }

private:
    int m_saved = -1;
};

std::string CapturePopEmpty(CThreadQueue& q, bool* popped)
{
    std::vector<uint8_t> buf(16);
    void* out = buf.data();
    int length = -1;
    int tag = -1;
    CTraceCapture trace;
    *popped = q.Pop(&out, &length, &tag);
    return trace.Take();
}

}  // namespace

TEST(ThreadQueue, RefusesAPushThatWouldReachTheCapacity)
{
    CThreadQueue q;
    ASSERT_TRUE(q.Init(100));
    std::string bytes(60, 'a');
    EXPECT_TRUE(q.Push(bytes.data(), 60, 0));
    EXPECT_FALSE(q.Push(bytes.data(), 40, 1));
    EXPECT_TRUE(q.Push(bytes.data(), 39, 2));
    EXPECT_FALSE(q.Push(bytes.data(), 1, 3));

    // The refused pushes left nothing behind: exactly the two accepted entries come out.
    std::vector<uint8_t> buf(100);
    void* out = buf.data();
    int length = 0;
    int tag = 0;
    ASSERT_TRUE(q.Pop(&out, &length, &tag));
    EXPECT_EQ(length, 60);
    EXPECT_EQ(tag, 0);
    EXPECT_TRUE(q.Push(bytes.data(), 60, 4));  // room again once popped
    ASSERT_TRUE(q.Pop(&out, &length, &tag));
    EXPECT_EQ(length, 39);
    EXPECT_EQ(tag, 2);
}

TEST(ThreadQueue, EmptyPopPrintsOncePerCall)
{
    CThreadQueue q;
    ASSERT_TRUE(q.Init(1000));
    bool popped = true;
    EXPECT_EQ(CapturePopEmpty(q, &popped), "[CThreadQueue] Pop Empty\n");
    EXPECT_FALSE(popped);
    EXPECT_EQ(CapturePopEmpty(q, &popped), "[CThreadQueue] Pop Empty\n");
    EXPECT_FALSE(popped);

    ASSERT_TRUE(q.Push("abc", 3, 1));
    q.Clear();
    EXPECT_EQ(CapturePopEmpty(q, &popped), "[CThreadQueue] Pop Empty\n");
}

TEST(ThreadQueue, BadAndEmptyPushesAreRefused)
{
    CThreadQueue q;
    ASSERT_TRUE(q.Init(100));
    EXPECT_FALSE(q.Push(nullptr, 5, 0));
    EXPECT_FALSE(q.Push("abc", -1, 0));
    CThreadQueue uninitialised;
    EXPECT_FALSE(uninitialised.Push("abc", 3, 0));

    // An empty entry would come out behind another one, but vanish on its own.
    ASSERT_TRUE(q.Push("abc", 3, 1));
    EXPECT_FALSE(q.Push("abc", 0, 2));
    EXPECT_FALSE(q.Push(nullptr, 0, 3));
    std::vector<uint8_t> buf(16);
    void* out = buf.data();
    int length = -1;
    int tag = -1;
    ASSERT_TRUE(q.Pop(&out, &length, &tag));
    EXPECT_EQ(tag, 1);
    bool popped = true;
    EXPECT_EQ(CapturePopEmpty(q, &popped), "[CThreadQueue] Pop Empty\n");
    EXPECT_FALSE(popped);
}

TEST(DecodeQueue, ZeroLengthPushStoresNothing)
{
    DecodeQueue q;
    q.Push(100, "abc", 0);
    q.Push(100, "abc", -5);
    q.Push(100, nullptr, 5);
    EXPECT_EQ(q.Count(), 0);
    std::vector<uint8_t> buf(8);
    int length = -1;
    int tag = -1;
    CTraceCapture trace;
    EXPECT_FALSE(q.Pop(buf.data(), &length, &tag));
    EXPECT_EQ(trace.Take(), "");  // silent, unlike the bounded queue
}

// Random pushes (the bounded queue also in place), pops and clears against a plain deque,
// for both queue kinds.
TEST(PacketQueues, KeepOrderLengthsAndTagsAfterAnyInterleaving)
{
    std::mt19937 rng(12345);
    CThreadQueue bounded;
    ASSERT_TRUE(bounded.Init(5000));
    DecodeQueue unbounded;
    std::deque<Entry> modelBounded;
    std::deque<Entry> modelUnbounded;
    size_t boundedBytes = 0;
    std::vector<uint8_t> buf(4096);
    uint32_t seq = 0;
    SilenceStdout quiet;

    for (int step = 0; step < 20000; ++step) {
        const int action = static_cast<int>(rng() % 100);
        if (action < 55) {
            const size_t len = 1 + rng() % (rng() % 8 == 0 ? 4000 : 300);
            Entry e{PayloadOf(seq, len), static_cast<int>(seq % 7)};
            ++seq;
            bool fits = boundedBytes + len < 5000;
            if (rng() % 3 == 0) {
                // Written in place: room for the largest entry, or for just this one.
                uint8_t* room = bounded.Reserve(rng() % 2 == 0 ? 5000 : static_cast<int>(len));
                if (room == nullptr) {
                    ASSERT_FALSE(modelBounded.empty());  // only while the consumer holds part of the ring
                    fits = false;
                } else {
                    std::copy(e.bytes.begin(), e.bytes.end(), room);
                    ASSERT_EQ(bounded.Commit(static_cast<int>(len), e.tag), fits);
                }
            } else {
                ASSERT_EQ(bounded.Push(e.bytes.data(), static_cast<int>(len), e.tag), fits);
            }
            if (fits) {
                boundedBytes += len;
                modelBounded.push_back(e);
            }
            unbounded.Push(e.tag, e.bytes.data(), static_cast<int>(len));
            modelUnbounded.push_back(e);
        } else if (action < 99) {
            void* out = buf.data();
            int length = -1;
            int tag = -1;
            // Sometimes into a buffer that may be too small: such an entry is dropped.
            const int room = rng() % 8 == 0 ? static_cast<int>(rng() % 300) : static_cast<int>(buf.size());
            const CThreadQueue::TakeResult taken = bounded.Take(out, room, &length, &tag);
            ASSERT_EQ(taken != CThreadQueue::TakeResult::kEmpty, !modelBounded.empty());
            if (!modelBounded.empty()) {
                const Entry& want = modelBounded.front();
                ASSERT_EQ(length, static_cast<int>(want.bytes.size()));
                ASSERT_EQ(tag, want.tag);
                ASSERT_EQ(taken == CThreadQueue::TakeResult::kTooLarge, length > room);
                ASSERT_TRUE(length > room || std::equal(want.bytes.begin(), want.bytes.end(), buf.begin()));
                boundedBytes -= want.bytes.size();
                modelBounded.pop_front();
            }
            ASSERT_EQ(unbounded.Pop(buf.data(), &length, &tag), !modelUnbounded.empty());
            if (!modelUnbounded.empty()) {
                const Entry& want = modelUnbounded.front();
                ASSERT_EQ(length, static_cast<int>(want.bytes.size()));
                ASSERT_EQ(tag, want.tag);
                ASSERT_TRUE(std::equal(want.bytes.begin(), want.bytes.end(), buf.begin()));
                modelUnbounded.pop_front();
            }
            ASSERT_EQ(unbounded.Count(), static_cast<int>(modelUnbounded.size()));
        } else {
            bounded.Clear();
            unbounded.Clear();
            modelBounded.clear();
            modelUnbounded.clear();
            boundedBytes = 0;
        }
    }
}

namespace {

constexpr uint32_t kStressEntries = 30000;

size_t StressLength(std::mt19937& rng)
{
    // Mostly small entries, sometimes large ones that fill much of the bounded queue.
    return 1 + (rng() % 16 == 0 ? rng() % 60000 : rng() % 2000);
}

// The consumer checks every byte; a tag is the entry's sequence number, so a gap is
// allowed only right after the consumer cleared the queue itself.
template <typename PopFn, typename ClearFn>
void Consume(PopFn pop, ClearFn clear, std::atomic<bool>& producerDone, std::string* failure)
{
    std::vector<uint8_t> buf(64 * 1024);
    std::mt19937 rng(7);
    uint32_t expected = 0;
    bool mayJump = false;
    bool cleared = false;
    while (expected < kStressEntries) {
        int length = -1;
        int tag = -1;
        if (!pop(buf.data(), &length, &tag)) {
            if (producerDone.load() && !pop(buf.data(), &length, &tag)) {
                break;  // everything left was cleared
            }
            if (length < 0) {
                std::this_thread::yield();
                continue;
            }
        }
        const auto seq = static_cast<uint32_t>(tag);
        if (seq != expected && !(mayJump && seq > expected)) {
            *failure = "entry " + std::to_string(seq) + " where " + std::to_string(expected) + " was due";
            return;
        }
        for (size_t i = 0; i < static_cast<size_t>(length); ++i) {
            if (buf[i] != ByteOf(seq, i)) {
                *failure = "entry " + std::to_string(seq) + " byte " + std::to_string(i) + " differs";
                return;
            }
        }
        expected = seq + 1;
        mayJump = false;
        if (rng() % 5000 == 0) {
            clear();
            mayJump = true;
            cleared = true;
        }
    }
    if (!cleared && expected != kStressEntries) {
        *failure = "only " + std::to_string(expected) + " entries arrived";
    }
}

}  // namespace

TEST(PacketQueues, BoundedQueueMovesEveryByteBetweenTwoThreads)
{
    CThreadQueue q;
    ASSERT_TRUE(q.Init(256 * 1024));
    std::atomic<bool> done{false};
    std::string failure;
    SilenceStdout quiet;
    std::thread producer([&] {
        std::mt19937 rng(99);
        for (uint32_t seq = 0; seq < kStressEntries; ++seq) {
            const std::vector<uint8_t> p = PayloadOf(seq, StressLength(rng));
            while (!q.Push(p.data(), static_cast<int>(p.size()), static_cast<int>(seq))) {
                std::this_thread::yield();
            }
        }
        done = true;
    });
    Consume(
        [&](uint8_t* buf, int* length, int* tag) {
            void* out = buf;
            return q.Pop(&out, length, tag);
        },
        [&] { q.Clear(); }, done, &failure);
    producer.join();
    EXPECT_EQ(failure, "");
}

TEST(PacketQueues, DecodeQueueMovesEveryByteBetweenTwoThreads)
{
    DecodeQueue q;
    std::atomic<bool> done{false};
    std::string failure;
    std::thread producer([&] {
        std::mt19937 rng(99);
        for (uint32_t seq = 0; seq < kStressEntries; ++seq) {
            const std::vector<uint8_t> p = PayloadOf(seq, StressLength(rng));
            q.Push(static_cast<int>(seq), p.data(), static_cast<int>(p.size()));
            if (q.Count() > 200) {
                std::this_thread::yield();  // keep memory bounded when the consumer lags
            }
        }
        done = true;
    });
    Consume([&](uint8_t* buf, int* length, int* tag) { return q.Pop(buf, length, tag); }, [&] { q.Clear(); },
            done, &failure);
    producer.join();
    EXPECT_EQ(failure, "");
}

// The read-ahead's way of using the bounded queue: the producer has each entry written in
// place and waits for room, the consumer waits for entries and now and then falls behind,
// so the ring fills, wraps and empties many times. Every byte arrives, in order, and
// neither side is left asleep (a lost wake-up would hang here).
TEST(PacketQueues, InPlaceEntriesCrossTwoThreadsThroughAFullAndAnEmptyRing)
{
    constexpr int kCapacity = 8192;
    constexpr uint32_t kEntries = 20000;
    constexpr int kForever = 60000;
    CThreadQueue q;
    ASSERT_TRUE(q.Init(kCapacity));
    std::atomic<int> fullWaits{0};
    std::thread producer([&] {
        std::mt19937 rng(5);
        for (uint32_t seq = 0; seq < kEntries; ++seq) {
            const std::vector<uint8_t> p = PayloadOf(seq, 1 + rng() % 4000);
            const int length = static_cast<int>(p.size());
            uint8_t* room = nullptr;
            while ((room = q.Reserve(kCapacity)) == nullptr) {
                ++fullWaits;
                q.WaitForRoom(kCapacity, kForever);
            }
            std::copy(p.begin(), p.end(), room);
            if (!q.Commit(length, static_cast<int>(seq))) {
                ++fullWaits;
                while (!q.WaitForRoom(length, kForever)) {
                }
                ASSERT_TRUE(q.Commit(length, static_cast<int>(seq)));
            }
        }
    });
    std::vector<uint8_t> buf(kCapacity);
    std::string failure;
    SilenceStdout quiet;
    // Takes every entry even after a failure, so that the producer finishes.
    for (uint32_t expected = 0; expected < kEntries; ++expected) {
        int length = -1;
        int tag = -1;
        while (q.Take(buf.data(), kCapacity, &length, &tag) != CThreadQueue::TakeResult::kTaken) {
            q.WaitForData(kForever);
        }
        if (failure.empty() && static_cast<uint32_t>(tag) != expected) {
            failure = "entry " + std::to_string(tag) + " where " + std::to_string(expected) + " was due";
        }
        for (size_t i = 0; i < static_cast<size_t>(length) && failure.empty(); ++i) {
            if (buf[i] != ByteOf(expected, i)) {
                failure = "entry " + std::to_string(expected) + " byte " + std::to_string(i) + " differs";
            }
        }
        if (expected % 2000 == 1999) {
            std::this_thread::sleep_for(
                std::chrono::milliseconds(2));  // the producer fills the ring meanwhile
        }
    }
    producer.join();
    EXPECT_EQ(failure, "");
    EXPECT_GT(fullWaits.load(), 0);
}
