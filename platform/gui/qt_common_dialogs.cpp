// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_common_dialogs.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QPrintDialog>
#include <QPrinter>
#include <utility>

#include "qt_colour.h"

namespace kv {

QtCommonDialogs::QtCommonDialogs(QWidget* fallbackParent) : fallbackParent_(fallbackParent) {}

QWidget* QtCommonDialogs::dialogParent() const {
    // The colours dialog opens the chooser over itself, the main window its print and save
    // dialogs over itself: whichever window ran the command is the active one.
    if (QWidget* active = QApplication::activeWindow()) return active;
    return fallbackParent_.data();
}

namespace {

// Shown without a loop of its own, gone once answered; closed with its window (or at exit)
// it answers as cancelled.
void openAnswering(QDialog* dialog, std::function<void(bool accepted)> answer) {
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    // The answer, and what it holds (a printer the dialog writes to), lives as long as the
    // dialog; it is given once, as a dialog closed after it was answered finishes again.
    QObject::connect(dialog, &QDialog::finished, dialog,
                     [answer = std::move(answer), answered = false](int result) mutable {
                         if (std::exchange(answered, true)) return;
                         answer(result == QDialog::Accepted);
                     });
    dialog->open();
}

}  // namespace

void QtCommonDialogs::showColor(Colour start, Answer<std::optional<Colour>> chosen) {
    auto* dialog = new QColorDialog(toQColor(start), dialogParent());
    openAnswering(dialog, [dialog, chosen = std::move(chosen)](bool accepted) {
        const QColor colour = dialog->selectedColor();
        chosen(accepted && colour.isValid() ? std::optional(fromQColor(colour)) : std::nullopt);
    });
}

void QtCommonDialogs::showPrinter(QPrinter& printer, Answer<bool> accepted) {
    auto* dialog = new QPrintDialog(&printer, dialogParent());
    // Every page of the picture is printed: no page range to choose.
    dialog->setOptions(QAbstractPrintDialog::PrintToFile | QAbstractPrintDialog::PrintShowPageSize);
    openAnswering(dialog, std::move(accepted));
}

void QtCommonDialogs::showSave(const FileChoice& suggestion, PathAnswer chosen) {
    FileChoice bitmap = suggestion;
    bitmap.filter = "BMP pictures (*.bmp)";
    bitmap.suffix = "bmp";
    bitmap.appends = false;
    chooseFile(bitmap, std::move(chosen));
}

void QtCommonDialogs::chooseFile(const FileChoice& choice, PathAnswer chosen) {
    auto* dialog = new QFileDialog(dialogParent(), QString::fromStdString(choice.caption));
    dialog->setAcceptMode(choice.opens ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
    dialog->setFileMode(choice.opens ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    dialog->setDefaultSuffix(QString::fromStdString(choice.suffix));
    dialog->setNameFilter(QString::fromStdString(choice.filter));
    dialog->setOption(QFileDialog::DontConfirmOverwrite, choice.appends);
    const QDir folder =
        choice.folder.empty() || !QDir(QString::fromStdString(choice.folder)).exists()
            ? QDir::home()
            : QDir(QString::fromStdString(choice.folder));
    dialog->selectFile(folder.filePath(QString::fromStdString(choice.suggestedName)));
    openForPath(dialog, std::move(chosen));
}

void QtCommonDialogs::openForPath(QFileDialog* dialog, PathAnswer chosen) {
    openAnswering(dialog, [dialog, chosen = std::move(chosen)](bool accepted) {
        const QStringList files = dialog->selectedFiles();
        if (!accepted || files.isEmpty() || files.front().isEmpty()) return chosen(std::nullopt);
        chosen(files.front().toStdString());
    });
}

}  // namespace kv
