// SPDX-License-Identifier: GPL-3.0-or-later
#include "recording_index.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <limits>

#include "spectrum_model.h"

namespace kv {

namespace {

constexpr std::size_t kChunkBytes = std::size_t{4} << 20;
// A file up to this size is indexed at once: that takes a few milliseconds.
constexpr std::int64_t kIndexAtOnceBytes = std::int64_t{4} << 20;
constexpr std::size_t kLongestLineBytes = std::size_t{64} << 20;
// Damaged lines before the first sweep after which a file counts as no sweep log at all.
constexpr std::int64_t kDamagedBeforeRefusal = 1000;
constexpr double kHzPerMHz = 1e6;
constexpr float kNoLevel = std::numeric_limits<float>::quiet_NaN();

std::string systemError() {
    return std::strerror(errno);
}

// The bytes a gzip file holds, written into an unlinked temporary file; its descriptor, or -1
// with `why` set.
int decompressed(int fd, std::string& why) {
    const char* dir = std::getenv("TMPDIR");
    int out = ::open(dir && *dir ? dir : "/tmp", O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
    if (out < 0) {
        why = "no temporary file for its decompressed lines: " + systemError();
        return -1;
    }
    gzFile in = gzdopen(::dup(fd), "rb");
    std::vector<char> buffer(kChunkBytes / 16);
    while (in) {
        const int n = gzread(in, buffer.data(), static_cast<unsigned>(buffer.size()));
        if (n < 0) {
            int code = 0;
            why = std::string("its gzip data is damaged: ") + gzerror(in, &code);
            break;
        }
        if (n == 0) break;
        for (int done = 0; done < n;) {
            const ssize_t w =
                ::write(out, buffer.data() + done, static_cast<std::size_t>(n - done));
            if (w <= 0) {
                why = "its decompressed lines could not be written: " + systemError();
                break;
            }
            done += static_cast<int>(w);
        }
        if (!why.empty()) break;
    }
    if (in) gzclose(in);
    if (!why.empty()) {
        ::close(out);
        return -1;
    }
    return out;
}

}  // namespace

RecordingIndex::RecordingIndex(DamageReport damaged) : damagedReport_(std::move(damaged)) {}

RecordingIndex::~RecordingIndex() {
    if (fd_ >= 0) ::close(fd_);
}

std::string RecordingIndex::openFile(const std::string& path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd_ < 0) return path + " cannot be read: " + systemError();
    std::array<unsigned char, 2> magic{};
    if (::pread(fd_, magic.data(), magic.size(), 0) == 2 && magic[0] == 0x1f && magic[1] == 0x8b) {
        std::string why;
        const int plain = decompressed(fd_, why);
        if (plain < 0) return path + " is not a sweep log: " + why;
        ::close(fd_);
        fd_ = plain;
        compressed_ = true;
    }
    return {};
}

std::string RecordingIndex::refusal(const std::string& path) const {
    if (sweeps() > 0) return {};
    return path + " is not a sweep log: " +
           (firstDamage_.empty() ? std::string("it holds no sweep line") : firstDamage_);
}

std::string RecordingIndex::open(const std::string& path, std::stop_token stop) {
    stop_ = std::move(stop);
    if (std::string why = openFile(path); !why.empty()) return why;
    indexAppended();
    return refusal(path);
}

std::string RecordingIndex::openNewest(const std::string& path) {
    if (std::string why = openFile(path); !why.empty()) return why;
    struct stat file {};
    const std::int64_t size = ::fstat(fd_, &file) == 0 ? file.st_size : 0;
    if (!compressed_ && size > kIndexAtOnceBytes) {
        if (const auto start = newestSweepStart(size)) {
            indexedTo_ = *start;
            whole_ = false;
            // Their damaged lines are reported by the whole file's index, with their numbers.
            damagedReport_ = nullptr;
        }
    }
    indexAppended();
    return refusal(path);
}

std::optional<std::int64_t> RecordingIndex::newestSweepStart(std::int64_t size) const {
    const auto tailBytes = static_cast<std::int64_t>(kChunkBytes);
    const std::int64_t tailAt = std::max<std::int64_t>(size - tailBytes, 0);
    const std::string tail =
        readAt(static_cast<std::uint64_t>(tailAt), static_cast<std::size_t>(size - tailAt));
    // Whole lines only: what follows the last newline is a half line.
    std::size_t lineEnd = tail.rfind('\n');
    std::optional<SweepLogLine> earliest;
    std::size_t earliestAt = 0;
    SweepLogLine line;
    while (lineEnd != std::string::npos && lineEnd > 0) {
        const std::size_t newline = tail.rfind('\n', lineEnd - 1);
        // The tail's first line may have begun before it.
        if (newline == std::string::npos && tailAt > 0) return std::nullopt;
        const std::size_t lineAt = newline == std::string::npos ? 0 : newline + 1;
        const std::string_view text(tail.data() + lineAt, lineEnd - lineAt);
        lineEnd = newline;
        if (!parseSweepLogLine(text, line).empty()) {
            if (earliest) break;  // a damaged line before the newest sweep ends it
            continue;
        }
        if (earliest && !continuesSweep(line, *earliest))
            return tailAt + static_cast<std::int64_t>(earliestAt);
        earliest = line;
        earliestAt = lineAt;
    }
    if (!earliest) return std::nullopt;
    return tailAt + static_cast<std::int64_t>(earliestAt);
}

std::size_t RecordingIndex::follow() {
    if (fd_ < 0 || compressed_) return 0;
    const std::size_t before = sweeps();
    indexAppended();
    return sweeps() - before;
}

void RecordingIndex::indexAppended() {
    struct stat file {};
    const std::int64_t size = ::fstat(fd_, &file) == 0 ? file.st_size : 0;
    // A small file or what was appended to one needs no buffer of the chunk's size.
    std::vector<char> buffer(static_cast<std::size_t>(std::clamp<std::int64_t>(
        size - indexedTo_ + 1, 4096, static_cast<std::int64_t>(kChunkBytes))));
    while (!stop_.stop_requested()) {
        const ssize_t n = ::pread(fd_, buffer.data(), buffer.size(), indexedTo_);
        if (n <= 0) break;
        const char* const start = buffer.data();
        const char* at = start;
        const char* const end = start + n;
        while (const auto* newline = static_cast<const char*>(std::memchr(at, '\n', end - at))) {
            takeLine({at, static_cast<std::size_t>(newline - at)},
                     static_cast<std::uint64_t>(indexedTo_ + (at - start)));
            at = newline + 1;
        }
        if (at == start) {
            // A line longer than the buffer: read it whole next time, or it is the half line
            // at the end. One past all reason ends the reading.
            if (static_cast<std::size_t>(n) < buffer.size()) break;
            if (buffer.size() >= kLongestLineBytes) {
                noteDamage(lineNumber_ + 1, "a line of more than 64 MB");
                break;
            }
            buffer.resize(buffer.size() * 2);
            continue;
        }
        indexedTo_ += at - start;
        if (sweeps() == 0 && !pending_ && damaged_ >= kDamagedBeforeRefusal) break;
    }
    commitPending();
}

void RecordingIndex::takeLine(std::string_view text, std::uint64_t offset) {
    ++lineNumber_;
    if (text.empty() || text == "\r") return;
    if (std::string why = parseSweepLogLine(text, line_); !why.empty()) {
        noteDamage(lineNumber_, why);
        return;
    }
    const std::uint64_t lineEnd = offset + text.size() + 1;
    if (pending_ && continuesSweep(*pending_, line_)) {
        joinSweep(*pending_, line_);
        pendingEnd_ = lineEnd;
        return;
    }
    commitPending();
    if (!pending_) pending_.emplace();
    std::swap(*pending_, line_);
    pendingOffset_ = offset;
    pendingEnd_ = lineEnd;
    pendingLine_ = lineNumber_;
}

void RecordingIndex::commitPending() {
    if (!pending_) return;
    const SweepLogLine& sweep = *pending_;
    const int bins = static_cast<int>(sweep.levelsDb.size());
    if (bins_ == 0) {
        bins_ = bins;
        hzLow_ = sweep.hzLow;
        hzHigh_ = sweep.hzHigh;
        columns_ = std::min(bins_, kMaxPoints);
        const double stepHz = static_cast<double>(hzHigh_ - hzLow_) / columns_;
        band_.numberOfPoints = static_cast<std::int16_t>(columns_);
        band_.span = static_cast<float>(stepHz * (columns_ + 1) / kHzPerMHz);
        band_.centerFrequency = static_cast<float>(
            (static_cast<double>(hzLow_) - stepHz) / kHzPerMHz + band_.span / 2.0);
        firstSeconds_ = lineSeconds(sweep.time);
    } else if (bins != bins_ || sweep.hzLow != hzLow_ || sweep.hzHigh != hzHigh_) {
        noteDamage(pendingLine_, "a band other than the first sweep's");
        pending_.reset();
        return;
    }
    const std::int64_t after = lineSeconds(sweep.time) - firstSeconds_;
    offsets_.push_back(pendingOffset_);
    lengths_.push_back(static_cast<std::uint32_t>(pendingEnd_ - pendingOffset_));
    secondsFrom_.push_back(static_cast<std::int32_t>(
        std::clamp<std::int64_t>(after, std::numeric_limits<std::int32_t>::min(),
                                 std::numeric_limits<std::int32_t>::max())));
    addToOverview(sweep.levelsDb);
    pending_.reset();
}

void RecordingIndex::addToOverview(const std::vector<double>& levelsDb) {
    const auto columns = static_cast<std::size_t>(columns_);
    if (overviewRows_ == 0 || inLastRow_ == perRow_) {
        if (overviewRows_ == kOverviewRows) {
            // Full: each pair of rows becomes one, for runs twice as long.
            for (std::size_t row = 0; row < kOverviewRows / 2; ++row)
                for (std::size_t c = 0; c < columns; ++c) {
                    const float a = overview_[2 * row * columns + c];
                    const float b = overview_[(2 * row + 1) * columns + c];
                    overview_[row * columns + c] = std::isnan(a) || b > a ? b : a;
                }
            overviewRows_ /= 2;
            perRow_ *= 2;
        }
        overview_.resize(overviewRows_ * columns);
        overview_.resize((overviewRows_ + 1) * columns, kNoLevel);
        ++overviewRows_;
        inLastRow_ = 0;
    }
    float* row = overview_.data() + (overviewRows_ - 1) * columns;
    const std::size_t bins = levelsDb.size();
    for (std::size_t bin = 0; bin < bins; ++bin) {
        const auto level = static_cast<float>(levelsDb[bin]);
        float& column = row[bin * columns / bins];
        if (std::isnan(column) || level > column) column = level;
    }
    ++inLastRow_;
}

void RecordingIndex::noteDamage(std::int64_t line, const std::string& why) {
    ++damaged_;
    if (firstDamage_.empty()) firstDamage_ = "line " + std::to_string(line) + ": " + why;
    if (damagedReport_) damagedReport_(line, why);
}

LineTime RecordingIndex::time(std::size_t sweep) const {
    return lineTimeAt(seconds(sweep));
}

std::string RecordingIndex::readAt(std::uint64_t offset, std::size_t length) const {
    std::string text(length, '\0');
    std::size_t done = 0;
    while (done < length) {
        const ssize_t n =
            ::pread(fd_, text.data() + done, length - done, static_cast<off_t>(offset + done));
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    text.resize(done);
    return text;
}

std::optional<RecordingIndex::Levels> RecordingIndex::levels(std::size_t sweep) const {
    if (sweep >= sweeps()) return std::nullopt;
    const std::string text = readAt(offsets_[sweep], lengths_[sweep]);
    std::string_view rest = text;
    std::optional<SweepLogLine> joined;
    SweepLogLine line;
    while (!rest.empty()) {
        const std::size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view lineText = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        if (!parseSweepLogLine(lineText, line).empty()) continue;
        if (!joined)
            joined = line;
        else if (continuesSweep(*joined, line))
            joinSweep(*joined, line);
    }
    if (!joined || static_cast<int>(joined->levelsDb.size()) != bins_) return std::nullopt;
    return Levels{foldLevels(joined->levelsDb, static_cast<std::size_t>(columns_)),
                  static_cast<int>(
                      std::clamp<long long>(joined->samples, 1, std::numeric_limits<int>::max()))};
}

std::vector<float> RecordingIndex::overview(std::size_t first, std::size_t end) const {
    const auto columns = static_cast<std::size_t>(columns_);
    std::vector<float> maximum(columns, kNoLevel);
    end = std::min(end, sweeps());
    if (first >= end) return maximum;
    for (std::size_t row = first / perRow_; row <= (end - 1) / perRow_; ++row)
        for (std::size_t c = 0; c < columns; ++c) {
            const float level = overview_[row * columns + c];
            if (std::isnan(maximum[c]) || level > maximum[c]) maximum[c] = level;
        }
    return maximum;
}

std::vector<double> RecordingIndex::rangeMaximum(std::size_t first, std::size_t end) const {
    const auto columns = static_cast<std::size_t>(columns_);
    std::vector<double> maximum(columns, std::numeric_limits<double>::quiet_NaN());
    const auto take = [&maximum](std::size_t c, double level) {
        if (std::isnan(maximum[c]) || level > maximum[c]) maximum[c] = level;
    };
    end = std::min(end, sweeps());
    for (std::size_t sweep = first; sweep < end;) {
        const std::size_t row = sweep / perRow_;
        const std::size_t rowEnd = (row + 1) * perRow_;
        if (sweep == row * perRow_ && rowEnd <= end) {
            for (std::size_t c = 0; c < columns; ++c) take(c, overview_[row * columns + c]);
            sweep = rowEnd;
            continue;
        }
        if (const auto read = levels(sweep))
            for (std::size_t c = 0; c < columns; ++c) take(c, read->levelsDb[c]);
        ++sweep;
    }
    return maximum;
}

std::vector<double> RecordingIndex::rangeMean(std::size_t first, std::size_t end) const {
    const auto columns = static_cast<std::size_t>(columns_);
    std::vector<double> sum(columns, 0.0);
    std::vector<int> counted(columns, 0);
    end = std::min(end, sweeps());
    for (std::size_t sweep = first; sweep < end; ++sweep) {
        const auto read = levels(sweep);
        if (!read) continue;
        for (std::size_t c = 0; c < columns; ++c)
            if (!std::isnan(read->levelsDb[c])) {
                sum[c] += read->levelsDb[c];
                ++counted[c];
            }
    }
    for (std::size_t c = 0; c < columns; ++c)
        sum[c] = counted[c] > 0 ? sum[c] / counted[c] : std::numeric_limits<double>::quiet_NaN();
    return sum;
}

std::string RecordingIndex::rawLines(std::size_t first, std::size_t end) const {
    end = std::min(end, sweeps());
    if (first >= end) return {};
    std::string lines;
    for (std::size_t sweep = first; sweep < end; ++sweep)
        lines += readAt(offsets_[sweep], lengths_[sweep]);
    return lines;
}

}  // namespace kv
