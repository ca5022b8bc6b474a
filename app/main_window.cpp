// SPDX-License-Identifier: GPL-3.0-or-later
#include "main_window.h"

#include <QActionGroup>
#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QMenuBar>
#include <QMouseEvent>
#include <QScreen>
#include <QStatusBar>
#include <QVBoxLayout>
#include <algorithm>
#include <cmath>

#include "colours_dialog.h"
#include "comport_dialog.h"
#include "help_dialogs.h"
#include "log_categories.h"
#include "print_save.h"
#include "qt_picture_output.h"
#include "settings_store.h"
#include "surface_view.h"
#include "titles.h"
#include "trace_export.h"
#include "virtual_keys.h"
#include "whole_file.h"

namespace kv {

namespace {

// The directory of the running program with a trailing slash; after a message, empty.
std::string getProgramDirectory(const std::string& executableDirectory, MessageBox& messages) {
    if (executableDirectory.empty()) {
        messages.show("Can't locate program directory", kProgramTitle);
        return {};
    }
    if (executableDirectory.back() == '/') return executableDirectory;
    return executableDirectory + "/";
}

}  // namespace

MainWindow::MainWindow(AppServices services, QWidget* parent)
    : QMainWindow(parent),
      services_(std::move(services)),
      surface_(logicalDpiX()),
      timer1_(Radio::kReplyTimeoutMs, this),
      timer3_(SweepController::kTimer3IntervalMs, this),
      reopenTimer_(RadioSession::kReopenPeriodMs, this),
      display_(state_, surface_),
      session_(state_, services_.comm, timer1_, reopenTimer_, services_.loop, display_),
      keys_(state_, surface_, display_),
      sweep_(state_, session_, display_, surface_, services_.loop, services_.clock, timer3_),
      dialogs_(services_.dialogs,
               services_.store.read(kWindowSection, LastFolder::kKey).value_or("")),
      bandWatch_(state_, history_, services_.messages, dialogs_, *this, logicalDpiX(),
                 [this] { showTitle(); }),
      limitWatch_(
          state_, services_.store, display_, services_.messages, *this,
          [this] { display_.drawScreen(true); }, [this] { showTitle(); }) {
    showTitle();
    view_ = new SurfaceView(surface_, this);
    layOutPictureAndStrip();
    view_->onResized = [this](int, int) { onViewResized(); };
    view_->onKeyPressed = [this](QKeyEvent* e) { onKeyPressed(e->key()); };
    view_->onMousePressed = [this](QMouseEvent* e) { onMouse(*e, false); };
    view_->onMouseDoubleClicked = [this](QMouseEvent* e) { onMouse(*e, true); };
    // The picture is retained, so an expose needs no redraw; only a change of pixel density
    // (the window moved to another screen) makes the full redraw necessary.
    view_->onRedrawNeeded = [this] { display_.drawScreen(true); };
    site_ =
        new SiteControl(*this, services_.store,
                        {[this](std::unique_ptr<SweepSource> source, const std::string& name) {
                             watchSource(std::move(source), name);
                             // Another radio: the strip starts afresh as the trace does.
                             sweep_.sinks().settingsApplied(state_.settings, true);
                         },
                         [this](const Sweep* sweep) {
                             display_.setCompareLevels(sweep ? levelsOnBand(*sweep, state_.settings)
                                                             : std::vector<double>());
                         },
                         [this](const std::string& text) {
                             services_.messages.showWithoutWaiting(text, kProgramTitle);
                         }});
    buildMenus();

    const double twipsPerPixel = surface_.twipsPerLogicalPixel();
    const QSize client(qRound(kClientTwipsWidth / twipsPerPixel),
                       qRound(kClientTwipsHeight / twipsPerPixel));
    resize(client.width(),
           client.height() + menuBar()->sizeHint().height() + statusBar()->sizeHint().height());
}

MainWindow::~MainWindow() {
    terminate();
}

void MainWindow::layOutPictureAndStrip() {
    auto* central = new QWidget(this);
    auto* column = new QVBoxLayout(central);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(0);
    column->addWidget(view_, 1);
    column->addWidget(bandWatch_.strip());
    setCentralWidget(central);
    // What follows the sweeps, in this order: the strip draws from the history.
    sweep_.sinks().add(history_);
    sweep_.sinks().add(bandWatch_);
    sweep_.sinks().add(bandWatch_.recordingSink());
    sweep_.sinks().add(limitWatch_.alarmSink());
    sweep_.setTraceLevel([this](int point, double measuredDb) {
        return history_.traceLevel(state_.average, point, measuredDb);
    });
    keys_.setStripCalls(
        {[this] { bandWatch_.toggleStrip(); }, [this] { bandWatch_.redrawStrip(); }});
    keys_.setLimitToggle([this] { limitWatch_.toggle(); });
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("Main_File"));
    auto add = [this](QMenu* menu, const char* name, const char* caption, auto handler) {
        QAction* a = menu->addAction(QString::fromUtf8(caption));
        a->setObjectName(QString::fromLatin1(name));
        connect(a, &QAction::triggered, this, handler);
        return a;
    };
    add(file, "Main_File_Print", "Print…", &MainWindow::printCommand)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    add(file, "Main_File_Save", "Save…", &MainWindow::saveCommand)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    add(file, "Main_File_Export", "Export Trace…", &MainWindow::exportCommand);
    addRecordingItems(*file);
    bandWatch_.addFileItems(*file);
    file->addSeparator()->setObjectName(QStringLiteral("Main_File_Space3"));
    site_->addFileItem(*file);
    liveAction_ = add(file, "Main_File_Live", "Live", &MainWindow::goLive);
    liveAction_->setEnabled(false);
    file->addSeparator()->setObjectName(QStringLiteral("Main_File_Space2"));
    add(file, "Main_Exit", "Exit", &MainWindow::exitCommand)
        ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    add(file, "Main_File_Run", "Run", &MainWindow::runCommand)->setVisible(false);
    bandWatch_.addViewMenu(*menuBar(), [this] {
        keys_.keyDown(vk::kA);
        if (browser_) browser_->averageToggled();
    });
    addModeMenus();
    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Settings"));
    settings->setObjectName(QStringLiteral("Main_Settings"));
    add(settings, "Main_Settings_Settings", "Colors", &MainWindow::showColoursDialog);
    add(settings, "Main_Settings_COM", "COM Port", &MainWindow::showComPortDialog);
    add(settings, "Main_Settings_Sweep", "Sweep…", &MainWindow::showSweepDialog);
    limitWatch_.addSettingsItem(*settings);
    if (auto* view = menuBar()->findChild<QMenu*>(QStringLiteral("Main_View")))
        limitWatch_.addViewItem(*view);
    addHelpMenu();
}

