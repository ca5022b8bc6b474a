// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "common_dialogs.h"
#include "message_box.h"
#include "setting_keys.h"
#include "shared_state.h"
#include "sweep_history.h"
#include "sweep_interfaces.h"
#include "sweep_recording.h"
#include "waterfall_panel.h"
#include "waterfall_rows.h"
#include "waterfall_view.h"

class QAction;
class QImage;
class QMenu;
class QMenuBar;
class QWidget;

namespace kv {

// The band over time, beside the live trace: the waterfall strip drawn from the history below
// the picture, and the recording of the sweeps to a file, with their menu commands. The strip
// is a sink of the sweep; so is the recording (recordingSink()).
class BandWatch : public QObject, public SweepSink {
    Q_OBJECT
  public:
    // Kept in the window's section beside its place, and only once the strip has been used.
    static constexpr const char* kStripKey = windowKey("Waterfall");
    static constexpr const char* kStripHeightKey = windowKey("Waterfall Height");
    static constexpr const char* kRowsKey = windowKey("Waterfall Rows");
    static constexpr int kDefaultStripHeight = 200;

    BandWatch(SharedState& state, const SweepHistory& history, MessageBox& messages,
              CommonDialogs& dialogs, QWidget& window, double logicalDpi,
              std::function<void()> titleChanged);
    ~BandWatch() override;

    // For the window's layout, below the picture; hidden until shown.
    WaterfallView* strip() const { return strip_; }
    SweepSink& recordingSink() { return recording_; }

    // File: Save Waterfall, Record Sweeps..., Stop Recording.
    void addFileItems(QMenu& file);
    // View: Waterfall, Waterfall Rows and Average; Average does what the A key does.
    void addViewMenu(QMenuBar& bar, std::function<void()> averageKey);

    // The strip as stored; when the window's size was not stored, it grows by the strip.
    void placeStrip(std::optional<int> shown, std::optional<int> height, bool windowSizeStored);
    // The strip's keys to store with the window's place, or none while it was never used.
    std::vector<std::pair<std::string, std::string>> placement() const;

    // Shows or hides the strip; the window grows or shrinks by it, so the picture keeps
    // its size.
    void setStripShown(bool shown);
    bool stripShown() const;
    void toggleStrip();
    void redrawStrip();
    // While a recording is browsed the strip shows it: `draw` fills the strip on every redraw
    // instead of the live rows, which no sweep paints meanwhile; nullptr goes back to them.
    void showPast(std::function<void(WaterfallView& strip)> draw);
    // The time per row, made anew from the sweeps held; a name not known leaves it as it is.
    void setRowTime(const RowTime& rowTime);
    void setRowTimeNamed(const std::optional<std::string>& name);
    const WaterfallRows& rows() const { return rows_; }
    std::optional<TimeLabel> lastTimeLabel() const { return panel_.lastLabel(); }

    bool recording() const { return recording_.active(); }
    // The file being recorded to; empty while nothing is recorded.
    std::string recordingPath() const { return recording_.active() ? recording_.path() : ""; }
    void recordCommand();
    bool startRecording(const std::string& path);
    void stopRecording();
    void saveWaterfallCommand();
    // Every row held, as wide as the strip, with the frequency axis and the colour scale below.
    QImage wholeWaterfall() const;

    // The newest sweep as the strip's top row.
    void sweepEnded(const Sweep& sweep) override;
    // The strip is drawn again in the new levels' colours (on a new band, from the history
    // started afresh). A recording goes on (each line names its band).
    void settingsApplied(const SettingValues& settings, bool newBand) override;

  private:
    void setStripHeight(int height);
    void recordingChanged();

    SharedState& state_;
    MessageBox& messages_;
    CommonDialogs& dialogs_;
    QWidget& window_;
    std::function<void()> titleChanged_;  // the recording started or ended
    SweepRecording recording_;
    WaterfallView* strip_;  // owned by the window
    WaterfallRows rows_;
    WaterfallPanel panel_;
    bool rowTimeChosen_ = false;
    std::vector<QAction*> rowTimeActions_;  // in the order of kRowTimes
    int stripHeight_ = kDefaultStripHeight;
    bool stripUsed_ = false;
    QAction* stripAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* recordAction_ = nullptr;
    QAction* stopAction_ = nullptr;
    std::function<void(WaterfallView&)> drawPast_;
};

}  // namespace kv
