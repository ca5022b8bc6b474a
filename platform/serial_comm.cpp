// SPDX-License-Identifier: GPL-3.0-or-later
#include "serial_comm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <QFileInfo>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <thread>

#include "log_categories.h"
#include "port_names.h"

namespace kv {

namespace {

// What poll reports on a descriptor whose device has hung up or disappeared.
constexpr short kGoneEvents = POLLHUP | POLLERR | POLLNVAL;

std::string systemError() {
    return std::strerror(errno);
}

}  // namespace

void SerialComm::Descriptor::reset(int fd) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = fd;
}

SerialComm::SerialComm(SettingsBackend& store, const SerialDetector& detector, QObject* parent)
    : QObject(parent), store_(store), detector_(detector) {
    devicePath_ = devicePathForPort(store_, portNumber_);
    connect(&port_, &QSerialPort::readyRead, this, [this] {
        // QSerialPort has just fetched what the system held: input() need not ask again.
        fetchedByPort_ = true;
        deliverIfWaiting();
        fetchedByPort_ = false;
    });
    connect(&port_, &QSerialPort::errorOccurred, this, &SerialComm::onError);
}

SerialComm::~SerialComm() {
    close();
}

bool SerialComm::fail(std::string message) {
    lastError_ = std::move(message);
    return false;
}

bool SerialComm::setCommPort(int n) {
    if (n < 1 || n > kHighestPortNumber) return fail("there is no port COM" + std::to_string(n));
    // A device plugged in since the last look gets its number before the port is resolved.
    assignPortNumbers(store_, detector_.devices());
    portNumber_ = n;
    devicePath_ = devicePathForPort(store_, n);
    reopenPath_.clear();
    problem_ = {};
    return true;
}

OpenFailure SerialComm::classify(QSerialPort::SerialPortError error) {
    switch (error) {
        case QSerialPort::NoError:
            return OpenFailure::None;
        case QSerialPort::DeviceNotFoundError:
            return OpenFailure::Missing;
        case QSerialPort::PermissionError:
            return OpenFailure::PermissionDenied;
        default:
            return OpenFailure::Other;
    }
}

bool SerialComm::refuseOpen(OpenFailure failure, const std::string& device, std::string detail) {
    lock_.reset();
    PortProblem problem = describeOpenFailure(failure, device, std::move(detail));
    // A lost device is retried every second: its reason is logged once.
    if (problem.text() != problem_.text())
        qCWarning(lcSerial, "COM%d: %s", portNumber_, problem.text().c_str());
    problem_ = std::move(problem);
    return fail(problem_.text());
}

bool SerialComm::applySettings(const LineSettings& s) {
    constexpr std::array kParities{QSerialPort::NoParity, QSerialPort::EvenParity,
                                   QSerialPort::OddParity, QSerialPort::MarkParity,
                                   QSerialPort::SpaceParity};
    // A UART sends 1.5 stop bits when asked for 2 with 5 data bits (checked by setSettings).
    const auto stop = s.stopBits == StopBits::One ? QSerialPort::OneStop : QSerialPort::TwoStop;
    return port_.setBaudRate(s.rate) &&
           port_.setParity(kParities[static_cast<std::size_t>(s.parity)]) &&
           port_.setDataBits(static_cast<QSerialPort::DataBits>(s.dataBits)) &&
           port_.setStopBits(stop);
}

bool SerialComm::setSettings(std::string_view text) {
    const auto parsed = parseLineSettings(text);
    if (!parsed) return fail("malformed line settings \"" + std::string(text) + '"');
    if (parsed->stopBits == StopBits::OneAndHalf && parsed->dataBits != 5)
        return fail("1.5 stop bits need 5 data bits");
    if (port_.isOpen() && !applySettings(*parsed)) {
        const std::string why = port_.errorString().toStdString();
        applySettings(settings_);
        port_.clearError();
        return fail("line settings " + std::string(text) + " refused: " + why);
    }
    settings_ = *parsed;
    return true;
}

bool SerialComm::setPortOpen(bool open) {
    if (open) return this->open();
    close();
    return true;
}

