// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

#include "picture_output.h"
#include "shared_state.h"
#include "surface.h"

namespace kv {

// Print: the user chooses the printer and the number of copies; the window picture is then
// drawn once per copy, one page each, in landscape. Cancel and every error end the command
// silently; false then. Run state, trace and settings are not touched.
bool printPicture(PictureOutput& output);

// The window's picture drawn anew on `page` (a surface of the window's size) from a copy of the
// state, so the window's own record of what it last drew, which its erasing relies on, stays
// as it is.
void drawPicture(const SharedState& state, Surface& page);

// Save: the user names a file; the window picture is written to it as a BMP file, with
// ".bmp" added to a name typed without an extension. Cancel and every error end the
// command silently; false then.
bool savePicture(PictureOutput& output);

// The path with "." and the suffix appended when its file name has no extension.
std::string withDefaultExtension(const std::string& path, std::string_view suffix);

}  // namespace kv
