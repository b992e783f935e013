// SPDX-License-Identifier: GPL-3.0-or-later
#include "controls/winevent.h"

#include <QCoreApplication>

const CWinEvent* CWinEvent::From(const QEvent* e)
{
    if (e == nullptr || e->type() < QEvent::User || e->type() > QEvent::MaxUser) {
        return nullptr;
    }
    return dynamic_cast<const CWinEvent*>(e);
}

bool PostWinMessage(QObject* receiver, int message, qintptr wParam, qintptr lParam)
{
    if (message < QEvent::User || message > QEvent::MaxUser) {
        return false;
    }
    return PostWinEvent<CWinEvent>(receiver, message, wParam, lParam);
}

bool SendWinMessage(QObject* receiver, int message, qintptr wParam, qintptr lParam)
{
    if (receiver == nullptr || message < QEvent::User || message > QEvent::MaxUser) {
        return false;
    }
    CWinEvent e(message, wParam, lParam);
    return QCoreApplication::sendEvent(receiver, &e);
}
