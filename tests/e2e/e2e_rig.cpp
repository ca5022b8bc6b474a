// SPDX-License-Identifier: GPL-3.0-or-later
#include "e2e_rig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "image_surface.h"
#include "qt_colour.h"

namespace kv::e2e {

QByteArray sentToRadio(const QString& wireLog) {
    QByteArray sent;
    QFile file(wireLog);
    if (!file.open(QIODevice::ReadOnly)) return sent;
    while (!file.atEnd()) {
        const QList<QByteArray> words = file.readLine().trimmed().split(' ');
        if (words.size() < 2 || words[1] != "in") continue;  // from the radio, or an event
        for (qsizetype i = 2; i < words.size(); ++i)
            if (!words[i].isEmpty()) sent.append(char(words[i].toInt(nullptr, 16)));
    }
    return sent;
}

bool containsInOrder(const QByteArray& haystack, const std::vector<QByteArray>& needles) {
    qsizetype at = 0;
    for (const QByteArray& needle : needles) {
        at = haystack.indexOf(needle, at);
        if (at < 0) return false;
        at += needle.size();
    }
    return true;
}

Script& Script::then(const QString& name, std::function<bool()> step) {
    steps_.emplace_back(name, std::move(step));
    return *this;
}

Script& Script::thenDo(const QString& name, const std::function<void()>& action) {
    return then(name, [action] { return action(), true; });
}

void Script::expect(bool condition, const QString& what) {
    if (!condition && !failures_.contains(what)) failures_ << what;
}

bool Script::run(MainWindow& window, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    bool busy = false;
    std::size_t next = 0;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, [&] {
        // Closing the window yields to the event loop, which may bring this tick back.
        if (busy || window.unloaded()) return;
        busy = true;
        while (next < steps_.size() && steps_[next].second()) ++next;
        if (!window.unloaded() && (next == steps_.size() || clock.elapsed() > timeoutMs)) {
            if (next < steps_.size()) failures_ << "stopped at: " + steps_[next].first;
            window.close();
        }
        busy = false;
    });
    tick.start(10);
    // Tested only between events of the outermost loop: once the nested sweep has returned.
    return QTest::qWaitFor([&] { return window.unloaded(); }, timeoutMs + 20000) &&
           failures_.isEmpty();
}

bool holdsNewSettings(const QString& file, const QString& device) {
    QSettings s(file, QSettings::IniFormat);
    QStringList values;
    for (const char* key :
         {"Ports/COM1", "Settings/Graph Top", "Settings/Port", "Settings/Center Frequency",
          "Settings/Span", "Settings/Amplitude", "Settings/Attenuator"})
        values << s.value(key).toString();
    return s.status() == QSettings::NoError &&
           values == QStringList{device, "500", "0", "915", "26", "-40", "0"};
}

bool radioReleased(test::SimProcess& sim) {
    return sentToRadio(sim.wireLogPath()).endsWith(wire::kExit + wire::kResume) &&
           sim.command("stats").contains("mode=data");
}

QString closedCleanly(QProcess& analyzer, test::SimProcess& sim, const QString& file) {
    if (!analyzer.waitForFinished(10000) || analyzer.exitStatus() != QProcess::NormalExit ||
        analyzer.exitCode() != 0)
        return "no normal exit";
    // The simulator may still be taking in the last bytes.
    if (!QTest::qWaitFor([&] { return radioReleased(sim); }, 3000))
        return "the radio was left in command mode";
    return holdsNewSettings(file, sim.linkPath()) ? QString() : "settings not saved";
}

namespace {
constexpr Colour kMessageColour = 0x00FFFF;  // yellow
const std::string kMessage =
    "Communication failure.  Hardware is COM1 and baud rate is 115200.  RTS mode should be "
    "disabled in the radio.";
}  // namespace

Rig::Rig() {
    store.values[{"Settings", "Message Color"}] = std::to_string(kMessageColour);
}

bool Rig::start(const QStringList& simOptions) {
    store.values[{"Ports", "COM1"}] = sim.linkPath().toStdString();
    return sim.start(simOptions);
}

MainWindow& Rig::open(const std::function<void(MainWindow&)>& beforeLoad) {
    window_ = std::make_unique<MainWindow>(
        AppServices{store, comm, machine, loop, clock, messages, dialogs, "/opt/kv3710"});
    if (beforeLoad) beforeLoad(*window_);
    window_->load();
    window_->show();
    return *window_;
}

int Rig::messagePixels(const std::string& text) const {
    const SharedState& s = window_->state();
    const ImageSurface& surface = window_->surface();
    const double x = s.settings.graphLeft + 50;
    const double y = s.settings.graphTop + 650;
    const QImage& image = surface.image();
    const QRgb colour = toQColor(kMessageColour).rgb();
    const int right = std::min(image.width(), surface.toDevice(x + surface.textWidth(text)));
    const int bottom = std::min(image.height(), surface.toDevice(y + surface.textHeight(text)));
    int count = 0;
    for (int py = std::max(0, surface.toDevice(y)); py < bottom; ++py)
        for (int px = std::max(0, surface.toDevice(x)); px < right; ++px)
            count += image.pixel(px, py) == colour;
    return count;
}

bool Rig::messageShown() const {
    return messageShown(kMessage);
}

bool Rig::messageShown(const std::string& text) const {
    const auto& texts = window_->state().texts;
    return texts.commMessage == text && texts.shownCommMessage == text &&
           messagePixels(text) >= 100;
}

bool Rig::messageGone() const {
    const auto& texts = window_->state().texts;
    return texts.commMessage.empty() && texts.shownCommMessage.empty() && !messagePixels(kMessage);
}

}  // namespace kv::e2e
