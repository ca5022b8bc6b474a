// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv::mqtt {

// mqtt://[USER@]HOST[:PORT][/PREFIX], or mqtts:// for TLS: where a site's radios publish.
struct MqttUrl {
    bool tls = false;
    std::optional<std::string> user;
    std::string host;  // an IPv6 address without its brackets
    int port = 1883;
    std::string prefix = "kv3710";  // one or more topic levels
};

// What is said when the URL holds a password, which never goes on a command line.
inline constexpr std::string_view kPasswordInUrl =
    "the --mqtt URL holds a password, which does not go on the command line: "
    "KV3710_MQTT_PASSWORD or --mqtt-password-file give it";

// The reason `text` is not an MQTT URL, or empty with `url` filled in.
std::string parseMqttUrl(std::string_view text, MqttUrl& url);

// A character that may stand in a topic level as the programs name them: no separator, no
// wildcard, no blank or control character.
bool isTopicCharacter(char c);
bool isTopicLevel(std::string_view level);

// The password for the URL's user: the first line of `passwordFile`, else the value of
// KV3710_MQTT_PASSWORD. False, with `error` set, when the file cannot be read or there is a
// password and no user.
bool readMqttPassword(const std::optional<std::string>& passwordFile, bool urlHasUser,
                      std::optional<std::string>& password, std::string& error);

}  // namespace kv::mqtt
