// SPDX-License-Identifier: GPL-3.0-or-later
// Waiting in GUI tests while the event loop runs.
#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThread>
#include <functional>

namespace qt_wait {

// Generous: a loaded machine is slow, never wrong.
inline constexpr int kWaitMs = 30000;

// Runs the event loop until done() holds; false when timeoutMs pass first.
inline bool WaitUntil(const std::function<bool()>& done, int timeoutMs = kWaitMs)
{
    QElapsedTimer timer;
    timer.start();
    while (!done()) {
        if (timer.elapsed() > timeoutMs) {
            return false;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

}  // namespace qt_wait
