// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>
#include <optional>
#include <string>

#include "band_watch.h"
#include "clock.h"
#include "colours_dialog.h"
#include "comm_control.h"
#include "comport_dialog.h"
#include "display.h"
#include "event_loop.h"
#include "image_surface.h"
#include "key_commands.h"
#include "last_folder.h"
#include "limit_watch.h"
#include "message_box.h"
#include "print_save.h"
#include "qt_timer.h"
#include "radio_session.h"
#include "recording_browser.h"
#include "serial_ports.h"
#include "settings_backend.h"
#include "shared_state.h"
#include "site_control.h"
#include "sweep_controller.h"
#include "sweep_dialog.h"
#include "sweep_source.h"
#include "window_modes.h"

class QAction;
class QMenu;
class QMouseEvent;

namespace kv {

class CommonDialogs;
class SurfaceView;

// The facilities the main window runs on; the program passes the real ones, tests doubles.
struct AppServices {
    SettingsBackend& store;
    CommControl& comm;
    const SerialDetector& detector;
    EventLoop& loop;
    const Clock& clock;
    MessageBox& messages;
    CommonDialogs& dialogs;
    std::string executableDirectory;
};

class MainWindow : public QMainWindow {
    Q_OBJECT
  public:
    static constexpr int kClientTwipsWidth = 10755;
    static constexpr int kClientTwipsHeight = 8730;
    // The message row while no port is open.
    static constexpr const char* kNoPortHint =
        "No serial port is open. Choose one with Settings \u2192 COM Port.";
    // Where the window's place and size are kept between runs.
    static constexpr const char* kWindowSection = kv::kWindowSection;

    explicit MainWindow(AppServices services, QWidget* parent = nullptr);
    ~MainWindow() override;

    enum class LoadOutcome { Ready, PortDialogShown, Quit };
    // The window's load: settings, serial set-up, or the serial port dialog on failure.
    LoadOutcome load();

    SharedState& state() { return state_; }
    ImageSurface& surface() { return surface_; }
    SurfaceView* view() const { return view_; }
    ComPortDialog* comPortDialog() const { return comPortDialog_; }
    ColoursDialog* coloursDialog() const { return coloursDialog_; }
    BandWatch& bandWatch() { return bandWatch_; }
    LimitWatch& limitWatch() { return limitWatch_; }
    const SweepHistory& history() const { return history_; }
    SweepController& sweep() { return sweep_; }
    SweepDialog* sweepDialog() const { return sweepDialog_; }
    WindowModes* modes() const { return modes_; }
    bool unloaded() const { return unloaded_; }

    // Menu commands.
    void exitCommand();
    void showComPortDialog();
    void showColoursDialog();
    void printCommand();
    void saveCommand();
    void runCommand();
    void showSweepDialog();
    // Writes the trace as a CSV file; a file that cannot be written is a message.
    void exportCommand();

    // Shows the sweeps of `source` (a recording, a site's radio) instead of the radio's, with
    // `name` in the title. The radio leaves command mode at the next pass; before the window's
    // load it is never opened at all. The band the source's sweeps move the trace to is not
    // kept: File -> Live and the exit go back to the band the radio was swept on.
    void watchSource(std::unique_ptr<SweepSource> source, const std::string& name);
    // File -> Live: the radio on the port again, at its band, as at start.
    void goLive();
    SweepSource* source() const { return source_.get(); }
    // Opens a sweep log to browse; false after a message saying why it is none.
    bool openRecording(const std::string& path);
    // The recording browsed, or nullptr.
    RecordingBrowser* browser() const { return browser_; }
    // Watches the site at `address` (with `radio`, that radio at once); the reason it cannot,
    // or empty.
    std::string watchSite(SiteAddress address, const std::optional<std::string>& radio);
    SiteControl* site() const { return site_; }

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    // The picture, and below it the waterfall strip while it is shown.
    void layOutPictureAndStrip();
    void buildMenus();
    // The Trace menu, View's key items and the status line.
    void addModeMenus();
    void addHelpMenu();
    void unload();
    void terminate();
    void closeDialogs();
    // The caption from the source watched, the recording and the alarm.
    void showTitle();
    // Print and Save say why they failed; a cancel says nothing.
    void reportOutputFailure(const OutputOutcome& outcome, const std::string& what);
    void onViewResized();
    // Without a sweep nothing else draws the window: the full picture, with the hint while
    // no port is open.
    void drawIdlePicture();
    // The least size the picture needs and the stored place and size, within the screen.
    void placeWindow();
    void saveWindowPlacement();
    void onKeyPressed(int qtKey);
    // File: Open Recording…, Live, Export Range… and the play speed.
    void addRecordingItems(QMenu& file);
    void openRecordingCommand();
    void exportRangeCommand();
    // The message row and the strip follow the browser's cursor.
    void recordingChanged();
    // The strip and the message row no longer show a recording.
    void leaveRecording();
    void onPortOpenedByDialog();
    // A left click or double click on the picture, at its place in logical pixels.
    void onMouse(const QMouseEvent& event, bool doubleClick);
    // The trace's next pass starts afresh (max hold, average, markers on the new arrays).
    void restartTrace();
    // The least size the picture needs at the current settings, within the screen.
    void fitMinimumSize();

    AppServices services_;
    SharedState state_;
    ImageSurface surface_;
    QtTimer timer1_;
    QtTimer timer3_;
    QtTimer reopenTimer_;
    Display display_;
    RadioSession session_;
    KeyCommands keys_;
    SweepController sweep_;
    SurfaceView* view_ = nullptr;
    SweepHistory history_;
    LastFolder dialogs_;
    BandWatch bandWatch_;
    LimitWatch limitWatch_;
    QPointer<ComPortDialog> comPortDialog_;
    QPointer<ColoursDialog> coloursDialog_;
    QPointer<SweepDialog> sweepDialog_;
    WindowModes* modes_ = nullptr;   // owned by the window
    QAction* liveAction_ = nullptr;  // owned by its menu
    SiteControl* site_ = nullptr;    // owned by the window
    std::unique_ptr<SweepSource> source_;
    std::string sourceName_;  // in the title while watched
    // The settings the radio was swept with before the first source, its band restored by
    // File -> Live and at exit.
    std::optional<SettingValues> live_;
    bool unloaded_ = false;
    RecordingBrowser* browser_ = nullptr;  // the source while it is a recording
    QAction* exportRangeAction_ = nullptr;
    int playSpeed_ = RecordingBrowser::kPlaySpeeds[0];
};

}  // namespace kv