bool SerialComm::open() {
    if (port_.isOpen()) return true;
    const std::string wanted = portLost_ && !reopenPath_.empty() ? reopenPath_ : devicePath_;
    // The real device, so that every name of one device shares QSerialPort's lock file.
    const QString device = QFileInfo(QString::fromStdString(wanted)).canonicalFilePath();
    if (device.isEmpty()) return refuseOpen(OpenFailure::Missing, wanted);
    const std::string path = device.toStdString();
    // Root passes TIOCEXCL, so ports are claimed with flock, before QSerialPort touches the
    // line settings of a port that may belong to another program.
    lock_.reset(::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC));
    if (lock_.get() < 0) return refuseOpen(classifyOpenErrno(errno), wanted, systemError());
    if (!::isatty(lock_.get())) return refuseOpen(OpenFailure::Other, wanted, "not a serial port");
    if (::flock(lock_.get(), LOCK_EX | LOCK_NB) != 0) return refuseOpen(OpenFailure::Busy, wanted);

    port_.setPortName(device);
    applySettings(settings_);
    port_.setFlowControl(flow_);
    if (!port_.open(QIODevice::ReadWrite)) {
        OpenFailure failure = classify(port_.error());
        // The device opened above, so a refusal now is another program's lock file.
        if (failure == OpenFailure::PermissionDenied && lockHolder(path) > 0)
            failure = OpenFailure::Busy;
        const std::string why = port_.errorString().toStdString();
        port_.clearError();
        return refuseOpen(failure, wanted, why);
    }
    openedPath_ = path;
    if (reopenPath_.empty()) {
        const std::vector<SerialDevice> devices = detector_.devices();
        const SerialDevice* known = findDevice(devices, path);
        reopenPath_ = known && !known->stablePath.empty() ? known->stablePath : wanted;
    }
    portLost_ = false;
    problem_ = {};
    // Set again on the open device, which may refuse it.
    if (!port_.setFlowControl(flow_)) warnRefused("its flow control setting");
    port_.clearError();
    applyRts();
    return true;
}

void SerialComm::close() {
    if (port_.isOpen()) {
        closing_ = true;  // restoring the line settings of a vanished device reports an error
        port_.close();
        closing_ = false;
    }
    port_.clearError();
    lock_.reset();
}

void SerialComm::setHandshaking(int mode) {
    // 0 none, 1 XON/XOFF, 2 RTS/CTS, 3 both; QSerialPort offers one kind at a time.
    flow_ = mode == 0   ? QSerialPort::NoFlowControl
            : mode == 1 ? QSerialPort::SoftwareControl
                        : QSerialPort::HardwareControl;
    if (!port_.isOpen()) return;
    if (!port_.setFlowControl(flow_)) warnRefused("its flow control setting");
    port_.clearError();
    applyRts();
}

void SerialComm::setRtsEnable(bool enable) {
    rts_ = enable;
    applyRts();
}

void SerialComm::applyRts() {
    if (!port_.isOpen() || flow_ == QSerialPort::HardwareControl) return;
    if (!port_.setRequestToSend(rts_)) warnRefused(rts_ ? "RTS high" : "RTS low");
    port_.clearError();
}

void SerialComm::warnRefused(const char* what) {
    // A radio in RTS mode waits for a line the adapter may then leave raised. Said once a
    // device and setting, not at every exit's reminder.
    const std::string key = openedPath_ + '\n' + what;
    if (std::find(refusalsLogged_.begin(), refusalsLogged_.end(), key) != refusalsLogged_.end())
        return;
    refusalsLogged_.push_back(key);
    const QByteArray why = port_.errorString().toLocal8Bit();
    // A device with no modem lines at all (a pseudo-terminal) has no RTS to raise either.
    int lines = 0;
    if (::ioctl(port_.handle(), TIOCMGET, &lines) != 0)
        qCInfo(lcSerial, "COM%d (%s) has no modem lines: %s", portNumber_, openedPath_.c_str(),
               why.constData());
    else
        qCWarning(lcSerial, "COM%d (%s) refused %s: %s", portNumber_, openedPath_.c_str(), what,
                  why.constData());
}

void SerialComm::output(std::string_view bytes) {
    if (!port_.isOpen() || bytes.empty()) return;
    std::size_t sent = 0;
    // Straight to the device, since a reply wait polls without running the event loop;
    // only when QSerialPort already queues bytes must the new ones go behind them.
    while (port_.bytesToWrite() == 0 && sent < bytes.size()) {
        const ssize_t n = ::write(port_.handle(), bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n == 0 || errno == EAGAIN || errno == EWOULDBLOCK) {
            break;
        } else {
            fail(devicePath_ + ": write failed: " + systemError());
            qCWarning(lcSerial, "%s", lastError_.c_str());
            scheduleLossCheck();
            return;
        }
    }
    if (sent < bytes.size()) {
        // The device is busy: the rest goes out as it drains, from the event loop.
        port_.write(bytes.data() + sent, static_cast<qint64>(bytes.size() - sent));
        port_.flush();
    }
}

