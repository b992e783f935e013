// SPDX-License-Identifier: GPL-3.0-or-later
#include "thread.h"

#include <pthread.h>

void CWaitEvent::Set()
{
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_set = true;
    }
    m_cond.notify_one();
}

void CWaitEvent::Reset()
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_set = false;
}

bool CWaitEvent::Wait(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (timeoutMs < 0) {
        m_cond.wait(lock, [this] { return m_set; });
    } else if (!m_cond.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_set; })) {
        return false;
    }
    m_set = false;
    return true;
}

bool CSingleThread::Begin(Body body)
{
    if (m_thread.joinable()) {
        return false;
    }
    m_stop = false;
    m_running = true;
    m_thread = std::thread([this, body = std::move(body)] {
        m_threadId = std::this_thread::get_id();
        // Linux limits thread names to 15 characters.
        pthread_setname_np(pthread_self(), m_name.substr(0, 15).c_str());
        while (!m_stop.load()) {
            body();
        }
        m_running = false;
    });
    return true;
}

void CSingleThread::Stop()
{
    m_stop = true;
    if (std::this_thread::get_id() == m_threadId.load()) {
        return;  // the body stops its own thread: the loop ends, the owner joins
    }
    if (m_thread.joinable()) {
        m_thread.join();
        m_threadId = std::thread::id();  // ids are reused once a thread is joined
    }
}
