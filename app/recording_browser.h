// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "recording_index.h"
#include "shared_state.h"
#include "sweep_history.h"
#include "sweep_source.h"
#include "waterfall_panel.h"

namespace kv {

class WaterfallView;

// A recording opened in the window: the sweep at the cursor goes into the trace as a past
// sweep (never to the sinks), the strip shows the whole file with the cursor and a selected
// range, and a file still being written is followed at its end. Up / Down move the cursor one
// sweep older / newer, Home / End to the first / last, Space plays the sweeps at their pace.
class RecordingBrowser : public QObject, public SweepSource {
    Q_OBJECT
  public:
    // Speeds of play, times the recorded pace.
    static constexpr std::array<int, 3> kPlaySpeeds{1, 10, 100};
    static constexpr int kFollowPeriodMs = 250;

    // `changed` hears of a change the status line or the strip shows.
    RecordingBrowser(std::unique_ptr<RecordingIndex> index, std::string path,
                     const SharedState& state, std::function<void()> stripChanged);
    ~RecordingBrowser() override;

    // `whole` indexes the file on a thread of its own; the browser takes it when it is done
    // (the strip then shows the whole file, the cursor on the newest sweep).
    void indexInBackground(std::unique_ptr<RecordingIndex> whole);
    bool indexing() const { return whole_ != nullptr; }

    void start(std::function<void(const Sweep&)> receive) override;
    void stop() override;

    const std::string& path() const { return path_; }
    const RecordingIndex& index() const { return *index_; }
    std::size_t cursor() const { return cursor_; }
    // The selected sweeps [first, end), if a range is selected.
    std::optional<std::pair<std::size_t, std::size_t>> selection() const { return selection_; }

    // The cursor to `sweep` (within the file), the selection gone; the trace shows it.
    void moveTo(std::size_t sweep);
    // Sweeps [first, end) selected: the trace shows their maximum (their mean with the average
    // on).
    void select(std::size_t first, std::size_t end);
    // A selected range is shown again: as its mean with the average on, else its maximum.
    void averageToggled();
    // A browsing key (a Qt key); false for any other.
    bool keyPressed(int qtKey);
    void setPlaySpeed(int times) { speed_ = times; }
    bool playing() const { return playTimer_.isActive(); }
    // Reads what was appended; the cursor on the newest sweep stays on the newest.
    void follow();

    // The strip: the file's overview in rows, newest on top, the cursor's row and the selected
    // rows marked at their sides.
    void drawStrip(WaterfallView& strip);
    // A press and drag on the strip's rows (ring rows from the top).
    void rowsDragged(int fromRow, int toRow, bool released);

    // The selected range's lines (or the cursor's sweep), as the file holds them.
    std::string rangeLines() const;
    // What the message row says of the file: where the cursor is, damaged lines, folded bins.
    std::string describe() const;

  private:
    void takeWholeIndex();
    void show();
    void playNext();
    // The sweeps the strip's rows stand for: the first of each row, oldest row first.
    std::size_t rowOfSweep(std::size_t sweep) const;
    std::optional<std::size_t> sweepOfRingRow(int ringRow) const;

    std::unique_ptr<RecordingIndex> index_;
    std::string path_;
    const SharedState& state_;
    std::function<void()> stripChanged_;
    std::function<void(const Sweep&)> receive_;
    std::size_t cursor_ = 0;
    std::optional<std::pair<std::size_t, std::size_t>> selection_;
    std::vector<double> shown_;  // the levels of the sweep handed on
    std::unique_ptr<SweepHistory> rows_;
    std::unique_ptr<WaterfallPanel> panel_;
    std::vector<std::size_t> rowFirst_;  // per strip row, oldest first: its first sweep
    std::optional<std::size_t> dragFrom_;
    QTimer playTimer_;
    QTimer followTimer_;
    int speed_ = 1;
    // The index being built and its thread, which stops and is joined before the rest goes.
    std::unique_ptr<RecordingIndex> whole_;
    std::jthread indexer_;
};

}  // namespace kv
