// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <functional>

namespace kv::test {

// Starts `program` so that it dies with this process, also when this process is killed (by
// CTest on a time-out): no simulator or analyzer outlives the test that started it. `inChild`
// runs in the child before the program starts (a limit on its files, say).
bool startTied(QProcess& process, const QString& program, const QStringList& args = {},
               const std::function<void()>& inChild = {});
// The build folder's program `name`, its settings in `configHome`; tied as above.
bool startWithSettings(QProcess& process, const QString& name, const QString& configHome,
                       const QStringList& args = {}, const std::function<void()>& inChild = {});
// The analyzer's settings file under `configHome`.
QString settingsFile(const QString& configHome);
// A settings file that maps COM1 to `device` and holds `settings` lines in its [Settings].
bool writeSettingsFile(const QString& path, const QString& device, const QByteArray& settings);

// Debian's mosquitto on a free loopback port, its state in a private folder that outlives a
// restart (retained messages, sessions), as a site's broker's would.
class BrokerProcess {
  public:
    ~BrokerProcess() { process.terminate(), process.waitForFinished(5000); }
    bool start();
    // Stopped, and waited for.
    bool stop() { return process.terminate(), process.waitForFinished(10000); }
    QString url() const { return "mqtt://127.0.0.1:" + port; }
    // Publishes one message with mosquitto_pub; true once it went.
    bool publish(const QString& topic, const QByteArray& payload) const;

    QTemporaryDir dir;
    QString port;  // chosen by the first start; the same on a restart
    QProcess process;
};

// The real kv3710-sim, reached through a link in a private folder, logging the wire to
// wireLogPath(). Commands go to its standard input, one line each, and answer one line.
class SimProcess {
  public:
    ~SimProcess() {  // what still runs then is killed by QProcess
        process_.terminate();
        process_.waitForFinished(5000);
    }
    // True once it has printed its device path.
    bool start(const QStringList& options = {});
    QString command(const QString& line);
    // A value of the "stats" command's key=value pairs.
    qint64 stat(const QString& key);

    QString devicePath() const { return device_; }
    QString linkPath() const { return dir_.filePath(QStringLiteral("radio")); }
    QString wireLogPath() const { return dir_.filePath(QStringLiteral("wire.log")); }

  private:
    QString readLine();
    QTemporaryDir dir_;
    QProcess process_;
    QString device_;
};

}  // namespace kv::test
