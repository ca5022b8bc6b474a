// SPDX-License-Identifier: GPL-3.0-or-later
// kv3710-power: sweeps the KV3710 without a window and logs the band as CSV. See --help.
#include <fcntl.h>
#include <unistd.h>
#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTimer>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "alarm.h"
#include "alarm_message.h"
#include "ini_settings_backend.h"
#include "logger_outputs.h"
#include "mqtt_client.h"
#include "port_names.h"
#include "power_logger.h"
#include "power_options.h"
#include "qt_event_loop.h"
#include "qt_timer.h"
#include "radio_id.h"
#include "serial_comm.h"
#include "serial_ports.h"
#include "serial_setup.h"
#include "settings_store.h"
#include "spectrum_model.h"
#include "terminal_output.h"
#include "termination_signals.h"

namespace {

constexpr int kBadUse = 2;
// How long a stop waits for the broker to acknowledge what is queued.
constexpr std::chrono::seconds kMqttFlushLimit(3);

int fail(const std::string& text) {
    kv::power::writeAll(STDERR_FILENO, "kv3710-power: " + text + "\n");
    return kBadUse;
}

// The analyzer's settings, where --device names the device behind the port in use.
class DeviceOverride : public kv::SettingsBackend {
  public:
    DeviceOverride(const kv::SettingsBackend& store, std::string portKey,
                   std::optional<std::string> device)
        : store_(store), portKey_(std::move(portKey)), device_(std::move(device)) {}
    std::optional<std::string> read(const std::string& section,
                                    const std::string& key) const override {
        if (device_ && section == "Ports" && key == portKey_) return device_;
        return store_.read(section, key);
    }
    bool write(const std::string&, const std::string&, const std::string&) override {
        return false;  // the logger changes no settings
    }

  private:
    const kv::SettingsBackend& store_;
    std::string portKey_;
    std::optional<std::string> device_;
};

// The limit of --limit: a level, or the mask in a file, refused whole with the line and why.
std::optional<kv::Limit> readLimit(const kv::power::PowerOptions& options, std::string& error) {
    if (options.limitDb) return kv::Limit::level(*options.limitDb);
    std::ifstream file(*options.limitFile, std::ios::binary);
    std::string text(kv::kMaxMaskBytes + 1, '\0');
    file.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (!file.is_open() || file.bad()) {
        error = "cannot read " + *options.limitFile + ": " + std::strerror(errno);
        return std::nullopt;
    }
    text.resize(static_cast<std::size_t>(file.gcount()));
    kv::MaskLoad mask = kv::parseMask(text);
    if (!mask.error.empty()) {
        error = "the mask " + *options.limitFile + " is refused: " + mask.error;
        return std::nullopt;
    }
    return kv::Limit::mask(std::move(mask.corners));
}

std::string hostName() {
    std::array<char, 256> name{};
    return ::gethostname(name.data(), name.size() - 1) == 0 ? name.data() : "localhost";
}

}  // namespace

