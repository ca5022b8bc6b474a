#include "sim_process.h"

#include <QElapsedTimer>
#include <QFileInfo>

namespace kv::test {

SimProcess::SimProcess() = default;

SimProcess::~SimProcess() {
    stop();
}

QString SimProcess::buildDir() {
    return qEnvironmentVariable("KV_BUILD_DIR");
}

bool SimProcess::start(const QStringList& options) {
    process_.setProcessChannelMode(QProcess::SeparateChannels);
    process_.start(executable(QStringLiteral("kv3710-sim")),
                   QStringList{QStringLiteral("--link"), linkPath()} + options);
    if (!process_.waitForStarted(5000)) return false;
    device_ = readLine();
    return !device_.isEmpty() && QFileInfo(linkPath()).isSymLink();
}

void SimProcess::stop() {
    if (process_.state() == QProcess::NotRunning) return;
    process_.terminate();
    if (!process_.waitForFinished(5000)) process_.kill();
    process_.waitForFinished(2000);
}

QString SimProcess::readLine(int timeoutMs) {
    QElapsedTimer timer;
    timer.start();
    while (!process_.canReadLine() && timer.elapsed() < timeoutMs &&
           process_.state() == QProcess::Running)
        process_.waitForReadyRead(50);
    return QString::fromUtf8(process_.readLine()).trimmed();
}

QString SimProcess::command(const QString& line) {
    process_.write(line.toUtf8() + '\n');
    return readLine();
}

qint64 SimProcess::stat(const QString& key) {
    const QString line = command(QStringLiteral("stats"));
    for (const QString& pair : line.split(' ', Qt::SkipEmptyParts)) {
        const auto kv = pair.split('=');
        if (kv.size() == 2 && kv[0] == key) return kv[1].toLongLong();
    }
    return -1;
}

}  // namespace kv::test
