// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt_client.h"

#include <mosquitto.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>

namespace kv::mqtt {

namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

constexpr int kKeepAliveSeconds = 30;
constexpr auto kFirstRetry = seconds(1);
constexpr auto kLastRetry = seconds(30);
// A broker that takes longer to accept a connection is taken to be unreachable.
constexpr auto kConnectLimit = seconds(15);
// In flight at once, below libmosquitto's own limit of 20 so that "online" always fits.
constexpr std::size_t kWindow = 16;
constexpr milliseconds kPollPeriod(1000);
constexpr std::string_view kOnline = "online";
constexpr std::string_view kOffline = "offline";
constexpr auto kSystemCertificates = "/etc/ssl/certs";

// libmosquitto's own set-up, once for the process, undone at its end.
struct Library {
    Library() { mosquitto_lib_init(); }
    ~Library() { mosquitto_lib_cleanup(); }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;
};

// The library's words without their full stop, as the logger's lines have none.
std::string withoutStop(std::string text) {
    if (text.ends_with('.')) text.pop_back();
    return text;
}

std::string reasonOf(int code) {
    return withoutStop(code == MOSQ_ERR_ERRNO ? std::strerror(errno) : mosquitto_strerror(code));
}

int pollTimeout(milliseconds limit) {
    return static_cast<int>(std::clamp(limit, milliseconds(0), kPollPeriod).count());
}

milliseconds until(std::chrono::steady_clock::time_point when) {
    return std::chrono::duration_cast<milliseconds>(when - std::chrono::steady_clock::now());
}

}  // namespace

void MqttClient::HandleDeleter::operator()(mosquitto* handle) const {
    mosquitto_destroy(handle);
}

MqttClient::WakeEvent::WakeEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

MqttClient::WakeEvent::~WakeEvent() {
    if (fd_ >= 0) ::close(fd_);
}

void MqttClient::WakeEvent::signal() const {
    const std::uint64_t one = 1;
    // A full counter still wakes the poll.
    [[maybe_unused]] const auto written = ::write(fd_, &one, sizeof one);
}

void MqttClient::WakeEvent::drain() const {
    std::uint64_t count = 0;
    [[maybe_unused]] const auto read = ::read(fd_, &count, sizeof count);
}

MqttClient::MqttClient(BrokerSettings settings, Notice notice)
    : settings_(std::move(settings)), notice_(std::move(notice)), queue_(settings_.queueLimit) {
    static const Library library;
    if (wake_.fd() < 0) {
        error_ = std::string("cannot create an event descriptor: ") + std::strerror(errno);
        return;
    }
    first_ = makeHandle(error_);
}

MqttClient::~MqttClient() {
    stop(milliseconds(0));
}

