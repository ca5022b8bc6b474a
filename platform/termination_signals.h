// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>

class QSocketNotifier;

namespace kv {

// Turns SIGTERM, SIGINT and SIGHUP into a call on the event loop, so that a logout or a
// kill closes the program the way its close box does (settings saved, radio released).
class TerminationSignals : public QObject {
    Q_OBJECT
  public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject* parent = nullptr);
    ~TerminationSignals() override;
    // A signal came that the event loop has not handled yet: a loop that yields only now and
    // then yields at once for it.
    static bool pending();

  private:
    std::function<void()> onSignal_;
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kv
