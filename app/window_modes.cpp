// SPDX-License-Identifier: GPL-3.0-or-later
#include "window_modes.h"

#include <QAction>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QStatusBar>

#include "log_categories.h"

namespace kv {

namespace {

QString qText(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// A sweep rate older than this many periods (and a second) is no longer the current one:
// in view only or while the radio is silent nothing is swept.
constexpr std::int64_t kStalePeriods = 3;
constexpr std::int64_t kStaleSlackMs = 1000;

void setTextIfChanged(QLabel& label, const std::string& text) {
    const QString shown = QString::fromStdString(text);
    if (label.text() == shown) return;
    label.setText(shown);
    qCDebug(lcWindow).noquote() << label.objectName() << shown;
}

}  // namespace

WindowModes::WindowModes(Sources sources, QStatusBar& bar, QObject* parent)
    : QObject(parent),
      sources_(std::move(sources)),
      modes_(new QLabel(&bar)),
      source_(new QLabel(&bar)) {
    modes_->setObjectName(QStringLiteral("Status_Modes"));
    source_->setObjectName(QStringLiteral("Status_Source"));
    // Long texts are cut rather than widening the window beyond its least size.
    for (QLabel* label : {modes_, source_})
        label->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    bar.addWidget(modes_, 1);
    bar.addPermanentWidget(source_, 2);
    bar.setSizeGripEnabled(false);
    timer_.setInterval(kRefreshMs);
    connect(&timer_, &QTimer::timeout, this, &WindowModes::refresh);
    timer_.start();
    refresh();
}

QMenu* WindowModes::addTraceMenu(QMenuBar& bar) {
    QMenu* trace = bar.addMenu(QStringLiteral("&Trace"));
    trace->setObjectName(QStringLiteral("Main_Trace"));
    addKeyItems(*trace, kTraceMenuItems);
    // What the menu shows checked, as it opens: for the log, and for a test to read.
    connect(trace, &QMenu::aboutToShow, this, [this, trace] {
        refresh();
        QStringList on;
        for (const QAction* action : trace->actions())
            if (action->isChecked()) on << action->objectName();
        qCDebug(lcWindow).noquote() << trace->objectName() << "checked:" << on.join(' ');
    });
    return trace;
}

void WindowModes::addViewItems(QMenu& view, QAction* average) {
    if (average) checked_.emplace_back(average, [](const SharedState& s) { return s.average.on; });
    addKeyItems(view, kAverageMenuItems);
}

void WindowModes::addKeyItems(QMenu& menu, std::span<const KeyMenuItem> items) {
    for (const KeyMenuItem& item : items) {
        QAction* action = menu.addAction(qText(item.caption) + QLatin1Char('\t') + qText(item.key));
        action->setObjectName(qText(item.name));
        const int key = item.virtualKey;
        connect(action, &QAction::triggered, this, [this, key] {
            sources_.keyDown(key);
            refresh();
        });
        if (item.on) {
            action->setCheckable(true);
            checked_.emplace_back(action, item.on);
        }
    }
    refresh();
}

void WindowModes::refresh() {
    for (const auto& [action, on] : checked_)
        if (action->isChecked() != on(sources_.state)) action->setChecked(on(sources_.state));
    setTextIfChanged(*modes_, modesText());
    setTextIfChanged(*source_, sourceText());
}

std::string WindowModes::modesText() const {
    const SharedState& s = sources_.state;
    std::vector<std::string> on;
    if (s.flags.maxHold) on.emplace_back("MAX HOLD");
    if (s.flags.viewOnly) on.emplace_back("VIEW ONLY");
    if (s.average.on) on.push_back("AVG " + std::to_string(s.average.sweeps));
    if (const std::string path = sources_.recordingPath ? sources_.recordingPath() : "";
        !path.empty())
        on.push_back("REC " + QFileInfo(QString::fromStdString(path)).fileName().toStdString());
    std::string text;
    for (const std::string& part : on) text += (text.empty() ? "" : "   ") + part;
    return text;
}

std::string WindowModes::sourceText() const {
    const SharedState& s = sources_.state;
    const CommControl& comm = sources_.comm;
    if (!comm.portOpen() && !comm.portLost()) return "No port open";
    std::string text = "COM" + std::to_string(s.settings.port + 1);
    if (const std::string device = comm.portDevice(); !device.empty()) text += "  " + device;
    if (comm.portLost()) return text + "  gone";
    text += "  " + s.settings.baud + " Bd";
    const std::int64_t period = s.lastSweepEnd - s.previousSweepEnd;
    const std::int64_t since = sources_.clock.steadyMs() - s.lastSweepEnd;
    if (s.previousSweepEnd != 0 && period > 0 && since <= kStalePeriods * period + kStaleSlackMs)
        text += "  \u00B7  " +
                QString::number(1000.0 / static_cast<double>(period), 'f', 1).toStdString() +
                " sweeps/s";
    return text;
}

}  // namespace kv
