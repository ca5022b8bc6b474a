// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

namespace kv::sim {

// Owns a file descriptor.
class UniqueFd {
  public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    ~UniqueFd() { reset(); }

    int get() const { return fd_; }
    int release();
    void reset();

  private:
    int fd_ = -1;
};

// A pseudo-terminal whose slave side plays the radio's serial port. The slave is set raw,
// and one slave descriptor stays open here so that the program closing its side does not
// hang the terminal up. The master is non-blocking.
class PseudoTerminal {
  public:
    // nullopt with `error` set when the system gives no pseudo-terminal.
    static std::optional<PseudoTerminal> open(std::string& error);

    int master() const { return master_.get(); }
    const std::string& devicePath() const { return devicePath_; }

  private:
    PseudoTerminal() = default;
    UniqueFd master_;
    UniqueFd slave_;
    std::string devicePath_;
};

// A symbolic link kept pointing at the current device; removed when destroyed, unless it
// points elsewhere by then.
class DeviceLink {
  public:
    explicit DeviceLink(std::string path) : path_(std::move(path)) {}
    DeviceLink(const DeviceLink&) = delete;
    DeviceLink& operator=(const DeviceLink&) = delete;
    ~DeviceLink() { remove(); }

    // Replaces the link atomically (a new link renamed over the old one).
    bool pointTo(const std::string& target, std::string& error);
    // Removes the link, unless it points elsewhere by now.
    void remove();
    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string target_;  // what the link was last pointed at; empty before
};

}  // namespace kv::sim
