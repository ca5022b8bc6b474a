// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QSerialPort>
#include <functional>
#include <string>
#include <vector>

#include "comm_control.h"
#include "line_settings.h"
#include "serial_ports.h"
#include "settings_backend.h"

namespace kv {

// The serial communications control over QSerialPort. Reads and writes go straight to the
// descriptor as well, so the radio link sees replies and sends commands without waiting for
// the event loop; OnComm is still raised only from the event loop.
class SerialComm : public QObject, public CommControl {
    Q_OBJECT
  public:
    // The store maps port numbers to devices (see devicePathForPort) and receives the numbers
    // of newly detected devices; both must outlive this.
    SerialComm(SettingsBackend& store, const SerialDetector& detector, QObject* parent = nullptr);
    ~SerialComm() override;

    bool setCommPort(int n) override;
    int commPort() const { return portNumber_; }
    bool setSettings(std::string_view text) override;
    std::string settings() const { return formatLineSettings(settings_); }
    bool portOpen() const override { return port_.isOpen(); }
    bool setPortOpen(bool open) override;
    void setHandshaking(int mode) override;
    void setRtsEnable(bool enable) override;
    void output(std::string_view bytes) override;
    std::string input() override;
    void clearOutBuffer() override;
    bool waitForInput(std::chrono::milliseconds limit) override;
    std::string lastError() const override { return lastError_; }
    PortProblem openProblem() const override { return problem_; }
    static OpenFailure classify(QSerialPort::SerialPortError error);

    // The device path the next open uses.
    const std::string& devicePath() const { return devicePath_; }
    // True once the open device vanished (and the port was closed) until the next open.
    bool portLost() const override { return portLost_; }
    std::string portDevice() const override { return devicePath_; }

  private:
    // Owns a descriptor; closes it on reset and destruction.
    class Descriptor {
      public:
        Descriptor() = default;
        Descriptor(const Descriptor&) = delete;
        Descriptor& operator=(const Descriptor&) = delete;
        ~Descriptor() { reset(); }
        void reset(int fd = -1);
        int get() const { return fd_; }

      private:
        int fd_ = -1;
    };

    bool open();
    void close();
    bool fail(std::string message);
    bool refuseOpen(OpenFailure failure, const std::string& device, std::string detail = {});
    bool applySettings(const LineSettings& s);
    void applyRts();
    // Logs a line setting the open device did not take.
    void warnRefused(const char* what);
    void onError(QSerialPort::SerialPortError error);
    void scheduleLossCheck();
    void checkLoss();
    bool deviceGone() const;
    bool bytesWaiting() const;
    void deliverIfWaiting();

    SettingsBackend& store_;
    const SerialDetector& detector_;
    QSerialPort port_;
    Descriptor lock_;  // holds the exclusive flock for as long as the port is open
    int portNumber_ = 1;
    std::string devicePath_;
    std::string openedPath_;  // the device the link resolved to when it was opened
    // What a reopen after a loss opens: the device's stable path where it has one, so that
    // another device that takes over its /dev name is never opened in its place.
    std::string reopenPath_;
    LineSettings settings_;
    QSerialPort::FlowControl flow_ = QSerialPort::NoFlowControl;
    bool rts_ = false;
    bool closing_ = false;
    bool fetchedByPort_ = false;  // while QSerialPort's readyRead is delivered
    bool lossCheckPending_ = false;
    bool portLost_ = false;
    std::string lastError_;
    PortProblem problem_;
    std::vector<std::string> refusalsLogged_;  // device and setting, each warned of once
};

}  // namespace kv
