// SPDX-License-Identifier: GPL-3.0-or-later
// Threading primitives: a repeating named thread, a lock and a settable event.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

// A plain mutex with the lock/unlock pair the engine calls; also a BasicLockable,
// so std::lock_guard<CSync> works.
class CSync {
public:
    void Lock() { m_mutex.lock(); }
    void Unlock() { m_mutex.unlock(); }
    void lock() { m_mutex.lock(); }
    void unlock() { m_mutex.unlock(); }
    bool try_lock() { return m_mutex.try_lock(); }

private:
    std::mutex m_mutex;
};

// An auto-reset event: Set wakes one waiter (or the next one to wait).
class CWaitEvent {
public:
    void Set();
    void Reset();
    // Waits up to timeoutMs (-1: no limit); true when the event was set.
    bool Wait(int timeoutMs);

private:
    std::mutex m_mutex;
    std::condition_variable m_cond;
    bool m_set = false;  // --- protected by m_mutex
};

// A thread whose body is called again and again until Stop; Stop joins it.
class CSingleThread {
public:
    using Body = std::function<void()>;

    explicit CSingleThread(std::string name = "worker") : m_name(std::move(name)) {}
    ~CSingleThread() { Stop(); }
    CSingleThread(const CSingleThread&) = delete;
    CSingleThread& operator=(const CSingleThread&) = delete;

    void SetName(std::string name) { m_name = std::move(name); }
    const std::string& Name() const { return m_name; }

    // Starts calling body repeatedly on a new thread. False when already running.
    bool Begin(Body body);
    // Asks the body loop to end, waits for the thread and joins it. Safe to call twice
    // and from any thread but the thread itself.
    void Stop();
    bool IsRunning() const { return m_running.load(); }
    // True once Stop was asked; a long body may poll it to return early.
    bool StopRequested() const { return m_stop.load(); }

private:
    std::string m_name;
    std::thread m_thread;  // owned by the thread calling Begin/Stop
    // The running thread's own id, so that Stop from the body never touches m_thread
    // while the owner may be joining it.
    std::atomic<std::thread::id> m_threadId{};
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_running{false};
};

inline void SleepMs(int ms)
{
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

// Milliseconds of a monotonic clock, for pacing and timeouts.
inline long long TickMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
