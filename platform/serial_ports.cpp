// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial_ports.h"

#include <QSerialPortInfo>
#include <algorithm>
#include <array>
#include <cstdlib>
#include <filesystem>
#include <string_view>

#include "log_categories.h"
#include "port_names.h"

namespace kv {

namespace fs = std::filesystem;

namespace {

constexpr std::array<std::string_view, 3> kBusPrefixes{"usb-", "pci-", "platform-"};

std::string spaced(std::string text) {
    std::replace(text.begin(), text.end(), '_', ' ');
    return text;
}

bool isUdevName(std::string_view name) {
    return std::any_of(kBusPrefixes.begin(), kBusPrefixes.end(),
                       [name](std::string_view bus) { return name.starts_with(bus); });
}

// /dev/ttyS<k>: an on-board port, which has its own number k+1.
bool isOnBoardNode(std::string_view node) {
    constexpr std::string_view kPrefix = "/dev/ttyS";
    if (!node.starts_with(kPrefix) || node.size() == kPrefix.size()) return false;
    node.remove_prefix(kPrefix.size());
    return std::all_of(node.begin(), node.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::string label(const SerialDevice& device) {
    std::string_view node = device.node;
    if (node.starts_with("/dev/")) node.remove_prefix(5);
    return (device.description.empty() ? std::string("Serial port") : device.description) + " (" +
           std::string(node) + ")";
}

}  // namespace

std::string SystemSerialDetector::byIdFolder() {
    const char* folder = std::getenv("KV3710_SERIAL_BY_ID_DIR");
    return folder && *folder ? folder : "/dev/serial/by-id";
}

std::vector<SerialDevice> SystemSerialDetector::devices() const {
    std::vector<SerialDevice> found = readByIdFolder(byIdFolder());
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        const std::string node = info.systemLocation().toStdString();
        auto known = std::find_if(found.begin(), found.end(),
                                  [&](const SerialDevice& d) { return d.node == node; });
        SerialDevice& device = known != found.end() ? *known : found.emplace_back();
        device.node = node;
        // The system's own words are better than those recovered from a link's name.
        if (!info.description().isEmpty()) device.description = info.description().toStdString();
        if (!info.manufacturer().isEmpty()) device.manufacturer = info.manufacturer().toStdString();
        if (!info.serialNumber().isEmpty()) device.serialNumber = info.serialNumber().toStdString();
    }
    return found;
}

SerialDevice deviceFromLinkName(const std::string& name) {
    SerialDevice device;
    std::string rest = name;
    if (isUdevName(rest)) rest.erase(0, rest.find('-') + 1);
    if (const auto tail = rest.rfind("-if"); tail != std::string::npos) rest.erase(tail);
    // udev joins maker, product and serial number with underscores and puts underscores
    // for blanks, so the maker is taken to be one word.
    const auto first = rest.find('_');
    const auto last = rest.rfind('_');
    if (first != std::string::npos && last > first) {
        device.manufacturer = rest.substr(0, first);
        device.serialNumber = rest.substr(last + 1);
        rest = rest.substr(first + 1, last - first - 1);
    }
    device.description = spaced(rest);
    return device;
}

std::vector<SerialDevice> readByIdFolder(const std::string& folder) {
    std::vector<SerialDevice> found;
    std::error_code error;
    fs::directory_iterator entries(folder, error);
    if (error) return found;  // no folder: no device has a stable name
    std::vector<fs::path> links;
    for (const fs::directory_entry& entry : entries)
        if (entry.is_symlink(error)) links.push_back(fs::absolute(entry.path(), error));
    std::sort(links.begin(), links.end());
    for (const fs::path& link : links) {
        const fs::path target = fs::canonical(link, error);
        if (error) continue;
        SerialDevice device = deviceFromLinkName(link.filename().string());
        device.node = target.string();
        device.stablePath = link.string();
        found.push_back(std::move(device));
    }
    return found;
}

const SerialDevice* findDevice(const std::vector<SerialDevice>& devices, const std::string& path) {
    if (path.empty()) return nullptr;
    for (const SerialDevice& d : devices)
        if (path == d.stablePath || path == d.node) return &d;
    std::error_code error;
    const std::string target = fs::canonical(path, error).string();
    if (error) return nullptr;
    for (const SerialDevice& d : devices)
        if (target == d.node) return &d;
    return nullptr;
}

std::vector<int> assignPortNumbers(SettingsBackend& store,
                                   const std::vector<SerialDevice>& devices) {
    std::vector<const SerialDevice*> numbered;
    for (int n = 1; n <= kHighestPortNumber; ++n)
        if (const auto entry = store.read(kPortsSection, portKey(n)))
            if (const SerialDevice* d = findDevice(devices, *entry)) numbered.push_back(d);
    const auto taken = [&](int n) {
        return store.read(kPortsSection, portKey(n)).has_value() ||
               std::any_of(devices.begin(), devices.end(),
                           [&](const SerialDevice& d) { return d.node == onBoardPortPath(n); });
    };
    std::vector<int> added;
    for (const SerialDevice& device : devices) {
        if (isOnBoardNode(device.node) ||
            std::find(numbered.begin(), numbered.end(), &device) != numbered.end())
            continue;
        int n = 1;
        while (n <= kListedPortCount && taken(n)) ++n;
        if (n > kListedPortCount) break;
        const std::string& path = device.stablePath.empty() ? device.node : device.stablePath;
        if (!store.write(kPortsSection, portKey(n), path)) {
            qCWarning(lcSerial, "cannot store %s=%s", portKey(n).c_str(), path.c_str());
            break;
        }
        qCInfo(lcSerial, "%s is %s (%s)", portKey(n).c_str(), label(device).c_str(), path.c_str());
        added.push_back(n);
    }
    return added;
}

std::string describePort(const SettingsBackend& store, const std::vector<SerialDevice>& devices,
                         int n) {
    const auto entry = store.read(kPortsSection, portKey(n));
    const std::string path = entry && !entry->empty() ? *entry : onBoardPortPath(n);
    if (const SerialDevice* device = findDevice(devices, path)) return label(*device);
    if (!entry || entry->empty()) return {};
    std::error_code error;
    if (fs::exists(path, error)) return path;
    const std::string name = fs::path(path).filename().string();
    return (isUdevName(name) ? deviceFromLinkName(name).description : path) + " (not connected)";
}

}  // namespace kv
