// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "mqtt_client.h"
#include "mqtt_url.h"
#include "site_radios.h"
#include "sweep_source.h"

namespace kv {

// Where a site's radios publish, and how to log in there.
struct SiteAddress {
    mqtt::MqttUrl url;
    std::string caFile;  // with TLS; empty: the system's trusted certificates
    std::optional<std::string> password;
};

// The radios of one site, read from the broker on the client's own thread and handed to this
// object's thread by queued calls, so that a slow or absent broker never holds up the window.
// Keeps the list of radios, counts the sweep messages it drops and hands each radio's sweeps,
// as a Sweep, to whoever follows that radio.
class SiteWatch : public QObject {
    Q_OBJECT
  public:
    explicit SiteWatch(SiteAddress address, QObject* parent = nullptr);
    ~SiteWatch() override;

    // Why the broker cannot be tried (a CA file that cannot be read); empty once it is being.
    const std::string& error() const { return error_; }
    // "mqtt://HOST:PORT/PREFIX", without the user.
    std::string name() const;

    const SiteRadios& radios() const { return radios_; }
    // Sweep messages that were not what the logger writes, dropped.
    std::uint64_t dropped() const { return dropped_; }
    // When the broker was first found unreachable since the last connection, or nothing
    // while connected (and before the first attempt has ended).
    const std::optional<std::chrono::system_clock::time_point>& unreachableSince() const {
        return unreachableSince_;
    }
    // "site unreachable since HH:MM:SS", or empty.
    std::string unreachableText() const;

    using Receiver = std::function<void(const Sweep&)>;
    // From now on hands each new sweep of `radio` to `receiver`; the number undoes it.
    int follow(const std::string& radio, Receiver receiver);
    void unfollow(int id);

  signals:
    // A radio came or changed its state, a message was dropped, or the connection changed;
    // not for each sweep.
    void changed();

  private:
    void take(const std::string& topic, const std::string& payload);
    void takeSweep(const std::string& radio, const SweepMessage& message);

    SiteAddress address_;
    std::string error_;
    SiteRadios radios_;
    std::uint64_t dropped_ = 0;
    std::optional<std::chrono::system_clock::time_point> unreachableSince_;
    std::map<int, std::pair<std::string, Receiver>> followers_;
    int nextId_ = 0;
    std::unique_ptr<mqtt::MqttClient> client_;  // last: its thread goes first
};

// One radio of a site as a source of sweeps.
class SiteRadioSource : public SweepSource {
  public:
    SiteRadioSource(SiteWatch& site, std::string radio) : site_(&site), radio_(std::move(radio)) {}
    ~SiteRadioSource() override { stop(); }
    SiteRadioSource(const SiteRadioSource&) = delete;
    SiteRadioSource& operator=(const SiteRadioSource&) = delete;

    const std::string& radio() const { return radio_; }
    void start(std::function<void(const Sweep&)> receive) override;
    void stop() override;

  private:
    QPointer<SiteWatch> site_;
    std::string radio_;
    std::optional<int> id_;
};

}  // namespace kv
