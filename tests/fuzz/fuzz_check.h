// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <cstdlib>

// A broken rule aborts, so that libFuzzer keeps the input as a crash, and says which rule.
inline void fuzzCheck(bool holds, const char* rule) {
    if (!holds) std::fprintf(stderr, "broken: %s\n", rule), std::abort();
}
