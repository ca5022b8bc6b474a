// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>

namespace kv {

// A message box with a text, an OK button and a caption.
class MessageBox {
  public:
    virtual ~MessageBox() = default;
    virtual void show(const std::string& text, const std::string& caption) = 0;
};

}  // namespace kv
