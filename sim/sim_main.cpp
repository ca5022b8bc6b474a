// SPDX-License-Identifier: GPL-3.0-or-later
// kv3710-sim: a simulated KV3710 radio on a pseudo-terminal, for running and testing the
// analyzer without the hardware. See --help.
#include <cstdio>
#include <string>
#include <vector>

#include "sim_options.h"
#include "sim_replay.h"
#include "sim_server.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    const kv::sim::OptionsResult parsed = kv::sim::parseOptions(args);
    if (!parsed.options) {
        std::fprintf(stderr, "kv3710-sim: %s\nTry 'kv3710-sim --help'.\n", parsed.error.c_str());
        return 2;
    }
    if (parsed.options->help) {
        std::fwrite(kv::sim::helpText().data(), 1, kv::sim::helpText().size(), stdout);
        return 0;
    }
    if (parsed.options->version) {
        std::printf("kv3710-sim %s\n", KV_VERSION);
        return 0;
    }
    kv::sim::SimOptions options = *parsed.options;
    if (!options.replayPath.empty()) {
        kv::sim::ReplayLoad replay = kv::sim::loadReplay(options.replayPath);
        if (!replay.error.empty()) {
            std::fprintf(stderr, "kv3710-sim: %s\n", replay.error.c_str());
            return 2;
        }
        options.scene.replay = std::move(replay.rows);
    }
    kv::sim::SimServer server(std::move(options));
    return server.run();
}
