// SPDX-License-Identifier: GPL-3.0-or-later
// Times the drawing of one sweep pass (drawTrace, drawReadouts, drawMarkers), the repaint of
// the window that follows it, and the full redraw, on the real main window with its
// ImageSurface at the default size, with a trace that changes every pass.
//
//   kv-bench-draw [--passes N]      (run with QT_QPA_PLATFORM=offscreen)
//
// Prints table rows "| figure | value | target |" with medians in milliseconds.

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "clock.h"
#include "display.h"
#include "main_window.h"
#include "memory_settings_backend.h"
#include "number_text.h"
#include "qt_common_dialogs.h"
#include "qt_event_loop.h"
#include "qt_message_box.h"
#include "settings_backend.h"
#include "settings_store.h"
#include "spectrum_model.h"
#include "surface_view.h"
#include "sweep_log.h"

namespace {

using Clock = std::chrono::steady_clock;

// A port that is never open: the window then starts no sweep of its own.
class ClosedPort : public kv::CommControl {
  public:
    bool setCommPort(int) override { return true; }
    bool setSettings(std::string_view) override { return true; }
    bool portOpen() const override { return false; }
    bool setPortOpen(bool) override { return false; }
    void setHandshaking(int) override {}
    void setRtsEnable(bool) override {}
    void output(std::string_view) override {}
    std::string input() override { return {}; }
    void clearOutBuffer() override {}
    bool waitForInput(std::chrono::milliseconds) override { return false; }
};

// Deterministic levels that differ from pass to pass, like a noisy band with a carrier.
class Levels {
  public:
    double next() {
        state_ = state_ * 6364136223846793005ULL + 1442695040888963407ULL;
        return -97.0 + static_cast<double>((state_ >> 33) % 56);  // -97 .. -42 dB
    }

