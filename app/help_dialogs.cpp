// SPDX-License-Identifier: GPL-3.0-or-later
#include "help_dialogs.h"

#include <algorithm>

#include <QDialog>
#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "key_table.h"
#include "titles.h"

namespace kv {

namespace {

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QDialog* makeDialog(const QString& title, QWidget* parent) {
    auto* dialog = new QDialog(parent);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setModal(false);
    dialog->setWindowTitle(title);
    return dialog;
}

void addCloseButton(QDialog& dialog, QVBoxLayout& column) {
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, &dialog);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::close);
    column.addWidget(buttons);
}

}  // namespace

QDialog* makeKeysDialog(QWidget* parent) {
    QDialog* dialog = makeDialog(QStringLiteral("Keys and Mouse"), parent);
    dialog->setObjectName(QStringLiteral("Help_Keys"));
    auto* column = new QVBoxLayout(dialog);
    column->addWidget(new QLabel(
        QStringLiteral("Keys and clicks act on the picture; the menus show the same commands."),
        dialog));
    auto* table = new QTableWidget(static_cast<int>(kKeyUses.size()), 2, dialog);
    table->setObjectName(QStringLiteral("Help_Keys_Table"));
    table->setHorizontalHeaderLabels({QStringLiteral("Key"), QStringLiteral("Does")});
    table->verticalHeader()->hide();
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setWordWrap(true);
    for (std::size_t i = 0; i < kKeyUses.size(); ++i) {
        const int row = static_cast<int>(i);
        table->setItem(row, 0, new QTableWidgetItem(qText(kKeyUses[i].keys)));
        table->setItem(row, 1, new QTableWidgetItem(qText(kKeyUses[i].does)));
    }
    // The rows take their heights from the columns' final widths.
    table->resizeColumnToContents(0);
    table->setColumnWidth(1, table->fontMetrics().averageCharWidth() * 70);
    table->horizontalHeader()->setStretchLastSection(true);
    table->resizeRowsToContents();
    table->setMinimumWidth(table->horizontalHeader()->length() + 2 * table->frameWidth() +
                           table->verticalScrollBar()->sizeHint().width());
    table->setMinimumHeight(std::min(table->verticalHeader()->length() +
                                         table->horizontalHeader()->height() +
                                         2 * table->frameWidth(),
                                     table->fontMetrics().lineSpacing() * 30));
    column->addWidget(table);
    addCloseButton(*dialog, *column);
    return dialog;
}

QDialog* makeAboutDialog(const std::string& settingsLocation, QWidget* parent) {
    QDialog* dialog =
        makeDialog(QStringLiteral("About ") + QString::fromUtf8(kProgramTitle), parent);
    dialog->setObjectName(QStringLiteral("Help_About"));
    auto* column = new QVBoxLayout(dialog);
    auto* text = new QLabel(dialog);
    text->setObjectName(QStringLiteral("Help_About_Text"));
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    text->setText(QString::fromUtf8(kProgramTitle) + QStringLiteral(" " KV_VERSION "\n\n") +
                  QStringLiteral("A spectrum analyzer for the KV3710 radio module on a serial "
                                 "port.\n\nLicence: GPL-3.0-or-later (GNU General Public "
                                 "License, version 3 or any later version).\n\nSettings file: ") +
                  (settingsLocation.empty() ? QStringLiteral("none")
                                            : QString::fromStdString(settingsLocation)));
    column->addWidget(text);
    addCloseButton(*dialog, *column);
    return dialog;
}

}  // namespace kv
