// SPDX-License-Identifier: GPL-3.0-or-later
// The keys and clicks over a trace: where the markers land, which modes flip, what is redrawn
// and erased.
#include <QtTest>

#include "default_state.h"
#include "key_commands.h"
#include "key_table.h"
#include "recording_display.h"
#include "recording_surface.h"
#include "spectrum_model.h"
#include "virtual_keys.h"

using namespace kv;

namespace {

const QList<double> kPeaks = {-60, -63, -70, -72, -68, -64, -66, -75,
                              -80, -70, -62, -58, -61, -66, -70, -69};
enum Modes { kHold = 1, kView = 2, kDelta = 4, kStopped = 8 };

// The default window's state with a trace of these levels (0: a point not measured yet).
SharedState stateWith(const QList<double>& levels, const Surface& surface) {
    SharedState state = test::defaultState();
    state.settings.numberOfPoints = static_cast<std::int16_t>(levels.size());
    createTraceArrays(state);
    layoutTracePoints(state, surface.scaleWidth());
    for (int i = 0; i < levels.size(); ++i) {
        auto& p = state.trace[std::size_t(i)];
        p.amplitudeDb = levels[i];
        p.yOut = p.yIn = levels[i] ? levelToY(state.settings, levels[i], surface.scaleHeight()) : 0;
    }
    return state;
}

}  // namespace

