// SPDX-License-Identifier: GPL-3.0-or-later
#include "logger_outputs.h"

#include "log_categories.h"
#include "sweep_log.h"
#include "sweep_message.h"

namespace kv::power {

void LineSink::sweepEnded(const Sweep& sweep) {
    const std::string error = output_.writeLine(
        formatSweepLine(sweep.band, localLineTime(sweep.began), sweep.samples, sweep.levelsDb));
    if (error.empty()) {
        if (lostInEpisode_ > 0)
            output_.message("lines are written again; " + std::to_string(lostInEpisode_) +
                            " were lost");
        lostInEpisode_ = 0;
        return;
    }
    // One message for the episode; each line is tried again.
    if (lostInEpisode_++ == 0) {
        qCWarning(lcFiles, "%s", error.c_str());
        output_.message(error + "; lines are lost until there is room");
    }
    ++lost_;
}

void MessageSink::sweepEnded(const Sweep& sweep) {
    publish_(formatSweepMessage(sweep.band, sweep.began, seq_++, sweep.samples, sweep.levelsDb));
}

}  // namespace kv::power
