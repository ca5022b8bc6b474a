// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace kv {

// Replaces the file at `path` with `contents` in one step (through a temporary file beside it),
// so that a failed write leaves the old file as it was. Nothing on success, else the reason,
// which is logged too.
std::optional<std::string> writeWholeFile(const std::string& path, std::string_view contents);

}  // namespace kv
