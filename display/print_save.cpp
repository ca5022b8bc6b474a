// SPDX-License-Identifier: GPL-3.0-or-later
#include "print_save.h"

#include "display.h"

namespace kv {

bool printPicture(PictureOutput& output) {
    const auto copies = output.chooseCopies();
    if (!copies) return false;
    bool ok = true;
    for (int copy = 1; copy <= *copies && ok; ++copy) ok = output.printPage();
    // Pages printed before an error still go out, as a job already sent would.
    const bool finished = output.finish();
    return ok && finished;
}

void drawPicture(const SharedState& state, Surface& page) {
    SharedState copy = state;
    // A fresh page has nothing to erase.
    for (auto& p : copy.previousTrace) p.yOut = 0;
    auto& t = copy.texts;
    t.shown = {};
    t.shownCommMessage.clear();
    Display(copy, page).drawScreen(true);
}

bool savePicture(PictureOutput& output) {
    const auto path = output.chooseSavePath();
    if (!path || path->empty()) return false;
    return output.writePicture(withDefaultExtension(*path, "bmp"));
}

std::string withDefaultExtension(const std::string& path, std::string_view suffix) {
    const auto nameStart = path.find_last_of('/');
    const std::string_view name =
        std::string_view(path).substr(nameStart == std::string::npos ? 0 : nameStart + 1);
    if (name.empty() || name.find('.') != std::string_view::npos) return path;
    return path + "." + std::string(suffix);
}

}  // namespace kv
