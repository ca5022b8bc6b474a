// Whole sweep runs against the simulated radio core, in process on fake time.
#include <QTest>

#include "level_conversion.h"
#include "sim_levels.h"
#include "sim_radio.h"
#include "sweep_rig.h"

using namespace kv;
using namespace kv::test;

namespace {

sim::SceneConfig quietScene() {
    sim::SceneConfig scene;
    scene.noiseFloorDb = -95;
    scene.noiseSpreadDb = 0;  // every reading of a channel is the same
    scene.carriers = {{20, -50, 3}, {41, -70, 1}};
    return scene;
}

}  // namespace

class SweepSimulatedTest : public QObject {
    Q_OBJECT
  private slots:
    void conversionInvertsTheRadiosScale();
    void sweepsTheSimulatedRadio();
};

// Every level the radio can report comes back as itself.
void SweepSimulatedTest::conversionInvertsTheRadiosScale() {
    for (int level = sim::kMinLevelDb; level <= sim::kMaxLevelDb; ++level)
        QCOMPARE(levelFromReading(sim::levelToRaw(level), -40), double(level));
}

// Three sweeps at 115200 baud; a wrong echo in the second sweep is recovered from.
void SweepSimulatedTest::sweepsTheSimulatedRadio() {
    sim::RadioConfig config;
    config.pacing.baud = 115200;
    sim::RadioEmulator emulator(config, quietScene());
    sim::Scene reference(quietScene());

    SweepRig rig;
    bool injected = false;
    rig.answerWith([&](std::string_view sent) {
        if (!injected && rig.display.count("drawTrace") == 1 && sent == channelCommand(10)) {
            emulator.injectNext(sim::FaultKind::WrongEcho, 1);
            injected = true;
        }
        const auto now = std::chrono::milliseconds(rig.loop.now);
        for (const auto& reply : emulator.receive(sent, now))
            rig.comm.deliver(reply.bytes,
                             std::chrono::ceil<std::chrono::milliseconds>(reply.sendAt).count());
        return std::string{};
    });
    rig.display.onCall = [&](const std::string& name) {
        if (name != "drawTrace") return;
        if (rig.display.count("drawTrace") == 3) rig.state.flags.stopRequested = true;
    };
    rig.sweep.run();

    QCOMPARE(emulator.counters().sweeps, std::uint64_t{3});
    QCOMPARE(emulator.counters().fault(sim::FaultKind::WrongEcho), std::uint64_t{1});
    QVERIFY(emulator.mode() == sim::RadioMode::Command);
    // Three sweeps and the one retry of the point whose echo was wrong.
    QCOMPARE(std::count(rig.comm.outputs.begin(), rig.comm.outputs.end(), channelCommand(10)), 4);
    for (int i = 0; i < 50; ++i) {
        const int expected = reference.measure(i, {});
        QCOMPARE(rig.state.trace[static_cast<std::size_t>(i)].amplitudeDb, double(expected));
    }
    QCOMPARE(rig.state.trace[20].amplitudeDb, -50.0);
    QVERIFY(rig.state.texts.commMessage.empty());
    QVERIFY(rig.state.texts.sweepTimeText.starts_with("Sweep Time (mS): "));
}

QTEST_GUILESS_MAIN(SweepSimulatedTest)
#include "test_sweep_simulated.moc"
