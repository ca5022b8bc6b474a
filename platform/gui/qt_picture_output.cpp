#include "qt_picture_output.h"

namespace kv {

QtPictureOutput::QtPictureOutput(CommonDialogs& dialogs, const ImageSurface& surface)
    : dialogs_(dialogs), surface_(surface) {}

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
    const QImage picture = surface_.windowPicture();
    if (picture.isNull()) return true;  // an empty window gives an empty page
    // The whole picture, as large as the printable area allows, keeping its proportions.
    const QRect area = painter_->viewport();
    const QSize size = picture.size().scaled(area.size(), Qt::KeepAspectRatio);
    const QRect target(area.x() + (area.width() - size.width()) / 2,
                       area.y() + (area.height() - size.height()) / 2, size.width(), size.height());
    painter_->drawImage(target, picture);
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
    return dialogs_.showSave({});
}

bool QtPictureOutput::writePicture(const std::string& path) {
    return surface_.windowPicture().save(QString::fromStdString(path), "BMP");
}

}  // namespace kv
