// SPDX-License-Identifier: GPL-3.0-or-later
#include "colours_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPointer>
#include <QPushButton>
#include <algorithm>
#include <string>
#include <utility>
#include <variant>
#include <vector>

#include "focus_keeper.h"
#include "qt_colour.h"
#include "settings_store.h"
#include "twips.h"

namespace kv {

namespace {

struct Row {
    const char* label;
    const SettingKey* key;
};

// In row order, which is also the order the keys are written in.
constexpr std::array<Row, ColoursDialog::kRowCount> kRows{{
    {"Background Color:", &settingKey("Background Color")},
    {"Graph Color:", &settingKey("Graph Color")},
    {"Grid Color:", &settingKey("Grid Color")},
    {"Label Color:", &settingKey("Label Color")},
    {"Marker1 Color:", &settingKey("Marker1 Color")},
    {"Marker2 Color:", &settingKey("Marker2 Color")},
    {"Message Color:", &settingKey("Message Color")},
}};

constexpr int kFirstRowTopTwips = 360;
constexpr int kRowPitchTwips = 360;
constexpr int kLabelLeftTwips = 120;
constexpr int kLabelRightTwips = 2055;
constexpr int kButtonLeftTwips = 2280;
constexpr int kButtonSideTwips = 255;

Colour& settingFor(SettingValues& s, int index) {
    return *std::get<Colour*>(kRows[index].key->field(s));
}

}  // namespace

ColoursDialog::ColoursDialog(SharedState& state, SettingsBackend& store, CommonDialogs& dialogs,
                             std::function<void()> redraw, QWidget* parent,
                             std::optional<OwnColour> own)
    : QDialog(parent),
      state_(state),
      store_(store),
      dialogs_(dialogs),
      redraw_(std::move(redraw)),
      own_(std::move(own)),
      rows_(kRowCount + (own_ ? 1 : 0)) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Settings"));
    buildControls();
    new FocusKeeper(*this);
    load();
}

void ColoursDialog::buildControls() {
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);
    const int extra = (rows_ - kRowCount) * kRowPitchTwips;
    setFixedSize(twipsToPixels(3255), twipsToPixels(3150 + extra));

    auto* frame = new QGroupBox(QStringLiteral("Colors"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twipsToPixels(120), twipsToPixels(120), twipsToPixels(3015),
                       twipsToPixels(2895 + extra));

    const int side = twipsToPixels(kButtonSideTwips);
    for (int i = 0; i < rows_; ++i) {
        const int top = twipsToPixels(kFirstRowTopTwips + i * kRowPitchTwips);
        const bool own = i == kRowCount;
        const std::string_view name = own ? std::string_view(own_->label) : kRows[i].key->name;

        auto* label = new QLabel(
            own ? QString::fromStdString(own_->label + ':') : QString::fromLatin1(kRows[i].label),
            frame);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const int right = twipsToPixels(kLabelRightTwips);
        const int width =
            std::max(right - twipsToPixels(kLabelLeftTwips), label->sizeHint().width());
        label->setGeometry(std::max(0, right - width), top, width, side);

        auto* button = new QPushButton(frame);
        button->setObjectName(QStringLiteral("Command4_%1").arg(i));
        button->setGeometry(twipsToPixels(kButtonLeftTwips), top, side, side);
        button->setAccessibleName(
            QString::fromLatin1(name.data(), static_cast<qsizetype>(name.size())));
        connect(button, &QPushButton::clicked, this, [this, i] { chooseColour(i); });
        buttons_[i] = button;
    }
}

void ColoursDialog::load() {
    for (int i = 0; i < kRowCount; ++i) setFace(i, settingFor(state_.settings, i));
    if (own_) setFace(kRowCount, own_->get());
    // The opener shows the dialog right after this, which makes it the active window again.
    if (QWidget* owner = parentWidget()) owner->activateWindow();
}

void ColoursDialog::chooseColour(int index) {
    // The chooser may outlive this dialog when it stands over another window.
    dialogs_.showColor(faces_[index], [self = QPointer(this), index](std::optional<Colour> chosen) {
        if (self) self->colourChosen(index, chosen);
    });
}

void ColoursDialog::colourChosen(int index, std::optional<Colour> chosen) {
    if (!chosen || *chosen == faces_[index]) return;
    setFace(index, *chosen);
    if (index == kRowCount) {
        own_->set(*chosen);
        activateWindow();
        raise();
        return;
    }
    for (int i = 0; i < kRowCount; ++i) settingFor(state_.settings, i) = faces_[i];
    // The seven keys are stored together, so the file never holds half a change.
    std::vector<std::pair<std::string, std::string>> colours;
    for (const Row& row : kRows)
        colours.emplace_back(row.key->name, settingText(*row.key, state_.settings));
    // A failed write is logged; the colours still apply to this run.
    (void)writeSettings(store_, colours);
    if (redraw_) redraw_();
    activateWindow();
    raise();
}

void ColoursDialog::setFace(int index, Colour colour) {
    faces_[index] = colour;
    const QString name = toQColor(colour).name();
    buttons_[index]->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; border: 2px outset #c0c0c0; }"
                       "QPushButton:pressed { border-style: inset; }"
                       "QPushButton:focus { border-color: palette(highlight); }")
            .arg(name));
}

}  // namespace kv
