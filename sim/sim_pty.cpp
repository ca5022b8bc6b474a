// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_pty.h"

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace kv::sim {

namespace {
std::string systemError(const char* what) {
    return std::string(what) + ": " + std::strerror(errno);
}
}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
    if (this != &other) {
        reset();
        fd_ = other.release();
    }
    return *this;
}

int UniqueFd::release() {
    return std::exchange(fd_, -1);
}

void UniqueFd::reset() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::optional<PseudoTerminal> PseudoTerminal::open(std::string& error) {
    PseudoTerminal pty;
    pty.master_ = UniqueFd(::posix_openpt(O_RDWR | O_NOCTTY));
    if (pty.master_.get() < 0) {
        error = systemError("posix_openpt");
        return std::nullopt;
    }
    if (::grantpt(pty.master_.get()) != 0 || ::unlockpt(pty.master_.get()) != 0) {
        error = systemError("grantpt/unlockpt");
        return std::nullopt;
    }
    const char* name = ::ptsname(pty.master_.get());
    if (name == nullptr) {
        error = systemError("ptsname");
        return std::nullopt;
    }
    pty.devicePath_ = name;
    pty.slave_ = UniqueFd(::open(name, O_RDWR | O_NOCTTY));
    if (pty.slave_.get() < 0) {
        error = systemError(name);
        return std::nullopt;
    }
    // Bytes must pass untouched: no echo, no line editing, no CR/LF translation.
    termios attributes{};
    if (::tcgetattr(pty.slave_.get(), &attributes) != 0) {
        error = systemError("tcgetattr");
        return std::nullopt;
    }
    ::cfmakeraw(&attributes);
    if (::tcsetattr(pty.slave_.get(), TCSANOW, &attributes) != 0) {
        error = systemError("tcsetattr");
        return std::nullopt;
    }
    const int flags = ::fcntl(pty.master_.get(), F_GETFL);
    if (flags < 0 || ::fcntl(pty.master_.get(), F_SETFL, flags | O_NONBLOCK) != 0) {
        error = systemError("fcntl");
        return std::nullopt;
    }
    return pty;
}

void DeviceLink::remove() {
    if (target_.empty()) return;
    // Only our own link: another simulator may have taken the name over since.
    std::string current(target_.size() + 1, '\0');
    const ssize_t length = ::readlink(path_.c_str(), current.data(), current.size());
    if (length >= 0 && current.substr(0, static_cast<std::size_t>(length)) == target_) {
        ::unlink(path_.c_str());
    }
    target_.clear();
}

bool DeviceLink::pointTo(const std::string& target, std::string& error) {
    const std::string temporary = path_ + ".new" + std::to_string(::getpid());
    ::unlink(temporary.c_str());
    if (::symlink(target.c_str(), temporary.c_str()) != 0) {
        error = systemError(temporary.c_str());
        return false;
    }
    if (::rename(temporary.c_str(), path_.c_str()) != 0) {
        error = systemError(path_.c_str());
        ::unlink(temporary.c_str());
        return false;
    }
    target_ = target;
    return true;
}

}  // namespace kv::sim
