// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "colour.h"

class QPrinter;

namespace kv {

// The common dialogs of the program: colour chooser, print dialog and save dialog.
class CommonDialogs {
  public:
    virtual ~CommonDialogs() = default;

    // Starts from `start`; the chosen colour, or nothing when the chooser was cancelled.
    virtual std::optional<Colour> showColor(Colour start) = 0;
    // Lets the user choose the printer and the number of copies, which the printer then
    // holds. The caller sets the orientation and the print range before. false on cancel
    // or error.
    virtual bool showPrinter(QPrinter& printer) = 0;
    // The bitmap file to save the picture in: the chosen path, ".bmp" appended to a name typed
    // without an extension, or nothing when the dialog was cancelled.
    virtual std::optional<std::string> showSave() = 0;

    // A file to write other than the window's picture.
    struct FileChoice {
        std::string caption;
        std::string suggestedName;  // in the home folder
        std::string filter;         // e.g. "Png Files (*.png)"
        std::string suffix;         // added to a name typed without an extension
        bool appends = false;       // an existing file is added to, so no question to replace it
    };
    // The chosen path, or nothing when the dialog was cancelled.
    virtual std::optional<std::string> chooseFile(const FileChoice& choice) = 0;
};

}  // namespace kv
