// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_browser.h"

#include <algorithm>
#include <chrono>

#include "colour.h"
#include "waterfall_map.h"
#include "waterfall_view.h"

namespace kv {

namespace {

// The quickest step of play, so that sweeps of one second still show one after another.
constexpr int kLeastStepMs = 10;

std::string timeText(const LineTime& t) {
    std::string text = std::to_string(t.year) + "-";
    const auto two = [&text](int value, char after) {
        text += static_cast<char>('0' + value / 10 % 10);
        text += static_cast<char>('0' + value % 10);
        if (after != '\0') text += after;
    };
    two(t.month, '-');
    two(t.day, ' ');
    text += rowTimeText(t);
    return text;
}

}  // namespace

RecordingBrowser::RecordingBrowser(std::unique_ptr<RecordingIndex> index, std::string path,
                                   const SharedState& state, std::function<void()> stripChanged)
    : index_(std::move(index)),
      path_(std::move(path)),
      state_(state),
      stripChanged_(std::move(stripChanged)) {
    cursor_ = index_->sweeps() - 1;
    playTimer_.setSingleShot(true);
    connect(&playTimer_, &QTimer::timeout, this, &RecordingBrowser::playNext);
    followTimer_.setInterval(kFollowPeriodMs);
    connect(&followTimer_, &QTimer::timeout, this, &RecordingBrowser::follow);
}

RecordingBrowser::~RecordingBrowser() {
    // Before any member goes: the thread uses whole_ and may still post to this object, whose
    // posted events go with it.
    if (indexer_.joinable()) {
        indexer_.request_stop();
        indexer_.join();
    }
}

void RecordingBrowser::indexInBackground(std::unique_ptr<RecordingIndex> whole) {
    whole_ = std::move(whole);
    indexer_ = std::jthread([this, index = whole_.get(), path = path_](std::stop_token stop) {
        index->open(path, stop);
        if (!stop.stop_requested())
            QMetaObject::invokeMethod(this, &RecordingBrowser::takeWholeIndex,
                                      Qt::QueuedConnection);
    });
}

void RecordingBrowser::takeWholeIndex() {
    indexer_.join();
    std::unique_ptr<RecordingIndex> whole = std::move(whole_);
    if (!whole || whole->sweeps() == 0) {
        if (stripChanged_) stripChanged_();
        return;
    }
    index_ = std::move(whole);
    index_->follow();  // what was appended while it indexed
    moveTo(index_->sweeps() - 1);
    if (!receive_ && stripChanged_) stripChanged_();
}

void RecordingBrowser::start(std::function<void(const Sweep&)> receive) {
    receive_ = std::move(receive);
    if (index_->followable()) followTimer_.start();
    show();
}

void RecordingBrowser::stop() {
    receive_ = nullptr;
    playTimer_.stop();
    followTimer_.stop();
}

void RecordingBrowser::moveTo(std::size_t sweep) {
    cursor_ = std::min(sweep, index_->sweeps() - 1);
    selection_.reset();
    show();
}

void RecordingBrowser::select(std::size_t first, std::size_t end) {
    end = std::min(end, index_->sweeps());
    if (first >= end) return;
    selection_ = {first, end};
    cursor_ = end - 1;
    show();
}

void RecordingBrowser::averageToggled() {
    if (selection_) show();
}

bool RecordingBrowser::keyPressed(int qtKey) {
    switch (qtKey) {
        case Qt::Key_Up:
            moveTo(cursor_ == 0 ? 0 : cursor_ - 1);
            return true;
        case Qt::Key_Down:
            moveTo(cursor_ + 1);
            return true;
        case Qt::Key_Home:
            moveTo(0);
            return true;
        case Qt::Key_End:
            moveTo(index_->sweeps() - 1);
            return true;
        case Qt::Key_Space:
            if (playing()) {
                playTimer_.stop();
            } else {
                // From the first sweep when the cursor is on the newest.
                if (cursor_ + 1 >= index_->sweeps()) moveTo(0);
                playTimer_.start(kLeastStepMs);
            }
            if (stripChanged_) stripChanged_();
            return true;
        default:
            return false;
    }
}

void RecordingBrowser::playNext() {
    if (cursor_ + 1 >= index_->sweeps()) {
        if (stripChanged_) stripChanged_();
        return;
    }
    moveTo(cursor_ + 1);
    if (cursor_ + 1 >= index_->sweeps()) return;
    const std::int64_t apart = index_->seconds(cursor_ + 1) - index_->seconds(cursor_);
    playTimer_.start(static_cast<int>(std::clamp<std::int64_t>(
        apart * 1000 / std::max(speed_, 1), kLeastStepMs, std::int64_t{24} * 3600 * 1000)));
}

void RecordingBrowser::follow() {
    const std::size_t before = index_->sweeps();
    if (index_->follow() == 0) return;
    if (cursor_ + 1 == before && !selection_)
        moveTo(index_->sweeps() - 1);
    else if (stripChanged_)
        stripChanged_();
}

void RecordingBrowser::show() {
    if (!receive_) return;
    if (selection_) {
        shown_ = state_.average.on ? index_->rangeMean(selection_->first, selection_->second)
                                   : index_->rangeMaximum(selection_->first, selection_->second);
    } else if (auto read = index_->levels(cursor_)) {
        shown_ = std::move(read->levelsDb);
    } else {
        return;  // the file changed under it
    }
    Sweep sweep;
    sweep.began =
        std::chrono::system_clock::time_point(std::chrono::seconds(index_->seconds(cursor_)));
    sweep.band = index_->band();
    sweep.levelsDb = shown_;
    sweep.past = true;
    receive_(sweep);
    if (stripChanged_) stripChanged_();
}

std::string RecordingBrowser::describe() const {
    const auto name = path_.substr(path_.find_last_of('/') + 1);
    std::string text = name + ": " + timeText(index_->time(cursor_)) + ", sweep " +
                       std::to_string(cursor_ + 1) + " of " + std::to_string(index_->sweeps());
    if (selection_)
        text += std::string(state_.average.on ? ", mean" : ", maximum") + " of sweeps " +
                std::to_string(selection_->first + 1) + " to " + std::to_string(selection_->second);
    if (index_->damagedLines() > 0)
        text += ", damaged lines skipped: " + std::to_string(index_->damagedLines());
    if (index_->bins() > index_->columns())
        text += ", each point the maximum of its " + std::to_string(index_->bins()) + "/" +
                std::to_string(index_->columns()) + " bins";
    if (indexing()) text += ", indexing the file";
    if (playing()) text += ", playing at " + std::to_string(speed_) + "x";
    return text;
}

void RecordingBrowser::drawStrip(WaterfallView& strip) {
    const std::size_t sweeps = index_->sweeps();
    const std::size_t rows =
        std::min<std::size_t>(sweeps, static_cast<std::size_t>(strip.ringRows()));
    rowFirst_.resize(rows + 1);
    for (std::size_t r = 0; r <= rows; ++r) rowFirst_[r] = rows == 0 ? 0 : r * sweeps / rows;
    rows_ = std::make_unique<SweepHistory>(std::max<std::size_t>(rows, 1));
    std::vector<double> levels;
    for (std::size_t r = 0; r < rows; ++r) {
        const std::vector<float> overview = index_->overview(rowFirst_[r], rowFirst_[r + 1]);
        levels.assign(overview.begin(), overview.end());
        rows_->add(index_->time(rowFirst_[r]), levels);
    }
    panel_ = std::make_unique<WaterfallPanel>(state_, *rows_, strip);
    panel_->marginOf = [this, rows](std::size_t back) -> std::optional<std::uint32_t> {
        const std::size_t row = rows - 1 - back;
        if (row == rowOfSweep(cursor_)) return opaquePixel(state_.settings.markerColor[0]);
        if (selection_ && row >= rowOfSweep(selection_->first) &&
            row <= rowOfSweep(selection_->second - 1))
            return opaquePixel(state_.settings.markerColor[1]);
        return std::nullopt;
    };
    panel_->redraw();
}

std::size_t RecordingBrowser::rowOfSweep(std::size_t sweep) const {
    // The last row whose first sweep is at or before it.
    const auto after = std::upper_bound(rowFirst_.begin(), rowFirst_.end() - 1, sweep);
    return static_cast<std::size_t>(std::max<std::ptrdiff_t>(after - rowFirst_.begin() - 1, 0));
}

std::optional<std::size_t> RecordingBrowser::sweepOfRingRow(int ringRow) const {
    const std::size_t rows = rowFirst_.size() - 1;
    if (rows == 0) return std::nullopt;
    // The newest row on top; below the oldest row, the oldest.
    const auto fromTop =
        std::min<std::size_t>(static_cast<std::size_t>(std::max(ringRow, 0)), rows - 1);
    return rowFirst_[rows - 1 - fromTop];
}

void RecordingBrowser::rowsDragged(int fromRow, int toRow, bool released) {
    const auto from = sweepOfRingRow(fromRow);
    const auto to = sweepOfRingRow(toRow);
    if (!from || !to) return;
    if (fromRow == toRow) {
        if (released) moveTo(*from);
        return;
    }
    // Both rows' sweeps whole.
    const auto endOf = [&](std::size_t first) { return rowFirst_[rowOfSweep(first) + 1]; };
    select(std::min(*from, *to), std::max(endOf(*from), endOf(*to)));
}

std::string RecordingBrowser::rangeLines() const {
    if (selection_) return index_->rawLines(selection_->first, selection_->second);
    return index_->rawLines(cursor_, cursor_ + 1);
}

}  // namespace kv
