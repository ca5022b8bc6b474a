#pragma once

#include <optional>
#include <string>
#include <vector>

#include "common_dialogs.h"
#include "message_box.h"

namespace kv::test {

// Records the texts of the message boxes instead of showing them.
class RecordingMessages : public MessageBox {
  public:
    void show(const std::string& text, const std::string& caption) override {
        shown.push_back(text);
        captions.push_back(caption);
    }
    std::vector<std::string> shown;
    std::vector<std::string> captions;
};

// Every common dialog is cancelled.
class NoDialogs : public CommonDialogs {
  public:
    std::optional<Colour> showColor(Colour) override { return std::nullopt; }
    bool showPrinter(QPrinter&) override { return false; }
    std::optional<std::string> showSave(const SaveOptions&) override { return std::nullopt; }
};

}  // namespace kv::test
