// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "colour.h"

class QPrinter;

namespace kv {

// The common dialogs of the program: colour chooser, print dialog and save dialog. Each
// returns at once and hands the answer on when the user gives it: the sweep goes on, measured
// and drawn, while a dialog is open.
class CommonDialogs {
  public:
    virtual ~CommonDialogs() = default;

    template <typename T>
    using Answer = std::function<void(T)>;
    using PathAnswer = Answer<std::optional<std::string>>;

    // A file to write: what the save dialog suggests and how it asks.
    struct FileChoice {
        std::string caption;
        std::string suggestedName;  // in `folder`
        std::string filter;         // e.g. "PNG pictures (*.png)"
        std::string suffix;         // added to a name typed without an extension
        bool appends = false;       // an existing file is added to, so no question to replace it
        std::string folder;         // where the dialog opens; empty: the home folder
        bool opens = false;         // an existing file to read, not one to write
    };

    // Starts from `start`; the chosen colour, or nothing when the chooser was cancelled.
    virtual void showColor(Colour start, Answer<std::optional<Colour>> chosen) = 0;
    // Lets the user choose the printer and the number of copies, which the printer then
    // holds. The caller sets the orientation and the print range before, and keeps the
    // printer until the answer: false on cancel or error.
    virtual void showPrinter(QPrinter& printer, Answer<bool> accepted) = 0;
    // The bitmap file to save the picture in, suggested as `suggestion` names it (its filter and
    // suffix are the bitmap's): the chosen path, ".bmp" appended to a name typed without an
    // extension, or nothing when the dialog was cancelled.
    virtual void showSave(const FileChoice& suggestion, PathAnswer chosen) = 0;

    // A file to write other than the window's picture: the chosen path, or nothing when the
    // dialog was cancelled.
    virtual void chooseFile(const FileChoice& choice, PathAnswer chosen) = 0;
};

}  // namespace kv
