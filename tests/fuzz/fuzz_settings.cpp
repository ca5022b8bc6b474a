// SPDX-License-Identifier: GPL-3.0-or-later
// Any text as the settings file, loaded as the program loads it and saved back over it: the
// point count and the trace stay usable, and what the save writes reads back as itself.
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <cstdint>

#include "fuzz_check.h"
#include "ini_settings_backend.h"
#include "memory_settings_backend.h"
#include "settings_store.h"

using namespace kv;

namespace {

const SettingKey& keyNamed(const std::string& name) {
    for (const SettingKey& key : kSettingKeys)
        if (key.name == name) return key;
    std::abort();
}

bool sameTexts(const SettingValues& a, const SettingValues& b) {
    for (const SettingKey& key : kSettingKeys)
        if (settingText(key, a) != settingText(key, b)) return false;
    return true;
}

// QSettings keeps a file it has read and reads it again when its size or time differs: every
// input gets a time of its own.
void writeFile(const QString& path, const QByteArray& bytes, int round) {
    QFile file(path);
    fuzzCheck(file.open(QIODevice::WriteOnly | QIODevice::Truncate) &&
                  file.write(bytes) == bytes.size() && file.flush(),
              "the file is written");
    fuzzCheck(
        file.setFileTime(QDateTime::fromSecsSinceEpoch(round), QFileDevice::FileModificationTime),
        "the file's time is set");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Most inputs hold a key that does not load or a value Qt cannot read, and each would log.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    static int round = 0;
    ++round;
    const QString path = dir.filePath("settings.ini"), copy = dir.filePath("saved.ini");
    writeFile(path, QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size)),
              round);

    SharedState state;
    LoadResult loaded;
    {
        IniSettingsBackend store(path);
        loaded = loadSettings(store, state);
        const int points = state.settings.numberOfPoints;
        fuzzCheck(points >= 1 && points <= kMaxPoints, "the point count is 1 to 256");
        fuzzCheck(state.trace.size() == static_cast<std::size_t>(points) &&
                      state.previousTrace.size() == state.trace.size(),
                  "both trace arrays hold the point count");
        fuzzCheck(loaded.ok == loaded.failedKey.empty(), "a failed load names its key");
        fuzzCheck(saveSettings(store, state.settings), "the save succeeds");
    }
    // What the save left on the disk, read afresh.
    QFile saved(path);
    fuzzCheck(saved.open(QIODevice::ReadOnly), "the saved file reads");
    writeFile(copy, saved.readAll(), round);
    IniSettingsBackend reread(copy);
    MemorySettingsBackend written;
    for (const SettingKey& key : kSettingKeys) {
        if (!writes(key.writers, SettingWriter::SaveSettings)) continue;
        const auto text = reread.read(kSettingsSection, std::string(key.name));
        fuzzCheck(text == settingText(key, state.settings), "a saved key holds the value's text");
        written.values[{kSettingsSection, std::string(key.name)}] = *text;
    }
    // The saved texts alone load, and as the values that were saved.
    SharedState again;
    fuzzCheck(loadSettings(written, again).ok, "the saved texts load");
    for (const auto& [where, text] : written.values)
        fuzzCheck(settingText(keyNamed(where.second), again.settings) == text,
                  "a saved value reads back as itself");
    // A file that loaded loads the same after the save: it kept the keys the save does not write.
    SharedState reloaded;
    const bool reloadedOk = loadSettings(reread, reloaded).ok;
    fuzzCheck(!loaded.ok || (reloadedOk && sameTexts(reloaded.settings, state.settings)),
              "a good file stays good and the same after a save");
    return 0;
}
