// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

#include "picture_output.h"
#include "shared_state.h"
#include "surface.h"

namespace kv {

// How Print or Save ended: cancelled (nothing to say), done, or failed and why.
struct OutputOutcome {
    bool cancelled = false;
    std::string problem;
    bool done() const { return !cancelled && problem.empty(); }
    static OutputOutcome cancel() { return {true, {}}; }
    static OutputOutcome failure(std::string why) { return {false, std::move(why)}; }
};
using OutputDone = std::function<void(const OutputOutcome&)>;

// Print: the user chooses the printer and the number of copies; the window picture is then
// drawn once per copy, one page each, in landscape. Run state, trace and settings are not
// touched. Returns at once; `done` hears how it ended once the dialog is answered.
void printPicture(std::shared_ptr<PictureOutput> output, OutputDone done);

// The window's picture drawn anew on `page` (a surface of the window's size) from a copy of the
// state, so the window's own record of what it last drew, which its erasing relies on, stays
// as it is.
void drawPicture(const SharedState& state, Surface& page);

// Save: the user names a file; the window picture is written to it as a BMP file, with
// ".bmp" added to a name typed without an extension. Returns at once, as Print does; a
// failure's problem names the file.
void savePicture(std::shared_ptr<PictureOutput> output, OutputDone done);

// The path with "." and the suffix appended when its file name has no extension.
std::string withDefaultExtension(const std::string& path, std::string_view suffix);

}  // namespace kv
