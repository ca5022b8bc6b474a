#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace kv::test {

// The real kv3710-sim in a child process, reached through a symbolic link in a private
// folder. Commands go to its standard input, one line each, and answer one line.
class SimProcess {
  public:
    SimProcess();
    ~SimProcess();
    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    // Starts the simulator with --link linkPath() and the given options; true once it has
    // printed its device path.
    bool start(const QStringList& options = {});
    void stop();
    QString command(const QString& line);
    // key=value pairs of the "stats" command.
    qint64 stat(const QString& key);

    QString devicePath() const { return device_; }
    QString linkPath() const { return dir_.filePath(QStringLiteral("radio")); }
    QString folder() const { return dir_.path(); }
    static QString buildDir();
    static QString executable(const QString& name) { return buildDir() + '/' + name; }

  private:
    QString readLine(int timeoutMs = 5000);
    QTemporaryDir dir_;
    QProcess process_;
    QString device_;
};

}  // namespace kv::test
