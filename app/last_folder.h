// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>

#include "common_dialogs.h"
#include "setting_keys.h"
#include "sweep_log.h"

namespace kv {

// The window's common dialogs with the save dialogs opening in the folder of the file last
// chosen (kept in the window's section), on a name that tells when it was made.
class LastFolder : public CommonDialogs {
  public:
    static constexpr const char* kKey = windowKey("Last Folder");

    LastFolder(CommonDialogs& dialogs, std::string folder)
        : dialogs_(dialogs), folder_(std::move(folder)) {}
    const std::string& folder() const { return folder_; }

    // "STEM-YYYY-MM-DD-HHMMSS.SUFFIX", made now.
    static std::string timedName(std::string_view stem, std::string_view suffix) {
        return timedFileName(stem, localLineTime(), suffix);
    }

    void showColor(Colour start, Answer<std::optional<Colour>> chosen) override {
        dialogs_.showColor(start, std::move(chosen));
    }
    void showPrinter(QPrinter& printer, Answer<bool> accepted) override {
        dialogs_.showPrinter(printer, std::move(accepted));
    }
    void showSave(const FileChoice& suggestion, PathAnswer chosen) override {
        dialogs_.showSave(inFolder(suggestion), remembering(std::move(chosen)));
    }
    void chooseFile(const FileChoice& choice, PathAnswer chosen) override {
        dialogs_.chooseFile(inFolder(choice), remembering(std::move(chosen)));
    }

  private:
    FileChoice inFolder(FileChoice choice) const {
        if (choice.folder.empty()) choice.folder = folder_;
        return choice;
    }
    PathAnswer remembering(PathAnswer chosen) {
        return [this, chosen = std::move(chosen)](std::optional<std::string> path) {
            if (path && !path->empty()) {
                const std::string folder = std::filesystem::path(*path).parent_path().string();
                if (!folder.empty()) folder_ = folder;
            }
            chosen(std::move(path));
        };
    }

    CommonDialogs& dialogs_;
    std::string folder_;
};

}  // namespace kv
