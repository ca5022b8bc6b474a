// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <functional>
#include <optional>
#include <string>

#include "alarm.h"
#include "colour.h"
#include "display.h"
#include "message_box.h"
#include "settings_backend.h"
#include "shared_state.h"

class QDialog;
class QMenu;
class QWidget;

namespace kv {

// The limit in the window: drawn over the graph with the points above it marked and the trace
// shown checked (Display), the alarm raised from the sweeps (a sink of the sweep) in the
// readouts, the title and a desktop notification, Settings → Limit… and the L key. Kept in a
// section of its own.
class LimitWatch : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kSection = "Limit";
    static constexpr Colour kDefaultColour = 0x00FFFF;  // yellow, as the store writes colours
    enum class Kind { Level, File, MaxHold };

    LimitWatch(SharedState& state, SettingsBackend& store, Display& display, MessageBox& messages,
               QWidget& window, std::function<void()> redraw, std::function<void()> titleChanged);

    SweepSink& alarmSink() { return alarm_; }
    // The stored limit; a mask file that is no longer good leaves no limit, said in the log.
    void load();
    // Settings → Limit…
    void addSettingsItem(QMenu& settings);
    // View → Limit Occupancy: per point the share of sweeps above the limit since it was set,
    // as bars at the plot's bottom.
    void addViewItem(QMenu& view);
    void setOccupancyShown(bool shown);
    void showDialog();
    QDialog* dialog() const { return dialog_; }
    // L: the check on or off.
    void toggle();
    bool on() const { return on_; }
    const std::optional<Limit>& limit() const { return limit_; }
    Colour colour() const { return colour_; }
    void setColour(Colour colour);

    // A level, the mask in a file, or the trace shown plus a margin (its max hold when that is
    // on). False, with a message and nothing changed, when that gives no limit.
    bool setLimit(Kind kind, double levelDb, const std::string& file, double marginDb);

  private:
    void apply();
    void save();
    void alarmChanged(const AlarmEvent& event);
    // In the readouts and the title; empty: no alarm.
    void showAlarm(std::string text);
    void notify(const QString& summary, const QString& body);

    SharedState& state_;
    SettingsBackend& store_;
    Display& display_;
    MessageBox& messages_;
    QWidget& window_;
    std::function<void()> redraw_;
    std::function<void()> titleChanged_;  // the alarm came or went
    AlarmSink alarm_;
    std::optional<Limit> limit_;
    Kind kind_ = Kind::Level;
    double levelDb_ = -60;
    std::string file_;
    double marginDb_ = 6;
    bool on_ = false;
    Colour colour_ = kDefaultColour;
    QPointer<QDialog> dialog_;
};

}  // namespace kv
