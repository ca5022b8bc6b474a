// SPDX-License-Identifier: GPL-3.0-or-later
#include "sweep_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <algorithm>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "focus_keeper.h"
#include "setting_ranges.h"
#include "settings_store.h"
#include "spectrum_model.h"

namespace kv {

namespace {

struct Field {
    const SettingKey* key;
    const char* label;
    const char* unit;
};

constexpr std::array<Field, SweepDialog::kFieldCount> kFields{{
    {&settingKey("Center Frequency"), "&Centre frequency:", "MHz"},
    {&settingKey("Span"), "&Span:", "MHz"},
    {&settingKey("Amplitude"), "&Reference level (top of the graph):", "dB"},
    {&settingKey("Number of Points"), "&Points (channels):", "points"},
    {&settingKey("Number of Gradiants"), "&Grid divisions:", "divisions"},
    {&settingKey("Attenuator"), "A&ttenuator:", "dB"},
}};
// The fields the channel plan is drawn from.
constexpr std::array<std::size_t, 3> kPlanFields{0, 1, 3};

constexpr const char* kPlanNote =
    "Centre, span and points say where the radio's channels lie on the frequency axis; they "
    "do not retune the radio.";

// Reads a typed text into the key's variable as OK does; the reason when it is refused.
std::optional<std::string> readTyped(const SettingKey& key, std::string typed,
                                     SettingValues& into) {
    // A decimal comma, as typed in much of the world, is taken where a fraction is; the
    // store's form, shown and kept, has a point.
    if (std::holds_alternative<float*>(key.field(into))) {
        std::replace(typed.begin(), typed.end(), ',', '.');
    } else {
        // The store rounds a fraction in a whole-number key, as a file written by hand expects;
        // typed here, 1.5 points is a mistake to point out, not to round.
        static const QRegularExpression kWhole(QStringLiteral("^\\s*[+-]?\\d+\\s*$"));
        if (!kWhole.match(QString::fromStdString(typed)).hasMatch())
            return "must be a whole number, " + settingRangeText(key);
    }
    return takeSettingText(key, typed, into);
}

QString megahertz(double value) {
    return QString::number(value, 'f', 3) + QStringLiteral(" MHz");
}

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
    : QDialog(parent), store_(store), apply_(std::move(apply)), current_(current) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Sweep"));
    auto* grid = new QGridLayout(this);
    auto* note = new QLabel(QString::fromUtf8(kPlanNote), this);
    note->setWordWrap(true);
    // Wraps within the width the fields take rather than setting it.
    note->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    note->setMinimumHeight(2 * fontMetrics().lineSpacing());
    grid->addWidget(note, 0, 0, 1, 4);
    int reasonWidth = 0;
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const Field& f = kFields[i];
        const int row = static_cast<int>(i) + 1;
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
        // Room for the field's longest reason from the start, so that none moves the layout.
        SettingValues probe;
        const auto refused = readTyped(*f.key, "?", probe);
        reasonWidth = std::max(
            reasonWidth, reason->fontMetrics().horizontalAdvance(qText(refused.value_or(""))));
        grid->addWidget(label, row, 0);
        grid->addWidget(field, row, 1);
        grid->addWidget(unit, row, 2);
        grid->addWidget(reason, row, 3);
        fields_[i] = field;
        reasons_[i] = reason;
    }
    for (QLabel* reason : reasons_) reason->setMinimumWidth(reasonWidth);
    plan_ = new QLabel(this);
    plan_->setObjectName(QStringLiteral("Channel plan"));
    plan_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    plan_->setMinimumHeight(fontMetrics().lineSpacing());
    grid->addWidget(plan_, kFieldCount + 1, 0, 1, 4);
    for (const std::size_t i : kPlanFields)
        connect(fields_[i], &QLineEdit::textChanged, this, &SweepDialog::showPlan);
    showPlan();
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("OK"));
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("Cancel"));
    connect(buttons, &QDialogButtonBox::accepted, this, &SweepDialog::ok);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::close);
    grid->addWidget(buttons, kFieldCount + 2, 0, 1, 4);
    // The dialog takes the size its contents need, also once a reason shows.
    grid->setSizeConstraint(QLayout::SetFixedSize);
    new FocusKeeper(*this);
}

std::optional<std::string> SweepDialog::readField(std::size_t i, SettingValues& into) const {
    return readTyped(*kFields[i].key, fields_[i]->text().toStdString(), into);
}

void SweepDialog::showPlan() {
    SettingValues plan = current_;
    for (const std::size_t i : kPlanFields) {
        if (readField(i, plan)) {
            plan_->setText(
                QStringLiteral("The channels are placed once centre, span and points "
                               "are valid."));
            return;
        }
    }
    const int last = plan.numberOfPoints - 1;
    plan_->setText(QStringLiteral("Channel 0: %1, channel %2: %3, spacing %4")
                       .arg(megahertz(pointFrequency(plan, 0)))
                       .arg(last)
                       .arg(megahertz(pointFrequency(plan, last)))
                       .arg(megahertz(pointFrequency(plan, 1) - pointFrequency(plan, 0))));
}

void SweepDialog::ok() {
    SettingValues chosen;
    bool refused = false;
    for (std::size_t i = 0; i < kFields.size(); ++i) {
        const auto reason = readField(i, chosen);
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
