// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "settings_backend.h"
#include "site_watch.h"
#include "sweep_source.h"

class QDockWidget;
class QLabel;
class QMainWindow;
class QMenu;
class QTreeWidget;

namespace kv {

// The window's side of a site: File → Connect to Site…, the dock that lists its radios and
// keeps them current, the status line's word on the watched radio and its sweep's age, and
// View → Compare With…. Choosing a radio makes it the window's source.
class SiteControl : public QObject {
    Q_OBJECT
  public:
    static constexpr const char* kSection = "Site";
    // The keyring's service name for the broker passwords typed into the dialog.
    static constexpr const char* kKeyringService = "KV3710 Spectrum Analyzer MQTT";

    struct Calls {
        // Makes the source the window's, under the name its title shows.
        std::function<void(std::unique_ptr<SweepSource> source, std::string name)> watch;
        // A second radio's sweep to lay over the trace; nothing takes it away.
        std::function<void(const Sweep* sweep)> compare;
        // A message box that does not wait: the sweep goes on behind it.
        std::function<void(const std::string& text)> tell;
    };

    SiteControl(QMainWindow& window, SettingsBackend& store, Calls calls);
    ~SiteControl() override;

    void addFileItem(QMenu& file);
    void addViewItem(QMenu& view);

    // Watches the site at `address`; with `radio`, that radio at once, else none until one is
    // chosen from the list. The reason it cannot, or empty.
    std::string connectTo(SiteAddress address, const std::optional<std::string>& radio);
    void watchRadio(const std::string& radio);
    // Back to the radio on the port: the site stays listed, nothing is watched from it.
    void leftSite() {
        watched_.clear();
        refresh();
    }

    SiteWatch* site() const { return site_; }
    const std::string& watchedRadio() const { return watched_; }
    // "KV0002, sweep 0.4 s old", the site's trouble and the dropped messages.
    std::string statusText() const;

    void showConnectDialog();
    void showCompareDialog();
    // Lays `radio`'s sweeps over the trace; empty takes them away.
    void compareWith(const std::string& radio);

  private:
    void refresh();
    void connectWithKeyring(SiteAddress address, const QString& typedPassword);

    QMainWindow& window_;
    SettingsBackend& store_;
    Calls calls_;
    QPointer<SiteWatch> site_;
    std::string watched_;
    std::string compared_;
    std::optional<int> compareId_;
    QDockWidget* dock_ = nullptr;
    QTreeWidget* list_ = nullptr;
    QLabel* status_ = nullptr;
    QTimer ticker_;
};

}  // namespace kv
