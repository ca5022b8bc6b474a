// SPDX-License-Identifier: GPL-3.0-or-later
#include "print_save.h"

#include "display.h"

namespace kv {

void printPicture(std::shared_ptr<PictureOutput> output, OutputDone done) {
    PictureOutput& chooser = *output;
    chooser.chooseCopies([output = std::move(output), done = std::move(done)](auto copies) {
        if (!copies) return done(OutputOutcome::cancel());
        bool ok = true;
        for (int copy = 1; copy <= *copies && ok; ++copy) ok = output->printPage();
        // Pages printed before an error still go out, as a job already sent would.
        const bool finished = output->finish();
        if (!ok) return done(OutputOutcome::failure("the printer did not take the page"));
        if (!finished) return done(OutputOutcome::failure("the print job could not be completed"));
        done({});
    });
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

void savePicture(std::shared_ptr<PictureOutput> output, OutputDone done) {
    PictureOutput& chooser = *output;
    chooser.chooseSavePath([output = std::move(output), done = std::move(done)](auto path) {
        if (!path || path->empty()) return done(OutputOutcome::cancel());
        const std::string file = withDefaultExtension(*path, "bmp");
        if (const auto problem = output->writePicture(file))
            return done(OutputOutcome::failure(file + ": " + *problem));
        done({});
    });
}

std::string withDefaultExtension(const std::string& path, std::string_view suffix) {
    const auto nameStart = path.find_last_of('/');
    const std::string_view name =
        std::string_view(path).substr(nameStart == std::string::npos ? 0 : nameStart + 1);
    if (name.empty() || name.find('.') != std::string_view::npos) return path;
    return path + "." + std::string(suffix);
}

}  // namespace kv
