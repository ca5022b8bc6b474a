#include "e2e_rig.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>
#include <QTimer>
#include <ctime>

#include "image_surface.h"

namespace kv::e2e {

std::vector<WireEntry> readWireLog(const QString& path) {
    std::vector<WireEntry> log;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return log;
    while (!file.atEnd()) {
        const QByteArray line = file.readLine().trimmed();
        const QList<QByteArray> words = line.split(' ');
        if (words.size() < 2) continue;
        WireEntry e;
        e.ms = words[0].toDouble();
        if (words[1] == "--") {
            e.event = QString::fromUtf8(line.mid(line.indexOf("--") + 3));
        } else {
            e.kind = words[1] == "in" ? WireEntry::Kind::ToRadio : WireEntry::Kind::FromRadio;
            for (qsizetype i = 2; i < words.size(); ++i)
                if (!words[i].isEmpty())
                    e.bytes.append(static_cast<char>(words[i].toInt(nullptr, 16)));
        }
        log.push_back(std::move(e));
    }
    return log;
}

std::vector<WireEntry> sendsToRadio(const std::vector<WireEntry>& log, std::size_t from) {
    std::vector<WireEntry> sends;
    for (std::size_t i = from; i < log.size(); ++i)
        if (log[i].kind == WireEntry::Kind::ToRadio) sends.push_back(log[i]);
    return sends;
}

QByteArray bytesToRadio(const std::vector<WireEntry>& log, std::size_t from) {
    QByteArray sent;
    for (const WireEntry& e : sendsToRadio(log, from)) sent += e.bytes;
    return sent;
}

std::size_t findEvent(const std::vector<WireEntry>& log, const QString& prefix, std::size_t from) {
    for (std::size_t i = from; i < log.size(); ++i)
        if (log[i].kind == WireEntry::Kind::Event && log[i].event.startsWith(prefix)) return i;
    return log.size();
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

QByteArray wire::channel(int point) {
    QByteArray bytes(3, '\0');
    bytes[0] = '\xB1';
    bytes[1] = static_cast<char>(point);
    return bytes;
}

Script& Script::then(const QString& name, std::function<bool()> step) {
    steps_.push_back({name, std::move(step)});
    return *this;
}

Script& Script::thenDo(const QString& name, std::function<void()> action) {
    return then(name, [action = std::move(action)] {
        action();
        return true;
    });
}

bool Script::run(MainWindow& window, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    bool busy = false;
    bool timedOut = false;
    next_ = 0;
    QTimer tick;
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        // Closing the window yields to the event loop, which may bring this tick back.
        if (busy || window.unloaded()) return;
        busy = true;
        while (next_ < steps_.size() && steps_[next_].poll()) ++next_;
        if (!window.unloaded() && (next_ == steps_.size() || clock.elapsed() > timeoutMs)) {
            timedOut = next_ < steps_.size();
            window.close();
        }
        busy = false;
    });
    tick.start();
    // The condition is tested only between events of the outermost loop, that is once the
    // sweep, which runs nested in one of them, has returned.
    const bool ended = QTest::qWaitFor([&] { return window.unloaded(); }, timeoutMs + 20000);
    return ended && !timedOut && next_ == steps_.size();
}

QString Script::stoppedAt() const {
    return next_ < steps_.size() ? steps_[next_].name : QStringLiteral("(all steps done)");
}

double processCpuSeconds() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

double monotonicMs() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) * 1000 + static_cast<double>(t.tv_nsec) / 1e6;
}

namespace {
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
    if (!sim.start(simOptions)) return false;
    store.values[{"Ports", "COM1"}] = sim.linkPath().toStdString();
    return true;
}

void Rig::set(const std::string& key, const std::string& value) {
    store.values[{"Settings", key}] = value;
}

MainWindow& Rig::open() {
    window_ = std::make_unique<MainWindow>(
        AppServices{store, comm, loop, clock, messages, dialogs, "/opt/kv3710"});
    window_->load();
    window_->show();
    return *window_;
}

// Pixels in the message colour where the failure message is printed.
int Rig::messagePixels() const {
    const SettingValues& s = window_->state().settings;
    const ImageSurface& surface = window_->surface();
    const double x = s.graphLeft + 50;
    const double y = s.graphTop + 650;
    const QImage& image = surface.image();
    const QRgb colour = ImageSurface::toQColor(kMessageColour).rgb();
    const int right = std::min(image.width(), surface.toDevice(x + surface.textWidth(kMessage)));
    const int bottom = std::min(image.height(), surface.toDevice(y + surface.textHeight(kMessage)));
    int count = 0;
    for (int py = std::max(0, surface.toDevice(y)); py < bottom; ++py)
        for (int px = std::max(0, surface.toDevice(x)); px < right; ++px)
            count += image.pixel(px, py) == colour;
    return count;
}

bool Rig::messageShown() const {
    const auto& texts = window_->state().texts;
    return texts.commMessage == kMessage && texts.shownCommMessage == kMessage &&
           messagePixels() >= 100;
}

bool Rig::messageGone() const {
    const auto& texts = window_->state().texts;
    return texts.commMessage.empty() && texts.shownCommMessage.empty() && messagePixels() == 0;
}

bool Rig::sweptSinceMark() const {
    return window_->state().lastSweepEnd != markedSweepEnd_;
}

void Rig::markSweep() {
    markedSweepEnd_ = window_->state().lastSweepEnd;
}

}  // namespace kv::e2e