void MainWindow::addModeMenus() {
    modes_ = new WindowModes(
        {state_, services_.comm, services_.clock, [this] { return bandWatch_.recordingPath(); },
         [this](int key) { keys_.keyDown(key); }},
        *statusBar(), this);
    if (auto* view = menuBar()->findChild<QMenu*>(QStringLiteral("Main_View"))) {
        site_->addViewItem(*view);
        view->addSeparator();
        modes_->addViewItems(*view, view->findChild<QAction*>(QStringLiteral("Main_View_Average")));
    }
    // Right after View, before Settings.
    modes_->addTraceMenu(*menuBar());
}

void MainWindow::addHelpMenu() {
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("Main_Help"));
    QAction* keys = help->addAction(QStringLiteral("&Keys and Mouse…"));
    keys->setObjectName(QStringLiteral("Main_Help_Keys"));
    connect(keys, &QAction::triggered, this, [this] { makeKeysDialog(this)->show(); });
    QAction* about = help->addAction(QStringLiteral("&About ") + QString::fromUtf8(kProgramTitle) +
                                     QStringLiteral("…"));
    about->setObjectName(QStringLiteral("Main_Help_About"));
    connect(about, &QAction::triggered, this,
            [this] { makeAboutDialog(services_.store.location(), this)->show(); });
}

