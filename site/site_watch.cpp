// SPDX-License-Identifier: GPL-3.0-or-later
#include "site_watch.h"

#include <unistd.h>
#include <QMetaObject>
#include <array>

#include "clock.h"
#include "log_categories.h"
#include "sweep_log.h"

namespace kv {

namespace {

constexpr std::string_view kSweepLevel = "/sweep";
constexpr std::string_view kStatusLevel = "/status";

std::string hostName() {
    std::array<char, 256> name{};
    return ::gethostname(name.data(), name.size() - 1) == 0 ? name.data() : "localhost";
}

}  // namespace

SiteWatch::SiteWatch(SiteAddress address, QObject* parent)
    : QObject(parent), address_(std::move(address)) {
    mqtt::BrokerSettings broker;
    broker.host = address_.url.host;
    broker.port = address_.url.port;
    broker.tls = address_.url.tls;
    broker.caFile = address_.caFile;
    broker.user = address_.url.user;
    broker.password = address_.password;
    // One client id per window: two windows on one site do not push each other off.
    broker.clientId = "kv3710-analyzer-" + hostName() + '-' + std::to_string(::getpid());
    broker.subscriptions = {address_.url.prefix + "/+" + std::string(kSweepLevel),
                            address_.url.prefix + "/+" + std::string(kStatusLevel)};
    client_ = std::make_unique<mqtt::MqttClient>(
        std::move(broker), [](const std::string& text) { qCWarning(lcSite, "%s", text.c_str()); });
    error_ = client_->error();
    if (!error_.empty()) return;
    client_->listen({[this](const std::string& topic, std::string_view payload) {
                         // Queued whole; read on this object's thread.
                         QMetaObject::invokeMethod(
                             this,
                             [this, topic, text = std::string(payload)] { take(topic, text); },
                             Qt::QueuedConnection);
                     },
                     [this](bool connected) {
                         QMetaObject::invokeMethod(
                             this,
                             [this, connected] {
                                 if (connected)
                                     unreachableSince_.reset();
                                 else if (!unreachableSince_)
                                     unreachableSince_ = std::chrono::system_clock::now();
                                 emit changed();
                             },
                             Qt::QueuedConnection);
                     }});
    client_->start();
}

SiteWatch::~SiteWatch() {
    client_->stop(std::chrono::milliseconds(0));
}

std::string SiteWatch::name() const {
    const mqtt::MqttUrl& url = address_.url;
    const bool numeric6 = url.host.find(':') != std::string::npos;
    return (url.tls ? "mqtts://" : "mqtt://") + (numeric6 ? '[' + url.host + ']' : url.host) + ':' +
           std::to_string(url.port) + '/' + url.prefix;
}

std::string SiteWatch::unreachableText() const {
    if (!unreachableSince_) return {};
    const LineTime t = localLineTime(*unreachableSince_);
    std::string text = "site unreachable since ";
    for (const int part : {t.hour, t.minute, t.second}) {
        if (part != t.hour) text += ':';
        text += static_cast<char>('0' + part / 10);
        text += static_cast<char>('0' + part % 10);
    }
    return text;
}

void SiteWatch::take(const std::string& topic, const std::string& payload) {
    const std::string& prefix = address_.url.prefix;
    if (!topic.starts_with(prefix + '/')) return;
    std::string_view rest = std::string_view(topic).substr(prefix.size() + 1);
    const bool sweep = rest.ends_with(kSweepLevel);
    const bool status = rest.ends_with(kStatusLevel);
    rest.remove_suffix(sweep ? kSweepLevel.size() : status ? kStatusLevel.size() : rest.size());
    if (!mqtt::isTopicLevel(rest)) return;
    const std::string radio(rest);
    if (status) {
        radios_.status(radio, payload);
        emit changed();
        return;
    }
    if (const auto message = parseSweepMessage(payload)) {
        takeSweep(radio, *message);
    } else {
        ++dropped_;
        qCWarning(lcSite, "a sweep message of %s that is not one the logger writes was dropped",
                  radio.c_str());
        emit changed();
    }
}

void SiteWatch::takeSweep(const std::string& radio, const SweepMessage& message) {
    const bool known = radios_.find(radio) != nullptr;
    const auto missed = radios_.sweep(radio, message, SystemClock().steadyMs());
    if (!missed) return;
    Sweep sweep;
    sweep.began = message.began;
    sweep.band = message.band;
    sweep.samples = message.samples;
    sweep.levelsDb = message.levelsDb;
    sweep.missed = *missed;
    // A follower may stop following meanwhile.
    const auto followers = followers_;
    bool taken = false;
    for (const auto& [id, follower] : followers)
        if (follower.first == radio) follower.second(sweep), taken = true;
    // What the benchmark times a sweep's way from its logger to the window by.
    if (taken)
        qCDebug(lcSite, "sweep of %s seq %llu began %s taken", radio.c_str(),
                static_cast<unsigned long long>(message.seq), utcIsoTime(message.began).c_str());
    // A sweep's age and rate are shown from a timer; only a new radio is news at once.
    if (!known) emit changed();
}

int SiteWatch::follow(const std::string& radio, Receiver receiver) {
    followers_[nextId_] = {radio, std::move(receiver)};
    return nextId_++;
}

void SiteWatch::unfollow(int id) {
    followers_.erase(id);
}

void SiteRadioSource::start(std::function<void(const Sweep&)> receive) {
    stop();
    if (site_) id_ = site_->follow(radio_, std::move(receive));
}

void SiteRadioSource::stop() {
    if (id_ && site_) site_->unfollow(*id_);
    id_.reset();
}

}  // namespace kv
