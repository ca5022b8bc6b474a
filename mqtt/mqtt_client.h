// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "outbound_queue.h"

struct mosquitto;
struct mosquitto_message;

namespace kv::mqtt {

struct BrokerSettings {
    std::string host;
    int port = 1883;
    bool tls = false;
    std::string caFile;  // with TLS; empty: the system's trusted certificates
    std::optional<std::string> user;
    std::optional<std::string> password;
    std::string clientId;
    // Retained "online" on each connection, "offline" as the last will and at a clean stop;
    // none when empty.
    std::string statusTopic;
    // Subscribed (QoS 1) on each connection.
    std::vector<std::string> subscriptions;
    std::size_t queueLimit = 10000;
};

// Publishes QoS 1 messages to one broker from a thread of its own, so that a connect, a
// name lookup, a TLS handshake or a broker that has gone never holds up the caller. Messages
// wait in an OutboundQueue until the broker acknowledges them, across reconnections, which
// follow a failure after 1 s, then 2, 4, ... up to 30 s. Each connection starts from a fresh
// libmosquitto handle, so the queue is the only copy that outlives one.
class MqttClient {
  public:
    // A line for standard error; called on the network thread or the publishing one.
    using Notice = std::function<void(const std::string&)>;

    // Applies the settings to the first connection without connecting; error() says why
    // they cannot be used (a CA file that cannot be read, for one).
    MqttClient(BrokerSettings settings, Notice notice);
    // What the network thread hands on: each message of the subscriptions, and each
    // connection the broker accepted (true) or that failed or ended (false).
    struct Listener {
        std::function<void(const std::string& topic, std::string_view payload)> message;
        std::function<void(bool connected)> connection;
    };
    // Before start().
    void listen(Listener listener) { listener_ = std::move(listener); }
    ~MqttClient();
    MqttClient(const MqttClient&) = delete;
    MqttClient& operator=(const MqttClient&) = delete;

    const std::string& error() const { return error_; }
    // Starts connecting.
    void start();
    // Queues a message and returns at once. A retained one is what the broker gives whoever
    // subscribes later (the state of an alarm).
    enum class Retain { No, Yes };
    void publish(std::string topic, std::string payload, Retain retain = Retain::No);

    struct Summary {
        std::size_t undelivered = 0;  // of those given to publish()
        std::uint64_t dropped = 0;
    };
    // Queues the retained "offline", waits up to `flushLimit` for the broker to acknowledge
    // everything and disconnects. What is still unacknowledged then is counted, and the
    // connection closed without a goodbye, so that the broker publishes the last will.
    Summary stop(std::chrono::milliseconds flushLimit);

  private:
    using Clock = std::chrono::steady_clock;
    struct HandleDeleter {
        void operator()(mosquitto* handle) const;
    };
    using Handle = std::unique_ptr<mosquitto, HandleDeleter>;
    enum class Trouble { None, Unreachable, Refused };

    // Wakes the network thread out of its poll.
    class WakeEvent {
      public:
        WakeEvent();
        ~WakeEvent();
        WakeEvent(const WakeEvent&) = delete;
        WakeEvent& operator=(const WakeEvent&) = delete;
        void signal() const;
        void drain() const;
        int fd() const { return fd_; }

      private:
        int fd_;
    };

    Handle makeHandle(std::string& error);
    void run();
    // One connection, until it ends; true when the broker accepted it.
    bool serve(mosquitto* handle);
    void sendWaiting(mosquitto* handle);
    bool queueEmpty();
    // Waits out the backoff; returns early on a stop.
    void pause(Clock::duration delay);
    void report(Trouble trouble, const std::string& reason);
    std::string brokerName() const;

    static void onConnect(mosquitto* handle, void* client, int code);
    static void onPublish(mosquitto* handle, void* client, int mid);
    static void onMessage(mosquitto* handle, void* client, const mosquitto_message* message);

    BrokerSettings settings_;
    Notice notice_;
    Listener listener_;
    std::string error_;
    Handle first_;
    WakeEvent wake_;
    std::thread thread_;
    std::atomic<bool> stopping_ = false;
    Clock::time_point stopDeadline_;  // written before stopping_ is set

    std::mutex mutex_;
    OutboundQueue queue_;  // guarded by mutex_

    // The network thread's own.
    bool accepted_ = false;
    std::string refusal_;
    Trouble reported_ = Trouble::None;
};

}  // namespace kv::mqtt