MainWindow::LoadOutcome MainWindow::load() {
    state_.flags.stopRequested = true;
    // Nothing reads the directory; the query stays for its message when it cannot be found.
    static_cast<void>(getProgramDirectory(services_.executableDirectory, services_.messages));
    const LoadResult loaded = loadSettings(services_.store, state_);
    // A source chosen before the load: Live and the exit go back to the band loaded.
    if (live_) live_ = state_.settings;
    limitWatch_.load();
    bool ok = loaded.ok;
    placeWindow();
    // Watching from the start, the port is left alone until File -> Live.
    if (ok && source_) {
        // A recording shows its own band again, on the strip whatever the stored strip says.
        if (browser_) {
            bandWatch_.setStripShown(true);
            browser_->moveTo(browser_->cursor());
        }
        return LoadOutcome::Ready;
    }
    if (ok) ok = session_.openPort(state_.settings.port);
    if (ok) {
        if (!services_.comm.portOpen()) {
            services_.messages.show("Edit registry settings to correct this problem.",
                                    kProgramTitle);
            unload();
            return LoadOutcome::Quit;
        }
        return LoadOutcome::Ready;
    }
    showComPortDialog();
    // Why the port was not opened, when the settings are to blame.
    comPortDialog_->showSettingsProblem(loaded.problem(services_.store.location()));
    return LoadOutcome::PortDialogShown;
}

void MainWindow::onViewResized() {
    if ((services_.comm.portOpen() || source_) && state_.flags.stopRequested) {
        timer3_.setEnabled(true);
        return;
    }
    state_.flags.layoutChanged = true;
    if (state_.flags.stopRequested && !unloaded_) drawIdlePicture();
}

void MainWindow::drawIdlePicture() {
    auto& texts = state_.texts;
    if (!services_.comm.portOpen()) {
        texts.commMessage = kNoPortHint;
        texts.shownCommMessage = kNoPortHint;
    } else if (texts.commMessage == kNoPortHint) {
        texts.commMessage.clear();
        texts.shownCommMessage.clear();
    }
    sweep_.redoLayout();
}

void MainWindow::fitMinimumSize() {
    const double twipsPerPixel = surface_.twipsPerLogicalPixel();
    const auto pixels = [twipsPerPixel](double twips) {
        return static_cast<int>(std::ceil(twips / twipsPerPixel));
    };
    const int menuHeight = menuBar()->sizeHint().height() + statusBar()->sizeHint().height();
    const QRect available = screen()->availableGeometry();
    // The screen wins over the picture's needs: a window larger than the screen is no use.
    const ClientSize least = display_.minimumClientSize();
    view_->setMinimumSize(std::min(pixels(least.width), available.width()),
                          std::min(pixels(least.height), available.height() - menuHeight));
}

void MainWindow::placeWindow() {
    fitMinimumSize();
    const QRect available = screen()->availableGeometry();
    const auto stored = [this](const char* key) {
        const auto text = services_.store.read(kWindowSection, key);
        return text ? parseInt32(*text) : std::nullopt;
    };
    const auto left = stored(windowKey("Left")), top = stored(windowKey("Top"));
    const auto width = stored(windowKey("Width")), height = stored(windowKey("Height"));
    bandWatch_.placeStrip(stored(BandWatch::kStripKey), stored(BandWatch::kStripHeightKey),
                          width && height);
    bandWatch_.setRowTimeNamed(services_.store.read(kWindowSection, BandWatch::kRowsKey));
    QRect placed = geometry();
    if (width && height) placed.setSize(QSize(*width, *height));
    placed.setSize(placed.size().boundedTo(available.size()));
    if (left && top) {
        // Kept inside the screen, also when the screen has become smaller since.
        placed.moveTo(std::clamp(*left, available.left(), available.right() + 1 - placed.width()),
                      std::clamp(*top, available.top(), available.bottom() + 1 - placed.height()));
        setGeometry(placed);
    } else {
        resize(placed.size());
    }
    if (stored(windowKey("Maximized")).value_or(0) != 0)
        setWindowState(windowState() | Qt::WindowMaximized);
}

