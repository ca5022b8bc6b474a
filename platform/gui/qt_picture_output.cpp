// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_picture_output.h"

#include "page_surface.h"

namespace kv {

QtPictureOutput::QtPictureOutput(CommonDialogs& dialogs, const ImageSurface& surface, Redraw redraw)
    : dialogs_(dialogs), surface_(surface), redraw_(std::move(redraw)) {}

QtPictureOutput::~QtPictureOutput() {
    finish();
}

std::optional<int> QtPictureOutput::chooseCopies() {
    finish();
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setPageOrientation(QPageLayout::Landscape);
    printer_->setPrintRange(QPrinter::AllPages);
    if (!dialogs_.showPrinter(*printer_)) return std::nullopt;
    const int copies = printer_->copyCount();
    // The copies are printed as pages of their own, so that every printer and driver gives
    // the same number of sheets.
    printer_->setCopyCount(1);
    return copies;
}

bool QtPictureOutput::printPage() {
    if (!printer_) return false;
    if (!painter_) {
        painter_ = std::make_unique<QPainter>();
        if (!painter_->begin(printer_.get())) {
            painter_.reset();
            return false;
        }
    } else if (!printer_->newPage()) {
        return false;
    }
    // The whole picture, as large as the printable area allows, keeping its proportions.
    PageSurface page(*painter_, painter_->viewport(), surface_.scaleWidth(), surface_.scaleHeight(),
                     surface_.backColor(), surface_.twipsPerLogicalPixel());
    // An empty window gives an empty page.
    if (redraw_ && surface_.scaleWidth() > 0 && surface_.scaleHeight() > 0) redraw_(page);
    return true;
}

bool QtPictureOutput::finish() {
    bool ok = true;
    if (painter_) ok = painter_->end();
    painter_.reset();
    printer_.reset();
    return ok;
}

std::optional<std::string> QtPictureOutput::chooseSavePath() {
    return dialogs_.showSave();
}

bool QtPictureOutput::writePicture(const std::string& path) {
    return surface_.windowPicture().save(QString::fromStdString(path), "BMP");
}

}  // namespace kv
