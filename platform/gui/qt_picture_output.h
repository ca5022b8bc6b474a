// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QPainter>
#include <QPrinter>
#include <functional>
#include <memory>

#include "common_dialogs.h"
#include "image_surface.h"
#include "picture_output.h"

namespace kv {

// Print and Save over the common dialogs and a QPrinter. A printed page is the picture drawn
// anew by `redraw` on a surface of the window's size, scaled to the page; Save writes the
// window's retained picture. One object serves one command and lives until it is answered; a
// print job is ended by finish() or by destruction.
class QtPictureOutput : public PictureOutput {
  public:
    using Redraw = std::function<void(Surface& page)>;
    QtPictureOutput(CommonDialogs& dialogs, const ImageSurface& surface, Redraw redraw);
    ~QtPictureOutput() override;

    void chooseCopies(std::function<void(std::optional<int>)> chosen) override;
    bool printPage() override;
    bool finish() override;
    void chooseSavePath(std::function<void(std::optional<std::string>)> chosen) override;
    std::optional<std::string> writePicture(const std::string& path) override;

  private:
    CommonDialogs& dialogs_;
    const ImageSurface& surface_;
    Redraw redraw_;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;  // active from the first page to finish()
};

}  // namespace kv
