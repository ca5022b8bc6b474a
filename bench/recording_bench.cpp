// SPDX-License-Identifier: GPL-3.0-or-later
// Opening a long recording: writes a 7-day log as `kv3710-power -i 0.5` at 50 points writes it
// (two lines a second), indexes it as the window does, and prints the figures: index rate,
// the time to the newest sweep's levels (the first picture's data), a cursor move, and
// resident memory. Figures only.
//
//   kv-bench-recording FILE [--days D]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "number_text.h"
#include "recording_index.h"
#include "sweep_log.h"
#include "sweep_log_reader.h"

namespace {

using Clock = std::chrono::steady_clock;

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void row(const std::string& figure, double value, const std::string& target) {
    std::printf("| %-58s | %14s | %-10s |\n", figure.c_str(), kv::fixedText(value, 1).c_str(),
                target.c_str());
}

// A status line's figure in kB, as /proc/self/status gives it.
double statusKb(const char* key) {
    std::ifstream status("/proc/self/status");
    std::string word;
    while (status >> word)
        if (word == key) {
            double kb = 0;
            status >> kb;
            return kb;
        }
    return 0;
}

void generate(const std::string& path, int days) {
    kv::SettingValues band;
    band.centerFrequency = 915;
    band.span = 26;
    band.numberOfPoints = 50;
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (!out) return;
    std::mt19937 random(7);
    std::uniform_int_distribution<int> noise(-9700, -6000);
    std::vector<double> levels(50);
    const std::int64_t start = kv::lineSeconds({2026, 1, 5, 0, 0, 0});
    for (std::int64_t half = 0; half < std::int64_t{days} * 86400 * 2; ++half) {
        for (double& level : levels) level = noise(random) / 100.0;
        levels[static_cast<std::size_t>(half % 50)] = -35.5;
        const std::string line =
            kv::formatSweepLine(band, kv::lineTimeAt(start + half / 2), 12, levels);
        std::fwrite(line.data(), 1, line.size(), out);
    }
    std::fclose(out);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        std::fprintf(stderr, "usage: kv-bench-recording FILE [--days D]\n");
        return 2;
    }
    const std::string path = argv[1];
    int days = 7;
    if (argc >= 4 && std::string(argv[2]) == "--days") days = std::stoi(argv[3]);
    if (argc < 5 || std::string(argv[4]) != "--keep") generate(path, days);

    // What the window shows first: the newest sweep, read from the file's end.
    const auto previewed = Clock::now();
    kv::RecordingIndex preview;
    const bool previewOk = preview.openNewest(path).empty() && !preview.whole() &&
                           preview.levels(preview.sweeps() - 1).has_value();
    const double previewMs = msSince(previewed);

    const auto opened = Clock::now();
    const std::clock_t cpuBefore = std::clock();
    kv::RecordingIndex index;
    const std::string why = index.open(path);
    if (!why.empty()) {
        std::fprintf(stderr, "%s\n", why.c_str());
        return 1;
    }
    const auto newest = index.levels(index.sweeps() - 1);
    const double firstMs = msSince(opened);
    const double indexMs = msSince(opened);
    const double cpuMs = 1000.0 * static_cast<double>(std::clock() - cpuBefore) / CLOCKS_PER_SEC;
    const double mb = static_cast<double>(index.bytesIndexed()) / 1e6;

    std::mt19937 random(11);
    std::uniform_int_distribution<std::size_t> any(0, index.sweeps() - 1);
    std::vector<double> moves;
    for (int i = 0; i < 200; ++i) {
        const auto start = Clock::now();
        const auto levels = index.levels(any(random));
        static_cast<void>(levels);
        static_cast<void>(index.overview(0, index.sweeps()));
        moves.push_back(msSince(start));
    }
    std::sort(moves.begin(), moves.end());

    row("recording: " + std::to_string(index.sweeps()) + " sweeps, MB", mb, "");
    row("recording: first picture (the newest sweep from the file's end), ms", previewMs,
        "<= 1000");
    row("recording: newest sweep's levels after indexing the whole file, ms", firstMs, "");
    row("recording: index rate, MB/s", mb / (indexMs / 1000.0), ">= 200");
    row("recording: index rate on CPU time (a busy machine aside), MB/s", mb / (cpuMs / 1000.0),
        ">= 200");
    row("recording: cursor move (sweep read + overview), ms (max)", moves.back(), "<= 50");
    row("recording: resident memory at its peak, MB", statusKb("VmHWM:") / 1024.0, "<= 150");
    return newest && previewOk ? 0 : 1;
}