MqttClient::Handle MqttClient::makeHandle(std::string& error) {
    Handle handle(mosquitto_new(settings_.clientId.c_str(), true, this));
    if (!handle) {
        error = std::string("cannot create an MQTT client: ") + std::strerror(errno);
        return {};
    }
    mosquitto* h = handle.get();
    const auto optional = [](const std::optional<std::string>& text) {
        return text ? text->c_str() : nullptr;
    };
    int code = mosquitto_int_option(h, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    if (code == MOSQ_ERR_SUCCESS && settings_.user) {
        code = mosquitto_username_pw_set(h, settings_.user->c_str(), optional(settings_.password));
    }
    if (code == MOSQ_ERR_SUCCESS && settings_.tls) {
        const bool own = !settings_.caFile.empty();
        code = mosquitto_tls_set(h, own ? settings_.caFile.c_str() : nullptr,
                                 own ? nullptr : kSystemCertificates, nullptr, nullptr, nullptr);
        if (code == MOSQ_ERR_INVAL) {
            error = "cannot read the CA file " + settings_.caFile;
            return {};
        }
    }
    if (code == MOSQ_ERR_SUCCESS && !settings_.statusTopic.empty()) {
        code = mosquitto_will_set(h, settings_.statusTopic.c_str(),
                                  static_cast<int>(kOffline.size()), kOffline.data(), 1, true);
    }
    if (code != MOSQ_ERR_SUCCESS) {
        error = "cannot set up the MQTT client: " + reasonOf(code);
        return {};
    }
    mosquitto_connect_callback_set(h, &MqttClient::onConnect);
    mosquitto_publish_callback_set(h, &MqttClient::onPublish);
    mosquitto_message_callback_set(h, &MqttClient::onMessage);
    return handle;
}

void MqttClient::start() {
    thread_ = std::thread([this] { run(); });
}

void MqttClient::publish(std::string topic, std::string payload, Retain retain) {
    bool dropping = false;
    {
        const std::lock_guard lock(mutex_);
        dropping = queue_.push({std::move(topic), std::move(payload), retain == Retain::Yes});
    }
    if (dropping) {
        notice_("the MQTT queue is full (" + std::to_string(settings_.queueLimit) +
                " messages): dropping the oldest until " + brokerName() + " takes them");
    }
    wake_.signal();
}

MqttClient::Summary MqttClient::stop(milliseconds flushLimit) {
    if (thread_.joinable()) {
        {
            const std::lock_guard lock(mutex_);
            if (!settings_.statusTopic.empty())
                queue_.push({settings_.statusTopic, std::string(kOffline), true});
            stopDeadline_ = Clock::now() + flushLimit;
        }
        stopping_ = true;
        wake_.signal();
        thread_.join();
    }
    const std::lock_guard lock(mutex_);
    // The "offline" came last: while it waits, so does everything before it.
    const std::size_t left = queue_.size();
    const bool offlineLeft = left > 0 && stopping_ && !settings_.statusTopic.empty();
    return {offlineLeft ? left - 1 : left, queue_.dropped()};
}

std::string MqttClient::brokerName() const {
    const bool numeric6 = settings_.host.find(':') != std::string::npos;
    return (settings_.tls ? "mqtts://" : "mqtt://") +
           (numeric6 ? '[' + settings_.host + ']' : settings_.host) + ':' +
           std::to_string(settings_.port);
}

void MqttClient::report(Trouble trouble, const std::string& reason) {
    // Once while the kind of trouble stays the same: a refused login is said even after the
    // broker was first unreachable.
    if (trouble == reported_) return;
    reported_ = trouble;
    notice_(brokerName() + ": " + reason + "; retrying");
}

void MqttClient::run() {
    Clock::duration retry = kFirstRetry;
    while (!stopping_) {
        std::string error;
        Handle handle = first_ ? std::move(first_) : makeHandle(error);
        if (!handle) {
            report(Trouble::Unreachable, error);
        } else if (const int code = mosquitto_connect_async(handle.get(), settings_.host.c_str(),
                                                            settings_.port, kKeepAliveSeconds);
                   code != MOSQ_ERR_SUCCESS) {
            report(Trouble::Unreachable, reasonOf(code));
        } else if (serve(handle.get())) {
            retry = kFirstRetry;
        }
        if (listener_.connection && !stopping_) listener_.connection(false);
        {
            const std::lock_guard lock(mutex_);
            queue_.connectionLost();
        }
        // Destroying the handle closes a connection without a DISCONNECT: the broker then
        // publishes the last will.
        handle.reset();
        if (stopping_) break;
        pause(retry);
        retry = std::min<Clock::duration>(retry * 2, kLastRetry);
    }
}

bool MqttClient::serve(mosquitto* handle) {
    const auto begun = Clock::now();
    accepted_ = false;
    refusal_.clear();
    bool disconnecting = false;
    while (mosquitto_socket(handle) >= 0) {
        milliseconds limit = kPollPeriod;
        if (stopping_) {
            limit = until(stopDeadline_);
            if (limit <= milliseconds(0)) break;
        }
        if (!accepted_ && Clock::now() - begun > kConnectLimit) {
            report(Trouble::Unreachable, "no answer");
            break;
        }
        if (accepted_ && !disconnecting) {
            sendWaiting(handle);
            if (stopping_ && queueEmpty()) {
                disconnecting = true;
                mosquitto_disconnect(handle);
                continue;
            }
        }
        const int socket = mosquitto_socket(handle);
        if (socket < 0) break;
        std::array<pollfd, 2> fds{{{socket, POLLIN, 0}, {wake_.fd(), POLLIN, 0}}};
        if (mosquitto_want_write(handle)) fds[0].events |= POLLOUT;
        if (::poll(fds.data(), fds.size(), pollTimeout(limit)) < 0 && errno != EINTR) {
            report(Trouble::Unreachable, std::strerror(errno));
            break;
        }
        if (fds[1].revents & POLLIN) wake_.drain();
        int code = MOSQ_ERR_SUCCESS;
        if (fds[0].revents & (POLLIN | POLLERR | POLLHUP)) code = mosquitto_loop_read(handle, 1);
        if (code == MOSQ_ERR_SUCCESS && (fds[0].revents & POLLOUT)) {
            code = mosquitto_loop_write(handle, 1);
        }
        if (code == MOSQ_ERR_SUCCESS) code = mosquitto_loop_misc(handle);
        if (code != MOSQ_ERR_SUCCESS) {
            if (!refusal_.empty()) {
                report(Trouble::Refused, refusal_);
            } else if (!disconnecting) {
                report(Trouble::Unreachable, reasonOf(code));
            }
            break;
        }
    }
    return accepted_;
}

void MqttClient::sendWaiting(mosquitto* handle) {
    const std::lock_guard lock(mutex_);
    while (const OutboundMessage* message = queue_.nextToSend(kWindow)) {
        int mid = 0;
        // Copies the message and writes what the socket takes; never waits.
        if (mosquitto_publish(handle, &mid, message->topic.c_str(),
                              static_cast<int>(message->payload.size()), message->payload.data(), 1,
                              message->retain) != MOSQ_ERR_SUCCESS) {
            return;  // the loop sees the connection's end
        }
        queue_.sent(mid);
    }
}

bool MqttClient::queueEmpty() {
    const std::lock_guard lock(mutex_);
    return queue_.size() == 0;
}

void MqttClient::pause(Clock::duration delay) {
    const auto end = Clock::now() + delay;
    while (!stopping_) {
        const auto left = until(end);
        if (left <= milliseconds(0)) return;
        pollfd wake{wake_.fd(), POLLIN, 0};
        if (::poll(&wake, 1, pollTimeout(left)) > 0) wake_.drain();
    }
}

void MqttClient::onConnect(mosquitto* handle, void* object, int code) {
    auto& client = *static_cast<MqttClient*>(object);
    if (code != 0) {
        client.refusal_ = withoutStop(mosquitto_connack_string(code));
        return;
    }
    client.accepted_ = true;
    client.reported_ = Trouble::None;
    // Not queued: every connection says it again, ahead of the messages that waited.
    if (!client.settings_.statusTopic.empty())
        mosquitto_publish(handle, nullptr, client.settings_.statusTopic.c_str(),
                          static_cast<int>(kOnline.size()), kOnline.data(), 1, true);
    // A clean session forgets them with the connection.
    for (const std::string& topic : client.settings_.subscriptions)
        mosquitto_subscribe(handle, nullptr, topic.c_str(), 1);
    if (client.listener_.connection) client.listener_.connection(true);
}

void MqttClient::onMessage(mosquitto*, void* object, const mosquitto_message* message) {
    const auto& client = *static_cast<MqttClient*>(object);
    if (!client.listener_.message || !message->topic) return;
    client.listener_.message(message->topic,
                             {static_cast<const char*>(message->payload),
                              static_cast<std::size_t>(std::max(message->payloadlen, 0))});
}

void MqttClient::onPublish(mosquitto*, void* object, int mid) {
    auto& client = *static_cast<MqttClient*>(object);
    const std::lock_guard lock(client.mutex_);
    client.queue_.acknowledged(mid);
}

}  // namespace kv::mqtt
