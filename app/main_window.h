// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QPointer>
#include <QTimer>
#include <memory>
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
#include "message_box.h"
#include "print_save.h"
#include "qt_timer.h"
#include "radio_session.h"
#include "recording_browser.h"
#include "serial_ports.h"
#include "settings_backend.h"
#include "shared_state.h"
#include "sweep_controller.h"
#include "sweep_dialog.h"
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

    // Sweeps from `source` instead of the radio, the title naming it; the live band comes back
    // with goLive, so a source's band is never saved.
    void watchSource(std::unique_ptr<SweepSource> source, std::string name);
    // Back to the radio as at start.
    void goLive();
    // Opens a sweep log to browse; false after a message saying why it is none.
    bool openRecording(const std::string& path);
    // The recording browsed, or nullptr.
    RecordingBrowser* browser() const { return browser_; }

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
    void onPortOpenedByDialog();
    // A left click or double click on the picture, at its place in logical pixels.
    void onMouse(const QMouseEvent& event, bool doubleClick);
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
    QPointer<ComPortDialog> comPortDialog_;
    QPointer<ColoursDialog> coloursDialog_;
    QPointer<SweepDialog> sweepDialog_;
    WindowModes* modes_ = nullptr;  // owned by the window
    bool unloaded_ = false;
    std::unique_ptr<SweepSource> source_;
    SettingValues liveBand_;               // the band before the source
    RecordingBrowser* browser_ = nullptr;  // the source while it is a recording
    QAction* liveAction_ = nullptr;
    QAction* exportRangeAction_ = nullptr;
    int playSpeed_ = RecordingBrowser::kPlaySpeeds[0];
};

}  // namespace kv
