// SPDX-License-Identifier: GPL-3.0-or-later
#include "qt_message_box.h"

#include <QMessageBox>

namespace kv {

void QtMessageBox::show(const std::string& text, const std::string& caption) {
    QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                    QString::fromStdString(text), QMessageBox::Ok);
    box.exec();
}

}  // namespace kv