void MainWindow::saveWindowPlacement() {
    const QRect normal = normalGeometry();
    std::vector<std::pair<std::string, std::string>> place = {
        {windowKey("Left"), std::to_string(normal.x())},
        {windowKey("Top"), std::to_string(normal.y())},
        {windowKey("Width"), std::to_string(normal.width())},
        {windowKey("Height"), std::to_string(normal.height())},
        {windowKey("Maximized"), isMaximized() ? "1" : "0"}};
    for (auto& entry : bandWatch_.placement()) place.push_back(std::move(entry));
    if (!dialogs_.folder().empty()) place.emplace_back(LastFolder::kKey, dialogs_.folder());
    services_.store.writeAll(kWindowSection, place);
}

void MainWindow::onKeyPressed(int qtKey) {
    if (browser_ && browser_->keyPressed(qtKey)) return;
    const bool averaged = state_.average.on;
    if (const auto code = virtualKeyFor(qtKey)) keys_.keyDown(*code);
    if (browser_ && state_.average.on != averaged) browser_->averageToggled();
    // The check marks and the status line follow the key at once.
    if (modes_) modes_->refresh();
}

void MainWindow::runCommand() {
    sweep_.run();
}

void MainWindow::exitCommand() {
    // As the close box: the unload takes a working radio out of command mode before it stops
    // the sweep. Stopping first would leave the radio in command mode for the next start.
    close();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    unload();
    event->accept();
}

void MainWindow::unload() {
    if (unloaded_) return;
    unloaded_ = true;
    if (source_) source_->stop();
    session_.close([this] {
        // The sweep dialog's values, stored already, are what the exit writes too.
        sweep_.applyRequestedSettings();
        if (live_) restoreBand(state_.settings, *live_);
        // A failed write is logged; there is nothing else left to do at exit.
        (void)saveSettings(services_.store, state_.settings);
        // Apart from the five keys, which are written together, and only for a window that
        // was shown.
        if (isVisible()) saveWindowPlacement();
    });
    closeDialogs();
}

void MainWindow::closeDialogs() {
    // A dialog left open would keep the program alive after its main window is gone; a file
    // or print dialog closed this way answers as cancelled.
    for (QDialog* dialog : findChildren<QDialog*>())
        if (dialog->isVisible()) dialog->close();
}

void MainWindow::terminate() {
    state_.flags.stopRequested = true;
    closeDialogs();
    if (!unloaded_) unload();
}

void MainWindow::showComPortDialog() {
    if (!comPortDialog_) {
        comPortDialog_ =
            new ComPortDialog(state_, session_, services_.store, services_.detector, this);
        connect(comPortDialog_, &ComPortDialog::portOpened, this,
                &MainWindow::onPortOpenedByDialog);
    }
    comPortDialog_->show();
    comPortDialog_->raise();
    comPortDialog_->activateWindow();
}

void MainWindow::onPortOpenedByDialog() {
    // After a failed start-up no resize would ever start the sweep: start it the way the
    // first resize does.
    if (state_.flags.stopRequested && !unloaded_) {
        drawIdlePicture();  // the hint goes
        timer3_.setEnabled(true);
    }
}

void MainWindow::showColoursDialog() {
    if (!coloursDialog_)
        coloursDialog_ = new ColoursDialog(
            state_, services_.store, dialogs_,
            [this] {
                display_.drawScreen(true);
                bandWatch_.redrawStrip();
            },
            this,
            ColoursDialog::OwnColour{"Limit Color", [this] { return limitWatch_.colour(); },
                                     [this](Colour colour) { limitWatch_.setColour(colour); }});
    coloursDialog_->show();
}

void MainWindow::printCommand() {
    printPicture(std::make_shared<QtPictureOutput>(
                     dialogs_, surface_, [this](Surface& page) { drawPicture(state_, page); }),
                 [this](const OutputOutcome& outcome) {
                     reportOutputFailure(outcome, "The picture could not be printed: ");
                 });
}

