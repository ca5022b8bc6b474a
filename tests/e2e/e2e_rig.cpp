#include "e2e_rig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSettings>
#include <QTest>
#include <QTimer>

#include "image_surface.h"
#include "qt_colour.h"

namespace kv::e2e {

std::vector<WireEntry> readWireLog(const QString& path) {
    std::vector<WireEntry> log;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return log;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 2 || words[1] == "--") continue;  // an event, not bytes
        WireEntry& e = log.emplace_back(WireEntry{words[0].toDouble(), words[1] == "in", {}});
        for (qsizetype i = 2; i < words.size(); ++i)
            if (!words[i].isEmpty()) e.bytes.append(char(words[i].toInt(nullptr, 16)));
    }
    return log;
}

std::vector<WireEntry> sendsToRadio(const std::vector<WireEntry>& log, std::size_t from) {
    std::vector<WireEntry> sends;
    for (std::size_t i = from; i < log.size(); ++i)
        if (log[i].toRadio) sends.push_back(log[i]);
    return sends;
}

QByteArray bytesToRadio(const std::vector<WireEntry>& log, std::size_t from) {
    QByteArray sent;
    for (const WireEntry& e : sendsToRadio(log, from)) sent += e.bytes;
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

Script& Script::thenDo(const QString& name, std::function<void()> action) {
    return then(name, [action = std::move(action)] {
        action();
        return true;
    });
}

void Script::expect(bool condition, const QString& what) {
    if (!condition && !failures_.contains(what)) failures_ << what;
}

bool Script::run(MainWindow& window, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    bool busy = false;
    next_ = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        // Closing the window yields to the event loop, which may bring this tick back.
        if (busy || window.unloaded()) return;
        busy = true;
        while (next_ < steps_.size() && steps_[next_].second()) ++next_;
        if (!window.unloaded() && (next_ == steps_.size() || clock.elapsed() > timeoutMs)) {
            if (next_ < steps_.size()) failures_ << "stopped at: " + steps_[next_].first;
            window.close();
        }
        busy = false;
    });
    tick.start();
    // The condition is tested only between events of the outermost loop, that is once the
    // sweep, which runs nested in one of them, has returned.
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

QString closedCleanly(QProcess& analyzer, test::SimProcess& sim, const QString& file) {
    if (!analyzer.waitForFinished(10000) || analyzer.exitStatus() != QProcess::NormalExit ||
        analyzer.exitCode() != 0)
        return "no normal exit";
    // The simulator may still be taking in the last bytes.
    const auto released = [&] {
        const auto sent = sendsToRadio(readWireLog(sim.wireLogPath()));
        return sent.size() >= 2 && sent[sent.size() - 2].bytes == wire::kExit &&
               sent.back().bytes == wire::kResume && sim.command("stats").contains("mode=data");
    };
    if (!QTest::qWaitFor(released, 3000)) return "the radio was left in command mode";
    return holdsNewSettings(file, sim.linkPath()) ? QString() : "settings not saved";
}

namespace {
constexpr Colour kMessageColour = 0x00FFFF;  // yellow
const std::string kMessage =
    "Communication failure.  Hardware is COM1 and baud rate is 115200.  RTS mode should be "
    "disabled in the radio.";
}  // namespace

Rig::Rig() {
    set("Message Color", std::to_string(kMessageColour));
}

Rig::~Rig() {
    window_.reset();
    sim.stop();
}

bool Rig::start(const QStringList& simOptions) {
    store.values[{"Ports", "COM1"}] = sim.linkPath().toStdString();
    return sim.start(simOptions);
}

void Rig::set(const std::string& key, const std::string& value) {
    store.values[{"Settings", key}] = value;
}

MainWindow& Rig::open() {
    window_ = std::make_unique<MainWindow>(
        AppServices{store, comm, machine, loop, clock, messages, dialogs, "/opt/kv3710"});
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
    const auto& texts = window_->state().texts;
    return texts.commMessage == kMessage && texts.shownCommMessage == kMessage &&
           messagePixels(kMessage) >= 100;
}

bool Rig::messageGone() const {
    const auto& texts = window_->state().texts;
    return texts.commMessage.empty() && texts.shownCommMessage.empty() &&
           messagePixels(kMessage) == 0;
}

}  // namespace kv::e2e