std::string SerialComm::input() {
    if (!port_.isOpen()) return {};
    std::string bytes;
    if (port_.bytesAvailable() > 0) {
        const QByteArray buffered = port_.readAll();
        bytes.assign(buffered.constData(), static_cast<std::size_t>(buffered.size()));
        if (fetchedByPort_) return bytes;
    }
    // Then whatever the system holds that the event loop has not fetched yet.
    std::array<char, 4096> chunk;
    for (;;) {
        const ssize_t n = ::read(port_.handle(), chunk.data(), chunk.size());
        if (n > 0) {
            bytes.append(chunk.data(), static_cast<std::size_t>(n));
            // A short read took all the system held: asking again would only find nothing.
            if (static_cast<std::size_t>(n) < chunk.size()) break;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) scheduleLossCheck();
            break;
        }
    }
    return bytes;
}

void SerialComm::clearOutBuffer() {
    if (!port_.isOpen()) return;
    port_.clear(QSerialPort::Output);
    port_.clearError();
}

bool SerialComm::waitForInput(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    if (port_.isOpen()) {
        if (port_.bytesAvailable() > 0) return true;
        pollfd p{port_.handle(), POLLIN, 0};
        for (;;) {
            const auto left = std::chrono::ceil<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            const int n = ::poll(&p, 1, static_cast<int>(std::max<long long>(0, left.count())));
            // A signal ends the wait: a termination signal is handled by the caller's next
            // yield rather than after the reply.
            if (n < 0 && errno == EINTR) return false;
            if (n > 0 && (p.revents & POLLIN) && !(p.revents & kGoneEvents)) return true;
            break;
        }
    }
    // A closed or vanished port has nothing to wait for; sleeping keeps the caller from spinning.
    std::this_thread::sleep_until(deadline);
    return false;
}

void SerialComm::onError(QSerialPort::SerialPortError error) {
    if (closing_ || !port_.isOpen()) return;
    if (error != QSerialPort::ReadError && error != QSerialPort::WriteError &&
        error != QSerialPort::ResourceError)
        return;
    if (deviceGone()) {
        // QSerialPort would report this again on every event-loop turn; close from the loop.
        scheduleLossCheck();
        return;
    }
    // A wake-up that found the bytes already taken by input(), or a modem-line request the
    // device does not support. A read error may have disarmed the read notifier: re-arm it.
    port_.clearError();
    port_.setReadBufferSize(port_.readBufferSize());
    QMetaObject::invokeMethod(this, &SerialComm::deliverIfWaiting, Qt::QueuedConnection);
}

void SerialComm::scheduleLossCheck() {
    if (lossCheckPending_) return;
    lossCheckPending_ = true;
    QMetaObject::invokeMethod(this, &SerialComm::checkLoss, Qt::QueuedConnection);
}

void SerialComm::checkLoss() {
    lossCheckPending_ = false;
    if (!port_.isOpen()) return;
    if (!deviceGone()) {
        port_.clearError();
        return;
    }
    close();
    portLost_ = true;
    fail(devicePath_ + ": the device is gone");
    qCWarning(lcSerial, "%s", lastError_.c_str());
}

bool SerialComm::deviceGone() const {
    if (!port_.isOpen()) return false;
    pollfd p{port_.handle(), POLLIN, 0};
    if (::poll(&p, 1, 0) > 0 && (p.revents & kGoneEvents)) return true;
    return ::access(openedPath_.c_str(), F_OK) != 0;
}

bool SerialComm::bytesWaiting() const {
    if (!port_.isOpen()) return false;
    if (port_.bytesAvailable() > 0) return true;
    pollfd p{port_.handle(), POLLIN, 0};
    return ::poll(&p, 1, 0) > 0 && (p.revents & POLLIN) && !(p.revents & kGoneEvents);
}

void SerialComm::deliverIfWaiting() {
    if (bytesWaiting()) raiseOnComm();
}

}  // namespace kv
