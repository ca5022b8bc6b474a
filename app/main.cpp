#include <QApplication>

#include "ini_settings_backend.h"
#include "local_clock.h"
#include "main_window.h"
#include "qt_common_dialogs.h"
#include "qt_event_loop.h"
#include "qt_message_box.h"
#include "serial_comm.h"
#include "termination_signals.h"

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    kv::IniSettingsBackend store;
    kv::SerialComm comm(store);
    kv::QtEventLoop loop;
    kv::SystemLocalClock clock;
    kv::QtMessageBox messages;
    kv::QtCommonDialogs dialogs;
    kv::MainWindow window({store, comm, loop, clock, messages, dialogs,
                           QCoreApplication::applicationDirPath().toStdString()});
    if (window.load() == kv::MainWindow::LoadOutcome::Quit) return 0;
    kv::TerminationSignals termination([&window] { window.close(); });
    window.show();
    return QApplication::exec();
}