class KeyCommandsTest : public QObject {
    Q_OBJECT
  private slots:
    // The README's key table is the one Help shows, row for row.
    void readmeKeyTable() {
        QFile readme(QStringLiteral(KV_README));
        QVERIFY(readme.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList lines = QString::fromUtf8(readme.readAll()).split('\n');
        const qsizetype head = lines.indexOf(QStringLiteral("| Key | Does |"));
        QVERIFY(head >= 0);
        QStringList rows, table;
        for (qsizetype i = head + 2; i < lines.size() && lines[i].startsWith('|'); ++i)
            rows << lines[i];
        for (const KeyUse& use : kKeyUses)
            table << QString::fromUtf8("| %1 | %2 |")
                         .arg(QString::fromUtf8(use.keys.data(), qsizetype(use.keys.size())),
                              QString::fromUtf8(use.does.data(), qsizetype(use.does.size())));
        QCOMPARE(rows, table);
    }
    // Levels of 0 are points not measured yet. `markers` holds both markers before and after.
    void keys_data() {
        QTest::addColumn<QList<double>>("levels");
        QTest::addColumn<int>("modesBefore");
        QTest::addColumn<QList<int>>("keys");
        QTest::addColumn<QList<int>>("markers");
        QTest::addColumn<int>("modesAfter");
        QTest::addColumn<QStringList>("redraws");
        const QList<double> flat(50, -70);
        const QStringList mr{"markers", "readouts"}, rm{"readouts", "markers"};
        QStringList arrows;
        for (int i = 0; i < 63; ++i) arrows += rm;
        const auto row = [](const char* name, QList<double> levels, int before, QList<int> keys,
                            QList<int> markers, int after, QStringList redraws) {
            QTest::newRow(name) << levels << before << keys << markers << after << redraws;
        };
        using namespace vk;
        row("F5 steps over small tops", kPeaks, 0, {kF5, kF5, kF5}, {0, 0, 11, 0}, 0, mr + mr + mr);
        row("F4 from the last point", kPeaks, 0, {kF4, kF4, kF4}, {15, 0, 5, 0}, 0, mr + mr + mr);
        row("rise of 6 is", {-70, -76, -70, -80, -80}, 0, {kF5}, {0, 0, 2, 0}, 0, mr);
        row("fall of 6 is", {-76, -70, -76}, 0, {kF5}, {0, 0, 1, 0}, 0, mr);
        row("F1: a tie takes the lowest", {-80, -50, -50, -70}, 0, {kF1}, {3, 3, 1, 3}, 0, rm);
        row("F1: only measured points count", {-80, -50, 0, 0}, 0, {kF1}, {3, 3, 1, 3}, 0, rm);
        row("F1: nothing measured yet", {0, 0, 0}, 0, {kF1}, {2, 2, 2, 2}, 0, rm);
        row("F1 in delta moves marker 2", {-80, -50, -60}, kDelta, {kF1}, {2, 2, 2, 1}, kDelta, rm);
        row("arrows stop at the ends", flat, 0, QList<int>(60, kRight) + QList<int>(3, kLeft),
            {0, 0, 46, 0}, 0, arrows);
        row("F3 on: marker 2 starts on marker 1", flat, 0, {kF3, kRight, kRight}, {7, 0, 7, 9},
            kDelta, rm + rm);
        row("F3 off: marker 1 takes marker 2's place", flat, kDelta, {kF3}, {7, 9, 9, 9}, 0, {});
        row("F2 and F6 flip", flat, 0, {kF2, kF6}, {0, 0, 0, 0}, kHold | kView, {});
        row("F7 redraws all", flat, 0, {kF7, 38, 119}, {0, 0, 0, 0}, 0, {"screen(clear)"});
        row("every key ignored while stopped", kPeaks, kStopped | kDelta,
            {kF1, kF2, kF3, kF4, kF5, kF6, kF7, kLeft, kRight}, {5, 9, 5, 9}, kStopped | kDelta,
            {});
    }
    void keys() {
        QFETCH(QList<double>, levels);
        QFETCH(int, modesBefore);
        QFETCH(QList<int>, keys);
        QFETCH(QList<int>, markers);
        QFETCH(int, modesAfter);
        QFETCH(QStringList, redraws);
        RecordingSurface surface(10755, 8730);
        SharedState state = stateWith(levels, surface);
        auto& m = state.markers;
        m.marker = {std::int16_t(markers[0]), std::int16_t(markers[1])};
        m.markerDelta = modesBefore & kDelta;
        state.flags.stopRequested = modesBefore & kStopped;
        state.flags.maxHold = modesBefore & kHold;
        state.flags.viewOnly = modesBefore & kView;
        test::RecordingDisplay display;
        std::vector<Colour> erased;
        KeyCommands commands(state, surface, display,
                             [&](double, double, Colour c) { erased.push_back(c); });
        for (int key : keys) commands.keyDown(key);

        QCOMPARE((QList<int>{m.marker[0], m.marker[1]}), markers.mid(2));
        const int modes = kHold * state.flags.maxHold + kView * state.flags.viewOnly +
                          kDelta * m.markerDelta + kStopped * state.flags.stopRequested;
        QCOMPARE(modes, modesAfter);
        QCOMPARE(display.calls, redraws);
        // Turning marker delta off erases both symbols where they were drawn.
        const bool deltaOff = (modesBefore & kDelta) && !(modesAfter & kDelta);
        QCOMPARE(erased, deltaOff ? std::vector<Colour>(2, state.settings.backgroundColor)
                                  : std::vector<Colour>{});
    }

    // A turns the average on and off; + and - count its sweeps only while it is on, from 2 to
    // 100; each of them prints the readouts again.
    void averageKeys() {
        SharedState state = test::defaultState();
        RecordingSurface surface(10755, 8730);
        test::RecordingDisplay display;
        KeyCommands commands(state, surface, display, [](double, double, Colour) {});
        const auto press = [&](Qt::Key key, int times) {
            for (int k = 0; k < times; ++k) commands.keyDown(virtualKeyFor(key).value_or(0));
        };
        const int before = state.average.sweeps;
        press(Qt::Key_Plus, 3);
        QCOMPARE(state.average.sweeps, before);
        press(Qt::Key_A, 1);
        press(Qt::Key_Minus, 120);
        QCOMPARE(state.average.sweeps, 2);
        press(Qt::Key_Plus, 120);
        QCOMPARE(state.average.sweeps, 100);
        press(Qt::Key_A, 1);
        QVERIFY(!state.average.on);
        QCOMPARE(display.calls.count("readouts"), 242);
    }

    // A click over the kPeaks trace steps the active marker (from 3) as the arrows would, to the
    // column nearest the pointer; a double click takes the highest point within 5 columns of it.
    // Outside the plot, as while stopped, nothing happens.
    void clicks_data() {
        QTest::addColumn<QStringList>("row");
        // x: a column's centre (7), half way between two (7.5) or the plot's left edge (-1), plus
        // twips | y: in, above, bottom edge | click, double, stopped | points | marker after
        const QString table = R"(7|0|in|click|16|7
7.5|0|in|click|16|7
7.5|1|in|click|16|8
-1|0|in|click|16|0
-1|-1|in|click|16|-
7|0|above|click|16|-
7|0|bottom|click|16|7
-1|0|in|click|256|1
7|0|in|double|16|11
2|0|in|double|16|0
7|0|in|stopped|16|-)";
        for (const QString& row : table.split('\n'))
            QTest::newRow(qPrintable(row)) << row.split('|');
    }
    void clicks() {
        QFETCH(QStringList, row);
        QList<double> levels;
        while (levels.size() < row[4].toInt()) levels += kPeaks;
        RecordingSurface surface(10755, 8730);
        SharedState state = stateWith(levels, surface);
        const auto& s = state.settings;
        state.markers.marker[0] = 3;
        state.flags.stopRequested = row[3] == "stopped";
        const double column = row[0].toDouble();
        const auto centre = [&](int i) { return state.trace[std::size_t(i)].xCenter; };
        const double x =
            (column < 0 ? s.graphLeft
                        : (centre(int(column)) + centre(int(std::ceil(column)))) / 2.0) +
            row[1].toDouble();
        const double y = row[2] == "above"    ? s.graphTop - 1
                         : row[2] == "bottom" ? surface.scaleHeight() - s.graphBottom
                                              : 4000;
        test::RecordingDisplay display;
        KeyCommands commands(state, surface, display, [](double, double, Colour) {});
        if (row[3] == "double")
            commands.doubleClick(x, y);
        else
            commands.click(x, y);
        const bool moved = row[5] != "-";  // "-": untouched, nothing redrawn
        QCOMPARE(int(state.markers.marker[0]), moved ? row[5].toInt() : 3);
        QCOMPARE(display.calls, moved ? QStringList({"readouts", "markers"}) : QStringList());
    }
};

QTEST_APPLESS_MAIN(KeyCommandsTest)
#include "test_key_commands.moc"
