// SPDX-License-Identifier: GPL-3.0-or-later
#include "sim_process.h"

#include <signal.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>

#include "loopback.h"
#include "titles.h"

namespace kv::test {

namespace {
QString executable(const QString& name) {
    return qEnvironmentVariable("KV_BUILD_DIR") + '/' + name;
}

}  // namespace

bool BrokerProcess::start() {
    // Another test may take a free port before the first start binds it: then another port.
    for (int attempt = 0; attempt < (port.isEmpty() ? 5 : 1); ++attempt) {
        const QString tried = port.isEmpty() ? QString::number(freeLoopbackPort()) : port;
        QFile conf(dir.filePath("broker.conf"));
        // "user root" keeps a broker started as root from switching to another user, who could
        // not write here; it means nothing to one started as anyone else.
        const QByteArray text = "listener " + tried.toUtf8() +
                                " 127.0.0.1\nallow_anonymous true\npersistence true\n" +
                                "persistence_location " + dir.path().toUtf8() +
                                "/\nuser root\nlog_dest stderr\nlog_type error\n";
        process.setProcessChannelMode(QProcess::ForwardedChannels);
        if (!conf.open(QIODevice::WriteOnly) || conf.write(text) != text.size() || !conf.flush() ||
            !startTied(process, "/usr/sbin/mosquitto", {"-c", conf.fileName()}))
            return false;
        // Clients find it listening.
        const QDeadlineTimer deadline(10000);
        while (process.state() == QProcess::Running && !deadline.hasExpired() &&
               !listeningOnLoopback(tried.toInt()))
            process.waitForFinished(20);
        if (process.state() == QProcess::Running && listeningOnLoopback(tried.toInt())) {
            port = tried;
            return true;
        }
        stop();
    }
    return false;
}

bool BrokerProcess::publish(const QString& topic, const QByteArray& payload) const {
    return QProcess::execute("mosquitto_pub", {"-h", "127.0.0.1", "-p", port, "-q", "1", "-t",
                                               topic, "-m", QString::fromUtf8(payload)}) == 0;
}

bool startTied(QProcess& process, const QString& program, const QStringList& args,
               const std::function<void()>& inChild) {
    const pid_t test = ::getpid();
    process.setChildProcessModifier([test, inChild] {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        // The test may have died before the line above.
        if (::getppid() != test) ::_exit(1);
        if (inChild) inChild();
    });
    process.start(program, args);
    return process.waitForStarted(5000);
}

bool startWithSettings(QProcess& process, const QString& name, const QString& configHome,
                       const QStringList& args, const std::function<void()>& inChild) {
    QProcessEnvironment env = process.processEnvironment();
    if (env.isEmpty()) env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
    process.setProcessEnvironment(env);
    return startTied(process, executable(name), args, inChild);
}

QString settingsFile(const QString& configHome) {
    return configHome + "/" + QString::fromLatin1(kv::kProgramTitle) + ".exe.ini";
}

bool writeSettingsFile(const QString& path, const QString& device, const QByteArray& settings) {
    QFile file(path);
    const QByteArray text = "[Ports]\nCOM1=" + device.toUtf8() + "\n\n[Settings]\n" + settings;
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(text) == text.size();
}

bool SimProcess::start(const QStringList& options) {
    const QStringList args{QStringLiteral("--link"), linkPath(), QStringLiteral("--log"),
                           wireLogPath()};
    if (!startTied(process_, executable(QStringLiteral("kv3710-sim")), args + options))
        return false;
    device_ = readLine();
    return !device_.isEmpty() && QFileInfo(linkPath()).isSymLink();
}

QString SimProcess::readLine() {
    const QDeadlineTimer deadline(5000);
    while (!process_.canReadLine() && !deadline.hasExpired() &&
           process_.state() == QProcess::Running)
        process_.waitForReadyRead(50);
    return QString::fromUtf8(process_.readLine()).trimmed();
}

QString SimProcess::command(const QString& line) {
    process_.write(line.toUtf8() + '\n');
    return readLine();
}

qint64 SimProcess::stat(const QString& key) {
    for (const QString& pair : command(QStringLiteral("stats")).split(' ', Qt::SkipEmptyParts))
        if (pair.startsWith(key + '=')) return pair.mid(key.size() + 1).toLongLong();
    return -1;
}

}  // namespace kv::test
