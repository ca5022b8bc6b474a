// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "sweep_sink.h"

namespace kv::power {

// Where the lines and the messages go.
class LoggerOutput {
  public:
    virtual ~LoggerOutput() = default;
    // Writes one line whole or nothing of it: empty when written, else what went wrong.
    virtual std::string writeLine(std::string_view line) = 0;
    // A message on standard error.
    virtual void message(std::string_view text) = 0;
    // The status line, rewritten in place; ignored where there is none.
    virtual void status(std::string_view text) = 0;
};

// The sweep-log lines. A full disk stops neither the sweep nor the other outputs: a line that
// does not fit is lost whole, said once per episode, and the next one tried again.
class LineSink : public SweepSink {
  public:
    explicit LineSink(LoggerOutput& output) : output_(output) {}
    long long lost() const { return lost_; }
    void sweepEnded(const Sweep& sweep) override;

  private:
    LoggerOutput& output_;
    long long lost_ = 0;
    long long lostInEpisode_ = 0;  // since the last line that could be written
};

// --mqtt: each sweep (each interval) as one message, numbered in order.
class MessageSink : public SweepSink {
  public:
    using Publish = std::function<void(std::string payload)>;
    explicit MessageSink(Publish publish) : publish_(std::move(publish)) {}
    void sweepEnded(const Sweep& sweep) override;

  private:
    Publish publish_;
    std::uint64_t seq_ = 0;
};

// Told of each interval handed on, so that what counts per interval starts again.
class IntervalStart : public SweepSink {
  public:
    explicit IntervalStart(std::function<void()> started) : started_(std::move(started)) {}
    void sweepEnded(const Sweep&) override { started_(); }

  private:
    std::function<void()> started_;
};

}  // namespace kv::power
