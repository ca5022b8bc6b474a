// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_picture_output.h"

#include <QSaveFile>

#include "page_surface.h"
#include "sweep_log.h"

namespace kv {

QtPictureOutput::QtPictureOutput(CommonDialogs& dialogs, const ImageSurface& surface, Redraw redraw)
    : dialogs_(dialogs), surface_(surface), redraw_(std::move(redraw)) {}

QtPictureOutput::~QtPictureOutput() {
    finish();
}

void QtPictureOutput::chooseCopies(std::function<void(std::optional<int>)> chosen) {
    finish();
    printer_ = std::make_unique<QPrinter>(QPrinter::HighResolution);
    printer_->setPageOrientation(QPageLayout::Landscape);
    printer_->setPrintRange(QPrinter::AllPages);
    dialogs_.showPrinter(*printer_, [this, chosen = std::move(chosen)](bool accepted) {
        if (!accepted || !printer_) return chosen(std::nullopt);
        const int copies = printer_->copyCount();
        // The copies are printed as pages of their own, so that every printer and driver
        // gives the same number of sheets.
        printer_->setCopyCount(1);
        chosen(copies);
    });
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

void QtPictureOutput::chooseSavePath(std::function<void(std::optional<std::string>)> chosen) {
    dialogs_.showSave({"Save", timedFileName("picture", localLineTime(), "bmp"),
                       "BMP pictures (*.bmp)", "bmp", false, ""},
                      std::move(chosen));
}

std::optional<std::string> QtPictureOutput::writePicture(const std::string& path) {
    // Written beside the old file and renamed over it: a failed write leaves that file as it was.
    QSaveFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::WriteOnly)) return file.errorString().toStdString();
    if (!surface_.windowPicture().save(&file, "BMP")) {
        const QString problem = file.error() != QFileDevice::NoError
                                    ? file.errorString()
                                    : QStringLiteral("the picture could not be encoded");
        file.cancelWriting();
        return problem.toStdString();
    }
    if (!file.commit()) return file.errorString().toStdString();
    return std::nullopt;
}

}  // namespace kv