  private:
    std::uint64_t state_ = 42;
};

double median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double msSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

void row(const std::string& figure, double ms, const std::string& target) {
    std::printf("| %-58s | %14s | %-10s |\n", figure.c_str(), kv::fixedText(ms, 3).c_str(),
                target.c_str());
    std::fflush(stdout);
}

struct Figures {
    double trace = 0;
    double readouts = 0;
    double markers = 0;
    double surfaceOnly = 0;
    double pass = 0;
    double repaint = 0;
    double fullRedraw = 0;
    double fullRepaint = 0;
    double stripRow = 0;
    double stripBlit = 0;
    double stripRedraw = 0;
};

Figures measure(int points, int passes) {
    kv::MemorySettingsBackend store;
    store.values[{"Settings", "Number of Points"}] = std::to_string(points);
    ClosedPort port;
    kv::QtEventLoop loop;
    kv::SystemClock clock;
    kv::QtMessageBox messages;
    kv::QtCommonDialogs dialogs;
    kv::SystemSerialDetector detector;
    kv::MainWindow window({store, port, detector, loop, clock, messages, dialogs, "/"});
    kv::SharedState& state = window.state();
    (void)kv::loadSettings(store, state);  // an empty store loads
    window.show();
    QApplication::processEvents();

    // The window's own drawing procedures over its own surface.
    kv::Display display(state, window.surface());
    display.layoutLegend();
    kv::layoutTracePoints(state, window.surface().scaleWidth());
    display.drawScreen(true);
    QApplication::processEvents();

    Levels levels;
    const float height = window.surface().scaleHeight();
    const auto newSweep = [&](int sweep) {
        for (std::size_t i = 0; i < state.trace.size(); ++i) {
            auto& p = state.trace[i];
            state.previousTrace[i].yOut = p.yOut;
            state.previousTrace[i].yIn = p.yIn;
            p.amplitudeDb = levels.next();
            p.yOut = p.yIn = kv::levelToY(state.settings, p.amplitudeDb, height);
        }
        state.texts.sweepTimeText = "Sweep Time (mS): " + std::to_string(50 + sweep % 37);
        state.markers.marker[0] = static_cast<std::int16_t>(sweep % points);
    };

    Figures f;
    std::vector<double> pass;
    std::vector<double> trace;
    std::vector<double> readouts;
    std::vector<double> markers;
    std::vector<double> repaint;
    for (int sweep = 0; sweep < passes; ++sweep) {
        newSweep(sweep);
        auto start = Clock::now();
        display.drawTrace();
        const auto traced = Clock::now();
        display.drawReadouts();
        const auto printed = Clock::now();
        display.drawMarkers();
        pass.push_back(msSince(start));
        trace.push_back(std::chrono::duration<double, std::milli>(traced - start).count());
        readouts.push_back(std::chrono::duration<double, std::milli>(printed - traced).count());
        markers.push_back(msSince(printed));
        start = Clock::now();
        QApplication::processEvents();
        repaint.push_back(msSince(start));
    }
    f.pass = median(pass);
    f.trace = median(trace);
    f.readouts = median(readouts);
    f.markers = median(markers);
    f.repaint = median(repaint);

    // The same drawing on a surface that no window shows: what the drawing itself costs.
    {
        kv::SharedState copy = state;
        kv::ImageSurface bare(window.surface().twipsPerLogicalPixel() > 0
                                  ? kv::ImageSurface::kTwipsPerInch /
                                        window.surface().twipsPerLogicalPixel()
                                  : 96);
        bare.resize(window.view()->width(), window.view()->height());
        kv::Display bareDisplay(copy, bare);
        bareDisplay.drawScreen(true);
        std::vector<double> only;
        for (int sweep = 0; sweep < passes; ++sweep) {
            newSweep(sweep);
            copy.trace = state.trace;
            copy.previousTrace = state.previousTrace;
            copy.texts = state.texts;
            copy.markers.marker = state.markers.marker;
            const auto start = Clock::now();
            bareDisplay.drawTrace();
            bareDisplay.drawReadouts();
            bareDisplay.drawMarkers();
            only.push_back(msSince(start));
        }
        f.surfaceOnly = median(only);
    }

    std::vector<double> full;
    std::vector<double> fullRepaint;
    for (int k = 0; k < std::max(10, passes / 10); ++k) {
        newSweep(k);
        auto start = Clock::now();
        display.drawScreen(true);
        full.push_back(msSince(start));
        start = Clock::now();
        QApplication::processEvents();
        fullRepaint.push_back(msSince(start));
    }
    f.fullRedraw = median(full);
    f.fullRepaint = median(fullRepaint);

    // The waterfall strip shown: a sweep's new row, and its blit to the window; and the
    // whole strip drawn again from a full history, as after a resize.
    kv::BandWatch& watch = window.bandWatch();
    watch.setStripShown(true);
    QApplication::processEvents();
    std::vector<double> stripRow;
    std::vector<double> stripBlit;
    std::vector<double> sweepLevels(static_cast<std::size_t>(points));
    const int stripSweeps = std::max(passes, static_cast<int>(kv::SweepHistory::kDefaultCapacity));
    for (int sweep = 0; sweep < stripSweeps; ++sweep) {
        for (double& level : sweepLevels) level = levels.next();
        auto start = Clock::now();
        window.sweep().sinks().sweepEnded(
            {std::chrono::system_clock::now(), 0, 0, window.state().settings, 1, sweepLevels});
        stripRow.push_back(msSince(start));
        start = Clock::now();
        watch.strip()->repaint();  // at once, rather than whenever the event loop gets to it
        stripBlit.push_back(msSince(start));
    }
    f.stripRow = median(stripRow);
    f.stripBlit = median(stripBlit);
    std::vector<double> redraw;
    for (int k = 0; k < 10; ++k) {
        const auto start = Clock::now();
        watch.redrawStrip();
        redraw.push_back(msSince(start));
    }
    f.stripRedraw = median(redraw);
    window.close();
    QApplication::processEvents();
    return f;
}

}  // namespace

int main(int argc, char** argv) {
    int passes = 300;
    for (int i = 1; i + 1 < argc; ++i)
        if (std::string(argv[i]) == "--passes") passes = std::max(10, std::atoi(argv[i + 1]));
    QApplication app(argc, argv);
    for (const int points : {50, 256}) {
        const Figures f = measure(points, passes);
        const std::string label = std::to_string(points) + " points: ";
        row(label + "drawing of one sweep pass, ms (median)", f.pass,
            points == 50 ? "<= 0.5" : "<= 1.5");
        row(label + "  of which drawTrace, ms", f.trace, "");
        row(label + "  of which drawReadouts, ms", f.readouts, "");
        row(label + "  of which drawMarkers, ms", f.markers, "");
        row(label + "  the same drawing on a surface no window shows, ms", f.surfaceOnly, "");
        row(label + "repaint of the window after a pass, ms (median)", f.repaint, "");
        row(label + "drawScreen(true), ms (median)", f.fullRedraw, "");
        row(label + "repaint of the window after drawScreen, ms (median)", f.fullRepaint, "");
        row(label + "waterfall per sweep: new row + its blit, ms (median)",
            f.stripRow + f.stripBlit, points == 256 ? "<= 0.3" : "");
        row(label + "  of which the new row, ms", f.stripRow, "");
        row(label + "  of which the blit (window repaint), ms", f.stripBlit, "");
        row(label + "waterfall redrawn from the history (resize, F7), ms", f.stripRedraw, "");
    }
    return 0;
}
