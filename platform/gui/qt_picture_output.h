#pragma once

#include <QPainter>
#include <QPrinter>
#include <memory>

#include "common_dialogs.h"
#include "image_surface.h"
#include "picture_output.h"

namespace kv {

// Print and Save over the common dialogs, a QPrinter and the surface's retained picture.
// One object serves one command; a print job is ended by finish() or by destruction.
class QtPictureOutput : public PictureOutput {
  public:
    QtPictureOutput(CommonDialogs& dialogs, const ImageSurface& surface);
    ~QtPictureOutput() override;

    std::optional<int> chooseCopies() override;
    bool printPage() override;
    bool finish() override;
    std::optional<std::string> chooseSavePath() override;
    bool writePicture(const std::string& path) override;

  private:
    CommonDialogs& dialogs_;
    const ImageSurface& surface_;
    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_;  // active from the first page to finish()
};

}  // namespace kv
