// SPDX-License-Identifier: GPL-3.0-or-later
#include "band_watch.h"

#include <QAction>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QSaveFile>
#include <QWidget>

#include "log_categories.h"
#include "print_save.h"
#include "titles.h"

namespace kv {

BandWatch::BandWatch(SharedState& state, const SweepHistory& history, MessageBox& messages,
                     CommonDialogs& dialogs, QWidget& window, double logicalDpi)
    : state_(state),
      messages_(messages),
      dialogs_(dialogs),
      window_(window),
      recording_([this](const std::string& why) {
          recordingChanged();
          // The sweep goes on while the message is read.
          messages_.showWithoutWaiting(why, kProgramTitle);
      }),
      strip_(new WaterfallView(logicalDpi, &window)),
      panel_(state_, history, *strip_) {
    strip_->setObjectName(QStringLiteral("Waterfall"));
    strip_->hide();
    strip_->onResized = [this] {
        if (stripShown()) panel_.redraw();
    };
    strip_->onHeightDragged = [this](int height) { setStripHeight(height); };
    setStripHeight(stripHeight_);
}

BandWatch::~BandWatch() {
    strip_->onResized = nullptr;
    strip_->onHeightDragged = nullptr;
}

void BandWatch::addFileItems(QMenu& file) {
    saveAction_ =
        file.addAction(QStringLiteral("Save Waterfall…"), this, &BandWatch::saveWaterfallCommand);
    saveAction_->setObjectName(QStringLiteral("Main_File_SaveWaterfall"));
    saveAction_->setEnabled(false);
    file.addSeparator();
    recordAction_ =
        file.addAction(QStringLiteral("Record Sweeps…"), this, &BandWatch::recordCommand);
    recordAction_->setObjectName(QStringLiteral("Main_File_Record"));
    stopAction_ = file.addAction(QStringLiteral("Stop Recording"), this, &BandWatch::stopRecording);
    stopAction_->setObjectName(QStringLiteral("Main_File_StopRecording"));
    stopAction_->setEnabled(false);
}

void BandWatch::addViewMenu(QMenuBar& bar, std::function<void()> averageKey) {
    QMenu* view = bar.addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("Main_View"));
    // The keys show after a tab; they are the picture's own keys, not menu shortcuts.
    stripAction_ = view->addAction(QStringLiteral("Waterfall\tW"));
    stripAction_->setObjectName(QStringLiteral("Main_View_Waterfall"));
    stripAction_->setCheckable(true);
    connect(stripAction_, &QAction::triggered, this, [this](bool on) { setStripShown(on); });
    QAction* average = view->addAction(QStringLiteral("Average\tA"));
    average->setObjectName(QStringLiteral("Main_View_Average"));
    average->setCheckable(true);
    connect(average, &QAction::triggered, this, [this, average, averageKey] {
        averageKey();
        average->setChecked(state_.average.on);
    });
    connect(view, &QMenu::aboutToShow, this, [this, average] {
        average->setChecked(state_.average.on);
        stripAction_->setChecked(stripShown());
    });
}

bool BandWatch::stripShown() const {
    return !strip_->isHidden();
}

void BandWatch::placeStrip(std::optional<int> shown, std::optional<int> height,
                           bool windowSizeStored) {
    stripUsed_ = shown.has_value() || height.has_value();
    if (height) setStripHeight(*height);
    if (!shown.value_or(0)) return;
    strip_->show();
    if (!windowSizeStored) window_.resize(window_.width(), window_.height() + stripHeight_);
}

std::vector<std::pair<std::string, std::string>> BandWatch::placement() const {
    if (!stripUsed_) return {};
    return {{kStripKey, stripShown() ? "1" : "0"}, {kStripHeightKey, std::to_string(stripHeight_)}};
}

void BandWatch::setStripHeight(int height) {
    stripHeight_ = std::max(height, strip_->leastHeight());
    strip_->setFixedHeight(stripHeight_);
}

void BandWatch::setStripShown(bool shown) {
    if (stripAction_) stripAction_->setChecked(shown);
    if (saveAction_) saveAction_->setEnabled(shown);
    if (shown == stripShown()) return;
    stripUsed_ = true;
    strip_->setVisible(shown);
    // The picture keeps its size; a maximised window has no room to grow into.
    if (!window_.isMaximized() && !window_.isFullScreen())
        window_.resize(window_.width(), window_.height() + (shown ? stripHeight_ : -stripHeight_));
    if (shown) panel_.redraw();
}

void BandWatch::toggleStrip() {
    setStripShown(!stripShown());
}

void BandWatch::redrawStrip() {
    if (stripShown()) panel_.redraw();
}

void BandWatch::sweepEnded(const Sweep&) {
    if (strip_->isVisible()) panel_.addNewest();
}

void BandWatch::settingsApplied(const SettingValues&, bool) {
    redrawStrip();
}

void BandWatch::recordCommand() {
    dialogs_.chooseFile({"Record Sweeps", timedFileName("sweeps", localLineTime(), "csv"),
                         "Sweep logs (*.csv)", "csv", true},
                        [this](const auto& path) {
                            if (!path || path->empty()) return;
                            if (!startRecording(withDefaultExtension(*path, "csv")))
                                messages_.showWithoutWaiting(recording_.error(), kProgramTitle);
                        });
}

bool BandWatch::startRecording(const std::string& path) {
    const bool started = recording_.start(path);
    recordingChanged();
    return started;
}

void BandWatch::stopRecording() {
    recording_.stop();
    recordingChanged();
}

void BandWatch::recordingChanged() {
    const bool on = recording_.active();
    if (recordAction_) recordAction_->setEnabled(!on);
    if (stopAction_) stopAction_->setEnabled(on);
    window_.setWindowTitle(QString::fromUtf8(kWindowTitle) +
                           (on ? QString::fromUtf8(kRecordingTitleSuffix) : QString()));
}

void BandWatch::saveWaterfallCommand() {
    if (!stripShown()) return;
    dialogs_.chooseFile(
        {"Save Waterfall", timedFileName("waterfall", localLineTime(), "png"),
         "PNG pictures (*.png)", "png", false},
        [this](const auto& path) {
            if (!path || path->empty()) return;
            const std::string file = withDefaultExtension(*path, "png");
            // Beside the old file first, as every picture the program writes.
            QSaveFile out(QString::fromStdString(file));
            if (out.open(QIODevice::WriteOnly) && strip_->grab().save(&out, "PNG") && out.commit())
                return;
            qCWarning(lcFiles).noquote() << "could not write" << QString::fromStdString(file);
            messages_.showWithoutWaiting("Cannot write " + file, kProgramTitle);
        });
}

}  // namespace kv
