// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "memory_settings_backend.h"
#include "serial_setup.h"
#include "settings_store.h"
#include "shared_state.h"

namespace kv::test {

// Shared state as an empty store loads it (every key at its default, both trace arrays
// created, no columns laid out yet), with the rate and line values the serial set-up puts in.
inline SharedState defaultState() {
    MemorySettingsBackend empty;
    SharedState state;
    (void)loadSettings(empty, state);  // every default loads
    state.settings.baud = rateForBaud(state.settings.baud);
    (void)prepareLineSettings(state.settings);
    return state;
}

}  // namespace kv::test
