// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_event_loop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

namespace kv {

void QtEventLoop::yield() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    lastYield_ = std::chrono::steady_clock::now();
}

void QtEventLoop::yieldWaiting() {
    // processEvents(flags, maxtime) drops the wait flag and spins; the dispatcher's own
    // blocking call sleeps until the next event (serial data, a timer, a key, a repaint).
    QCoreApplication::sendPostedEvents();
    if (auto* dispatcher = QThread::currentThread()->eventDispatcher())
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    else
        QCoreApplication::processEvents(QEventLoop::AllEvents);
    lastYield_ = std::chrono::steady_clock::now();
}

std::chrono::milliseconds QtEventLoop::sinceLastYield() const {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() -
                                                                 lastYield_);
}

}  // namespace kv
