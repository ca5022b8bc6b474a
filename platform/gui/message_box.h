// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace kv {

// A message box with a text, an OK button and a caption.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual void show(const std::string& text, const std::string& caption) = 0;
    // The same without waiting for OK: for what goes wrong inside a sweep, which goes on.
    virtual void showWithoutWaiting(const std::string& text, const std::string& caption) {
        show(text, caption);
    }
};

}  // namespace kv
