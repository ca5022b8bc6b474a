// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

namespace kv {

// Writes all of `bytes` to `fd`, retrying after interruptions; false on an error (errno set).
bool writeAll(int fd, std::string_view bytes);

// Appends `line` to `fd` whole or not at all: what part of it went out before the disk
// filled up is cut off again where the file can be cut (a regular file), so that the next
// line does not start in the middle of this one. Empty when written, else what went wrong.
std::string appendWhole(int fd, std::string_view line);

// A file that whole lines are appended to. Each line goes out in one write, and one that
// fails is cut off again, so the file holds whole lines only, also after a full disk or a
// kill. Closed when it goes.
class LineFile {
  public:
    LineFile() = default;
    ~LineFile();
    LineFile(const LineFile&) = delete;
    LineFile& operator=(const LineFile&) = delete;

    // Opens `path` for appending, creating it; false with error() set when it cannot.
    bool open(const std::string& path);
    void close();
    bool isOpen() const { return fd_ >= 0; }
    // false with error() set when the line could not be written whole.
    bool append(std::string_view line);
    // What went wrong last, as the system says it.
    const std::string& error() const { return error_; }

  private:
    int fd_ = -1;
    std::string error_;
};

}  // namespace kv
