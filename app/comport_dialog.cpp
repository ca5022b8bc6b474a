// SPDX-License-Identifier: GPL-3.0-or-later
#include "comport_dialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <algorithm>
#include <string>

#include "focus_keeper.h"
#include "port_names.h"
#include "radio.h"
#include "serial_setup.h"
#include "settings_store.h"
#include "twips.h"

namespace kv {

namespace {

constexpr int kMessageHeightTwips = 615;

QRect twipsRect(int left, int top, int width, int height) {
    return {twipsToPixels(left), twipsToPixels(top), twipsToPixels(width), twipsToPixels(height)};
}

constexpr int kInnerMargin = 2;  // keeps text off the frame's edge

// A right-aligned label keeps its right edge, moved by `shift`, and grows to the left when
// its text needs more room than the layout gives it.
void placeRightAligned(QLabel& label, const QRect& rect, int shift) {
    const int right = rect.right() + 1 + shift;
    const int width = std::max(rect.width(), label.sizeHint().width());
    const int left = std::max(kInnerMargin, right - width);
    label.setGeometry(left, rect.top(), right - left, rect.height());
}

}  // namespace

ComPortDialog::ComPortDialog(SharedState& state, RadioSession& session, SettingsBackend& store,
                             const SerialDetector& detector, QWidget* parent)
    : QDialog(parent),
      state_(state),
      session_(session),
      comm_(session.comm()),
      store_(store),
      detector_(detector) {
    setAttribute(Qt::WA_DeleteOnClose);
    setModal(false);
    setWindowTitle(QStringLiteral("Comm Port Select"));
    buildControls();
    new FocusKeeper(*this);
    load();
    refresh_.setInterval(kRefreshMs);
    connect(&refresh_, &QTimer::timeout, this, &ComPortDialog::refreshPorts);
    refresh_.start();
}

void ComPortDialog::buildControls() {
    // The layout was drawn for a small 8-point face.
    QFont small = font();
    small.setPointSizeF(8);
    setFont(small);
    baseSize_ = QSize(twipsToPixels(4410), twipsToPixels(3210));
    setFixedSize(baseSize_);

    // Why the settings did not load, when they did not.
    notice_ = new QLabel(this);
    notice_->setObjectName(QStringLiteral("SettingsProblem"));
    notice_->setWordWrap(true);
    notice_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    notice_->hide();

    auto* frame = new QGroupBox(QStringLiteral("COM Port Setting"), this);
    frame_ = frame;
    frame->setObjectName(QStringLiteral("Frame1"));
    frame->setGeometry(twipsRect(120, 120, 4215, 2535));

    message_ = new QLabel(frame);
    message_->setObjectName(QStringLiteral("Label2"));
    message_->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    message_->setWordWrap(true);

    auto* portLabel = new QLabel(QStringLiteral("&Port:"), frame);
    portLabel->setObjectName(QStringLiteral("Label1"));
    portLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);

    portBox_ = new QComboBox(frame);
    portBox_->setObjectName(QStringLiteral("Settings_Port_Box"));
    for (int i = 0; i < kPortCount; ++i) portBox_->addItem(QStringLiteral("COM%1").arg(i + 1));
    refreshPorts();
    connect(portBox_, &QComboBox::currentIndexChanged, this, &ComPortDialog::showPortToolTip);
    portLabel->setBuddy(portBox_);

