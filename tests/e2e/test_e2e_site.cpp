// SPDX-License-Identifier: GPL-3.0-or-later
// Two loggers on two simulated radios publish to Debian's mosquitto on a free loopback port; the
// window, set to watch the site before its load as --mqtt does, lists both with their bands,
// draws the watched radio's scene and the other's after a switch with the first laid over it,
// leaves a gap in the strip for lost sweeps, drops a malformed message,
// survives a broker restart, shows a killed logger offline, takes a new connection while
// watching, and sends nothing to its own radio.
#include <QTreeWidget>
#include <QtTest>
#include <array>
#include <csignal>

#include "display.h"
#include "e2e_rig.h"
#include "qt_colour.h"
#include "sim_scene.h"
#include "sweep_message.h"

using namespace kv;
using namespace kv::e2e;

class TestE2eSite : public QObject {
    Q_OBJECT
  private slots:
    void watchesASite() {
        test::BrokerProcess broker;
        QVERIFY(broker.start());
        struct Logger {
            QTemporaryDir config;
            test::SimProcess sim;
            QProcess process;
        };
        std::array<Logger, 2> loggers;
        const std::array<QStringList, 2> options{
            QStringList{"--carrier", "3:-50:3", "--radio-id", "alpha", "--points", "12"},
            QStringList{"--carrier", "7:-60", "--radio-id", "beta", "--center", "912", "--span",
                        "4.2", "--points", "20"}};
        std::array<sim::Scene, 2> scenes{sim::Scene({-95, 0, {{3, -50, 3}}, {}, 1, {}}),
                                         sim::Scene({-95, 0, {{7, -60, 1}}, {}, 1, {}})};
        for (std::size_t i = 0; i < loggers.size(); ++i) {
            Logger& l = loggers[i];
            QVERIFY(l.sim.start(options[i].mid(0, 2) + QStringList{"--noise-spread", "0"}));
            QVERIFY(test::writeSettingsFile(test::settingsFile(l.config.path()), l.sim.linkPath(),
                                            "Baud=11\n"));
            QVERIFY(
                test::startWithSettings(l.process, "kv3710-power", l.config.path(),
                                        QStringList{"--mqtt", broker.url()} + options[i].mid(2)));
        }
        Rig rig;
        QVERIFY(rig.start());
        SiteAddress address;
        QVERIFY(mqtt::parseMqttUrl(broker.url().toStdString(), address.url).empty());
        MainWindow& w = rig.open(
            [&](MainWindow& window) { QVERIFY(window.watchSite(address, "alpha").empty()); });
        const SiteWatch& site = *w.site()->site();
        const auto radio = [&](const char* name) { return site.radios().find(name); };
        const auto shows = [&](std::size_t which, int points) {
            const auto& trace = rig.state().trace;
            if (rig.state().settings.numberOfPoints != points || int(trace.size()) < points)
                return false;
            for (int i = 0; i < points; ++i)
                if (trace[std::size_t(i)].amplitudeDb != scenes[which].measure(i, {})) return false;
            return true;
        };
        std::uint64_t addedBeforeGap = 0;
        Script script;
        script
            .then("both listed with their bands",
                  [&] {
                      const SiteRadio* a = radio("alpha");
                      const SiteRadio* b = radio("beta");
                      return a && b && a->swept && b->swept && a->band.numberOfPoints == 12 &&
                             a->band.centerFrequency == 915.0f && a->band.span == 26.0f &&
                             b->band.numberOfPoints == 20 &&
                             qFuzzyCompare(b->band.centerFrequency, 912.0f) &&
                             qFuzzyCompare(b->band.span, 4.2f);
                  })
            .then("alpha's scene", [&] { return shows(0, 12); })
            .thenDo("switch to beta", [&] { w.site()->watchRadio("beta"); })
            .then("beta's scene on its band",
                  [&] {
                      return shows(1, 20) && w.site()->statusText().starts_with("beta, sweep ") &&
                             w.windowTitle().startsWith("beta at mqtt://127.0.0.1:");
                  })
            .thenDo("alpha laid over beta", [&] { w.site()->compareWith("alpha"); })
            .then("in a colour of its own",
                  [&] {
                      const QImage& image = w.surface().image();
                      const QRgb colour = toQColor(kv::Display::kCompareColour).rgb();
                      int count = 0;
                      for (int y = 0; y < image.height(); ++y)
                          for (int x = 0; x < image.width(); ++x)
                              count += image.pixel(x, y) == colour;
                      return count > 100;
                  })
            .thenDo("a sweep after a gap in seq",
                    [&] {
                        const std::vector<double> levels(20, -90);
                        addedBeforeGap = w.history().added();
                        script.expect(broker.publish("kv3710/beta/sweep",
                                                     QByteArray::fromStdString(formatSweepMessage(
                                                         rig.state().settings,
                                                         std::chrono::system_clock::now(), 1000000,
                                                         1, levels))),
                                      "published");
                    })
            .then("shows as a gap in the strip",
                  [&] {
                      // Among every row since, however many sweeps a slow machine let by.
                      const auto since = std::size_t(w.history().added() - addedBeforeGap);
                      for (std::size_t back = 0; back < std::min(w.history().size(), since);
                           ++back) {
                          const auto row = w.history().levels(back);
                          if (std::all_of(row.begin(), row.end(),
                                          [](float l) { return std::isnan(l); }))
                              return true;
                      }
                      return false;
                  })
            .thenDo("a message the logger does not write",
                    [&] {
                        script.expect(broker.publish("kv3710/beta/sweep",
                                                     R"({"time":"2026-01-01T00:00:00.000Z",)"
                                                     R"("seq":9999,"hz_low":431600000,)"
                                                     R"("hz_high":435800000,"hz_step":)"
                                                     R"(200000.00,"samples":1,"db":[-20]})"),
                                      "published");
                    })
            .then("counted", [&] { return site.dropped() == 1; })
            .thenDo("mark", [&] { rig.markSweep(); })
            .then("not drawn", [&] { return rig.sweptSinceMark() && shows(1, 20); })
            .thenDo("the broker stops", [&] { script.expect(broker.stop(), "broker stopped"); })
            .then("unreachable said",
                  [&] {
                      return w.site()->statusText().find("; site unreachable since ") !=
                             std::string::npos;
                  })
            .thenDo("the broker is back",
                    [&] { script.expect(broker.start(), "broker started"), rig.markSweep(); })
            .then("the trace resumes",
                  [&] { return rig.sweptSinceMark() && !site.unreachableSince() && shows(1, 20); })
            .thenDo("alpha's logger killed",
                    [&] { ::kill(pid_t(loggers[0].process.processId()), SIGKILL); })
            .then("alpha offline in the list",
                  [&] {
                      const auto items = w.findChild<QTreeWidget*>("Site_Radios")
                                             ->findItems("alpha", Qt::MatchExactly);
                      return radio("alpha")->status == SiteRadio::Status::Offline &&
                             items.size() == 1 && items[0]->text(1) == "offline";
                  })
            .thenDo("connected anew, to beta",
                    [&] {
                        script.expect(w.watchSite(address, "beta").empty(), "connected");
                        rig.markSweep();
                    })
            .then("beta again", [&] { return rig.sweptSinceMark() && shows(1, 20); });
        QVERIFY2(script.run(w, 90000), qPrintable(script.report()));
        QVERIFY(rig.sent().isEmpty());
        loggers[1].process.terminate();
        QVERIFY(loggers[1].process.waitForFinished(10000));
    }
};

QTEST_MAIN(TestE2eSite)
#include "test_e2e_site.moc"
