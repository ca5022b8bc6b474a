// SPDX-License-Identifier: GPL-3.0-or-later
#include "band_watch.h"

#include <QAction>
#include <QActionGroup>
#include <QImage>
#include <QMenu>
#include <QMenuBar>
#include <QPixmap>
#include <QSaveFile>
#include <QWidget>

#include "last_folder.h"
#include "log_categories.h"
#include "print_save.h"
#include "titles.h"

namespace kv {

BandWatch::BandWatch(SharedState& state, const SweepHistory& history, MessageBox& messages,
                     CommonDialogs& dialogs, QWidget& window, double logicalDpi,
                     std::function<void()> titleChanged)
    : state_(state),
      messages_(messages),
      dialogs_(dialogs),
      window_(window),
      titleChanged_(std::move(titleChanged)),
      recording_([this](const std::string& why) {
          recordingChanged();
          // The sweep goes on while the message is read.
          messages_.showWithoutWaiting(why, kProgramTitle);
      }),
      strip_(new WaterfallView(logicalDpi, &window)),
      rows_(history),
      panel_(state_, rows_.rows(), *strip_) {
    strip_->setObjectName(QStringLiteral("Waterfall"));
    strip_->hide();
    strip_->onResized = [this] { redrawStrip(); };
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
    QMenu* rowTimes = view->addMenu(QStringLiteral("Waterfall Rows"));
    rowTimes->setObjectName(QStringLiteral("Main_View_WaterfallRows"));
    auto* group = new QActionGroup(rowTimes);
    for (const RowTime& rowTime : kRowTimes) {
        QAction* item = rowTimes->addAction(
            QString::fromUtf8(rowTime.name.data(), static_cast<qsizetype>(rowTime.name.size())));
        item->setCheckable(true);
        item->setChecked(rowTime.name == rows_.rowTime().name);
        group->addAction(item);
        connect(item, &QAction::triggered, this, [this, &rowTime] { setRowTime(rowTime); });
        rowTimeActions_.push_back(item);
    }
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
    std::vector<std::pair<std::string, std::string>> keys;
    if (stripUsed_)
        keys = {{kStripKey, stripShown() ? "1" : "0"},
                {kStripHeightKey, std::to_string(stripHeight_)}};
    if (rowTimeChosen_) keys.emplace_back(kRowsKey, std::string(rows_.rowTime().name));
    return keys;
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
    if (shown) redrawStrip();
}

void BandWatch::toggleStrip() {
    setStripShown(!stripShown());
}

void BandWatch::redrawStrip() {
    if (!stripShown()) return;
    if (drawPast_)
        drawPast_(*strip_);
    else
        panel_.redraw();
}

void BandWatch::showPast(std::function<void(WaterfallView&)> draw) {
    drawPast_ = std::move(draw);
    if (drawPast_) setStripShown(true);
    redrawStrip();
}

void BandWatch::setRowTime(const RowTime& rowTime) {
    rowTimeChosen_ = true;
    rows_.setRowTime(rowTime);
    for (std::size_t i = 0; i < rowTimeActions_.size(); ++i)
        rowTimeActions_[i]->setChecked(kRowTimes[i].name == rowTime.name);
    redrawStrip();
}

void BandWatch::setRowTimeNamed(const std::optional<std::string>& name) {
    if (!name) return;
    if (const RowTime* rowTime = rowTimeNamed(*name))
        setRowTime(*rowTime);
    else
        qCWarning(lcFiles).noquote() << "unknown waterfall rows" << QString::fromStdString(*name);
}

void BandWatch::sweepEnded(const Sweep& sweep) {
    const LineTime begun = localLineTime(sweep.began);
    const bool drawn = strip_->isVisible() && !drawPast_;
    if (sweep.missed > 0) {
        // As the history holds them: one row without levels for the lost sweeps.
        const bool gapRow = rows_.add(begun, std::vector<double>(sweep.levelsDb.size(), NAN));
        if (drawn) panel_.addNewest(gapRow);
    }
    const bool newRow = rows_.add(begun, sweep.levelsDb);
    if (drawn) panel_.addNewest(newRow);
}

void BandWatch::settingsApplied(const SettingValues&, bool newBand) {
    if (newBand) rows_.clear();
    redrawStrip();
}

void BandWatch::recordCommand() {
    dialogs_.chooseFile({"Record Sweeps", LastFolder::timedName("sweeps", "csv"),
                         "Sweep logs (*.csv)", "csv", true, ""},
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
    titleChanged_();
}

void BandWatch::saveWaterfallCommand() {
    if (!stripShown()) return;
    dialogs_.chooseFile({"Save Waterfall", LastFolder::timedName("waterfall", "png"),
                         "PNG pictures (*.png)", "png", false, ""},
                        [this](const auto& path) {
                            if (!path || path->empty()) return;
                            const std::string file = withDefaultExtension(*path, "png");
                            // Beside the old file first, as every picture the program writes.
                            QSaveFile out(QString::fromStdString(file));
                            if (out.open(QIODevice::WriteOnly) &&
                                wholeWaterfall().save(&out, "PNG") && out.commit())
                                return;
                            qCWarning(lcFiles).noquote()
                                << "could not write" << QString::fromStdString(file);
                            messages_.showWithoutWaiting("Cannot write " + file, kProgramTitle);
                        });
}

}  // namespace kv

namespace kv {

QImage BandWatch::wholeWaterfall() const {
    // Drawn as the strip draws itself, on a strip of its own as tall as every row.
    WaterfallView whole(strip_->logicalDpiX());
    WaterfallPanel panel(state_, rows_.rows(), whole, true);
    panel.redraw();  // for the scale's height
    whole.resize(strip_->width(), static_cast<int>(rows_.rows().size()) + whole.leastHeight() -
                                      WaterfallView::kLeastRows);
    panel.redraw();
    return whole.grab().toImage();
}

}  // namespace kv
