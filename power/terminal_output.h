// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "line_file.h"
#include "logger_outputs.h"

namespace kv::power {

// Lines to a file descriptor, each with one write(2) so that a kill leaves no half line, and
// one that does not fit taken back whole;
// messages and the status line to standard error. The status line is shown only when
// `statusLine` is set (standard error is a terminal and -q was not given).
class TerminalOutput : public LoggerOutput {
  public:
    TerminalOutput(int lineFd, std::string lineName, bool statusLine);
    ~TerminalOutput() override;
    TerminalOutput(const TerminalOutput&) = delete;
    TerminalOutput& operator=(const TerminalOutput&) = delete;

    std::string writeLine(std::string_view line) override;
    void message(std::string_view text) override;
    void status(std::string_view text) override;

  private:
    void eraseStatus();

    int lineFd_;
    std::string lineName_;
    bool statusLine_;
    bool statusShown_ = false;
};

using kv::writeAll;

}  // namespace kv::power
