#include "qt_common_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

namespace kv {

QtCommonDialogs::QtCommonDialogs(QWidget* fallbackParent) : fallbackParent_(fallbackParent) {}

QWidget* QtCommonDialogs::dialogParent() const {
    // The colours dialog opens the chooser over itself, the main window its print and save
    // dialogs over itself: whichever window ran the command is the active one.
    if (QWidget* active = QApplication::activeWindow()) return active;
    return fallbackParent_.data();
}

std::optional<Colour> QtCommonDialogs::showColor(Colour start) {
    const QColor chosen =
        QColorDialog::getColor(QColor(redOf(start), greenOf(start), blueOf(start)), dialogParent());
    if (!chosen.isValid()) return std::nullopt;
    return rgbColour(chosen.red(), chosen.green(), chosen.blue());
}

bool QtCommonDialogs::showPrinter(QPrinter& printer) {
    QPrintDialog dialog(&printer, dialogParent());
    // Every page of the picture is printed: no page range to choose.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<std::string> QtCommonDialogs::showSave(const SaveOptions& options) {
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString::fromStdString(options.defaultSuffix));
    dialog.setNameFilter(QString::fromStdString(options.filter));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, !options.confirmOverwrite);
    if (!options.initialName.empty())
        dialog.selectFile(QString::fromStdString(options.initialName));
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return files.front().toStdString();
}

}  // namespace kv
