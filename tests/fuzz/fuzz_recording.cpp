// SPDX-License-Identifier: GPL-3.0-or-later
// Any bytes as a recording opened in the window, plain and gzip-compressed: the same sweeps and
// damaged lines either way, a sweep or the reason it is no sweep log, every sweep's levels
// read back at the file's column count, and a range's maximum at or above each of its levels.
#include <sys/mman.h>
#include <unistd.h>
#include <zlib.h>

#include <cmath>
#include <string>

#include "fuzz_check.h"
#include "recording_index.h"

namespace {

// The bytes in a file of memory, gzip-compressed if asked; its path.
std::string memoryFile(const std::uint8_t* data, std::size_t size, bool compressed) {
    const int fd = memfd_create("recording", 0);
    if (compressed) {
        gzFile out = gzdopen(::dup(fd), "wb");
        if (size > 0) gzwrite(out, data, static_cast<unsigned>(size));
        gzclose(out);
    } else if (size > 0) {
        fuzzCheck(::write(fd, data, size) == static_cast<ssize_t>(size), "the file is written");
    }
    return "/proc/self/fd/" + std::to_string(fd);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string plainPath = memoryFile(data, size, false);
    const std::string packedPath = memoryFile(data, size, true);
    kv::RecordingIndex plain;
    kv::RecordingIndex packed;
    const std::string why = plain.open(plainPath);
    const std::string packedWhy = packed.open(packedPath);
    ::close(std::stoi(plainPath.substr(14)));
    ::close(std::stoi(packedPath.substr(14)));
    fuzzCheck(why.empty() == (plain.sweeps() > 0), "sweeps or why not");
    fuzzCheck(plain.sweeps() == packed.sweeps() && plain.damagedLines() == packed.damagedLines(),
              "gzip-compressed, the same sweeps");
    if (plain.sweeps() == 0) return 0;
    fuzzCheck(plain.columns() > 0 && plain.columns() <= 256, "at most the window's points");
    const std::size_t last = std::min<std::size_t>(plain.sweeps(), 64);
    const std::vector<double> maximum = plain.rangeMaximum(0, last);
    for (std::size_t sweep = 0; sweep < last; ++sweep) {
        const auto levels = packed.levels(sweep);
        fuzzCheck(levels && levels->levelsDb.size() == std::size_t(plain.columns()),
                  "a sweep reads back at the file's columns");
        for (std::size_t c = 0; c < levels->levelsDb.size(); ++c)
            // The overview holds levels as float.
            fuzzCheck(std::isnan(levels->levelsDb[c]) ||
                          static_cast<float>(levels->levelsDb[c]) <= static_cast<float>(maximum[c]),
                      "the range's maximum is at or above its levels");
    }
    return 0;
}