void MainWindow::saveCommand() {
    savePicture(std::make_shared<QtPictureOutput>(dialogs_, surface_, nullptr),
                [this](const OutputOutcome& outcome) {
                    reportOutputFailure(outcome, "The picture could not be saved to ");
                });
}

void MainWindow::reportOutputFailure(const OutputOutcome& outcome, const std::string& what) {
    if (outcome.done() || outcome.cancelled) return;
    qCWarning(lcFiles).noquote() << QString::fromStdString(what + outcome.problem);
    // The sweep goes on while the message is read.
    services_.messages.showWithoutWaiting(what + outcome.problem, kProgramTitle);
}

void MainWindow::showSweepDialog() {
    if (!sweepDialog_)
        sweepDialog_ = new SweepDialog(
            state_.settings, services_.store,
            [this](SettingsChange change) {
                sweep_.requestSettings([this, change = std::move(change)](SettingValues& s) {
                    change(s);
                    fitMinimumSize();
                });
            },
            this);
    sweepDialog_->show();
    sweepDialog_->raise();
    sweepDialog_->activateWindow();
}

void MainWindow::exportCommand() {
    dialogs_.chooseFile({"Export Trace", LastFolder::timedName("trace", "csv"), "CSV files (*.csv)",
                         "csv", false, ""},
                        [this](const auto& path) {
                            if (!path || path->empty()) return;
                            const std::string file = withDefaultExtension(*path, "csv");
                            if (const auto problem = writeWholeFile(file, traceCsv(state_)))
                                services_.messages.showWithoutWaiting(
                                    "The trace could not be written to " + file + ": " + *problem,
                                    kProgramTitle);
                        });
}

void MainWindow::watchSource(std::unique_ptr<SweepSource> source, const std::string& name) {
    if (unloaded_) return;
    leaveRecording();
    if (!live_) live_ = state_.settings;
    sweep_.setSource(source.get());  // the one watched before stops here
    source_ = std::move(source);
    restartTrace();
    sourceName_ = name;
    showTitle();
    liveAction_->setEnabled(true);
    qCInfo(lcWindow).noquote() << "watching" << QString::fromStdString(name);
    // A window without a port has no sweep run to take the source's sweeps in.
    if (state_.flags.stopRequested && isVisible()) timer3_.setEnabled(true);
}

void MainWindow::showTitle() {
    setWindowTitle(QString::fromStdString(
        kv::windowTitle(sourceName_, bandWatch_.recording(), !state_.texts.alarm.empty())));
}

void MainWindow::goLive() {
    if (!source_ || unloaded_) return;
    leaveRecording();
    sweep_.setSource(nullptr);
    source_.reset();
    const SettingValues live = *std::exchange(live_, std::nullopt);
    sweep_.requestSettings([live](SettingValues& s) { restoreBand(s, live); });
    sourceName_.clear();
    showTitle();
    liveAction_->setEnabled(false);
    site_->leftSite();
    qCInfo(lcWindow) << "live";
    if (services_.comm.portOpen()) return;
    // Watching from the start left the port closed: opened now, or chosen in the dialog.
    if (!session_.openPort(state_.settings.port)) {
        showComPortDialog();
        return;
    }
    if (state_.flags.stopRequested) timer3_.setEnabled(true);
}

std::string MainWindow::watchSite(SiteAddress address, const std::optional<std::string>& radio) {
    return site_->connectTo(std::move(address), radio);
}

void MainWindow::restartTrace() {
    sweep_.requestSettings([](SettingValues&) {});
}

void MainWindow::addRecordingItems(QMenu& file) {
    QAction* open =
        file.addAction(QStringLiteral("Open Recording…"), this, &MainWindow::openRecordingCommand);
    open->setObjectName(QStringLiteral("Main_File_OpenRecording"));
    open->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_O));
    exportRangeAction_ =
        file.addAction(QStringLiteral("Export Range…"), this, &MainWindow::exportRangeCommand);
    exportRangeAction_->setObjectName(QStringLiteral("Main_File_ExportRange"));
    exportRangeAction_->setEnabled(false);
    QMenu* speed = file.addMenu(QStringLiteral("Play Speed"));
    speed->setObjectName(QStringLiteral("Main_File_PlaySpeed"));
    auto* speeds = new QActionGroup(speed);
    for (const int times : RecordingBrowser::kPlaySpeeds) {
        QAction* a = speed->addAction(QString::number(times) + QStringLiteral("×"));
        a->setCheckable(true);
        a->setChecked(times == RecordingBrowser::kPlaySpeeds[0]);
        speeds->addAction(a);
        connect(a, &QAction::triggered, this, [this, times] {
            playSpeed_ = times;
            if (browser_) browser_->setPlaySpeed(times);
        });
    }
    file.addSeparator();
}

