// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QObject>
#include <QTimer>
#include <functional>
#include <span>
#include <string>
#include <utility>
#include <vector>

#include "clock.h"
#include "comm_control.h"
#include "key_table.h"
#include "shared_state.h"

class QAction;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;

namespace kv {

// The window's modes in sight: the Trace menu and View's key items, whose check marks follow
// the keys, and the status line under the window with the modes that are on and the source of
// the sweeps. Both are brought up to date from a timer that only touches a text or a check mark
// when it changed, so an idle window stays idle.
class WindowModes : public QObject {
    Q_OBJECT
  public:
    static constexpr int kRefreshMs = 250;

    struct Sources {
        const SharedState& state;
        const CommControl& comm;
        const Clock& clock;
        // The file being recorded to; empty while nothing is recorded.
        std::function<std::string()> recordingPath;
        // Does what the key with this virtual-key code does in the picture.
        std::function<void(int virtualKey)> keyDown;
    };

    WindowModes(Sources sources, QStatusBar& bar, QObject* parent = nullptr);

    // The Trace menu, after the menus there are.
    QMenu* addTraceMenu(QMenuBar& bar);
    // The average's count items at the end of View; `average` is its Average item, whose
    // check mark is kept too.
    void addViewItems(QMenu& view, QAction* average);
    // The check marks and the status line now (after a key, at once).
    void refresh();

    // The status line's two parts.
    std::string modesText() const;
    std::string sourceText() const;

  private:
    void addKeyItems(QMenu& menu, std::span<const KeyMenuItem> items);

    Sources sources_;
    QLabel* modes_;
    QLabel* source_;
    QTimer timer_;
    std::vector<std::pair<QAction*, bool (*)(const SharedState&)>> checked_;
};

}  // namespace kv
