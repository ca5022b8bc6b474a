// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "setting_values.h"
#include "sweep_log.h"
#include "sweep_log_reader.h"

namespace kv {

// A sweep log on disk, indexed for browsing: where each sweep's lines lie and when it began,
// and a compact overview (the maximum of each column over runs of sweeps), never the levels of
// every sweep. A sweep's levels are read from the file when asked for. A `.csv.gz` file is
// decompressed into an unlinked temporary file first. Rows of one sweep are joined; a sweep of
// more bins than the window has points keeps each column's maximum.
class RecordingIndex {
  public:
    // Overview rows held at most: runs of sweeps twice as long once they are full.
    static constexpr std::size_t kOverviewRows = 4096;

    // Hears each damaged line: its number and why it was skipped.
    using DamageReport = std::function<void(std::int64_t line, const std::string& why)>;

    explicit RecordingIndex(DamageReport damaged = nullptr);
    ~RecordingIndex();
    RecordingIndex(const RecordingIndex&) = delete;
    RecordingIndex& operator=(const RecordingIndex&) = delete;

    // Indexes the file; empty when it holds sweeps, else why it is no sweep log (one line).
    // A stop request ends the indexing between chunks (what is indexed then is partial).
    std::string open(const std::string& path, std::stop_token stop = {});
    // As open(), but a large plain file only from its newest sweep on (its last lines of one
    // time), for a first picture before the whole file is indexed; whole() says which it did.
    std::string openNewest(const std::string& path);
    bool whole() const { return whole_; }
    // Indexes what was appended since; a half line at the end waits until it is whole. The
    // number of sweeps added.
    std::size_t follow();
    // Whether more can come: a plain file (not a decompressed one).
    bool followable() const { return !compressed_; }

    std::size_t sweeps() const { return offsets_.size(); }
    std::int64_t damagedLines() const { return damaged_; }
    std::int64_t bytesIndexed() const { return indexedTo_; }
    // The band of the file's first sweep, at `columns()` points.
    const SettingValues& band() const { return band_; }
    int columns() const { return columns_; }
    // Bins per sweep in the file; above columns() each column is the maximum of its bins.
    int bins() const { return bins_; }

    // lineSeconds of the sweep's time, and its time.
    std::int64_t seconds(std::size_t sweep) const { return firstSeconds_ + secondsFrom_[sweep]; }
    LineTime time(std::size_t sweep) const;
    // The sweep's levels (columns() of them) and samples, read from the file; none when the
    // file changed under it.
    struct Levels {
        std::vector<double> levelsDb;
        int samples = 1;
    };
    std::optional<Levels> levels(std::size_t sweep) const;

    // Each column's maximum over the sweeps [first, end) as the overview holds them: exact
    // while each overview row stands for one sweep, else over whole overview rows.
    std::vector<float> overview(std::size_t first, std::size_t end) const;
    // Each column's maximum over the sweeps [first, end), exact: whole overview rows from the
    // overview, the sweeps at the ends from the file.
    std::vector<double> rangeMaximum(std::size_t first, std::size_t end) const;
    // Each column's mean over the sweeps [first, end), all read from the file (NaN where no
    // sweep has a level).
    std::vector<double> rangeMean(std::size_t first, std::size_t end) const;
    // The lines of the sweeps [first, end) as they stand in the file.
    std::string rawLines(std::size_t first, std::size_t end) const;

  private:
    std::string openFile(const std::string& path);
    std::string refusal(const std::string& path) const;
    // Where the lines of the newest sweep begin, found in the file's tail; none when the tail
    // does not show it whole.
    std::optional<std::int64_t> newestSweepStart(std::int64_t size) const;
    std::string readAt(std::uint64_t offset, std::size_t length) const;
    // Indexes the whole lines from indexedTo_ on.
    void indexAppended();
    void takeLine(std::string_view text, std::uint64_t offset);
    void commitPending();
    void addToOverview(const std::vector<double>& columnsDb);
    void noteDamage(std::int64_t line, const std::string& why);

    DamageReport damagedReport_;
    int fd_ = -1;
    bool compressed_ = false;
    bool whole_ = true;
    std::stop_token stop_;
    std::int64_t indexedTo_ = 0;
    std::int64_t lineNumber_ = 0;
    std::int64_t damaged_ = 0;
    std::string firstDamage_;

    // Per sweep: where its lines start, their length, its time after the first sweep's.
    std::vector<std::uint64_t> offsets_;
    std::vector<std::uint32_t> lengths_;
    std::vector<std::int32_t> secondsFrom_;
    std::int64_t firstSeconds_ = 0;

    SettingValues band_;
    long long hzLow_ = 0;
    long long hzHigh_ = 0;
    int bins_ = 0;
    int columns_ = 0;

    // The sweep whose rows are still being read, and where its lines began.
    std::optional<SweepLogLine> pending_;
    std::uint64_t pendingOffset_ = 0;
    std::uint64_t pendingEnd_ = 0;
    std::int64_t pendingLine_ = 0;
    SweepLogLine line_;

    std::vector<float> overview_;  // rows of columns_
    std::size_t overviewRows_ = 0;
    std::size_t perRow_ = 1;  // sweeps per overview row
    std::size_t inLastRow_ = 0;
};

}  // namespace kv
