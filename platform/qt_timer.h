#pragma once

#include <QObject>
#include <QTimer>

#include "timer.h"

namespace kv {

class QtTimer : public QObject, public Timer {
    Q_OBJECT
  public:
    explicit QtTimer(int intervalMs, QObject* parent = nullptr);
    void setEnabled(bool enabled) override;
    bool enabled() const override { return timer_.isActive(); }
    void setInterval(int milliseconds) override;
    int interval() const override { return timer_.interval(); }

  private:
    QTimer timer_;
};

}  // namespace kv
