#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kv::test {

// Starts `program` so that it dies with this process, also when this process is killed (by
// CTest on a time-out): no simulator or analyzer outlives the test that started it.
bool startTied(QProcess& process, const QString& program, const QStringList& args = {});
// The real kv3710-analyzer in the process's environment (or this one's) with its settings in
// `configHome`.
bool startAnalyzer(QProcess& process, const QString& configHome);
// The analyzer's settings file under `configHome`.
QString settingsFile(const QString& configHome);
// A settings file that maps COM1 to `device` and holds `settings` lines in its [Settings].
bool writeSettingsFile(const QString& path, const QString& device, const QByteArray& settings);

// The real kv3710-sim in a child process, reached through a symbolic link in a private
// folder, logging the wire to wireLogPath() unless the options name another log. Commands go to its
// standard input, one line each, and answer one line.
class SimProcess {
  public:
    SimProcess() = default;
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // True once it has printed its device path.
    bool start(const QStringList& options = {});
    void stop();
    QString command(const QString& line);
    // key=value pairs of the "stats" command.
    qint64 stat(const QString& key);

    QString devicePath() const { return device_; }
    QString linkPath() const { return dir_.filePath(QStringLiteral("radio")); }
    QString wireLogPath() const { return dir_.filePath(QStringLiteral("wire.log")); }
    // The build folder's executable of this name.
    static QString executable(const QString& name);

  private:
    QString readLine();
    QTemporaryDir dir_;
    QProcess process_;
    QString device_;
};

}  // namespace kv::test
