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
#include "shared_state.h"
#include "sweep_history.h"
#include "sweep_interfaces.h"
#include "sweep_recording.h"
#include "waterfall_panel.h"
#include "waterfall_view.h"

class QAction;
class QMenu;
class QMenuBar;
class QWidget;

namespace kv {

// The band over time, beside the live trace: the history of the sweeps measured, the
// waterfall strip drawn from it below the picture, the average the trace shows and the
// recording of the sweeps to a file, with their menu commands. The sweep feeds it as its
// observer.
class BandWatch : public QObject, public SweepObserver {
    Q_OBJECT
  public:
    // Kept in the window's section beside its place, and only once the strip has been used.
    static constexpr const char* kStripKey = "Waterfall";
    static constexpr const char* kStripHeightKey = "Waterfall Height";
    static constexpr int kDefaultStripHeight = 200;

    BandWatch(SharedState& state, MessageBox& messages, CommonDialogs& dialogs, QWidget& window,
              double logicalDpi);
    ~BandWatch() override;

    // For the window's layout, below the picture; hidden until shown.
    WaterfallView* strip() const { return strip_; }
    const SweepHistory& history() const { return history_; }

    // File: Save Waterfall, Record Sweeps..., Stop Recording.
    void addFileItems(QMenu& file);
    // View: Waterfall and Average; Average does what the A key does.
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

    bool recording() const { return recording_.active(); }
    // The file being recorded to; empty while nothing is recorded.
    std::string recordingPath() const { return recording_.active() ? recording_.path() : ""; }
    void recordCommand();
    bool startRecording(const std::string& path);
    void stopRecording();
    void saveWaterfallCommand();

    double traceLevel(int point, double measuredDb) override;
    void sweepEnded(const LineTime& begun, std::span<const double> measuredDb) override;
    // The strip is drawn again in the new levels' colours; on a new band it and the average
    // start again from the next sweep. A recording goes on (each line names its band).
    void settingsApplied(bool newBand) override;

  private:
    void setStripHeight(int height);
    void recordingChanged();

    SharedState& state_;
    MessageBox& messages_;
    CommonDialogs& dialogs_;
    QWidget& window_;
    SweepHistory history_;
    SweepRecording recording_;
    WaterfallView* strip_;  // owned by the window
    WaterfallPanel panel_;
    int stripHeight_ = kDefaultStripHeight;
    bool stripUsed_ = false;
    QAction* stripAction_ = nullptr;
    QAction* saveAction_ = nullptr;
    QAction* recordAction_ = nullptr;
    QAction* stopAction_ = nullptr;
};

}  // namespace kv
