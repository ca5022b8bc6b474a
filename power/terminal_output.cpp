// SPDX-License-Identifier: GPL-3.0-or-later
#include "terminal_output.h"

#include <unistd.h>

namespace kv::power {

namespace {
constexpr std::string_view kProgram = "kv3710-power: ";
constexpr std::string_view kEraseLine = "\r\x1b[K";
}  // namespace

TerminalOutput::TerminalOutput(int lineFd, std::string lineName, bool statusLine)
    : lineFd_(lineFd), lineName_(std::move(lineName)), statusLine_(statusLine) {}

TerminalOutput::~TerminalOutput() {
    if (statusShown_) writeAll(STDERR_FILENO, "\n");
}

void TerminalOutput::eraseStatus() {
    if (!statusShown_) return;
    writeAll(STDERR_FILENO, kEraseLine);
    statusShown_ = false;
}

std::string TerminalOutput::writeLine(std::string_view line) {
    // Standard output may be the same terminal.
    eraseStatus();
    const std::string error = appendWhole(lineFd_, line);
    return error.empty() ? error : "cannot write " + lineName_ + ": " + error;
}

void TerminalOutput::message(std::string_view text) {
    eraseStatus();
    std::string line(kProgram);
    line += text;
    line += '\n';
    writeAll(STDERR_FILENO, line);
}

void TerminalOutput::status(std::string_view text) {
    if (!statusLine_) return;
    std::string line(kEraseLine);
    line += text;
    writeAll(STDERR_FILENO, line);
    statusShown_ = true;
}

}  // namespace kv::power
