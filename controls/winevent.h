// SPDX-License-Identifier: GPL-3.0-or-later
// Private window messages between widgets, carried as posted Qt events.
// The message number is the event type, so every number used must be >= QEvent::User.
#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QtGlobal>
#include <utility>

class QObject;

// Private messages are numbered from here, as on the original window system.
constexpr int WM_USER = 0x0400;

// Messages the skinned controls send.
constexpr int WM_SLIDER_DRAGGING = 0x28D1;  // thumb dragged to a new pixel
constexpr int WM_SLIDER_SETTLED = 0x28D2;   // drag ended, or a key moved the thumb
// Asks a radio-kind skin button to drop its check (another radio of its group took it).
constexpr int WM_SKIN_UNCHECK = WM_USER + 0x100;

class CWinEvent : public QEvent {
public:
    CWinEvent(int message, qintptr wParam, qintptr lParam)
        : QEvent(static_cast<QEvent::Type>(message)), m_message(message), m_wParam(wParam), m_lParam(lParam)
    {
    }

    int message() const { return m_message; }
    qintptr wParam() const { return m_wParam; }
    qintptr lParam() const { return m_lParam; }

    // The event of type `message` cast to a CWinEvent, or null when it is another kind of event.
    static const CWinEvent* From(const QEvent* e);

private:
    int m_message;
    qintptr m_wParam;
    qintptr m_lParam;
};

// Posts a message of class Event (a CWinEvent, or one that carries more) built from args to the
// receiver's event queue; any thread. Every window message is made here, so a sanitizer can tell
// the hand-over through Qt's queue from a race.
template <class Event, class... Args>
bool PostWinEvent(QObject* receiver, Args&&... args)
{
    if (receiver == nullptr) {
        return false;
    }
    QCoreApplication::postEvent(receiver, new Event(std::forward<Args>(args)...));
    return true;
}

// Posts (message, wParam, lParam) to the receiver's event queue; returns false when the receiver
// is null or the message number is below QEvent::User.
bool PostWinMessage(QObject* receiver, int message, qintptr wParam, qintptr lParam);
// Delivers it at once on the calling (GUI) thread; returns what the receiver's event() returned.
bool SendWinMessage(QObject* receiver, int message, qintptr wParam, qintptr lParam);
