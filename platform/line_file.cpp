// SPDX-License-Identifier: GPL-3.0-or-later
#include "line_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

namespace kv {

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

LineFile::~LineFile() {
    close();
}

bool LineFile::open(const std::string& path) {
    close();
    fd_ = ::open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd_ < 0) error_ = std::strerror(errno);
    return fd_ >= 0;
}

void LineFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
}

std::string appendWhole(int fd, std::string_view line) {
    struct stat before {};
    const bool sized = ::fstat(fd, &before) == 0 && S_ISREG(before.st_mode);
    if (writeAll(fd, line)) return {};
    std::string error = std::strerror(errno);
    if (sized && ::ftruncate(fd, before.st_size) != 0) error += ", and the line is cut short";
    return error;
}

bool LineFile::append(std::string_view line) {
    if (fd_ < 0) return false;
    std::string error = appendWhole(fd_, line);
    if (error.empty()) return true;
    error_ = std::move(error);
    return false;
}

}  // namespace kv
