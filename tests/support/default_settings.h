#pragma once

#include "shared_state.h"
#include "spectrum_model.h"

namespace kv::test {

// The settings as a fresh settings store loads them, with the rate index already turned into
// the rate text.
inline SettingValues defaultSettings() {
    SettingValues s;
    s.port = 0;
    s.baud = "115200";
    s.data = "8";
    s.parity = 0;
    s.stop = "1";
    s.backgroundColor = 0;
    s.graphColor = 65280;
    s.messageColor = 65280;
    s.gridColor = 8404992;
    s.labelColor = 0;
    s.markerColor = {65280, 255};
    s.centerFrequency = 915;
    s.span = 26;
    s.amplitude = -40;
    s.attenuator = 0;
    s.graphTop = 500;
    s.graphBottom = 1000;
    s.graphLeft = 500;
    s.graphRight = 500;
    s.numberOfGradiants = 10;
    s.viewMarkers = true;
    s.viewFunction1 = true;
    s.numberOfPoints = 50;
    return s;
}

// Shared state with the default settings and both trace arrays created (all points zero,
// no columns laid out yet). Link acquisition to use it.
inline SharedState defaultState() {
    SharedState state;
    state.settings = defaultSettings();
    createTraceArrays(state);
    return state;
}

}  // namespace kv::test
