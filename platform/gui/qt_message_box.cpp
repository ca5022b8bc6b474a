// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_message_box.h"

#include <QMessageBox>

namespace kv {

void QtMessageBox::show(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

void QtMessageBox::showWithoutWaiting(const std::string& text, const std::string& caption) {
    auto* box = new QMessageBox(QMessageBox::NoIcon, QString::fromStdString(caption),
                                QString::fromStdString(text), QMessageBox::Ok);
    box->setAttribute(Qt::WA_DeleteOnClose);
    // Left open, it must not keep the program alive after its window has closed.
    box->setAttribute(Qt::WA_QuitOnClose, false);
    box->show();
}

}  // namespace kv