    auto* baudLabel = new QLabel(QStringLiteral("&Baud Rate:"), frame);
    baudLabel->setObjectName(QStringLiteral("Label3"));
    baudLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);

    baudBox_ = new QComboBox(frame);
    baudBox_->setObjectName(QStringLiteral("Settings_Baud_Box"));
    for (const auto rate : kRateList)
        baudBox_->addItem(QString::fromLatin1(rate.data(), static_cast<qsizetype>(rate.size())));
    baudLabel->setBuddy(baudBox_);

    // The layout was drawn for a narrower face than many systems have: a label that cannot
    // grow far enough to the left moves its right edge, and the lists with it, to the right.
    const QRect portLabelRect = twipsRect(600, 1560, 375, 255);
    const QRect baudLabelRect = twipsRect(120, 2040, 855, 255);
    const int widest = std::max(portLabel->sizeHint().width(), baudLabel->sizeHint().width());
    const int shift = std::max(0, widest - (portLabelRect.right() + 1 - kInnerMargin));
    placeRightAligned(*portLabel, portLabelRect, shift);
    placeRightAligned(*baudLabel, baudLabelRect, shift);
    const int listLeft = twipsToPixels(1080) + shift;
    const int listWidth = std::min(twipsToPixels(2775), frame->width() - kInnerMargin - listLeft);
    portBox_->setGeometry(listLeft, twipsToPixels(1440), listWidth, portBox_->sizeHint().height());
    baudBox_->setGeometry(listLeft, twipsToPixels(1920), listWidth, baudBox_->sizeHint().height());

    // The message may take more lines in this font than in the original one: it may grow
    // down to the port list.
    const QRect messageRect = twipsRect(120, 360, 3975, kMessageHeightTwips);
    message_->setGeometry(messageRect);
    messageMaxHeight_ = std::max(messageRect.height(), portBox_->y() - messageRect.top() - 2);

    auto* okButton = new QPushButton(QStringLiteral("OK"), this);
    okButton->setObjectName(QStringLiteral("Command2"));
    okButton->setGeometry(twipsRect(2040, 2760, 1095, 375));
    okButton->setDefault(true);
    connect(okButton, &QPushButton::clicked, this, &ComPortDialog::ok);
    okButton_ = okButton;

    auto* cancelButton = new QPushButton(QStringLiteral("Cancel"), this);
    cancelButton->setObjectName(QStringLiteral("Command1"));
    cancelButton->setGeometry(twipsRect(3240, 2760, 1095, 375));
    connect(cancelButton, &QPushButton::clicked, this, &QDialog::close);
    cancelButton_ = cancelButton;

    // Why the port is not usable, above the buttons; the dialog grows to show it.
    reason_ = new QLabel(this);
    reason_->setObjectName(QStringLiteral("PortProblemReason"));
    reason_->setWordWrap(true);
    reason_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    reason_->hide();
}

void ComPortDialog::refreshPorts() {
    const std::vector<SerialDevice> devices = detector_.devices();
    assignPortNumbers(store_, devices);
    for (int i = 0; i < kPortCount; ++i) {
        const std::string behind = describePort(store_, devices, i + 1);
        QString text = QStringLiteral("COM%1").arg(i + 1);
        if (!behind.empty()) text += QStringLiteral("  ") + QString::fromStdString(behind);
        if (portBox_->itemText(i) != text) portBox_->setItemText(i, text);
        portBox_->setItemData(i, QString::fromStdString(devicePathForPort(store_, i + 1)),
                              Qt::ToolTipRole);
    }
    // The open list may be wider than the closed box, so that every entry reads in full.
    QAbstractItemView* list = portBox_->view();
    list->setMinimumWidth(list->sizeHintForColumn(0) + 2 * list->frameWidth());
    showPortToolTip(portBox_->currentIndex());
    // The device behind the port comes and goes with the list; the message follows the port
    // being lost or reopened meanwhile.
    if (!reason_) return;
    if (const bool open = comm_.portOpen(); open != shownOpen_) {
        shownOpen_ = open;
        showMessage(open ? kReadyMessage : kPortProblemMessage);
    }
    showDeviceReason();
}

void ComPortDialog::load() {
    const int port = state_.settings.port;
    portBox_->setCurrentIndex(port >= 0 && port < portBox_->count() ? port : -1);
    // The stored index, not the Baud variable, which holds the rate by now.
    constexpr const SettingKey& kBaud = settingKey("Baud");
    const auto baud =
        parseInt16(readSetting(store_, std::string(kBaud.name), std::string(kBaud.defaultText)));
    baudBox_->setCurrentIndex(baud && *baud >= 0 && *baud < baudBox_->count() ? *baud : -1);
    showPortToolTip(portBox_->currentIndex());
    shownOpen_ = comm_.portOpen();
    if (comm_.portOpen())
        showMessage(kReadyMessage);
    else
        showPortProblem();
}

