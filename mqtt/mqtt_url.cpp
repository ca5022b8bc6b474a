// SPDX-License-Identifier: GPL-3.0-or-later
#include "mqtt_url.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>

#include "parse_number.h"

namespace kv::mqtt {

bool isTopicCharacter(char c) {
    return c != '/' && c != '+' && c != '#' && static_cast<unsigned char>(c) > 0x20 && c != 0x7f;
}

bool isTopicLevel(std::string_view level) {
    return !level.empty() && std::all_of(level.begin(), level.end(), isTopicCharacter);
}

std::string parseMqttUrl(std::string_view text, MqttUrl& url) {
    const auto scheme = text.find("://");
    if (scheme == std::string_view::npos) return "not mqtt://[USER@]HOST[:PORT][/PREFIX]";
    if (text.substr(0, scheme) == "mqtts") {
        url.tls = true;
        url.port = 8883;
    } else if (text.substr(0, scheme) != "mqtt") {
        return "unknown scheme " + std::string(text.substr(0, scheme)) +
               "://, not mqtt:// or mqtts://";
    }
    text.remove_prefix(scheme + 3);
    std::string_view authority = text.substr(0, text.find('/'));
    const std::string_view path = text.substr(authority.size());
    if (const auto at = authority.rfind('@'); at != std::string_view::npos) {
        const std::string_view user = authority.substr(0, at);
        if (user.find(':') != std::string_view::npos) return std::string(kPasswordInUrl);
        if (user.empty()) return "no user before @";
        url.user = std::string(user);
        authority.remove_prefix(at + 1);
    }
    std::string_view port;
    if (authority.starts_with('[')) {
        const auto close = authority.find(']');
        if (close == std::string_view::npos) return "no ] after the IPv6 address";
        url.host = std::string(authority.substr(1, close - 1));
        authority.remove_prefix(close + 1);
        if (!authority.empty() && !authority.starts_with(':')) return "junk after ]";
        if (!authority.empty()) port = authority.substr(1);
    } else {
        const auto colon = authority.find(':');
        url.host = std::string(authority.substr(0, colon));
        if (colon != std::string_view::npos) port = authority.substr(colon + 1);
        if (url.host.find_first_of("[] ") != std::string::npos) return "a bad host";
    }
    if (url.host.empty()) return "no host";
    if (authority.find(':') != std::string_view::npos) {
        const auto number = parseNumber<int>(port);
        if (!number || *number < 1 || *number > 65535) return "a bad port";
        url.port = *number;
    }
    if (path.size() > 1) {
        url.prefix = std::string(path.substr(1));
        for (std::string_view rest = url.prefix;;) {
            const auto slash = rest.find('/');
            if (!isTopicLevel(rest.substr(0, slash))) return "a bad prefix (topic levels)";
            if (slash == std::string_view::npos) break;
            rest.remove_prefix(slash + 1);
        }
    }
    return {};
}

bool readMqttPassword(const std::optional<std::string>& passwordFile, bool urlHasUser,
                      std::optional<std::string>& password, std::string& error) {
    if (passwordFile) {
        std::ifstream file(*passwordFile);
        std::string line;
        if (!file.is_open() || (!std::getline(file, line) && !file.eof())) {
            error = "cannot read " + *passwordFile + ": " + std::strerror(errno);
            return false;
        }
        password = line;
    } else if (const char* text = std::getenv("KV3710_MQTT_PASSWORD"); text && *text) {
        password = text;
    }
    if (password && !urlHasUser) {
        error = "KV3710_MQTT_PASSWORD is set but the --mqtt URL names no user (mqtt://USER@HOST)";
        return false;
    }
    return true;
}

}  // namespace kv::mqtt
