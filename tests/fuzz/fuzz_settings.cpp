// SPDX-License-Identifier: GPL-3.0-or-later
// Any text as the settings file, loaded and saved back as the program does it: the point count
// and the trace stay usable, what the save wrote loads as itself, a good file stays the same.
#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include "fuzz_check.h"
#include "ini_settings_backend.h"
#include "memory_settings_backend.h"
#include "settings_store.h"
#include "spectrum_model.h"

using namespace kv;

namespace {

std::vector<std::string> texts(const SettingValues& values) {
    std::vector<std::string> all;
    for (const SettingKey& key : kSettingKeys) all.push_back(settingText(key, values));
    return all;
}

// QSettings keeps a file it has read until its size or time changes: each input has its time.
void writeFile(const QString& path, const QByteArray& bytes, int round) {
    QFile file(path);
    fuzzCheck(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() &&
                  file.flush() &&
                  file.setFileTime(QDateTime::fromSecsSinceEpoch(round),
                                   QFileDevice::FileModificationTime),
              "the file is written");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Most inputs hold a key that does not load or a value Qt cannot read; each would log.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static QTemporaryDir dir;
    static int round = 0;
    const QString path = dir.filePath("settings.ini"), copy = dir.filePath("saved.ini");
    writeFile(path, QByteArray(reinterpret_cast<const char*>(data), qsizetype(size)), ++round);
    SharedState state;
    IniSettingsBackend store(path);
    const LoadResult loaded = loadSettings(store, state);
    const int points = state.settings.numberOfPoints;
    fuzzCheck(points >= 1 && points <= kMaxPoints && state.trace.size() == std::size_t(points) &&
                  state.previousTrace.size() == state.trace.size(),
              "1 to 256 points, and both trace arrays as long");
    fuzzCheck(loaded.ok == loaded.failedKey.empty(), "a failed load names its key");
    fuzzCheck(saveSettings(store, state.settings), "the save succeeds");

    // What the save left on the disk, read afresh.
    QFile saved(path);
    fuzzCheck(saved.open(QIODevice::ReadOnly), "the saved file reads");
    writeFile(copy, saved.readAll(), round);
    IniSettingsBackend reread(copy);
    MemorySettingsBackend written;
    for (const SettingKey& key : kSettingKeys)
        if (writes(key.writers, SettingWriter::SaveSettings))
            written.values[{kSettingsSection, std::string(key.name)}] =
                reread.read(kSettingsSection, std::string(key.name)).value_or("");
    SharedState again, reloaded;
    fuzzCheck(loadSettings(written, again).ok, "the saved keys load");
    for (const SettingKey& key : kSettingKeys)
        fuzzCheck(!writes(key.writers, SettingWriter::SaveSettings) ||
                      settingText(key, again.settings) == settingText(key, state.settings),
                  "a saved value reads back as itself");
    fuzzCheck(!loaded.ok || (loadSettings(reread, reloaded).ok &&
                             texts(reloaded.settings) == texts(state.settings)),
              "a file that loaded loads the same after a save");
    return 0;
}
