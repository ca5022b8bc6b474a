#include "e2e_rig.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QInputDevice>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <ctime>

#include "image_surface.h"
#include "surface_view.h"

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
            e.kind = WireEntry::Kind::Event;
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

QByteArray bytesToRadio(const std::vector<WireEntry>& log, std::size_t from) {
    QByteArray sent;
    for (std::size_t i = from; i < log.size(); ++i)
        if (log[i].kind == WireEntry::Kind::ToRadio) sent += log[i].bytes;
    return sent;
}

std::vector<WireEntry> sendsToRadio(const std::vector<WireEntry>& log, std::size_t from) {
    std::vector<WireEntry> sends;
    for (std::size_t i = from; i < log.size(); ++i)
        if (log[i].kind == WireEntry::Kind::ToRadio) sends.push_back(log[i]);
    return sends;
}

std::size_t findEvent(const std::vector<WireEntry>& log, const QString& prefix) {
    for (std::size_t i = 0; i < log.size(); ++i)
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

void Checks::expect(bool condition, const QString& what) {
    if (!condition && !failures_.contains(what)) failures_ << what;
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
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        // Closing the window yields to the event loop, which may bring this tick back.
        if (busy || window.unloaded()) return;
        busy = true;
        while (next_ < steps_.size() && steps_[next_].poll()) ++next_;
        if (!window.unloaded()) {
            if (next_ == steps_.size()) {
                window.close();
            } else if (clock.elapsed() > timeoutMs) {
                timedOut = true;
                window.close();
            }
        }
        busy = false;
    });
    tick.start();
    // The condition is tested only between events of the outermost loop, that is once the
    // sweep, which runs nested in one of them, has returned.
    const bool ended = QTest::qWaitFor([&] { return window.unloaded(); }, timeoutMs + 20000);
    tick.stop();
    return ended && !timedOut && next_ == steps_.size();
}

QString Script::stoppedAt() const {
    if (next_ >= steps_.size()) return QStringLiteral("(all steps done)");
    return steps_[next_].name;
}

KeyProbe::KeyProbe(QWidget* target, int qtKey, std::chrono::milliseconds period)
    : target_(target), key_(qtKey), period_(period) {}

KeyProbe::~KeyProbe() {
    stop();
}

void KeyProbe::start() {
    if (running_) return;
    target_->installEventFilter(this);
    running_ = true;
    // Looked up here: the first lookup creates the device object, which belongs to this thread.
    const QInputDevice* keyboard = QInputDevice::primaryKeyboard();
    poster_ = std::thread([this, keyboard] {
        while (running_) {
            auto* press = new QKeyEvent(QEvent::KeyPress, key_, Qt::NoModifier, 0, 0, 0, QString(),
                                        false, 1, keyboard);
            press->setTimestamp(static_cast<quint64>(monotonicMs()));
            QCoreApplication::postEvent(target_, press);
            std::this_thread::sleep_for(period_);
        }
    });
}

void KeyProbe::stop() {
    if (!running_) return;
    running_ = false;
    poster_.join();
    target_->removeEventFilter(this);
}

bool KeyProbe::eventFilter(QObject* watched, QEvent* event) {
    if (watched == target_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == key_) {
            ++delivered_;
            worstMs_ = std::max(worstMs_, monotonicMs() - static_cast<double>(key->timestamp()));
        }
    }
    return false;
}

bool startAnalyzer(QProcess& process, const QString& configHome) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    process.setProcessEnvironment(env);
    process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    process.start(test::SimProcess::executable(QStringLiteral("kv3710-analyzer")), {});
    return process.waitForStarted(5000);
}

QString settingsFile(const QString& configHome) {
    return configHome + QStringLiteral("/KV3710 Spectrum Analyzer.exe.ini");
}

bool writeSettingsFile(const QString& path, const QString& device, const QByteArray& settings) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray text = "[Ports]\nCOM1=" + device.toUtf8() + "\n\n[Settings]\n" + settings;
    return file.write(text) == text.size();
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

Rig::Rig() {
    set("Message Color", std::to_string(kMessageColour));
}

Rig::~Rig() {
    window_.reset();
    sim.stop();
}

bool Rig::start(const QStringList& simOptions) {
    if (!sim.start(QStringList{QStringLiteral("--log"), wireLogPath()} + simOptions)) return false;
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

QString Rig::wireLogPath() const {
    return sim.folder() + QStringLiteral("/wire.log");
}

std::string Rig::expectedMessage() const {
    return "Communication failure.  Hardware is COM1 and baud rate is 115200.  RTS mode should "
           "be disabled in the radio.";
}

int Rig::messagePixels() const {
    const SharedState& s = window_->state();
    const ImageSurface& surface = window_->surface();
    const std::string text = expectedMessage();
    const double x = s.settings.graphLeft + 50;
    const double y = s.settings.graphTop + 650;
    const QImage& image = surface.image();
    const QRgb colour = ImageSurface::toQColor(kMessageColour).rgb();
    const int left = std::max(0, surface.toDevice(x));
    const int top = std::max(0, surface.toDevice(y));
    const int right = std::min(image.width(), surface.toDevice(x + surface.textWidth(text)));
    const int bottom = std::min(image.height(), surface.toDevice(y + surface.textHeight(text)));
    int count = 0;
    for (int py = top; py < bottom; ++py)
        for (int px = left; px < right; ++px)
            if (image.pixel(px, py) == colour) ++count;
    return count;
}

bool Rig::messageShown() const {
    const auto& texts = window_->state().texts;
    return texts.commMessage == expectedMessage() && texts.shownCommMessage == expectedMessage() &&
           messagePixels() >= kMinMessagePixels;
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
