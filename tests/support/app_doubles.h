// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPrinter>
#include <optional>
#include <string>
#include <vector>

#include "common_dialogs.h"
#include "message_box.h"

namespace kv::test {

// Records the texts of the message boxes instead of showing them.
class RecordingMessages : public MessageBox {
  public:
    void show(const std::string& text, const std::string&) override { shown.push_back(text); }
    std::vector<std::string> shown;
};

// Common dialogs that answer at once as a user would, printing to a PDF file; by default
// cancelled.
class ScriptedDialogs : public CommonDialogs {
  public:
    void showColor(Colour start, Answer<std::optional<Colour>> chosen) override {
        starts.push_back(start);
        chosen(colour);
    }
    void showPrinter(QPrinter& printer, Answer<bool> accepted) override {
        landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
        printer.setCopyCount(copies);
        accepted(copies > 0);
    }
    void showSave(const FileChoice& suggestion, PathAnswer chosen) override {
        chooseFile(suggestion, std::move(chosen));
    }
    void chooseFile(const FileChoice& choice, PathAnswer chosen) override {
        suggested.push_back(choice);
        chosen(savePath);
    }

    std::optional<Colour> colour;  // nothing: cancelled
    std::vector<Colour> starts;
    QString pdfPath;
    int copies = 0;  // 0: cancelled
    bool landscape = false;
    std::optional<std::string> savePath;  // nothing: cancelled
    std::vector<FileChoice> suggested;    // by the save dialogs, in turn
};

}  // namespace kv::test
