#include "colours_dialog.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "focus_keeper.h"
#include "settings_store.h"
#include "twips.h"

namespace kv {

namespace {

struct Row {
    const char* label;
    const char* key;
};

// In row order, which is also the order the keys are written in.
constexpr std::array<Row, ColoursDialog::kRowCount> kRows{{
    {"Background Color:", "Background Color"},
    {"Graph Color:", "Graph Color"},
    {"Grid Color:", "Grid Color"},
    {"Label Color:", "Label Color"},
    {"Marker1 Color:", "Marker1 Color"},
    {"Marker2 Color:", "Marker2 Color"},
    {"Message Color:", "Message Color"},
}};

constexpr int kFirstRowTopTwips = 360;
constexpr int kRowPitchTwips = 360;
constexpr int kLabelLeftTwips = 120;
constexpr int kLabelRightTwips = 2055;
constexpr int kButtonLeftTwips = 2280;
constexpr int kButtonSideTwips = 255;

Colour& settingFor(SettingValues& s, int index) {
    switch (index) {
        case 0:
            return s.backgroundColor;
        case 1:
            return s.graphColor;
        case 2:
            return s.gridColor;
        case 3:
            return s.labelColor;
        case 4:
            return s.markerColor[0];
        case 5:
            return s.markerColor[1];
        default:
            return s.messageColor;
    }
}

// The store reads colours as signed 32-bit numbers; written the same way they read back.
std::string colourText(Colour c) {
    return std::to_string(static_cast<std::int32_t>(c));
}

}  // namespace

ColoursDialog::ColoursDialog(SharedState& state, SettingsBackend& store, CommonDialogs& dialogs,
                             std::function<void()> redraw, QWidget* parent)
    : QDialog(parent), state_(state), store_(store), dialogs_(dialogs), redraw_(std::move(redraw)) {
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
    setFixedSize(twipsToPixels(3255), twipsToPixels(3150));

    auto* frame = new QGroupBox(QStringLiteral("Colors"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twipsToPixels(120), twipsToPixels(120), twipsToPixels(3015),
                       twipsToPixels(2895));

    const int side = twipsToPixels(kButtonSideTwips);
    for (int i = 0; i < kRowCount; ++i) {
        const int top = twipsToPixels(kFirstRowTopTwips + i * kRowPitchTwips);

        auto* label = new QLabel(QString::fromLatin1(kRows[i].label), frame);
        label->setObjectName(QStringLiteral("Label1_%1").arg(i));
        label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        const int right = twipsToPixels(kLabelRightTwips);
        const int width =
            std::max(right - twipsToPixels(kLabelLeftTwips), label->sizeHint().width());
        label->setGeometry(std::max(0, right - width), top, width, side);

        auto* button = new QPushButton(frame);
        button->setObjectName(QStringLiteral("Command4_%1").arg(i));
        button->setGeometry(twipsToPixels(kButtonLeftTwips), top, side, side);
        button->setAccessibleName(QString::fromLatin1(kRows[i].key));
        connect(button, &QPushButton::clicked, this, [this, i] { chooseColour(i); });
        buttons_[i] = button;
    }
}

void ColoursDialog::load() {
    for (int i = 0; i < kRowCount; ++i) setFace(i, settingFor(state_.settings, i));
    // The opener shows the dialog right after this, which makes it the active window again.
    if (QWidget* owner = parentWidget()) owner->activateWindow();
}

void ColoursDialog::chooseColour(int index) {
    const auto chosen = dialogs_.showColor(faces_[index]);
    if (!chosen || *chosen == faces_[index]) return;
    setFace(index, *chosen);
    for (int i = 0; i < kRowCount; ++i) settingFor(state_.settings, i) = faces_[i];
    // The seven keys are stored together, so the file never holds half a change.
    std::vector<std::pair<std::string, std::string>> colours;
    for (int i = 0; i < kRowCount; ++i) colours.emplace_back(kRows[i].key, colourText(faces_[i]));
    store_.writeAll(kSettingsSection, colours);
    if (redraw_) redraw_();
    activateWindow();
    raise();
}

void ColoursDialog::setFace(int index, Colour colour) {
    faces_[index] = colour;
    const QString name = QColor(redOf(colour), greenOf(colour), blueOf(colour)).name();
    buttons_[index]->setStyleSheet(
        QStringLiteral("QPushButton { background-color: %1; border: 2px outset #c0c0c0; }"
                       "QPushButton:pressed { border-style: inset; }"
                       "QPushButton:focus { border-color: palette(highlight); }")
            .arg(name));
}

}  // namespace kv
