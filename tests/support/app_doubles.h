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

// Common dialogs that answer as a user would, printing to a PDF file; by default cancelled.
class ScriptedDialogs : public CommonDialogs {
  public:
    std::optional<Colour> showColor(Colour start) override {
        starts.push_back(start);
        return colour;
    }
    bool showPrinter(QPrinter& printer) override {
        landscape = printer.pageLayout().orientation() == QPageLayout::Landscape;
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(pdfPath);
        printer.setCopyCount(copies);
        return copies > 0;
    }
    std::optional<std::string> showSave() override { return savePath; }
    std::optional<std::string> chooseFile(const FileChoice&) override { return savePath; }

    std::optional<Colour> colour;  // nothing: cancelled
    std::vector<Colour> starts;
    QString pdfPath;
    int copies = 0;  // 0: cancelled
    bool landscape = false;
    std::optional<std::string> savePath;  // nothing: cancelled
};

}  // namespace kv::test
