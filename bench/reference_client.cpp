// SPDX-License-Identifier: GPL-3.0-or-later
// The least a client can do to sweep the radio: a tight blocking loop over the same exchanges
// as the analyzer (command mode, then B1 i 00 and 21 02 for every point) with plain POSIX
// read and poll, no event loop and no drawing. Its sweep period is the yardstick for the
// analyzer's. Its bytes are its own, as an independent client's would be.
//
//   kv-bench-reference DEVICE POINTS
//
// Sweeps until SIGTERM or SIGINT; exits 1 when the radio does not answer within 2 s.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

namespace {

volatile std::sig_atomic_t stopSignal = 0;

extern "C" void onStop(int signal) {
    stopSignal = signal;
}

constexpr int kReplyTimeoutMs = 2000;

bool sendAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Reads until `done` holds for what arrived; false on time-out, error or stop.
template <typename Done>
bool receive(int fd, std::string& buffer, Done done) {
    buffer.clear();
    char chunk[256];
    while (!done(buffer)) {
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, kReplyTimeoutMs);
        if (ready <= 0 || stopSignal != 0) return false;
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n <= 0) return false;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
    return true;
}

bool exchange(int fd, std::string_view command, std::string& buffer, std::size_t replySize) {
    return sendAll(fd, command) &&
           receive(fd, buffer, [replySize](const std::string& b) { return b.size() >= replySize; });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: kv-bench-reference DEVICE POINTS\n");
        return 2;
    }
    const int points = std::atoi(argv[2]);
    if (points < 1 || points > 256) {
        std::fprintf(stderr, "kv-bench-reference: POINTS must be 1..256\n");
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = onStop;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);

    const int fd = ::open(argv[1], O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    termios attributes{};
    if (::tcgetattr(fd, &attributes) == 0) {
        ::cfmakeraw(&attributes);
        ::tcsetattr(fd, TCSANOW, &attributes);
    }

    std::string buffer;
    const auto endsWithCom = [](const std::string& b) {
        return b.size() >= 4 && b.compare(b.size() - 4, 4,
                                          "\xCC"
                                          "COM") == 0;
    };
    if (!sendAll(fd, "AT+++\r") || !receive(fd, buffer, endsWithCom) ||
        !exchange(fd, "\xCC\x65", buffer, 1)) {
        if (stopSignal != 0) return 0;
        std::fprintf(stderr, "kv-bench-reference: no command mode\n");
        return 1;
    }
    while (stopSignal == 0) {
        for (int i = 0; i < points && stopSignal == 0; ++i) {
            const char channel[3] = {'\xB1', static_cast<char>(i), '\0'};
            if (!exchange(fd, std::string_view(channel, 3), buffer, 3) ||
                !exchange(fd, "\x21\x02", buffer, 4)) {
                if (stopSignal != 0) break;
                std::fprintf(stderr, "kv-bench-reference: no reply\n");
                return 1;
            }
        }
    }
    ::close(fd);
    return 0;
}
