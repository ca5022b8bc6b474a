// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "focus_keeper.h"
#include "setting_ranges.h"
#include "settings_store.h"

namespace kv {

namespace {

struct Field {
    const SettingKey* key;
    const char* label;
    const char* unit;
};

constexpr std::array<Field, SweepDialog::kFieldCount> kFields{{
    {&settingKey("Center Frequency"), "&Center Frequency:", "MHz"},
    {&settingKey("Span"), "&Span:", "MHz"},
    {&settingKey("Amplitude"), "&Amplitude (reference level):", "dB"},
    {&settingKey("Number of Points"), "Number of &Points:", "points"},
    {&settingKey("Number of Gradiants"), "Number of &Gradiants:", "divisions"},
    {&settingKey("Attenuator"), "A&ttenuator:", "dB"},
}};

// The fields are the keys the key table names this dialog as a writer of.
constexpr bool fieldsAreTheDialogsKeys() {
    std::size_t written = 0;
    for (const SettingKey& key : kSettingKeys)
        written += writes(key.writers, SettingWriter::SweepDialog) ? 1 : 0;
    for (const Field& field : kFields)
        if (!writes(field.key->writers, SettingWriter::SweepDialog)) return false;
    return written == kFields.size();
}
static_assert(fieldsAreTheDialogsKeys());

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

}  // namespace

SweepDialog::SweepDialog(const SettingValues& current, SettingsBackend& store,
                         std::function<void(SettingsChange)> apply, QWidget* parent)
    : QDialog(parent), store_(store), apply_(std::move(apply)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Sweep"));
    auto* grid = new QGridLayout(this);
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const Field& f = kFields[i];
        const int row = static_cast<int>(i);
        auto* field = new QLineEdit(QString::fromStdString(settingText(*f.key, current)), this);
        field->setObjectName(qText(f.key->name));
        auto* label = new QLabel(QString::fromLatin1(f.label), this);
        label->setBuddy(field);
        const std::string range = settingRangeText(*f.key);
        auto* unit = new QLabel(
            QString::fromLatin1(f.unit) + (range.empty() ? QString() : ", " + qText(range)), this);
        auto* reason = new QLabel(this);
        reason->setObjectName(qText(f.key->name) + QStringLiteral(" refused"));
        reason->setStyleSheet(QStringLiteral("color: #c00000"));
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(unit, row, 2);
        grid->addWidget(reason, row, 3);
        fields_[i] = field;
        reasons_[i] = reason;
    }
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SweepDialog::ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    grid->addWidget(buttons, kFieldCount, 0, 1, 4);
    // The dialog takes the size its contents need, also once a reason shows.
    grid->setSizeConstraint(QLayout::SetFixedSize);
    new FocusKeeper(*this);
}

void SweepDialog::ok() {
    SettingValues chosen;
    bool refused = false;
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        std::string typed = fields_[i]->text().toStdString();
        // A decimal comma, as typed in much of the world, is taken where a fraction is; the
        // store's form, shown and kept, has a point. Whole-number fields still refuse it.
        if (std::holds_alternative<float*>(kFields[i].key->field(chosen)))
            std::replace(typed.begin(), typed.end(), ',', '.');
        const auto reason = takeSettingText(*kFields[i].key, typed, chosen);
        reasons_[i]->setText(reason ? QString::fromStdString(*reason) : QString());
        refused = refused || reason.has_value();
    }
    if (refused) return;
    // In the key table's order, and in the store's text form, which is what is applied too.
    std::vector<std::pair<const SettingKey*, std::string>> stored;
    std::vector<std::pair<std::string, std::string>> written;
    for (const SettingKey& key : kSettingKeys) {
        if (!writes(key.writers, SettingWriter::SweepDialog)) continue;
        stored.emplace_back(&key, settingText(key, chosen));
        written.emplace_back(key.name, stored.back().second);
    }
    // A failed write is logged; the settings still apply to this run.
    (void)writeSettings(store_, written);
    apply_([stored](SettingValues& values) {
        for (const auto& [key, text] : stored) (void)readSettingText(*key, text, values);
    });
    close();
}

}  // namespace kv