int main(int argc, char** argv) {
    // The logger reports its failures in its own lines on standard error; QT_LOGGING_RULES
    // still turns the categories on.
    QLoggingCategory::setFilterRules(QStringLiteral("kv3710.*.warning=false"));
    const std::vector<std::string> args(argv + 1, argv + argc);
    const kv::power::OptionsResult parsed = kv::power::parseOptions(args);
    if (!parsed.options) return fail(parsed.error + " (see kv3710-power --help)");
    const kv::power::PowerOptions& options = *parsed.options;
    if (options.help) {
        kv::power::writeAll(STDOUT_FILENO, kv::power::helpText());
        return 0;
    }
    if (options.version) {
        kv::power::writeAll(STDOUT_FILENO, "kv3710-power " KV_VERSION "\n");
        return 0;
    }
    // A reader that went away ends the logging like a signal, not by killing it mid-exchange.
    std::signal(SIGPIPE, SIG_IGN);
    QCoreApplication app(argc, argv);

    kv::IniSettingsBackend ini;
    kv::SharedState state;
    const kv::LoadResult loaded = kv::loadSettings(ini, state);
    if (!loaded.ok) {
        kv::power::writeAll(STDERR_FILENO, "kv3710-power: settings key \"" + loaded.failedKey +
                                               "\" is not valid; it and the keys after it "
                                               "take their defaults\n");
    }
    kv::SettingValues& settings = state.settings;
    if (options.centerMHz) settings.centerFrequency = *options.centerMHz;
    if (options.spanMHz) settings.span = *options.spanMHz;
    if (options.points) settings.numberOfPoints = static_cast<std::int16_t>(*options.points);
    if (options.port) settings.port = *options.port - 1;
    // The session turns a stored rate index into its rate.
    if (options.baud) settings.baud = std::to_string(*options.baud);
    if (settings.numberOfPoints < 1 || settings.numberOfPoints > kv::kMaxPoints) {
        return fail("the number of points must be 1 to " + std::to_string(kv::kMaxPoints));
    }
    kv::createTraceArrays(state);

    int lineFd = STDOUT_FILENO;
    std::string lineName = "standard output";
    const bool writeLines = !options.mqtt || options.outputNamed;
    if (writeLines && options.output != "-") {
        lineName = options.output;
        lineFd = ::open(options.output.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (lineFd < 0) return fail("cannot write " + options.output + ": " + std::strerror(errno));
    }

    DeviceOverride store(ini, "COM" + std::to_string(settings.port + 1), options.device);
    kv::SystemSerialDetector detector;
    kv::SerialComm comm(store, detector);
    kv::power::TerminalOutput output(lineFd, lineName,
                                     !options.quiet && ::isatty(STDERR_FILENO) == 1);

    std::optional<kv::Limit> limit;
    if (options.limitDb || options.limitFile) {
        std::string error;
        limit = readLimit(options, error);
        if (!limit) return fail(error);
    }

    std::unique_ptr<kv::mqtt::MqttClient> mqtt;
    std::string sweepTopic;
    std::string alarmTopic;
    if (options.mqtt) {
        kv::mqtt::BrokerSettings broker;
        std::string error;
        if (!kv::mqtt::readMqttPassword(options.mqttPasswordFile, options.mqtt->user.has_value(),
                                        broker.password, error))
            return fail(error);
        const std::string radio =
            options.radioId ? *options.radioId
                            : kv::power::defaultRadioId(
                                  detector.devices(),
                                  kv::devicePathForPort(store, settings.port + 1), hostName());
        const std::string topics = options.mqtt->prefix + '/' + radio + '/';
        sweepTopic = topics + "sweep";
        alarmTopic = topics + "alarm";
        broker.host = options.mqtt->host;
        broker.port = options.mqtt->port;
        broker.tls = options.mqtt->tls;
        broker.caFile = options.mqttCaFile.value_or("");
        broker.user = options.mqtt->user;
        broker.clientId = "kv3710-power-" + radio;
        broker.statusTopic = topics + "status";
        broker.queueLimit = options.mqttQueue.value_or(kv::power::kDefaultMqttQueue);
        // The network thread's lines reach standard error from the event loop, between two
        // exchanges, as the logger's own do.
        mqtt = std::make_unique<kv::mqtt::MqttClient>(
            std::move(broker), [&app, &output](const std::string& text) {
                QMetaObject::invokeMethod(
                    &app, [&output, text] { output.message(text); }, Qt::QueuedConnection);
            });
        if (!mqtt->error().empty()) return fail(mqtt->error());
    }
    kv::QtEventLoop loop;
    kv::SystemClock clock;
    kv::QtTimer timer1(kv::Radio::kReplyTimeoutMs);
    kv::QtTimer reopenTimer(kv::RadioSession::kReopenPeriodMs);
    kv::power::LineSink lines(output);
    kv::power::MessageSink messages(
        [&](std::string payload) { mqtt->publish(sweepTopic, std::move(payload)); });
    kv::power::LoggerConfig config;
    config.intervalSeconds = options.intervalSeconds;
    config.combine =
        options.peak ? kv::IntervalCombiner::Mode::Max : kv::IntervalCombiner::Mode::Mean;
    config.once = options.once;
    config.deviceName = [&comm] { return comm.devicePath(); };
    config.linesLost = [&lines] { return lines.lost(); };
    kv::power::PowerLogger logger(state, comm, timer1, reopenTimer, loop, clock, output, config);
    // The outputs of each interval (or sweep): lines to the file, messages to the broker.
    if (writeLines) logger.outputs().add(lines);
    if (mqtt) logger.outputs().add(messages);
    // The alarm follows every sweep; its occupancy starts again with each interval (-i).
    bool alarmPublished = false;
    const auto publishAlarm = [&](const kv::AlarmEvent& event) {
        alarmPublished = true;
        if (mqtt)
            mqtt->publish(alarmTopic, kv::power::formatAlarmMessage(event),
                          kv::mqtt::MqttClient::Retain::Yes);
    };
    std::optional<kv::AlarmSink> alarm;
    kv::power::IntervalStart intervalStart([&alarm] { alarm->clearOccupancy(); });
    if (limit) {
        alarm.emplace(*limit, options.alarmHold.value_or(kv::kDefaultAlarmHold),
                      options.alarmClearDb.value_or(kv::kDefaultAlarmClearDb),
                      [&](const kv::AlarmEvent& event) {
                          output.message(kv::alarmText(event));
                          publishAlarm(event);
                      });
        logger.sinks().add(*alarm);
        if (options.intervalSeconds) logger.outputs().add(intervalStart);
    }
    if (!logger.openPort()) {
        const std::string device = comm.devicePath().empty()
                                       ? "COM" + std::to_string(settings.port + 1)
                                       : comm.devicePath();
        return fail("cannot open " + device + " at " + settings.baud +
                    " baud: " + comm.lastError());
    }

    if (mqtt) mqtt->start();

    kv::TerminationSignals termination([&logger] { logger.requestStop(); });
    QTimer end;
    end.setSingleShot(true);
    QObject::connect(&end, &QTimer::timeout, [&logger] { logger.requestStop(); });
    if (options.duration) end.start(options.duration->count());

    const int result = logger.run();
    // The retained alarm claims nothing once the logger has gone, also one a killed run left.
    if (alarm && (alarm->active() || !alarmPublished)) {
        const kv::AlarmEvent event = alarm->current(false);
        if (alarm->active()) output.message(kv::alarmText(event));
        publishAlarm(event);
    }
    if (mqtt) {
        const kv::mqtt::MqttClient::Summary left = mqtt->stop(kMqttFlushLimit);
        QCoreApplication::sendPostedEvents();  // the network thread's last lines
        if (left.undelivered > 0 || left.dropped > 0) {
            output.message(
                "MQTT messages not delivered at the stop: " + std::to_string(left.undelivered) +
                "; dropped while the queue was full: " + std::to_string(left.dropped));
        }
    }
    if (lineFd != STDOUT_FILENO) ::close(lineFd);
    return result;
}
