#include "qt_event_loop.h"

#include <QAbstractEventDispatcher>
#include <QCoreApplication>
#include <QThread>

namespace kv {

void QtEventLoop::yield() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtEventLoop::yieldWaiting() {
    // processEvents(flags, maxtime) drops the wait flag and spins; the dispatcher's own
    // blocking call sleeps until the next event (serial data, a timer, a key, a repaint).
    QCoreApplication::sendPostedEvents();
    if (auto* dispatcher = QThread::currentThread()->eventDispatcher())
        dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    else
        yield();
}

}  // namespace kv
