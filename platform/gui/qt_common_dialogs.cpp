// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_common_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>

#include "qt_colour.h"

namespace kv {

QtCommonDialogs::QtCommonDialogs(QWidget* fallbackParent) : fallbackParent_(fallbackParent) {}

QWidget* QtCommonDialogs::dialogParent() const {
    // The colours dialog opens the chooser over itself, the main window its print and save
    // dialogs over itself: whichever window ran the command is the active one.
    if (QWidget* active = QApplication::activeWindow()) return active;
    return fallbackParent_.data();
}

std::optional<Colour> QtCommonDialogs::showColor(Colour start) {
    const QColor chosen = QColorDialog::getColor(toQColor(start), dialogParent());
    if (!chosen.isValid()) return std::nullopt;
    return fromQColor(chosen);
}

bool QtCommonDialogs::showPrinter(QPrinter& printer) {
    QPrintDialog dialog(&printer, dialogParent());
    // Every page of the picture is printed: no page range to choose.
    dialog.setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<std::string> QtCommonDialogs::showSave() {
    QFileDialog dialog(dialogParent());
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QStringLiteral("bmp"));
    dialog.setNameFilter(QStringLiteral("Bmp Files (*.bmp)"));
    return chosenPath(dialog);
}

std::optional<std::string> QtCommonDialogs::chooseFile(const FileChoice& choice) {
    QFileDialog dialog(dialogParent(), QString::fromStdString(choice.caption));
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setDefaultSuffix(QString::fromStdString(choice.suffix));
    dialog.setNameFilter(QString::fromStdString(choice.filter));
    dialog.setOption(QFileDialog::DontConfirmOverwrite, choice.appends);
    dialog.selectFile(QDir::home().filePath(QString::fromStdString(choice.suggestedName)));
    return chosenPath(dialog);
}

std::optional<std::string> QtCommonDialogs::chosenPath(QFileDialog& dialog) {
    if (dialog.exec() != QDialog::Accepted) return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.front().isEmpty()) return std::nullopt;
    return files.front().toStdString();
}

}  // namespace kv
