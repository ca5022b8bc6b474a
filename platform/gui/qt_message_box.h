// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "message_box.h"

namespace kv {

class QtMessageBox : public MessageBox {
  public:
    void show(const std::string& text, const std::string& caption) override;
    void showWithoutWaiting(const std::string& text, const std::string& caption) override;
};

}  // namespace kv