bool MainWindow::openRecording(const std::string& path) {
    const auto damaged = [path](std::int64_t line, const std::string& why) {
        qCWarning(lcFiles).noquote() << QString::fromStdString(path) << "line" << line
                                     << "skipped:" << QString::fromStdString(why);
    };
    // A large file shows its newest sweep first and is indexed whole on a thread.
    auto index = std::make_unique<RecordingIndex>(damaged);
    if (const std::string why = index->openNewest(path); !why.empty()) {
        qCWarning(lcFiles).noquote() << QString::fromStdString(why);
        services_.messages.showWithoutWaiting(why, kProgramTitle);
        return false;
    }
    auto browser = std::make_unique<RecordingBrowser>(std::move(index), path, state_,
                                                      [this] { recordingChanged(); });
    browser->setPlaySpeed(playSpeed_);
    if (!browser->index().whole())
        browser->indexInBackground(std::make_unique<RecordingIndex>(damaged));
    RecordingBrowser* const opened = browser.get();
    watchSource(std::move(browser), path.substr(path.find_last_of('/') + 1));
    browser_ = opened;
    // The trace starts afresh now rather than at the next pass, then shows the cursor's sweep.
    sweep_.applyRequestedSettings();
    browser_->moveTo(browser_->cursor());
    bandWatch_.strip()->onRowsDragged = [this](int from, int to, bool released) {
        if (browser_) browser_->rowsDragged(from, to, released);
    };
    bandWatch_.showPast([this](WaterfallView& strip) {
        if (browser_) browser_->drawStrip(strip);
    });
    exportRangeAction_->setEnabled(true);
    recordingChanged();
    return true;
}

void MainWindow::leaveRecording() {
    if (!browser_) return;
    browser_ = nullptr;
    bandWatch_.showPast(nullptr);
    state_.texts.commMessage.clear();
    exportRangeAction_->setEnabled(false);
}

void MainWindow::recordingChanged() {
    if (!browser_) return;
    state_.texts.commMessage = browser_->describe();
    bandWatch_.redrawStrip();
}

void MainWindow::openRecordingCommand() {
    CommonDialogs::FileChoice choice{
        "Open Recording", "", "Sweep logs (*.csv *.csv.gz);;All files (*)", "", false, ""};
    choice.opens = true;
    dialogs_.chooseFile(choice, [this](const auto& path) {
        if (path && !path->empty()) openRecording(*path);
    });
}

void MainWindow::exportRangeCommand() {
    if (!browser_) return;
    dialogs_.chooseFile({"Export Range", LastFolder::timedName("range", "csv"),
                         "Sweep logs (*.csv)", "csv", false, ""},
                        [this](const auto& path) {
                            if (!path || path->empty() || !browser_) return;
                            const std::string file = withDefaultExtension(*path, "csv");
                            if (const auto problem = writeWholeFile(file, browser_->rangeLines()))
                                services_.messages.showWithoutWaiting(
                                    "The range could not be written to " + file + ": " + *problem,
                                    kProgramTitle);
                        });
}

void MainWindow::onMouse(const QMouseEvent& event, bool doubleClick) {
    if (event.button() != Qt::LeftButton) return;
    const double twips = surface_.twipsPerLogicalPixel();
    const double x = event.position().x() * twips;
    const double y = event.position().y() * twips;
    if (doubleClick)
        keys_.doubleClick(x, y);
    else
        keys_.click(x, y);
}

}  // namespace kv