void ComPortDialog::showPortToolTip(int index) {
    portBox_->setToolTip(index < 0 ? QString()
                                   : portBox_->itemData(index, Qt::ToolTipRole).toString());
}

void ComPortDialog::ok() {
    const int port = portBox_->currentIndex();
    const int baudIndex = baudBox_->currentIndex();
    // A stored choice the lists could not show leaves nothing to open.
    if (port < 0 || baudIndex < 0) {
        showMessage(kPortProblemMessage);
        return;
    }
    session_.releaseBeforePortChange();
    if (comm_.portOpen() && !comm_.setPortOpen(false)) {
        showPortProblem();
        return;
    }
    state_.settings.baud = std::to_string(baudIndex);  // the session opens at its rate
    if (!session_.openPort(port) || !comm_.portOpen()) {
        showPortProblem();
        return;
    }
    state_.settings.port = port;
    // Port and rate belong together; they are stored in one step.
    // The rate's index, not the rate the Baud variable holds now. A failed write is logged; the
    // port stays open for this run.
    (void)writeSettings(
        store_,
        {{std::string(settingKey("Port").name), settingText(settingKey("Port"), state_.settings)},
         {std::string(settingKey("Baud").name), std::to_string(baudIndex)}});
    emit portOpened();
    close();
}

void ComPortDialog::showPortProblem() {
    showMessage(kPortProblemMessage);
    showDeviceReason();
}

std::string ComPortDialog::deviceReason() const {
    if (comm_.portLost()) return deviceGoneMessage(comm_.portDevice());
    if (comm_.portOpen()) return {};
    const PortProblem problem = comm_.openProblem();
    if (problem.failure == OpenFailure::Missing && !problem.device.empty() &&
        QFileInfo::exists(QString::fromStdString(problem.device)))
        return problem.device + " is there again: OK opens it.";
    return problem.text();
}

void ComPortDialog::showDeviceReason() {
    const QString reason = QString::fromStdString(deviceReason());
    if (reason == reason_->text() && reason.isEmpty() == reason_->isHidden()) return;
    reason_->setText(reason);
    reason_->setVisible(!reason.isEmpty());
    layOut();
}

void ComPortDialog::showSettingsProblem(const std::string& text) {
    // A long path has no spaces to wrap at: it may wrap after each of its slashes.
    QString shown = QString::fromStdString(text);
    shown.replace(QLatin1Char('/'), QStringLiteral("/\u200B"));
    notice_->setText(shown);
    notice_->setVisible(!text.empty());
    layOut();
}

void ComPortDialog::layOut() {
    const int margin = twipsToPixels(120);
    const int width = baseSize_.width() - 2 * margin;
    int top = margin;
    if (!notice_->isHidden()) {
        const int height = notice_->heightForWidth(width);
        notice_->setGeometry(margin, top, width, height);
        top += height + margin;
    }
    frame_->move(margin, top);
    top = frame_->geometry().bottom() + 1 + twipsToPixels(105);
    if (!reason_->isHidden()) {
        const int height = reason_->heightForWidth(width);
        reason_->setGeometry(margin, top, width, height);
        top += height + twipsToPixels(105);
    }
    okButton_->move(okButton_->x(), top);
    cancelButton_->move(cancelButton_->x(), top);
    setFixedSize(baseSize_.width(), top + okButton_->height() + twipsToPixels(75));
}

void ComPortDialog::showMessage(std::string_view text) {
    message_->setText(QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size())));
    const int needed = message_->heightForWidth(message_->width());
    message_->resize(message_->width(),
                     std::clamp(needed, twipsToPixels(kMessageHeightTwips), messageMaxHeight_));
}

}  // namespace kv
